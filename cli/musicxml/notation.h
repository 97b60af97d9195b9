// Pitches and note values, between MusicXML's terms and the host's.
#pragma once

#include <string>

namespace ostinel_cli {

// A pitch as the host keeps it: diatonic steps from middle C and the
// chromatic alteration.
struct Pitch {
  int level = 0;
  int alter = 0;
};

Pitch PitchFromXml(char step, int alter, int octave);
// step, alter and octave of a pitch.
void PitchToXml(const Pitch& pitch, char* step, int* alter, int* octave);
// Moves a pitch by an interval (diatonic steps and semitones), as
// MusicXML's <transpose> moves written pitch to sounding pitch.
Pitch Transpose(const Pitch& pitch, int diatonic, int chromatic);

// Host units of a note type ("quarter" is 1024), 0 for an unknown type.
int TypeValue(const std::string& type);
// The type and dots of a notated duration in host units; false when it is
// no plain or dotted note value.
bool TypeOf(int units, std::string* type, int* dots);
int DottedValue(int base, int dots);

}  // namespace ostinel_cli
