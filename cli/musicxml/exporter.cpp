#include "exporter.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "cue_notes.h"
#include "mapping.h"
#include "notation.h"
#include "quivra/qx_records.h"
#include "quivrasim/text_format.h"
#include "shown_text.h"

namespace ostinel_cli {

namespace {

using quivrasim::Bytes;
using quivrasim::RecordKey;

// The staff of an instrument: its part and staff number.
struct Place {
  PartLayout* part = nullptr;
  int staff = 1;
};

// A direction that goes with the staff's cue voice in its measure, whatever its layer.
constexpr int kAnyCueLayer = -2;

struct DirectionOptions {
  const char* placement = "above";
  int layer = -1;            // its layer: the direction then goes with the cue voice there
  const char* id = nullptr;  // the kind of text a later run reads back as the plug-in's own
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
    // The cue notes first: they may raise a part's divisions, which the
    // offsets of everything else are then written in.
    ReadJournal();
    CollectShapes();
    WriteCueNotes();
    WriteClefs();
    WriteMeasureExpressions();
    WriteMarkers();
    WriteChords();
    WriteWedges();
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

  // A record the plug-in changed, and what it held before the first change
  // (in the journal, which stays as it is while the export reads it).
  struct RecordChange {
    uint32_t tag;
    RecordKey key;
    const std::optional<Bytes>* before;
    bool operator<(const RecordChange& other) const { return std::tie(tag, key) < std::tie(other.tag, other.key); }
  };

  // What the plug-in's edits wrote, from the host's undo journal: the
  // records it made, and what those it changed held before.
  void ReadJournal() {
    const auto& edits = m_host.UndoStack();
    for (size_t i = m_score.snapshot.edits; i < edits.size(); ++i) {
      for (const quivrasim::EditRecord::RecordChange& change : edits[i].records) {
        m_before.push_back(RecordChange{change.tag, change.key, &change.before});
      }
    }
    // In key order; of a record changed more than once, the first change holds what the score had.
    std::stable_sort(m_before.begin(), m_before.end());
    m_before.erase(std::unique(m_before.begin(), m_before.end(),
                               [](const RecordChange& a, const RecordChange& b) { return !(a < b) && !(b < a); }),
                   m_before.end());
  }

  // The changes to records of a tag, in key order.
  using ChangeAt = std::vector<RecordChange>::const_iterator;
  std::pair<ChangeAt, ChangeAt> ChangesOf(uint32_t tag) const {
    return std::equal_range(m_before.begin(), m_before.end(), RecordChange{tag, RecordKey{}, nullptr},
                            [](const RecordChange& a, const RecordChange& b) { return a.tag < b.tag; });
  }

  // The records of a tag that the plug-in made (and that are still there).
  std::vector<RecordKey> Added(uint32_t tag) const {
    std::vector<RecordKey> added;
    const auto [first, last] = ChangesOf(tag);
    for (auto it = first; it != last; ++it) {
      if (!*it->before && m_host.Records().Find(tag, it->key) != nullptr) added.push_back(it->key);
    }
    return added;
  }

