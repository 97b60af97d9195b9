#include "notation.h"

#include <cstring>

namespace ostinel_cli {

namespace {

constexpr char kSteps[] = "CDEFGAB";
constexpr int kSemitones[] = {0, 2, 4, 5, 7, 9, 11};

struct TypeName {
  const char* name;
  int units;
};
constexpr TypeName kTypes[] = {
    {"maxima", 32768}, {"long", 16384}, {"breve", 8192}, {"whole", 4096}, {"half", 2048},
    {"quarter", 1024}, {"eighth", 512}, {"16th", 256},   {"32nd", 128},   {"64th", 64},
    {"128th", 32},     {"256th", 16},   {"512th", 8},    {"1024th", 4},
};

int FloorDiv(int value, int divisor) { return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor); }

// Semitones above middle C of a step without alteration.
int NaturalSemitones(int level) {
  const int octave = FloorDiv(level, 7);
  return 12 * octave + kSemitones[level - 7 * octave];
}

}  // namespace

Pitch PitchFromXml(char step, int alter, int octave) {
  const char* found = std::strchr(kSteps, step);
  const int index = found != nullptr && step != '\0' ? static_cast<int>(found - kSteps) : 0;
  return Pitch{(octave - 4) * 7 + index, alter};
}

void PitchToXml(const Pitch& pitch, char* step, int* alter, int* octave) {
  const int octaveOffset = FloorDiv(pitch.level, 7);
  *step = kSteps[pitch.level - 7 * octaveOffset];
  *alter = pitch.alter;
  *octave = 4 + octaveOffset;
}

Pitch Transpose(const Pitch& pitch, int diatonic, int chromatic) {
  const int semitones = NaturalSemitones(pitch.level) + pitch.alter + chromatic;
  const int level = pitch.level + diatonic;
  return Pitch{level, semitones - NaturalSemitones(level)};
}

int TypeValue(const std::string& type) {
  for (const TypeName& entry : kTypes) {
    if (type == entry.name) return entry.units;
  }
  return 0;
}

int DottedValue(int base, int dots) {
  int value = base;
  for (int dot = 1; dot <= dots; ++dot) value += base >> dot;
  return value;
}

bool TypeOf(int units, std::string* type, int* dots) {
  for (int count = 0; count <= 3; ++count) {
    for (const TypeName& entry : kTypes) {
      if (DottedValue(entry.units, count) == units && (entry.units >> count) << count == entry.units) {
        *type = entry.name;
        *dots = count;
        return true;
      }
    }
  }
  return false;
}

}  // namespace ostinel_cli
