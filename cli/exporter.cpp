#include "exporter.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <set>

#include "mapping.h"
#include "notation.h"
#include "quivra/qx_records.h"
#include "quivrasim/text_format.h"

namespace ostinel_cli {

namespace {

using quivrasim::Bytes;
using quivrasim::RecordKey;

// The staff of an instrument: its part and staff number.
struct Place {
  PartLayout* part = nullptr;
  int staff = 1;
};

class Exporter {
 public:
  Exporter(const quivrasim::Document& host, ImportedScore& score) : m_host(host), m_score(score) {
    for (PartLayout& part : score.parts) {
      for (int staff = 1; staff <= part.staves; ++staff) {
        m_places[part.instruments[static_cast<size_t>(staff - 1)]] = Place{&part, staff};
      }
    }
  }

  ExportCounts Run() {
    CollectShapes();
    WriteClefs();
    WriteMeasureExpressions();
    WriteMarkers();
    WriteChords();
    WriteWedges();
    WriteCueNotes();
    return m_counts;
  }

 private:
  template <class Record>
  Record Read(uint32_t tag, const RecordKey& key) const {
    Record record{};
    if (const Bytes* bytes = m_host.Records().Find(tag, key)) {
      std::memcpy(&record, bytes->data(), std::min(sizeof record, bytes->size()));
    }
    return record;
  }

  // The records of a tag that the plug-in made.
  std::vector<RecordKey> Added(uint32_t tag) const {
    std::vector<RecordKey> added;
    const auto& known = m_score.snapshot.keys;
    const auto before = known.find(tag);
    for (const auto& [key, bytes] : m_host.Records().All(tag)) {
      if (before == known.end() || before->second.count(key) == 0) added.push_back(key);
    }
    return added;
  }

  const Place* PlaceOf(uint16_t instrument) const {
    const auto found = m_places.find(instrument);
    return found == m_places.end() ? nullptr : &found->second;
  }

  pugi::xml_node Measure(const Place& place, int measure) const {
    if (measure < 1 || measure > static_cast<int>(place.part->measures.size())) return pugi::xml_node();
    return place.part->measures[static_cast<size_t>(measure - 1)];
  }

  // Divisions in force where the additions at a measure's start go.
  int DivisionsAtStart(const PartLayout& part, int measure) const {
    int divisions = measure >= 2 ? part.endDivisions[static_cast<size_t>(measure - 2)] : 1;
    const pugi::xml_node node = part.measures[static_cast<size_t>(measure - 1)];
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
      if (IsMusic(child)) break;
      if (std::strcmp(child.name(), "attributes") == 0 && child.child("divisions")) {
        divisions = std::max(1, child.child("divisions").text().as_int(1));
      }
    }
    return divisions;
  }

  static bool IsMusic(pugi::xml_node node) {
    const char* name = node.name();
    return std::strcmp(name, "note") == 0 || std::strcmp(name, "backup") == 0 || std::strcmp(name, "forward") == 0;
  }

  // A new element at the start of a measure, after what stands before its music.
  pugi::xml_node StartElement(pugi::xml_node measure, const char* name) {
    for (pugi::xml_node child = measure.first_child(); child; child = child.next_sibling()) {
      if (IsMusic(child)) return measure.insert_child_before(name, child);
    }
    return measure.append_child(name);
  }

  static void Text(pugi::xml_node parent, const char* name, const std::string& value) {
    parent.append_child(name).text().set(value.c_str());
  }

  static int64_t ToDivisions(int64_t units, int divisions) { return units * divisions / kQXQuarter; }

  void Direction(const Place& place, int measure, int64_t position, const std::function<void(pugi::xml_node)>& fill,
                 const char* placement = "above") {
    const pugi::xml_node node = Measure(place, measure);
    if (!node) return;
    pugi::xml_node direction = StartElement(node, "direction");
    direction.append_attribute("placement") = placement;
    fill(direction.append_child("direction-type"));
    const int64_t offset = ToDivisions(position, DivisionsAtStart(*place.part, measure));
    if (offset != 0) Text(direction, "offset", std::to_string(offset));
    if (place.part->staves > 1) Text(direction, "staff", std::to_string(place.staff));
  }

  static void Words(pugi::xml_node type, const std::string& caretText) {
    const quivrasim::FormattedText text = quivrasim::ParseCaretText(caretText);
    pugi::xml_node words = type.append_child("words");
    if (!text.font.empty()) words.append_attribute("font-family") = text.font.c_str();
    if (text.size > 0) words.append_attribute("font-size") = text.size;
    if ((text.efx & 2) != 0) words.append_attribute("font-style") = "italic";
    if ((text.efx & 1) != 0) words.append_attribute("font-weight") = "bold";
    words.text().set(text.plain.c_str());
  }

