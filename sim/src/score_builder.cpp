#include "quivrasim/score_builder.h"

#include <algorithm>
#include <cstring>

#include "quivra/qx_records.h"

namespace quivrasim {

namespace {

template <class Record>
Bytes ToBytes(const Record& record, size_t size = sizeof(Record)) {
  Bytes bytes(size, 0);
  std::memcpy(bytes.data(), &record, std::min(size, sizeof(Record)));
  return bytes;
}

template <class Record>
Record FromBytes(const Bytes* bytes) {
  Record record{};
  if (bytes != nullptr) std::memcpy(&record, bytes->data(), std::min(bytes->size(), sizeof(Record)));
  return record;
}

QXEntry MakeEntry(const EntrySpec& spec) {
  QXEntry entry{};
  entry.duration = static_cast<uint16_t>(spec.duration);
  entry.flags = spec.flags;
  entry.flags2 = spec.flags2;
  if (!spec.notes.empty()) entry.flags |= kQXEntryNote;
  int16_t id = 0;
  for (const NoteSpec& note : spec.notes) {
    if (id == kQXMaxNotes) break;
    QXNoteSlot& slot = entry.notes[id];
    slot.word0 = static_cast<uint16_t>(note.step);
    slot.word1 = static_cast<uint16_t>(note.alter);
    slot.id = static_cast<int16_t>(id + 1);
    slot.flags = kQXNoteDefault | note.flags | (static_cast<uint32_t>(id + 1) << 16);
    ++id;
  }
  entry.noteCount = id;
  if (id == 0) {
    // A rest holds the host's default note, as a normalised frame has it.
    entry.noteCount = 1;
    entry.notes[0].flags = kQXNoteDefault;
    entry.flags |= kQXEntryNoNotes;
  }
  return entry;
}

}  // namespace

ScoreBuilder::ScoreBuilder(Document& document) : m_document(document) {
  Document::Untracked untracked(m_document);
  if (m_document.Records().Find(kQXTagCompanion13, RecordKey{kQXCompanionKey, 0, 0}) == nullptr) BaseTempo(1024, 120);
}

ScoreBuilder& ScoreBuilder::Measures(int count, int beats, int beatLength) {
  Document::Untracked untracked(m_document);
  m_document.SetMeasureCount(count, beats * beatLength);
  return *this;
}

uint16_t ScoreBuilder::Staff(const std::string& name, const std::string& abbreviation) {
  Document::Untracked untracked(m_document);
  const uint16_t instrument = m_document.AddStaff();
  QXStaffSpec spec{};
  spec.lines = 5;
  spec.nameBlock = name.empty() ? 0 : TextBlock(name);
  spec.name2Block = abbreviation.empty() ? 0 : TextBlock(abbreviation);
  m_document.Records().Put(kQXTagStaffSpec, RecordKey{instrument, 0, 0}, ToBytes(spec));
  return instrument;
}

void ScoreBuilder::Transpose(uint16_t instrument, int diatonic, int chromatic) {
  Document::Untracked untracked(m_document);
  const RecordKey key{instrument, 0, 0};
  auto spec = FromBytes<QXStaffSpec>(m_document.Records().Find(kQXTagStaffSpec, key));
  spec.transposeDiatonic = static_cast<int16_t>(diatonic);
  spec.transposeChromatic = static_cast<int16_t>(chromatic);
  m_document.Records().Put(kQXTagStaffSpec, key, ToBytes(spec));
}

ScoreBuilder& ScoreBuilder::Play(uint16_t instrument, int first, int last, int layer) {
  for (int measure = first; measure <= last; ++measure) {
    const int32_t length = m_document.MeasureLength(measure);
    std::vector<EntrySpec> entries;
    for (int32_t at = 0; at + kQXQuarter <= length; at += kQXQuarter) entries.push_back(EntrySpec::Note(kQXQuarter));
    if (length % kQXQuarter != 0) entries.push_back(EntrySpec::Note(length % kQXQuarter));
    Entries(instrument, measure, layer, entries);
  }
  return *this;
}

ScoreBuilder& ScoreBuilder::Rest(uint16_t instrument, int first, int last, int layer) {
  for (int measure = first; measure <= last; ++measure) {
    Entries(instrument, measure, layer, {EntrySpec::Rest(m_document.MeasureLength(measure))});
  }
  return *this;
}

ScoreBuilder& ScoreBuilder::Clear(uint16_t instrument, int first, int last, int layer) {
  for (int measure = first; measure <= last; ++measure) Entries(instrument, measure, layer, {});
  return *this;
}

std::vector<uint32_t> ScoreBuilder::Entries(uint16_t instrument, int measure, int layer,
                                            const std::vector<EntrySpec>& entries) {
  Document::Untracked untracked(m_document);
  quivrasim::Entries frame;
  frame.reserve(entries.size());
  for (const EntrySpec& spec : entries) frame.push_back(MakeEntry(spec));
  const auto& stored = m_document.StoreFrame(
      FrameKey{instrument, static_cast<int16_t>(measure), static_cast<uint16_t>(layer)}, std::move(frame));
  std::vector<uint32_t> numbers;
  numbers.reserve(stored.size());
  for (const QXEntry& entry : stored) numbers.push_back(uint32_t{entry.number});
  return numbers;
}

uint16_t ScoreBuilder::TextBlock(const std::string& text) {
  Document::Untracked untracked(m_document);
  RecordStore& records = m_document.Records();
  const RecordKey rawKey = records.Assign(kQXTagRawText, KeyScheme::Numbered, QXKey::Of(kQXNew, 0));
  records.Put(kQXTagRawText, rawKey, Bytes(text.begin(), text.end()));
  const RecordKey blockKey = records.Assign(kQXTagTextBlock, KeyScheme::Numbered, QXKey::Of(kQXNew, 0));
  QXTextBlock block{};
  block.rawText = static_cast<uint16_t>(rawKey.a);
  records.Put(kQXTagTextBlock, blockKey, ToBytes(block));
  return static_cast<uint16_t>(blockKey.a);
}

void ScoreBuilder::Group(int number, uint16_t first, uint16_t last, const std::string& name, uint16_t flags,
                         const std::string& secondName) {
  Document::Untracked untracked(m_document);
  QXGroup group{};
  group.firstStaff = static_cast<int16_t>(first);
  group.lastStaff = static_cast<int16_t>(last);
  group.nameBlock = name.empty() ? 0 : TextBlock(name);
  group.name2Block = secondName.empty() ? 0 : TextBlock(secondName);
  group.flags = flags;
  m_document.Records().Put(kQXTagGroup, RecordKey{0, static_cast<uint32_t>(number), 0}, ToBytes(group));
}

void ScoreBuilder::BaseTempo(int unit, int value) {
  Document::Untracked untracked(m_document);
  RecordStore& records = m_document.Records();
  const RecordKey key{kQXCompanionKey, 0, 0};
  auto word = [&](uint32_t tag, int index, int data) {
    auto companion = FromBytes<QXCompanion>(records.Find(tag, key));
    companion.words[index] = static_cast<uint16_t>(data);
    records.Put(tag, key, ToBytes(companion));
  };
  word(kQXTagCompanion13, 1, unit);
  word(kQXTagCompanion39, 3, value);
  word(kQXTagCompanion36, 0, 0);
  word(kQXTagCompanion37, 0, 0);
}

void ScoreBuilder::TempoChange(int measure, int position, int value, int unit, bool relative) {
  Document::Untracked untracked(m_document);
  RecordStore& records = m_document.Records();
  QXTempoChange change{position, value, static_cast<int16_t>(unit), relative ? kQXTempoRelative : uint16_t{0}};
  const RecordKey key =
      records.Assign(kQXTagTempoChange, KeyScheme::Incidence, QXKey::Of(static_cast<uint16_t>(measure), kQXNew));
  records.Put(kQXTagTempoChange, key, ToBytes(change));
}

void ScoreBuilder::TempoChangeQpm(int measure, int position, int quartersPerMinute) {
  // tempo = value x 0.05859375 x 1024 / 65536 = value x 60 / 65536
  TempoChange(measure, position, quartersPerMinute * 65536 / 60, kQXQuarter);
}

int ScoreBuilder::TextExpression(const std::string& text, int playbackValue, int playbackUnit,
                                 uint16_t playbackFlags, uint16_t hostKind) {
  Document::Untracked untracked(m_document);
  RecordStore& records = m_document.Records();
  QXTextExprDefHeader header{};
  header.fontWord = static_cast<uint16_t>((12 << 8) | 1);
  header.playbackValue = static_cast<int16_t>(playbackValue);
  header.playbackUnit = static_cast<int16_t>(playbackUnit);
  header.playbackFlags = playbackFlags;
  header.host8 = hostKind;
  Bytes bytes = ToBytes(header);
  bytes.insert(bytes.end(), text.begin(), text.end());
  bytes.push_back(0);
  const RecordKey key = records.Assign(kQXTagTextExprDef, KeyScheme::Numbered, QXKey::Of(kQXNew, 0));
  records.Put(kQXTagTextExprDef, key, std::move(bytes));
  return static_cast<int>(key.a);
}

int ScoreBuilder::TempoExpression(const std::string& text, int value, int unit) {
  return TextExpression(text, value, unit, kQXPlaybackTempo | kQXPlaybackOn);
}

void ScoreBuilder::MeasureExpression(int measure, int definition, int hpos, uint16_t flags, uint16_t staff) {
  Document::Untracked untracked(m_document);
  RecordStore& records = m_document.Records();
  QXMeasureExpr assignment{};
  assignment.definition = static_cast<int16_t>(definition);
  assignment.hpos = static_cast<int16_t>(hpos);
  assignment.staff = staff;
  assignment.flags = flags;
  const RecordKey key =
      records.Assign(kQXTagMeasureExpr, KeyScheme::Incidence, QXKey::Of(static_cast<uint16_t>(measure), kQXNew));
  records.Put(kQXTagMeasureExpr, key, ToBytes(assignment));
}

void ScoreBuilder::Tuplet(uint32_t firstEntry, int entries, int actual, int normal) {
  Document::Untracked untracked(m_document);
  const auto location = m_document.FindEntry(firstEntry);
  if (!location) return;
  QXTuplet tuplet{};
  tuplet.entries = static_cast<uint16_t>(entries);
  tuplet.actual = static_cast<uint16_t>(actual);
  tuplet.normal = static_cast<uint16_t>(normal);
  RecordStore& records = m_document.Records();
  const RecordKey key = records.Assign(kQXTagTuplet, KeyScheme::EntryIncidence, QXKey::Entry(firstEntry, kQXNew));
  records.Put(kQXTagTuplet, key, ToBytes(tuplet));
  quivrasim::Entries frame = *m_document.Frame(location->first);
  frame[static_cast<size_t>(location->second)].flags |= kQXEntryTuplet;
  m_document.StoreFrame(location->first, std::move(frame));
}

void ScoreBuilder::EntryExpression(uint32_t entry, int definition, bool shape) {
  Document::Untracked untracked(m_document);
  QXEntryExpr assignment{};
  assignment.definition = static_cast<int16_t>(definition);
  assignment.flags = shape ? uint16_t{0} : kQXEntryExprText;
  RecordStore& records = m_document.Records();
  const RecordKey key = records.Assign(kQXTagEntryExpr, KeyScheme::EntryIncidence, QXKey::Entry(entry, kQXNew));
  records.Put(kQXTagEntryExpr, key, ToBytes(assignment));
  m_document.EditEntry(entry, [](QXEntry& e) { e.flags2 |= kQXEntry2Expressions; });
}

QXKey ScoreBuilder::AddBytes(uint32_t tag, QXKey key, Bytes bytes) {
  Document::Untracked untracked(m_document);
  const RecordType* type = FindRecordType(tag);
  if (type == nullptr) return key;
  const RecordKey assigned = m_document.Records().Assign(tag, type->scheme, key);
  if (!type->layouts.empty()) bytes.resize(std::max<size_t>(bytes.size(), type->StoredSize()), 0);
  m_document.Records().Put(tag, assigned, std::move(bytes));
  if (type->scheme == KeyScheme::EntryIncidence) m_document.RefreshEntryFlags(tag, assigned.a);
  return FromRecordKey(type->scheme, assigned);
}

uint16_t ScoreBuilder::SmartShape(uint16_t staff, int first, int last, uint16_t flags, uint32_t startEntry,
                                  uint32_t endEntry, uint16_t kind) {
  QXSmartShape shape{};
  shape.kind = kind;
  shape.flags = flags;
  shape.startStaff = shape.endStaff = staff;
  shape.startMeasure = static_cast<int16_t>(first);
  shape.endMeasure = static_cast<int16_t>(last);
  shape.startEntry = startEntry;
  shape.endEntry = endEntry;
  const uint16_t number = AddRecord(kQXTagSmartShape, QXKey::Of(kQXNew, 0), shape).first;
  for (int measure = first; measure <= last; ++measure) {
    QXShapeMeasure assignment{number, 0, {}};
    if (measure > first && measure < last) {
      assignment.segment = AddRecord(kQXTagShapeSegment, QXKey::Of(number, kQXNew), QXShapeSegment{}).second;
    }
    AddRecord(kQXTagShapeMeasure, QXKey::Of(static_cast<uint16_t>(measure), kQXNew), assignment);
  }
  if (startEntry != 0) AddRecord(kQXTagEntryShapeLink, QXKey::Entry(startEntry, kQXNew), QXEntryShapeLink{number, {}});
  if (endEntry != 0 && endEntry != startEntry) {
    AddRecord(kQXTagEntryShapeLink, QXKey::Entry(endEntry, kQXNew), QXEntryShapeLink{number, {}});
  }
  return number;
}

void ScoreBuilder::EntrySize(uint32_t entry, int percent) {
  Document::Untracked untracked(m_document);
  QXEntrySize size{};
  size.percent = static_cast<uint16_t>(percent);
  m_document.Records().Put(kQXTagEntrySize, RecordKey{entry, 0, 0}, ToBytes(size));
  m_document.EditEntry(entry, [](QXEntry& e) { e.flags |= kQXEntrySpecial; });
}

}  // namespace quivrasim
