#include "host/records.h"

#include "host/alerts.h"
#include "host/host_ops.h"
#include "host/preferences.h"
#include "host/write_journal.h"
#include "quivra/qx_records.h"

namespace ostinel {

namespace {

uint32_t AtLeast(uint32_t version, uint32_t floor) { return version < floor ? floor : version; }
uint32_t AtMost(uint32_t version, uint32_t ceiling) { return version > ceiling ? ceiling : version; }

// A 2004 layout asked for with an older version word: warn the plug-in's
// developer, then go on with the 2004 version.
uint32_t Layout2004(uint32_t version, const char* warning) {
  if (version >= kQXVersion09) return version;
  ShowAlert(nullptr, kQXAlertPlain, warning);
  return kQXVersion09;
}

}  // namespace

uint32_t InferVersion(uint32_t tag, uint32_t size, uint32_t version) {
  if (size == 0) return version;
  switch (tag) {
    case kQXTagStaffSpec:
      if (size == 66) return kQXVersion05;
      if (size == 102) return kQXVersion08;
      break;
    case kQXTagMeasureSpec:
      if (size == 26) return AtLeast(version, kQXVersion0A);
      if (size == 24) return kQXVersion09;
      break;
    case kQXTagStaffStyle:
    case kQXTagStaffStyle2:
      if (size == 28) return AtLeast(version, kQXVersion0A);
      if (size == 24) return AtLeast(version, kQXVersion06);
      if (size == 22) return kQXVersion05;
      break;
    case kQXTagHold:
      if (size == 12) return AtMost(version, kQXVersion08);
      if (size == 10) return Layout2004(
            version, "Warning to plug-in developer: EDTGfhold2004 used with wrong version parameter");
      break;
    case kQXTagTextBlock:
      if (size == 48) return AtMost(version, kQXVersion08);
      if (size == 26) return Layout2004(
            version, "Warning to plug-in developer: EDTTextBlock2004 used with wrong version parameter");
      break;
    case kQXTagShapeExprDef:
      if (size == 12) return AtMost(version, kQXVersion08);
      if (size == 34) return Layout2004(
            version, "Warning to plug-in developer: EDTShapeExpression2004 used with wrong version parameter");
      break;
    default:
      break;
  }
  return version;
}

int16_t EDataLoad(uint32_t tag, QXKey* key, void* buffer, uint32_t* size, uint32_t version) {
  const uint32_t inferred = InferVersion(tag, *size, version);
  if (tag == kQXTagPlaybackPrefs) {
    // The assembly writes the whole structure: a smaller buffer is refused.
    uint32_t needed = 0;
    AssemblePlaybackPrefs(nullptr, &needed);
    if (buffer != nullptr && *size < needed) {
      *size = needed;
      return 0;
    }
    return AssemblePlaybackPrefs(buffer, size);
  }
  return QX_LoadEData(tag, key, buffer, size, inferred);
}

int16_t EDataSave(uint32_t tag, QXKey* key, const void* buffer, uint32_t size, uint32_t version) {
  if (g_writeJournal.Active()) g_writeJournal.BeforeSave(tag, *key, size, version);
  return QX_SaveEData(tag, key, buffer, size, InferVersion(tag, size, version));
}

int16_t EDataCreate(uint32_t tag, QXKey* key, const void* buffer, uint32_t size, uint32_t version) {
  const int16_t result = QX_CreateEData(tag, key, buffer, size, InferVersion(tag, size, version));
  if (result != 0 && g_writeJournal.Active()) g_writeJournal.Created(tag, *key, version);
  return result;
}

int16_t EDataDelete(uint32_t tag, QXKey* key, uint32_t version) { return QX_DeleteEData(tag, key, version); }

int16_t EDataNext(uint32_t tag, QXKey* key, void* buffer, uint32_t size, uint32_t version) {
  return QX_NextEData(tag, key, buffer, size, InferVersion(tag, size, version));
}

}  // namespace ostinel