  std::string DefinitionText(int definition, uint16_t* kind) const {
    const Bytes* bytes = m_host.Records().Find(kQXTagTextExprDef, RecordKey{static_cast<uint32_t>(definition), 0, 0});
    if (bytes == nullptr || bytes->size() <= sizeof(QXTextExprDefHeader)) return {};
    QXTextExprDefHeader header;
    std::memcpy(&header, bytes->data(), sizeof header);
    if (kind != nullptr) *kind = header.host8;
    const char* text = reinterpret_cast<const char*>(bytes->data()) + sizeof header;
    return std::string(text, strnlen(text, bytes->size() - sizeof header));
  }

  void WriteMeasureExpressions() {
    for (const RecordKey& key : Added(kQXTagMeasureExpr)) {
      const QXMeasureExpr assignment = Read<QXMeasureExpr>(kQXTagMeasureExpr, key);
      const Place* place = PlaceOf(assignment.staff);
      if (place == nullptr) continue;
      uint16_t kind = 0;
      const std::string text = DefinitionText(assignment.definition, &kind);
      if (text.empty()) continue;
      const int measure = static_cast<int>(key.a);
      if ((assignment.flags & kQXExprLayerMask) == 0) {
        // The cue's name: at the start of its measure.
        Direction(*place, measure, 0, [&](pugi::xml_node type) { Words(type, text); });
        ++m_counts.cueNames;
        continue;
      }
      const int64_t position = (assignment.flags & kQXExprAtHpos) != 0 ? std::max<int>(0, assignment.hpos) : 0;
      Direction(*place, measure, position, [&](pugi::xml_node type) {
        if (kind == kExpressionDynamics) {
          pugi::xml_node dynamics = type.append_child("dynamics");
          static const std::set<std::string> kMarks = {"p",  "pp", "ppp", "pppp", "f",   "ff",  "fff", "ffff", "mp",
                                                       "mf", "sf", "sfp", "sfz",  "fp",  "fz",  "rf",  "rfz",  "sfpp",
                                                       "sffz", "pf", "n",  "sfzp"};
          if (kMarks.count(text) != 0) {
            dynamics.append_child(text.c_str());
          } else {
            Text(dynamics, "other-dynamics", text);
          }
        } else {
          Words(type, text);
        }
      });
      ++m_counts.elements;
    }
  }

  void WriteMarkers() {
    for (const RecordKey& key : Added(kQXTagMeasureText)) {
      const Place* place = PlaceOf(static_cast<uint16_t>(key.a));
      if (place == nullptr) continue;
      const QXMeasureText assignment = Read<QXMeasureText>(kQXTagMeasureText, key);
      const QXTextBlock block = Read<QXTextBlock>(kQXTagTextBlock, RecordKey{assignment.block, 0, 0});
      const Bytes* raw = m_host.Records().Find(kQXTagRawText, RecordKey{block.rawText, 0, 0});
      if (raw == nullptr) continue;
      const std::string text(raw->begin(), raw->end());
      Direction(*place, static_cast<int>(key.b), 0, [&](pugi::xml_node type) { Words(type, text); });
      ++m_counts.markers;
    }
  }

  void WriteChords() {
    for (const RecordKey& key : Added(kQXTagChord)) {
      const Place* place = PlaceOf(static_cast<uint16_t>(key.a));
      const int measure = static_cast<int>(key.b);
      const pugi::xml_node node = place != nullptr ? Measure(*place, measure) : pugi::xml_node();
      if (!node) continue;
      const ChordRecord chord = Read<ChordRecord>(kQXTagChord, key);
      pugi::xml_node harmony = StartElement(node, "harmony");
      auto addPitch = [&](pugi::xml_node parent, const char* stepName, const char* alterName, int step, int alter) {
        char letter = 'C';
        int ignoredAlter = 0;
        int octave = 0;
        PitchToXml(Pitch{step, 0}, &letter, &ignoredAlter, &octave);
        Text(parent, stepName, std::string(1, letter));
        if (alter != 0) Text(parent, alterName, std::to_string(alter));
      };
      addPitch(harmony.append_child("root"), "root-step", "root-alter", chord.rootStep, chord.rootAlter);
      const std::string kind(chord.kind, strnlen(chord.kind, sizeof chord.kind));
      Text(harmony, "kind", kind.empty() ? "major" : kind);
      if (chord.bassStep >= 0) {
        addPitch(harmony.append_child("bass"), "bass-step", "bass-alter", chord.bassStep, chord.bassAlter);
      }
      const int64_t offset = ToDivisions(chord.position, DivisionsAtStart(*place->part, measure));
      if (offset != 0) Text(harmony, "offset", std::to_string(offset));
      if (place->part->staves > 1) Text(harmony, "staff", std::to_string(place->staff));
      ++m_counts.elements;
    }
  }

