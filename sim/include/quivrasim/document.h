// The simulated host's document: staves in a slot order, measures, layers,
// frames of note entries, and data records; with undoable edits.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "quivra/qx_layout.h"
#include "quivra/qx_records.h"
#include "quivrasim/frame_store.h"
#include "quivrasim/record_store.h"

namespace quivrasim {

// A completed edit: its label and the state it changed, for undo.
struct EditRecord {
  std::string label;
  struct RecordChange {
    uint32_t tag;
    RecordKey key;
    std::optional<Bytes> before;
  };
  struct FrameChange {
    FrameKey frame;
    std::optional<Entries> before;
  };
  std::vector<RecordChange> records;  // in the order made; a record changed twice is there twice
  std::vector<FrameChange> frames;
  bool Empty() const { return records.empty() && frames.empty(); }
};

class Document {
 public:
  Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // ---- Structure (set up by the builder or a test; not undoable) ----
  // Adds a staff at the last slot and returns its instrument number.
  uint16_t AddStaff();
  int StaffCount() const { return static_cast<int>(m_slots.size()); }
  // Instrument at a 1-based slot of the score order, 0 when there is none.
  uint16_t InstrumentAt(int slot) const;
  // 1-based slot of an instrument, 0 when there is none.
  int SlotOf(uint16_t instrument) const;
  // Puts the staves into a new order, given as instruments from the top.
  void Reorder(const std::vector<uint16_t>& instruments);

  int MeasureCount() const { return m_measureCount; }
  // Adds measures up to count, each of the given length (duration units).
  void SetMeasureCount(int count, int32_t length = kQXWhole);
  // A measure's length from its measure specification, 0 when it has none.
  int32_t MeasureLength(int measure) const;
  void SetMeasureLength(int measure, int32_t length);

  int MaxLayers() const { return m_maxLayers; }
  void SetMaxLayers(int layers);
  // A host that keeps an entry's tuplet-part flag in step with the records
  // under its number: a new entry saved where tuplet start or end records
  // already stand comes back with kQXEntryTupletPart (off by default).
  void SetTupletPartOnSave(bool on) { m_tupletPartOnSave = on; }
  bool LayerShown(int layer) const;
  void ShowLayer(int layer, bool shown);

  // ---- Frames ----
  // The entries of a frame, laid out in full; none when it has none.
  std::optional<Entries> Frame(FrameKey key) const;
  // A load by the plug-in: counted; the frame's entries as stored, valid
  // until the document next changes.
  FrameStore::Run LoadFrame(FrameKey key, int mode);
  // How often the plug-in loaded a frame, by load mode (0, or any other).
  int Loads(FrameKey key, int mode) const;
  void ResetLoads();
  // Stores a frame's entries: numbers new entries, recomputes positions and
  // lengths, indexes entry numbers. Returns the entries as stored.
  Entries StoreFrame(FrameKey key, Entries entries);
  // Where an entry of this number stands now.
  std::optional<std::pair<FrameKey, int>> FindEntry(uint32_t number) const;
  // Changes an entry in place; false when there is no entry of that number.
  bool EditEntry(uint32_t number, const std::function<void(QXEntry&)>& edit);
  // Performed length of entries, with tuplets applied.
  void ComputePositions(Entries& entries) const;
  // The tuplets that start at an entry, outermost first: those with usable
  // counts (entries, actual and normal all positive). Nested tuplets that
  // start together stand on one entry by incidence.
  std::vector<QXTuplet> TupletsAt(uint32_t entry) const;
  uint32_t NextEntryNumber() const { return m_nextEntryNumber; }

  // Keeps the flag of an entry that says it has records of tag's kind in step
  // with those records.
  void RefreshEntryFlags(uint32_t tag, uint32_t entry);

  // ---- Records ----
  RecordStore& Records() { return m_records; }
  const RecordStore& Records() const { return m_records; }

  // Changes made while an Untracked lives are set-up, not edits: they are
  // neither journaled nor counted.
  class Untracked {
   public:
    explicit Untracked(Document& document) : m_document(document), m_was(document.m_restoring) {
      document.m_restoring = true;
    }
    ~Untracked() { m_document.m_restoring = m_was; }
    Untracked(const Untracked&) = delete;
    Untracked& operator=(const Untracked&) = delete;

   private:
    Document& m_document;
    bool m_was;
  };

  // ---- Edits ----
  bool EditOpen() const { return m_edit.has_value(); }
  bool BeginEdit(const std::string& label);
  bool EndEdit();
  bool CancelEdit();
  // Undoes the most recent completed edit; false when there is none.
  bool Undo();
  const std::vector<EditRecord>& UndoStack() const { return m_undo; }
  std::vector<std::string> UndoLabels() const;
  // Changes made while no edit was open (they cannot be undone).
  int UnjournaledChanges() const { return m_unjournaled; }
  // Number of times the document changed, for "nothing happened" checks.
  uint64_t Revision() const { return m_revision; }
  // A digest of the whole content (frames and records), equal for equal documents.
  uint64_t Fingerprint() const;

 private:
  void JournalRecord(uint32_t tag, const RecordKey& key, const std::optional<Bytes>& before);
  void JournalFrame(FrameKey key);
  void Revert(const EditRecord& edit);
  void IndexFrame(FrameKey key, const Entries& entries);
  void UnindexFrame(FrameKey key);
  void RestoreFrame(FrameKey key, const std::optional<Entries>& entries);

  // Room in the frame store for the frame of this key and for the whole
  // score as it stands; false for a key no frame can have.
  bool CoverFrame(FrameKey key);

  std::vector<uint16_t> m_slots;  // instrument per slot
  std::vector<int> m_slotOf;      // slot per instrument (index: instrument)
  uint16_t m_nextInstrument = 1;
  int m_measureCount = 0;
  // Measure lengths as the measure specifications give them; a length is
  // worked out again after its specification changes (-1: not known).
  mutable std::vector<int32_t> m_lengths;
  int m_maxLayers = 4;
  std::vector<bool> m_layerShown;
  FrameStore m_frames;
  // Where each entry is. Numbers are handed out in order, so those near the
  // next one are found by position in a table; any other number a frame
  // brings goes to a map.
  struct EntryPlace {
    FrameKey frame{};
    int index = -1;  // -1: no entry
  };
  static constexpr uint32_t kNearEntries = 1u << 16;
  bool m_tupletPartOnSave = false;
  std::vector<EntryPlace> m_entryPlaces;
  std::unordered_map<uint32_t, EntryPlace> m_farEntryPlaces;
  uint32_t m_nextEntryNumber = 1;
  RecordStore m_records;

  std::optional<EditRecord> m_edit;
  std::unordered_map<uint64_t, bool> m_editFramesSeen;
  std::vector<EditRecord> m_undo;
  int m_unjournaled = 0;
  bool m_restoring = false;
  uint64_t m_revision = 0;
};

}  // namespace quivrasim
