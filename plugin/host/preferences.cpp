#include "host/preferences.h"

#include <cstring>

#include "host/host_ops.h"
#include "quivra/qx_records.h"

namespace ostinel {

namespace {

// The playback preferences: seven 16-bit fields from four companion records.
FieldMapEntry g_playbackPrefsMap[] = {
    {0, {'1', '3'}, 0, 0, 0, 1, 2, kConvertNone},  {0, {'3', '9'}, 0, 0, 2, 3, 2, kConvertNone},
    {0, {'3', '6'}, 0, 0, 4, 0, 2, kConvertNone},  {0, {'3', '6'}, 0, 0, 6, 5, 2, kConvertNone},
    {0, {'3', '7'}, 0, 0, 8, 0, 2, kConvertNone},  {0, {'3', '7'}, 0, 0, 10, 1, 2, kConvertNone},
    {0, {'3', '7'}, 0, 0, 12, 2, 2, kConvertNone},
};

bool SameCompanion(const FieldMapEntry& a, const FieldMapEntry& b) {
  return a.tagChars[0] == b.tagChars[0] && a.tagChars[1] == b.tagChars[1] && a.firstKey == b.firstKey &&
         a.secondKey == b.secondKey;
}

void StoreField(const FieldMapEntry& field, const QXCompanion& companion, unsigned char* out, uint32_t total) {
  const int index = field.wordIndex;
  if (index < 0 || index > 5) return;
  if (field.offset < 0 || static_cast<uint32_t>(field.offset) + static_cast<uint32_t>(field.fieldSize) > total) return;
  if (field.fieldSize != 2 && field.fieldSize != 4) return;
  if (field.fieldSize == 4) {
    if (index > 4) return;
    const uint32_t first = companion.words[index];
    const uint32_t second = companion.words[index + 1];
    const uint32_t value =
        field.conversion == kWordOrderLowFirst ? (second << 16) | first : (first << 16) | second;
    std::memcpy(out + field.offset, &value, 4);
    return;
  }
  const uint16_t word = companion.words[index];
  uint16_t value = word;
  if (field.conversion == kConvertInvertBoolean) value = word == 0 ? 1 : 0;
  if (field.conversion == kConvertLowByte) value = word & 0xFF;
  std::memcpy(out + field.offset, &value, 2);
}

}  // namespace

int16_t AssemblePreferences(FieldMapEntry* map, int fieldCount, void* buffer, uint32_t* size) {
  // Only 2- and 4-byte fields exist; anything else adds nothing and is not stored.
  uint32_t total = 0;
  for (int i = 0; i < fieldCount; ++i) {
    if (map[i].fieldSize == 2 || map[i].fieldSize == 4) total += static_cast<uint32_t>(map[i].fieldSize);
  }
  *size = total;
  if (buffer == nullptr) return 1;

  auto* out = static_cast<unsigned char*>(buffer);
  for (int i = 0; i < fieldCount; ++i) map[i].done = 0;
  for (int i = 0; i < fieldCount; ++i) {
    if (map[i].done) continue;
    // A companion that cannot be loaded reads as all zero.
    QXCompanion companion{};
    QXKey key = QXKey::Of(map[i].firstKey == 0 ? kQXCompanionKey : map[i].firstKey, map[i].secondKey);
    uint32_t companionSize = sizeof companion;
    QX_LoadEData(QXTag('o', 't', map[i].tagChars[0], map[i].tagChars[1]), &key, &companion, &companionSize);
    for (int j = i; j < fieldCount; ++j) {
      if (map[j].done || !SameCompanion(map[i], map[j])) continue;
      StoreField(map[j], companion, out, total);
      map[j].done = 1;
    }
  }
  return 1;
}

int16_t AssemblePlaybackPrefs(void* buffer, uint32_t* size) {
  return AssemblePreferences(g_playbackPrefsMap, sizeof g_playbackPrefsMap / sizeof g_playbackPrefsMap[0],
                             buffer, size);
}

}  // namespace ostinel