  static void AppendClef(pugi::xml_node attributes, int code, int staff, bool numbered) {
    pugi::xml_node clef = attributes.append_child("clef");
    if (numbered) clef.append_attribute("number") = staff;
    const int sign = std::clamp((code % 100) / 10, 0, static_cast<int>(std::size(kClefSigns)) - 1);
    Text(clef, "sign", kClefSigns[sign][0] != '\0' ? kClefSigns[sign] : "G");
    if (code % 10 != 0) Text(clef, "line", std::to_string(code % 10));
    if (code >= 100) Text(clef, "clef-octave-change", code >= 200 ? "1" : "-1");
  }

  int ClefAt(const quivrasim::Bytes& hold) const {
    QXHold record{};
    std::memcpy(&record, hold.data(), std::min(sizeof record, hold.size()));
    if ((record.flags & kQXHoldClefList) == 0) return record.clef;
    return Read<QXClefChange>(kQXTagClefChange, RecordKey{record.clef, 0, 0}).clef;
  }

  // A clef the cue brought: set at the measure's start, and the staff's own
  // clef given back after the last measure that changed.
  void WriteClefs() {
    std::map<uint16_t, std::vector<std::pair<int, int>>> changed;  // instrument -> (measure, clef)
    for (const auto& [key, bytes] : m_host.Records().All(kQXTagHold)) {
      const auto before = m_score.snapshot.holds.find(key);
      if (before != m_score.snapshot.holds.end() && before->second == *bytes) continue;
      changed[static_cast<uint16_t>(key.a)].emplace_back(static_cast<int>(key.b), ClefAt(*bytes));
    }
    for (auto& [instrument, measures] : changed) {
      const Place* place = PlaceOf(instrument);
      if (place == nullptr) continue;
      std::sort(measures.begin(), measures.end());
      for (size_t i = 0; i < measures.size(); ++i) {
        const auto [measure, clef] = measures[i];
        const bool runStart = i == 0 || measures[i - 1].first != measure - 1 || measures[i - 1].second != clef;
        if (runStart && Measure(*place, measure)) {
          AppendClef(StartElement(Measure(*place, measure), "attributes"), clef, place->staff, place->part->staves > 1);
          ++m_counts.elements;
        }
        const bool runEnd = i + 1 == measures.size() || measures[i + 1].first != measure + 1;
        const auto own = m_score.snapshot.holds.find(RecordKey{instrument, static_cast<uint32_t>(measure + 1), 0});
        if (runEnd && own != m_score.snapshot.holds.end() && Measure(*place, measure + 1)) {
          AppendClef(StartElement(Measure(*place, measure + 1), "attributes"), ClefAt(own->second), place->staff,
                     place->part->staves > 1);
        }
      }
    }
  }

  void CollectShapes() {
    for (const RecordKey& key : Added(kQXTagSmartShape)) {
      const QXSmartShape shape = Read<QXSmartShape>(kQXTagSmartShape, key);
      if ((shape.flags & kQXShapeEntryBound) != 0) {
        m_slurStarts.insert(uint32_t{shape.startEntry});
        m_slurStops.insert(uint32_t{shape.endEntry});
      } else {
        m_wedges.push_back(shape);
      }
    }
  }

  void WriteWedges() {
    for (const QXSmartShape& shape : m_wedges) {
      const Place* place = PlaceOf(shape.startStaff);
      if (place == nullptr || (shape.kind != kShapeCrescendo && shape.kind != kShapeDiminuendo)) continue;
      Direction(*place, shape.startMeasure, 0, [&](pugi::xml_node type) {
        type.append_child("wedge").append_attribute("type") = shape.kind == kShapeCrescendo ? "crescendo" : "diminuendo";
      }, "below");
      const int64_t end = m_host.MeasureLength(shape.endMeasure);
      Direction(*place, shape.endMeasure, end,
                [&](pugi::xml_node type) { type.append_child("wedge").append_attribute("type") = "stop"; }, "below");
      ++m_counts.elements;
    }
  }

  // ---- Cue notes ----

