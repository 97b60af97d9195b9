// Host operations on frames: the entries of one staff, measure and layer,
// handed out as a copy that the plug-in edits and saves back.
#include <cstdlib>
#include <cstring>

#include "exports.h"

using namespace quivrasim;

namespace {

// What the host keeps in the first bytes of a frame it hands out.
struct FrameIdentity {
  uint16_t instrument;
  int16_t measure;
  uint16_t layer;
  uint16_t mode;
  uint8_t unused[6];
};
static_assert(sizeof(FrameIdentity) == sizeof(QXFrame::host));

FrameIdentity Identity(const QXFrame* frame) {
  FrameIdentity identity;
  std::memcpy(&identity, frame->host, sizeof identity);
  return identity;
}

FrameKey KeyOf(const QXFrame* frame) {
  const FrameIdentity identity = Identity(frame);
  return FrameKey{identity.instrument, identity.measure, identity.layer};
}

bool Live(Host& host, QXFrame* frame, const char* op) {
  if (frame != nullptr && host.LiveFrames().count(frame) != 0) return true;
  host.CountMisuse(std::string(op) + " with a frame the host did not give out");
  return false;
}

// Room in the frame for count entries (none: no block), in place of what it held.
QXEntry* MakeRoom(QXFrame* frame, size_t count) {
  std::free(frame->entries);
  frame->entries = count != 0 ? static_cast<QXEntry*>(std::malloc(count * sizeof(QXEntry))) : nullptr;
  frame->entryCount = static_cast<int16_t>(count);
  return frame->entries;
}

void SetEntries(QXFrame* frame, const QXEntry* entries, size_t count) {
  if (QXEntry* room = MakeRoom(frame, count)) std::memcpy(room, entries, count * sizeof(QXEntry));
}

void SetEntries(QXFrame* frame, const Entries& entries) { SetEntries(frame, entries.data(), entries.size()); }

Entries EntriesOf(const QXFrame* frame) {
  const int count = frame->entries != nullptr && frame->entryCount > 0 ? frame->entryCount : 0;
  return Entries(frame->entries, frame->entries + count);
}

}  // namespace

QXFrame* QXAPI QX_LoadTGF(uint16_t list, uint16_t slot, uint16_t measure, uint16_t layer, uint16_t mode,
                          uint32_t version) {
  Host& host = Serve(Op::QX_LoadTGF);
  host.CountFrameLoadVersion(version);
  if (host.Fails(Op::QX_LoadTGF)) return nullptr;
  (void)list;  // every staff list keeps the score order here
  Document& document = host.Doc();
  const uint16_t instrument = document.InstrumentAt(slot);
  if (instrument == 0 || measure < 1 || measure > document.MeasureCount() || layer >= document.MaxLayers()) {
    return nullptr;
  }
  const FrameKey key{instrument, static_cast<int16_t>(measure), layer};
  const FrameStore::Run run = document.LoadFrame(key, mode);
  QXFrame* frame = host.NewFrame();
  const FrameIdentity identity{instrument, static_cast<int16_t>(measure), layer, mode, {}};
  std::memcpy(frame->host, &identity, sizeof identity);
  if (QXEntry* room = MakeRoom(frame, run.count)) run.LayOut(room);
  return frame;
}

int16_t QXAPI QX_FreeTGF(QXFrame* frame, uint32_t) {
  Host& host = Serve(Op::QX_FreeTGF);
  if (!Live(host, frame, "QX_FreeTGF")) return 0;
  host.ReleaseFrame(frame);
  return 1;
}

int16_t QXAPI QX_SaveTGF(QXFrame* frame, uint32_t) {
  Host& host = Serve(Op::QX_SaveTGF);
  if (!Live(host, frame, "QX_SaveTGF")) return 0;
  if (host.Fails(Op::QX_SaveTGF)) return 0;
  // The saved frame comes back numbered and with its positions worked out.
  SetEntries(frame, host.Doc().StoreFrame(KeyOf(frame), EntriesOf(frame)));
  return 1;
}

int32_t QXAPI QX_GetTGFDuration(QXFrame* frame, uint32_t) {
  Host& host = Serve(Op::QX_GetTGFDuration);
  if (!Live(host, frame, "QX_GetTGFDuration")) return 0;
  Entries entries = EntriesOf(frame);
  host.Doc().ComputePositions(entries);
  int32_t total = 0;
  for (const QXEntry& entry : entries) total += entry.length;
  return total;
}

int16_t QXAPI QX_InsertEXENTRY(QXFrame* frame, uint16_t index, uint16_t count, uint32_t) {
  Host& host = Serve(Op::QX_InsertEXENTRY);
  if (!Live(host, frame, "QX_InsertEXENTRY")) return 0;
  if (host.Fails(Op::QX_InsertEXENTRY)) return 0;
  Entries entries = EntriesOf(frame);
  if (index > entries.size() || entries.size() + count > 0x7FFF) return 0;
  entries.insert(entries.begin() + index, count, QXEntry{});
  SetEntries(frame, entries);
  return 1;
}

int16_t QXAPI QX_DeleteEXENTRY(QXFrame* frame, uint16_t index, uint16_t count, uint32_t) {
  Host& host = Serve(Op::QX_DeleteEXENTRY);
  if (!Live(host, frame, "QX_DeleteEXENTRY")) return 0;
  if (host.Fails(Op::QX_DeleteEXENTRY)) return 0;
  Entries entries = EntriesOf(frame);
  if (index > entries.size() || count > entries.size() - index) return 0;
  entries.erase(entries.begin() + index, entries.begin() + index + count);
  SetEntries(frame, entries);
  return 1;
}