  // A record as the score had it, before the plug-in changed it.
  const Bytes* Original(uint32_t tag, const RecordKey& key) const {
    const RecordChange wanted{tag, key, nullptr};
    const auto changed = std::lower_bound(m_before.begin(), m_before.end(), wanted);
    if (changed == m_before.end() || wanted < *changed) return m_host.Records().Find(tag, key);
    return *changed->before ? &**changed->before : nullptr;
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
                 const DirectionOptions& options = {}) {
    const pugi::xml_node node = Measure(place, measure);
    if (!node) return;
    pugi::xml_node direction = StartElement(node, "direction");
    direction.append_attribute("placement") = options.placement;
    if (options.id != nullptr) direction.append_attribute("id") = NewId(options.id).c_str();
    fill(direction.append_child("direction-type"));
    const int64_t offset = ToDivisions(position, DivisionsAtStart(*place.part, measure));
    if (offset != 0) Text(direction, "offset", std::to_string(offset));
    // A shape copied with a cue goes with the cue voice nearest to it (it may
    // start before the cue's first measure or end after its last).
    int voice = 0;
    int distance = 0;
    for (const auto& [key, number] : m_voices[place.part]) {
      const auto [voiceMeasure, staff, layer] = key;
      if (staff != place.staff || (options.layer != kAnyCueLayer && (layer != options.layer || voiceMeasure != measure))) {
        continue;
      }
      if (voice == 0 || std::abs(voiceMeasure - measure) < distance) {
        voice = number;
        distance = std::abs(voiceMeasure - measure);
      }
    }
    if (voice != 0) Text(direction, "voice", std::to_string(voice));
    if (place.part->staves > 1) Text(direction, "staff", std::to_string(place.staff));
  }

  // An id unique in the document: the prefix and a number no earlier run used.
  std::string NewId(const char* prefix) {
    if (m_nextId == 0) m_nextId = m_score.lastOwnId + 1;
    return prefix + std::to_string(m_nextId++);
  }

  static void Words(pugi::xml_node type, const std::string& caretText) {
    const quivrasim::FormattedText text = quivrasim::ParseCaretText(caretText);
    pugi::xml_node words = type.append_child("words");
    if (!text.font.empty()) words.append_attribute("font-family") = text.font.c_str();
    if (text.size > 0) words.append_attribute("font-size") = text.size;
    if ((text.efx & 2) != 0) words.append_attribute("font-style") = "italic";
    if ((text.efx & 1) != 0) words.append_attribute("font-weight") = "bold";
    // Host text written as XML always reads back: valid UTF-8, no character XML refuses.
    words.text().set(XmlText(text.plain).c_str());
  }

  std::string DefinitionText(int definition, uint16_t* kind, int* pointSize = nullptr) const {
    const Bytes* bytes = m_host.Records().Find(kQXTagTextExprDef, RecordKey{static_cast<uint32_t>(definition), 0, 0});
    if (bytes == nullptr || bytes->size() <= sizeof(QXTextExprDefHeader)) return {};
    QXTextExprDefHeader header;
    std::memcpy(&header, bytes->data(), sizeof header);
    if (kind != nullptr) *kind = header.host8;
    if (pointSize != nullptr) *pointSize = header.fontWord >> 8;
    const char* text = reinterpret_cast<const char*>(bytes->data()) + sizeof header;
    return std::string(text, strnlen(text, bytes->size() - sizeof header));
  }

