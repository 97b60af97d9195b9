// The record access layer over any tag, size, version word and key, and the
// preference assembly over any field map and any companion contents.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "probe_session.h"
#include "quivra/qx_records.h"

namespace {

using ostinel_fuzz::Input;

constexpr uint32_t kTags[] = {
    kQXTagStaffSpec,     kQXTagMeasureSpec,   kQXTagStaffStyle,   kQXTagStaffStyle2,  kQXTagTextBlock,
    kQXTagRawText,       kQXTagHold,          kQXTagShapeExprDef, kQXTagTextExprDef,  kQXTagMeasureExpr,
    kQXTagTempoChange,   kQXTagPlaybackPrefs, kQXTagFontPref,     kQXTagGroup,        kQXTagMeasureText,
    kQXTagEntrySize,     kQXTagTuplet,        kQXTagClefChange,   kQXTagSmartShape,   kQXTagCompanion13,
    kQXTagCompanion36,   kQXTagCompanion37,   kQXTagCompanion39};
constexpr uint32_t kVersions[] = {kQXVersion05, kQXVersion06, kQXVersion07, kQXVersion08, kQXVersion09,
                                  kQXVersion0A, kQXVersion0A01, kQXVersion0E, kQXVersionCurrent};
constexpr char kCompanions[][2] = {{'1', '3'}, {'3', '6'}, {'3', '7'}, {'3', '9'}};

void Check(bool condition) {
  if (!condition) std::abort();
}

bool KnownVersion(uint32_t version) {
  for (const uint32_t known : kVersions) {
    if (known == version) return true;
  }
  return false;
}

// One record call with a buffer of exactly the size the call names.
void RecordCall(const CoreProbe& core, Input& in) {
  const uint32_t tag = in.Bit() ? kTags[in.Byte() % std::size(kTags)] : in.Word32();
  const uint32_t version = in.Bit() ? kVersions[in.Byte() % std::size(kVersions)] : in.Word32();
  uint32_t size = in.Bit() ? in.Byte() : in.Word16() % 2048;
  const uint32_t inferred = core.InferVersion(tag, size, version);
  Check(inferred == version || KnownVersion(inferred));

  QXKey key = QXKey::Of(in.Word16(), in.Word16());
  std::vector<unsigned char> buffer(size);
  in.Fill(buffer.data(), buffer.size());
  switch (in.Byte() % 4) {
    case 0:
      core.EDataLoad(tag, &key, size != 0 ? buffer.data() : nullptr, &size, version);
      break;
    case 1:
      core.EDataSave(tag, &key, buffer.data(), size, version);
      break;
    case 2:
      core.EDataCreate(tag, &key, buffer.data(), size, version);
      break;
    default:
      core.EDataNext(tag, &key, buffer.data(), size, version);
      break;
  }
}

// A field map of up to 12 fields naming mostly the four companions.
void Assembly(const CoreProbe& core, quivrasim::Host& host, Input& in) {
  for (const auto& companion : kCompanions) {
    if (!in.Bit()) continue;
    QXCompanion words{};
    in.Fill(&words, sizeof words);
    const uint32_t tag = QXTag('o', 't', companion[0], companion[1]);
    const uint16_t first = in.Bit() ? kQXCompanionKey : in.Word16();
    quivrasim::Bytes bytes(sizeof words, 0);
    std::memcpy(bytes.data(), &words, sizeof words);
    host.Doc().Records().Put(tag, quivrasim::ToRecordKey(quivrasim::KeyScheme::Numbered, QXKey::Of(first, 0)),
                             bytes);
  }
  std::vector<ostinel::FieldMapEntry> map(in.Byte() % 13);
  uint32_t valid = 0;
  for (ostinel::FieldMapEntry& field : map) {
    in.Fill(&field, sizeof field);
    if (in.Bit()) std::memcpy(field.tagChars, kCompanions[in.Byte() % 4], 2);
    if (in.Bit()) field.firstKey = 0;
    if (field.fieldSize == 2 || field.fieldSize == 4) valid += static_cast<uint32_t>(field.fieldSize);
  }
  uint32_t size = 0xDEAD;
  core.AssemblePreferences(map.data(), static_cast<int>(map.size()), nullptr, &size);
  Check(size == valid);
  std::vector<unsigned char> structure(size);
  core.AssemblePreferences(map.data(), static_cast<int>(map.size()), structure.data(), &size);
  Check(size == valid);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CoreProbe& core = *ostinel_fuzz::Session().core;
  quivrasim::Host host;  // a document of its own for every input
  Input in(data, size);
  Assembly(core, host, in);
  for (int calls = 0; calls < 8 && !in.Empty(); ++calls) RecordCall(core, in);
  return 0;
}