  struct CueEntry {
    QXEntry entry;
    int actual = 1;
    int normal = 1;
    bool tupletStart = false;
    bool tupletStop = false;
  };

  bool IsCueEntry(const QXEntry& entry) const {
    return entry.number > m_score.snapshot.lastEntry &&
           m_host.Records().Find(kQXTagEntrySize, RecordKey{entry.number, 0, 0}) != nullptr;
  }

  std::vector<CueEntry> CueEntries(const quivrasim::Entries& entries) const {
    std::vector<CueEntry> cue;
    int left = 0;
    int actual = 1;
    int normal = 1;
    for (const QXEntry& entry : entries) {
      if (!IsCueEntry(entry)) continue;
      CueEntry item{entry};
      if (left == 0) {
        if (const std::optional<QXTuplet> tuplet = m_host.TupletAt(entry.number)) {
          left = tuplet->entries;
          actual = tuplet->actual;
          normal = tuplet->normal;
          item.tupletStart = true;
        }
      }
      if (left > 0) {
        item.actual = actual;
        item.normal = normal;
        item.tupletStop = --left == 0;
      }
      cue.push_back(item);
    }
    return cue;
  }

  void WriteCueNotes() {
    for (PartLayout& part : m_score.parts) {
      for (int measure = 1; measure <= static_cast<int>(part.measures.size()); ++measure) {
        for (int staff = 1; staff <= part.staves; ++staff) {
          const uint16_t instrument = part.instruments[static_cast<size_t>(staff - 1)];
          for (int layer = 0; layer < m_host.MaxLayers(); ++layer) {
            const quivrasim::Entries* entries =
                m_host.Frame({instrument, static_cast<int16_t>(measure), static_cast<uint16_t>(layer)});
            if (entries == nullptr) continue;
            const std::vector<CueEntry> cue = CueEntries(*entries);
            if (!cue.empty()) WriteCueVoice(Place{&part, staff}, measure, cue);
          }
        }
      }
    }
  }

  void WriteCueVoice(const Place& place, int measure, const std::vector<CueEntry>& cue) {
    PartLayout& part = *place.part;
    pugi::xml_node node = part.measures[static_cast<size_t>(measure - 1)];
    const int divisions = part.endDivisions[static_cast<size_t>(measure - 1)];
    // Durations that the part's divisions cannot hold ask for finer ones.
    int64_t multiplier = 1;
    for (const CueEntry& item : cue) {
      const int64_t numerator = static_cast<int64_t>(item.entry.duration) * item.normal * divisions;
      const int64_t denominator = static_cast<int64_t>(item.actual) * kQXQuarter;
      const int64_t needed = denominator / std::gcd(numerator, denominator);
      multiplier = std::lcm(multiplier, needed);
    }
    const int64_t finer = divisions * multiplier;
    const int64_t back = part.endTime[static_cast<size_t>(measure - 1)];
    if (back > 0) Text(node.append_child("backup"), "duration", std::to_string(back));
    if (multiplier > 1) Text(node.append_child("attributes"), "divisions", std::to_string(finer));
    for (const CueEntry& item : cue) WriteCueEntry(place, node, item, finer);
    if (multiplier > 1) Text(node.append_child("attributes"), "divisions", std::to_string(divisions));
    ++m_counts.cueMeasures;
  }

  void WriteCueEntry(const Place& place, pugi::xml_node measure, const CueEntry& item, int64_t divisions) {
    const QXEntry& entry = item.entry;
    const bool rest = (entry.flags & kQXEntryNote) == 0;
    const bool hidden = rest && ((entry.flags & kQXEntryPlaceholder) != 0 || entry.hostWord144 == kFillerMark);
    const int64_t duration = static_cast<int64_t>(entry.duration) * item.normal * divisions / (item.actual * kQXQuarter);
    std::string type;
    int dots = 0;
    const bool typed = TypeOf(entry.duration, &type, &dots);
    const int count = rest ? 1 : std::clamp<int>(entry.noteCount, 1, kQXMaxNotes);
    for (int n = 0; n < count; ++n) {
      pugi::xml_node note = measure.append_child("note");
      if (hidden) note.append_attribute("print-object") = "no";
      note.append_child("cue");
      if (n > 0) note.append_child("chord");
      const QXNoteSlot& slot = entry.notes[n];
      if (rest) {
        note.append_child("rest");
      } else {
        const Pitch written = Transpose(Pitch{static_cast<int16_t>(slot.word0), static_cast<int16_t>(slot.word1)},
                                        -place.part->transposeDiatonic, -place.part->transposeChromatic);
        char step = 'C';
        int alter = 0;
        int octave = 4;
        PitchToXml(written, &step, &alter, &octave);
        pugi::xml_node pitch = note.append_child("pitch");
        Text(pitch, "step", std::string(1, step));
        if (alter != 0) Text(pitch, "alter", std::to_string(alter));
        Text(pitch, "octave", std::to_string(octave));
      }
      Text(note, "duration", std::to_string(std::max<int64_t>(duration, 1)));
      Text(note, "voice", std::to_string(place.part->cueVoice));
      if (typed) {
        pugi::xml_node typeNode = note.append_child("type");
        typeNode.text().set(type.c_str());
        typeNode.append_attribute("size") = "cue";
        for (int d = 0; d < dots; ++d) note.append_child("dot");
      }
      if (item.actual != 1 || item.normal != 1) {
        pugi::xml_node modification = note.append_child("time-modification");
        Text(modification, "actual-notes", std::to_string(item.actual));
        Text(modification, "normal-notes", std::to_string(item.normal));
      }
      if (place.part->staves > 1) Text(note, "staff", std::to_string(place.staff));
      WriteNotations(note, entry, slot, item, n == 0, rest);
      if (n == 0 && !rest) WriteLyrics(note, entry.number);
      ++m_counts.cueNotes;
    }
  }

