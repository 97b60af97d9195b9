#include "cue/cue_name.h"

#include <cstring>
#include <vector>

#include "cue/cue_job.h"
#include "cue/staff_record.h"
#include "cue/text_object.h"
#include "host/host_ops.h"
#include "host/host_text.h"
#include "host/records.h"
#include "quivra/qx_records.h"

namespace ostinel {

namespace {

constexpr uint16_t kExpressionValue = 30;
constexpr int kMaxDefinition = 999;
constexpr int16_t kDefaultOffset = 55;

void CopyName(char* name, const char* text) { CopyText(name, kCueNameSize, text); }

// A definition whose size, font, style, value and text all match.
bool Matches(int number, uint32_t size, const char* text, uint16_t fontWord, uint16_t efx) {
  std::vector<unsigned char> record(size);
  QXKey key = QXKey::Of(static_cast<uint16_t>(number), 0);
  uint32_t capacity = size;
  if (EDataLoad(kQXTagTextExprDef, &key, record.data(), &capacity, kQXVersion08) == 0) return false;
  QXTextExprDefHeader header;
  std::memcpy(&header, record.data(), sizeof header);
  return header.fontWord == fontWord && header.efx == efx && header.playbackValue == kExpressionValue &&
         std::memcmp(record.data() + sizeof header, text, size - sizeof header) == 0;
}

}  // namespace

void ResolveCueName(char* name, int16_t instrument, const TGroupList* groups) {
  if (name[0] != '\0' && std::strcmp(name, "(automatic)") != 0) return;
  CStaffSpec staff;
  staff.LoadItem(static_cast<uint16_t>(instrument));
  CTextObject text;
  const bool unnamed = staff.GetSecondName(text) != 0 && staff.GetFirstName(text) != 0;
  char* plain = text.GetPlainText();
  CopyName(name, plain);
  delete[] plain;
  if (!unnamed || groups == nullptr) return;
  for (int i = 0; i < groups->Count(); ++i) {
    const TGroupRec& group = groups->At(i);
    const int span = group.group.lastStaff - group.group.firstStaff + 1;
    if (group.group.firstStaff <= instrument && instrument <= group.group.lastStaff && (span == 2 || span == 3) &&
        group.name[0] != '\0') {
      CopyName(name, group.name);
      return;
    }
  }
}

int FindOrCreateTextExpression(char* text, uint16_t fontWord, uint16_t efx) {
  char* write = text;
  for (const char* read = text; *read != '\0'; ++read) {
    if (*read == '\n') continue;
    *write++ = *read == '\r' ? ' ' : *read;
  }
  *write = '\0';
  const auto length = static_cast<uint32_t>(std::strlen(text));
  const uint32_t size = length + 1 + sizeof(QXTextExprDefHeader);

  for (int number = 1; number <= kMaxDefinition; ++number) {
    QXKey key = QXKey::Of(static_cast<uint16_t>(number), 0);
    uint32_t stored = 0;
    if (EDataLoad(kQXTagTextExprDef, &key, nullptr, &stored, kQXVersion08) == 0) break;
    if (stored == size && Matches(number, size, text, fontWord, efx)) return number;
  }

  std::vector<unsigned char> record(size, 0);
  const QXTextExprDefHeader header{fontWord, efx, kExpressionValue, 0, 0, 0};
  std::memcpy(record.data(), &header, sizeof header);
  std::memcpy(record.data() + sizeof header, text, length + 1);
  QXKey key = QXKey::Of(kQXNew, 0);
  if (EDataCreate(kQXTagTextExprDef, &key, record.data(), size, kQXVersion08) == 0) return -1;
  return key.first;
}

void PlaceCueName(const char* name, int destinationSlot, const QXRegion& document, int measure,
                  const QXEntry& entry) {
  uint16_t fontWord;
  uint16_t efx;
  QXFontPref font{};
  if (LoadRecord(kQXTagFontPref, QXKey::Of(kQXFontPrefCueName, 0), &font)) {
    const int size = font.size + font.size / 4;  // a quarter larger, toward zero
    fontWord = static_cast<uint16_t>(font.font | ((size & 0xFF) << 8));
    efx = font.efx;
  } else {
    fontWord = static_cast<uint16_t>((QX_FontNameToNum("Times New Roman") & 0xFF) | (16 << 8));
    efx = 64;
  }

  char text[kCueNameSize];
  CopyName(text, name);
  const int definition = FindOrCreateTextExpression(text, fontWord, efx);
  // Without a definition the cue goes without its name.
  if (definition < 0) return;

  const auto instrument =
      static_cast<uint16_t>(QX_SlotToInst(static_cast<uint16_t>(destinationSlot), document.startList));
  const auto measureNumber = static_cast<uint16_t>(measure);
  int32_t offset = kDefaultOffset;
  QXEntryMetrics metrics{};
  QXStaffMetrics staff{};
  if (QX_GetEntryMetrics(instrument, measureNumber, entry.number, &metrics, &staff, 1) != 0 && metrics.noteCount > 0) {
    offset = staff.textBaseline - metrics.top + 20;
  }
  if (offset < 0 || offset > 200) offset = kDefaultOffset;

  QXMeasureExpr assignment{};
  assignment.definition = static_cast<int16_t>(definition);
  assignment.vpos = static_cast<int16_t>(offset);
  assignment.staff = instrument;
  QXKey key = QXKey::Of(measureNumber, kQXNew);
  CreateRecord(kQXTagMeasureExpr, &key, assignment);

  QXMeasureSpec spec{};
  if (LoadRecord(kQXTagMeasureSpec, QXKey::Of(measureNumber, 0), &spec) && (spec.flags & kQXMeasureHasExpression) == 0) {
    spec.flags |= kQXMeasureHasExpression;
    SaveRecord(kQXTagMeasureSpec, QXKey::Of(measureNumber, 0), spec);
  }
}

}  // namespace ostinel