  void WriteMeasureExpressions() {
    for (const RecordKey& key : Added(kQXTagMeasureExpr)) {
      const QXMeasureExpr assignment = Read<QXMeasureExpr>(kQXTagMeasureExpr, key);
      const Place* place = PlaceOf(assignment.staff);
      if (place == nullptr) continue;
      uint16_t kind = 0;
      int pointSize = 0;
      const std::string text = DefinitionText(assignment.definition, &kind, &pointSize);
      if (text.empty()) continue;
      const int measure = static_cast<int>(key.a);
      if ((assignment.flags & kQXExprLayerMask) == 0) {
        // The cue's name: at the start of its measure, in the size the plug-in gave it.
        Direction(*place, measure, 0, [&](pugi::xml_node type) {
          Words(type, text);
          if (pointSize > 0) type.child("words").append_attribute("font-size") = pointSize;
        }, DirectionOptions{"above", -1, kCueNameIdPrefix});
        ++m_counts.cueNames;
        continue;
      }
      const int64_t position = (assignment.flags & kQXExprAtHpos) != 0 ? std::max<int>(0, assignment.hpos) : 0;
      const int layer = (assignment.flags & kQXExprLayerMask) - 1;
      Direction(*place, measure, position, [&](pugi::xml_node type) {
        if (kind == kExpressionDynamics) {
          pugi::xml_node dynamics = type.append_child("dynamics");
          static const std::set<std::string> kMarks = {"p",  "pp", "ppp", "pppp", "f",   "ff",  "fff", "ffff", "mp",
                                                       "mf", "sf", "sfp", "sfz",  "fp",  "fz",  "rf",  "rfz",  "sfpp",
                                                       "sffz", "pf", "n",  "sfzp"};
          if (kMarks.count(text) != 0) {
            dynamics.append_child(text.c_str());
          } else {
            Text(dynamics, "other-dynamics", XmlText(text));
          }
        } else {
          Words(type, text);
        }
      }, DirectionOptions{"above", layer, nullptr});
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
      Direction(*place, static_cast<int>(key.b), 0, [&](pugi::xml_node type) { Words(type, text); },
                DirectionOptions{"above", -1, kMarkerIdPrefix});
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

  // The clef a measure already sets for a staff at its start (before its music).
  static pugi::xml_node ClefAtStart(pugi::xml_node measure, int staff) {
    for (pugi::xml_node child = measure.first_child(); child && !IsMusic(child); child = child.next_sibling()) {
      if (std::strcmp(child.name(), "attributes") != 0) continue;
      for (pugi::xml_node clef = child.child("clef"); clef; clef = clef.next_sibling("clef")) {
        if (clef.attribute("number").as_int(1) == staff) return clef;
      }
    }
    return pugi::xml_node();
  }

  static void FillClef(pugi::xml_node clef, int code, const Place& place) {
    if (place.part->staves > 1) clef.append_attribute("number") = place.staff;
    const int sign = std::clamp(code % kClefOctaveDown / kClefSignUnit, 0, static_cast<int>(std::size(kClefSigns)) - 1);
    Text(clef, "sign", kClefSigns[sign][0] != '\0' ? kClefSigns[sign] : "G");
    if (code % kClefSignUnit != 0) Text(clef, "line", std::to_string(code % kClefSignUnit));
    if (code >= kClefOctaveDown) Text(clef, "clef-octave-change", code >= kClefOctaveUp ? "1" : "-1");
  }

  // The clefs of a staff in a measure, by their position: the one it starts
  // with, and the changes of its clef change list.
  std::vector<std::pair<int32_t, int>> ClefsOf(const quivrasim::Bytes& hold) const {
    QXHold record{};
    std::memcpy(&record, hold.data(), std::min(sizeof record, hold.size()));
    if ((record.flags & kQXHoldClefList) == 0) return {{0, record.clef}};
    std::vector<std::pair<int32_t, int>> clefs;
    for (uint32_t incidence = 0;; ++incidence) {
      const Bytes* change = m_host.Records().Find(kQXTagClefChange, RecordKey{record.clef, incidence, 0});
      if (change == nullptr) break;
      const QXClefChange entry = Read<QXClefChange>(kQXTagClefChange, RecordKey{record.clef, incidence, 0});
      clefs.emplace_back(incidence == 0 ? 0 : entry.position, entry.clef);
    }
    if (clefs.empty()) clefs.emplace_back(0, 12);
    return clefs;
  }

  // A cue-sized clef: at a measure's start before its barline, like any clef
  // change; inside the measure in the cue voice, before its first note at
  // or after the position.
  void CueClef(const Place& place, int measure, int32_t position, int code) {
    pugi::xml_node clef;
    if (position == 0) {
      clef = BarlineClef(place, measure);
    } else {
      pugi::xml_node node = Measure(place, measure);
      pugi::xml_node before;
      for (const auto& [key, number] : m_voices[place.part]) {
        if (std::get<0>(key) != measure || std::get<1>(key) != place.staff) continue;
        before = NoteOfVoiceAt(node, number, position, DivisionsAtStart(*place.part, measure));
      }
      clef = (before ? node.insert_child_before("attributes", before) : node.append_child("attributes")).append_child("clef");
    }
    clef.append_attribute("size") = "cue";
    FillClef(clef, code, place);
    ++m_counts.elements;
  }

  // A clef that takes effect where a measure starts: at the end of the
  // measure before (a reader draws it before the barline, clear of a new time
  // signature) when that measure's music reaches its end, else at the start.
  pugi::xml_node BarlineClef(const Place& place, int measure) {
    pugi::xml_node previous = Measure(place, measure - 1);
    if (previous && EndsAtItsEnd(previous)) return previous.append_child("attributes").append_child("clef");
    return StartElement(Measure(place, measure), "attributes").append_child("clef");
  }

  // The last of a measure's music ends where its longest voice does.
  static bool EndsAtItsEnd(pugi::xml_node measure) {
    int64_t cursor = 0;
    int64_t most = 0;
    for (pugi::xml_node child = measure.first_child(); child; child = child.next_sibling()) {
      const char* name = child.name();
      const int64_t duration = child.child("duration").text().as_llong(0);
      if (std::strcmp(name, "backup") == 0) cursor -= duration;
      if (std::strcmp(name, "forward") == 0 || (std::strcmp(name, "note") == 0 && !child.child("chord"))) {
        cursor += duration;
      }
      most = std::max(most, cursor);
    }
    return cursor == most;
  }

  // The first note of a voice that starts at or after a position (host units).
  static pugi::xml_node NoteOfVoiceAt(pugi::xml_node measure, int voice, int32_t position, int divisions) {
    int64_t cursor = 0;
    const std::string wanted = std::to_string(voice);
    for (pugi::xml_node child = measure.first_child(); child; child = child.next_sibling()) {
      const char* name = child.name();
      const int64_t duration = child.child("duration").text().as_llong(0);
      if (std::strcmp(name, "backup") == 0) cursor -= duration;
      if (std::strcmp(name, "forward") == 0 || std::strcmp(name, "note") == 0) {
        if (wanted == child.child_value("voice") && !child.child("chord") &&
            cursor * kQXQuarter >= int64_t{position} * divisions) {
          return child;
        }
        if (!child.child("chord")) cursor += duration;
      }
    }
    return pugi::xml_node();
  }

  // The staff's own clef given back where a measure starts.
  void OwnClef(const Place& place, int measure, int code) { FillClef(BarlineClef(place, measure), code, place); }

  // The clefs a cue brought: cue-sized, in the cue voice, wherever the clef
  // shown would not be the source's; the staff's own clefs stay where they
  // are, and its clef in force is given back where the cue ends.
  void WriteClefs() {
    std::map<uint16_t, std::vector<int>> changed;  // instrument -> measures whose clefs the cue changed
    const auto [first, last] = ChangesOf(kQXTagHold);
    for (auto it = first; it != last; ++it) {
      const RecordKey& key = it->key;
      const Bytes* now = m_host.Records().Find(kQXTagHold, key);
      if (now == nullptr || (*it->before && **it->before == *now)) continue;
      changed[static_cast<uint16_t>(key.a)].push_back(static_cast<int>(key.b));
    }
    for (auto& [instrument, measures] : changed) {
      const Place* place = PlaceOf(instrument);
      if (place == nullptr) continue;
      std::sort(measures.begin(), measures.end());
      int shown = -1;  // the clef the reader shows at the end of the last measure done
      for (size_t i = 0; i < measures.size(); ++i) {
        const int measure = measures[i];
        if (!Measure(*place, measure)) continue;
        const RecordKey key{instrument, static_cast<uint32_t>(measure), 0};
        const Bytes* own = Original(kQXTagHold, key);
        const std::vector<std::pair<int32_t, int>> ownClefs =
            own != nullptr ? ClefsOf(*own) : std::vector<std::pair<int32_t, int>>{{0, kTrebleClef}};
        const bool runStart = i == 0 || measures[i - 1] != measure - 1;
        // At the measure's start the staff's own clef shows where it sets one
        // there (or where a run of cue measures starts).
        if (runStart || ClefAtStart(Measure(*place, measure), place->staff)) shown = ownClefs.front().second;
        // The cue's clefs and the staff's own changes inside the measure, in
        // time; at one place the staff's own comes first.
        struct Change {
          int32_t position;
          bool cue;
          int code;
        };
        std::vector<Change> changes;
        for (const auto& [position, code] : ClefsOf(*m_host.Records().Find(kQXTagHold, key))) {
          changes.push_back({position, true, code});
        }
        for (const auto& [position, code] : ownClefs) {
          if (position > 0) changes.push_back({position, false, code});
        }
        std::stable_sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) {
          return a.position != b.position ? a.position < b.position : !a.cue && b.cue;
        });
        // Where the staff sets its own clef, a reader takes a second clef at
        // the same place for an error: the staff's own stays, and the cue's
        // follows at its next change or measure.
        std::set<int32_t> ownPlaces;
        for (const Change& change : changes) {
          if (!change.cue) ownPlaces.insert(change.position);
        }
        if (ClefAtStart(Measure(*place, measure), place->staff)) ownPlaces.insert(0);
        int cue = shown;
        for (const Change& change : changes) {
          if (change.cue) cue = change.code;
          if (!change.cue) shown = change.code;
          if (cue == shown || ownPlaces.count(change.position) != 0) continue;
          CueClef(*place, measure, change.position, cue);
          shown = cue;
        }
        const bool runEnd = i + 1 == measures.size() || measures[i + 1] != measure + 1;
        const pugi::xml_node next = Measure(*place, measure + 1);
        if (!runEnd || !next || ClefAtStart(next, place->staff)) continue;
        const Bytes* after = Original(kQXTagHold, RecordKey{instrument, static_cast<uint32_t>(measure + 1), 0});
        if (after == nullptr) continue;
        const int ownCode = ClefsOf(*after).front().second;
        if (ownCode != shown) OwnClef(*place, measure + 1, ownCode);
      }
    }
  }