  void WriteNotations(pugi::xml_node note, const QXEntry& entry, const QXNoteSlot& slot, const CueEntry& item,
                      bool first, bool rest) {
    pugi::xml_node notations;
    auto get = [&]() {
      if (!notations) notations = note.append_child("notations");
      return notations;
    };
    if (!rest && (slot.flags & kQXNoteTieEnd) != 0) get().append_child("tied").append_attribute("type") = "stop";
    if (!rest && (slot.flags & kQXNoteTieStart) != 0) get().append_child("tied").append_attribute("type") = "start";
    if (!first) return;
    if (m_slurStarts.count(entry.number) != 0) {
      pugi::xml_node slur = get().append_child("slur");
      slur.append_attribute("type") = "start";
      slur.append_attribute("number") = 16;
    }
    if (m_slurStops.count(entry.number) != 0) {
      pugi::xml_node slur = get().append_child("slur");
      slur.append_attribute("type") = "stop";
      slur.append_attribute("number") = 16;
    }
    if (item.tupletStart) get().append_child("tuplet").append_attribute("type") = "start";
    if (item.tupletStop) get().append_child("tuplet").append_attribute("type") = "stop";
    pugi::xml_node articulations;
    for (uint16_t incidence = 0;; ++incidence) {
      const Bytes* bytes = m_host.Records().Find(kQXTagArticulation, RecordKey{entry.number, incidence, 0});
      if (bytes == nullptr) break;
      QXEntryDetail detail;
      std::memcpy(&detail, bytes->data(), sizeof detail);
      const int code = detail.words[0];
      if (code == kFermataCode) {
        get().append_child("fermata");
      } else if (code > 0 && code < kFermataCode) {
        if (!articulations) articulations = get().append_child("articulations");
        articulations.append_child(kArticulations[code]);
      }
    }
  }

  void WriteLyrics(pugi::xml_node note, uint32_t entryNumber) {
    for (uint16_t incidence = 0;; ++incidence) {
      const Bytes* bytes = m_host.Records().Find(kQXTagLyricVerse, RecordKey{entryNumber, incidence, 0});
      if (bytes == nullptr) break;
      QXEntryDetail detail;
      std::memcpy(&detail, bytes->data(), sizeof detail);
      const Bytes* raw = m_host.Records().Find(kQXTagRawText, RecordKey{detail.words[1], 0, 0});
      if (raw == nullptr) continue;
      pugi::xml_node lyric = note.append_child("lyric");
      lyric.append_attribute("number") = detail.words[0];
      Text(lyric, "syllabic", kSyllabic[std::min<int>(detail.words[2], 3)]);
      Text(lyric, "text", std::string(raw->begin(), raw->end()));
      if (detail.words[3] != 0) lyric.append_child("extend");
    }
  }

  const quivrasim::Document& m_host;
  ImportedScore& m_score;
  std::map<uint16_t, Place> m_places;
  std::set<uint32_t> m_slurStarts;
  std::set<uint32_t> m_slurStops;
  std::vector<QXSmartShape> m_wedges;
  ExportCounts m_counts;
};

}  // namespace

ExportCounts ExportAdditions(const quivrasim::Document& host, ImportedScore& score) {
  return Exporter(host, score).Run();
}

}  // namespace ostinel_cli