  void CollectShapes() {
    for (const RecordKey& key : Added(kQXTagSmartShape)) {
      const QXSmartShape shape = Read<QXSmartShape>(kQXTagSmartShape, key);
      if ((shape.flags & kQXShapeEntryBound) != 0) {
        m_slurs.starts.emplace(uint32_t{shape.startEntry}, static_cast<uint16_t>(key.a));
        m_slurs.stops.emplace(uint32_t{shape.endEntry}, static_cast<uint16_t>(key.a));
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
      }, DirectionOptions{"below", kAnyCueLayer});
      const int64_t end = m_host.MeasureLength(shape.endMeasure);
      Direction(*place, shape.endMeasure, end,
                [&](pugi::xml_node type) { type.append_child("wedge").append_attribute("type") = "stop"; },
                DirectionOptions{"below", kAnyCueLayer});
      ++m_counts.elements;
    }
  }

  void WriteCueNotes() {
    const NewFrames frames = FramesOfNewEntries(m_host, m_score.snapshot);
    for (PartLayout& part : m_score.parts) {
      const CueNoteCounts counts =
          ostinel_cli::WriteCueNotes(m_host, m_score, m_slurs, frames, part, &m_voices[&part]);
      m_counts.cueNotes += counts.notes;
      m_counts.cueRests += counts.rests;
      m_counts.cueMeasures += counts.measures;
    }
  }

  const quivrasim::Document& m_host;
  ImportedScore& m_score;
  std::map<uint16_t, Place> m_places;
  CueSlurs m_slurs;
  std::map<const PartLayout*, CueVoices> m_voices;
  std::vector<QXSmartShape> m_wedges;
  ExportCounts m_counts;
  int m_nextId = 0;
  std::vector<RecordChange> m_before;
};

}  // namespace

ExportCounts ExportAdditions(const quivrasim::Document& host, ImportedScore& score) {
  return Exporter(host, score).Run();
}

}  // namespace ostinel_cli
