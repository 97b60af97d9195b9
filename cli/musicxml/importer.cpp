#include "importer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "mapping.h"
#include "notation.h"
#include "tuplets.h"
#include "value_ranges.h"
#include "quivra/qx_records.h"
#include "quivrasim/score_builder.h"
#include "quivrasim/text_format.h"

namespace ostinel_cli {

namespace {

// What the host holds: staves and measures are numbered in 16 bits, signed.
constexpr int kMostMeasures = 0x7FFF;
constexpr size_t kMostStaves = 0x7FFF;

using quivrasim::EntrySpec;
using quivrasim::ScoreBuilder;

constexpr int kMaxLayers = 4;

int64_t ToUnits(int64_t divisionsValue, int divisions) {
  return divisions > 0 ? divisionsValue * kQXQuarter / divisions : 0;
}

int Int(pugi::xml_node node, const char* child, int fallback = 0) {
  const pugi::xml_node found = node.child(child);
  return found ? found.text().as_int(fallback) : fallback;
}

// The leading integer of a text, held to lowest..highest (0 when there is none).
int LeadingInt(const char* text, int lowest, int highest) {
  const long long value = std::strtoll(text, nullptr, 10);
  return static_cast<int>(std::clamp<long long>(value, lowest, highest));
}

// "3+2" counts 5; each part and the sum are held to 0..1000.
int SumOfBeats(const char* text) {
  int total = 0;
  for (const char* at = text; *at != '\0';) {
    char* end = nullptr;
    const long long value = std::strtoll(at, &end, 10);
    if (end == at) {
      ++at;
      continue;
    }
    total = std::min(1000, total + static_cast<int>(std::clamp<long long>(value, 0, 1000)));
    at = end;
  }
  return total;
}

int ClefCode(pugi::xml_node clef) {
  const std::string sign = clef.child_value("sign");
  int index = 0;
  for (int i = 1; i < static_cast<int>(std::size(kClefSigns)); ++i) {
    if (sign == kClefSigns[i]) index = i;
  }
  int line = Int(clef, "line", index == 1 ? 2 : index == 2 ? 4 : 3);
  line = std::clamp(line, 0, 9);
  const int octave = Int(clef, "clef-octave-change");
  return index * kClefSignUnit + line + (octave < 0 ? kClefOctaveDown : octave > 0 ? kClefOctaveUp : 0);
}

int ArticulationCode(const char* name) {
  for (int code = 1; code < static_cast<int>(std::size(kArticulations)); ++code) {
    if (std::strcmp(name, kArticulations[code]) == 0) return code;
  }
  return 0;
}

int SyllabicCode(const char* name) {
  for (int code = 0; code < static_cast<int>(std::size(kSyllabic)); ++code) {
    if (std::strcmp(name, kSyllabic[code]) == 0) return code;
  }
  return 0;
}

struct Note {
  pugi::xml_node node;
  bool chord = false;
  bool rest = false;
  bool grace = false;
  bool graceSlash = false;
  bool cue = false;
  bool measureRest = false;
  bool hidden = false;  // print-object="no"
  bool pitched = false;
  bool unpitched = false;
  Pitch pitch;          // written; sounding once the staff's transposition is known
  int microtone = 0;    // thousandths of a semitone beyond pitch.alter
  int notehead = 0;     // index into kNoteheads
  int64_t duration = 0;  // divisions
  int staff = 1;
  std::string voice = "1";
  int typeUnits = 0;
  int dots = 0;
  int actual = 1;
  int normal = 1;
  int normalTypeUnits = 0;
  std::vector<TupletMark> tuplets;
  uint32_t noteFlags = 0;
  // The first of these children, found on the one pass over the note.
  pugi::xml_node beam;
  pugi::xml_node notations;
  pugi::xml_node lyric;
  pugi::xml_node instrument;
};

bool Is(const char* name, const char* wanted) { return std::strcmp(name, wanted) == 0; }

int NoteheadCode(const char* name) {
  for (int code = 1; code < static_cast<int>(std::size(kNoteheads)); ++code) {
    if (std::strcmp(name, kNoteheads[code]) == 0) return code;
  }
  return 0;
}

TupletMark ReadTupletMark(pugi::xml_node tuplet) {
  TupletMark mark;
  mark.number = tuplet.attribute("number").as_int(1);
  mark.start = Is(tuplet.attribute("type").value(), "start");
  mark.actual = Int(tuplet.child("tuplet-actual"), "tuplet-number");
  mark.normal = Int(tuplet.child("tuplet-normal"), "tuplet-number");
  return mark;
}

// One pass over the note's children (a note is read once, and scores hold
// hundreds of thousands of them). The pitch stays as written: the staff's
// transposition is applied by the caller.
Note ReadNote(pugi::xml_node node) {
  Note note;
  note.node = node;
  note.hidden = Is(node.attribute("print-object").value(), "no");
  pugi::xml_node pitch;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    const char* name = child.name();
    switch (name[0]) {
      case 'c':
        if (Is(name, "chord")) note.chord = true;
        if (Is(name, "cue")) note.cue = true;
        break;
      case 'g':
        if (Is(name, "grace")) {
          note.grace = true;
          note.graceSlash = Is(child.attribute("slash").value(), "yes");
        }
        break;
      case 'r':
        if (Is(name, "rest")) {
          note.rest = true;
          note.measureRest = Is(child.attribute("measure").value(), "yes");
        }
        break;
      case 'd':
        if (Is(name, "duration")) note.duration = std::max(0, child.text().as_int(0));
        if (Is(name, "dot")) ++note.dots;
        break;
      case 's':
        if (Is(name, "staff")) note.staff = std::max(1, child.text().as_int(1));
        break;
      case 'v':
        if (Is(name, "voice")) note.voice = child.child_value();
        break;
      case 't':
        if (Is(name, "type")) {
          note.typeUnits = TypeValue(child.child_value());
          if (Is(child.attribute("size").value(), "cue")) note.cue = true;
        } else if (Is(name, "time-modification")) {
          note.actual = std::max(1, Int(child, "actual-notes", 1));
          note.normal = std::max(1, Int(child, "normal-notes", 1));
          note.normalTypeUnits = DottedValue(TypeValue(child.child_value("normal-type")), child.child("normal-dot") ? 1 : 0);
        } else if (Is(name, "tie")) {
          note.noteFlags |= Is(child.attribute("type").value(), "start") ? kQXNoteTieStart : kQXNoteTieEnd;
        }
        break;
      case 'p':
        if (Is(name, "pitch")) {
          pitch = child;
          note.unpitched = false;
        }
        break;
      case 'u':
        if (Is(name, "unpitched") && !pitch) {
          pitch = child;
          note.unpitched = true;
        }
        break;
      case 'b':
        if (!note.beam && Is(name, "beam")) note.beam = child;
        break;
      case 'l':
        if (!note.lyric && Is(name, "lyric")) note.lyric = child;
        break;
      case 'i':
        if (!note.instrument && Is(name, "instrument")) note.instrument = child;
        break;
      case 'n':
        if (Is(name, "notehead")) {
          note.notehead = NoteheadCode(child.child_value());
          break;
        }
        if (!Is(name, "notations")) break;
        if (!note.notations) note.notations = child;
        for (pugi::xml_node tuplet = child.child("tuplet"); tuplet; tuplet = tuplet.next_sibling("tuplet")) {
          note.tuplets.push_back(ReadTupletMark(tuplet));
        }
        break;
      default:
        break;
    }
  }
  if (pitch) {
    note.pitched = true;
    const char* step = pitch.child_value(note.unpitched ? "display-step" : "step");
    const double alter = note.unpitched ? 0.0 : pitch.child("alter").text().as_double(0.0);
    const int semitones = static_cast<int>(std::clamp<long>(std::lround(alter), -127, 127));
    note.microtone = static_cast<int>(std::clamp<long>(std::lround((alter - semitones) * 1000.0), -500, 500));
    note.pitch = PitchFromXml(step[0], semitones, Int(pitch, note.unpitched ? "display-octave" : "octave", 4));
  }
  return note;
}

// One entry on its way into a frame.
struct Pending {
  int64_t start = 0;  // host units in the measure
  // Where it starts and ends exactly: in divisions, and the divisions then.
  int64_t startDivisions = 0;
  int64_t endDivisions = 0;
  int divisions = 1;
  EntrySpec spec;
  std::vector<Note> notes;  // the first note and its chord notes
  bool filler = false;
};

// What each measure's length needs, gathered over the parts: the time
// signature in force and the longest content (in host units). A measure
// whose parts hold less than their time signature (a pickup, a closing
// measure, one before a repeat) is as long as they hold, as in a reader.
struct MeasureLengths {
  explicit MeasureLengths(int count)
      : signature(static_cast<size_t>(count), 0), content(static_cast<size_t>(count), 0) {}
  std::vector<int32_t> signature;
  std::vector<int32_t> content;

  int32_t Length(int measure) const {
    const size_t m = static_cast<size_t>(measure - 1);
    int32_t length = content[m] > 0 ? content[m] : signature[m];
    if (length <= 0) length = kQXWhole;
    return std::min<int32_t>(length, 0x7FFF);
  }
};

class PartImporter {
 public:
  PartImporter(PartLayout& part, ImportedScore& score, quivrasim::Document& host, ScoreBuilder& build)
      : m_part(part), m_score(score), m_host(host), m_build(build) {
    m_clefs.assign(static_cast<size_t>(m_part.staves), kTrebleClef);  // until a clef says otherwise
    m_transposition.assign(static_cast<size_t>(m_part.staves), Transposition{});
  }

  // Empty while the part can be held.
  const std::string& Error() const { return m_error; }

  // The layer of a voice: voices take layers by first appearance, per staff.
  int LayerOf(int staff, const std::string& voice) {
    auto& voices = m_layers[staff];
    const auto found = voices.find(voice);
    if (found != voices.end()) return found->second;
    const int layer = static_cast<int>(voices.size());
    voices.emplace(voice, layer);
    if (layer >= kMaxLayers) {
      m_score.warnings.push_back("part " + m_part.id + " (" + m_part.name + "), staff " + std::to_string(staff) +
                                 ": voice " + voice + " has no layer left and is left out of the search");
    }
    return layer;
  }

  // Imports a measure and widens its length to what the part's time
  // signature and content need.
  void ImportMeasure(int measureIndex, MeasureLengths& lengths) {
    const pugi::xml_node measure = m_part.measures[static_cast<size_t>(measureIndex)];
    const int number = measureIndex + 1;
    int64_t cursor = 0;
    int64_t most = 0;
    std::map<std::pair<int, std::string>, std::vector<Pending>> voices;
    // The entry a chord note joins: that of the last note before it.
    std::pair<int, std::string> previous{0, ""};
    int64_t chordStart = 0;
    std::vector<std::vector<std::pair<int64_t, int>>> clefChanges(static_cast<size_t>(m_part.staves));

    for (pugi::xml_node child = measure.first_child(); child; child = child.next_sibling()) {
      const char* name = child.name();
      if (Is(name, "attributes")) {
        ReadAttributes(child, number, cursor, clefChanges);
      } else if (Is(name, "note")) {
        Note note = ReadNote(child);
        note.staff = std::min(note.staff, m_part.staves);
        if (note.pitched && !note.unpitched) {
          const Transposition& t = m_transposition[static_cast<size_t>(note.staff - 1)];
          note.pitch = Transpose(note.pitch, t.diatonic, t.chromatic);
        }
        LayerOf(note.staff, note.voice);
        m_part.cueVoice = std::max(m_part.cueVoice, LeadingInt(note.voice.c_str(), 0, 999) + 1);
        if (m_part.instrumentId.empty()) m_part.instrumentId = note.instrument.attribute("id").value();
        if (note.chord && previous.first != 0) {
          JoinChord(voices, previous, chordStart, std::move(note));
          continue;
        }
        Pending pending;
        pending.start = ToUnits(cursor, m_divisions);
        pending.startDivisions = cursor;
        const int64_t duration = note.grace ? 0 : note.duration;
        pending.endDivisions = cursor + duration;
        pending.divisions = m_divisions;
        if (note.grace) pending.spec.flags |= kQXEntryGrace | (note.graceSlash ? kQXEntryGraceSlash : 0);
        if (note.rest && note.hidden) pending.spec.flags |= kQXEntryPlaceholder;
        previous = {note.staff, note.voice};
        chordStart = cursor;
        pending.notes.push_back(std::move(note));
        voices[previous].push_back(std::move(pending));
        cursor += duration;
        most = std::max(most, cursor);
      } else if (Is(name, "backup")) {
        cursor = std::max<int64_t>(0, cursor - Int(child, "duration"));
      } else if (Is(name, "forward")) {
        cursor += Int(child, "duration");
        most = std::max(most, cursor);
      } else if (Is(name, "direction")) {
        NoteOwnId(child);
        ReadDirection(child, number, cursor);
      } else if (Is(name, "harmony")) {
        ReadHarmony(child, number, cursor);
      } else if (Is(name, "sound")) {
        ReadSound(child, number, SoundAt(child, cursor));
      }
    }
    const size_t index = static_cast<size_t>(measureIndex);
    m_part.endDivisions[index] = m_divisions;
    m_part.endTime[index] = cursor;
    m_part.contentEnd[index] = most;
    int32_t& signature = lengths.signature[index];
    int32_t& content = lengths.content[index];
    signature = std::max(signature, m_timeInForce);
    content = std::max<int32_t>(content, static_cast<int32_t>(ToUnits(most, m_divisions)));

    for (int staff = 1; staff <= m_part.staves; ++staff) WriteClef(staff, number, clefChanges[static_cast<size_t>(staff - 1)]);
    for (auto& [key, entries] : voices) WriteVoice(key.first, key.second, number, entries);
  }

 private:
  void ReadAttributes(pugi::xml_node attributes, int measure, int64_t cursor,
                      std::vector<std::vector<std::pair<int64_t, int>>>& clefChanges) {
    if (attributes.child("divisions")) m_divisions = std::max(1, Int(attributes, "divisions", 1));
    if (const pugi::xml_node time = attributes.child("time")) {
      const int beats = SumOfBeats(time.child_value("beats"));
      const int beatType = Int(time, "beat-type", 4);
      if (beats > 0 && beatType > 0) m_timeInForce = static_cast<int32_t>(beats * kQXWhole / beatType);
    }
    const int64_t at = ToUnits(cursor, m_divisions);
    for (pugi::xml_node clef = attributes.child("clef"); clef; clef = clef.next_sibling("clef")) {
      const int staff = std::clamp(clef.attribute("number").as_int(1), 1, m_part.staves);
      if (at == 0) {
        m_clefs[static_cast<size_t>(staff - 1)] = ClefCode(clef);
      } else {
        clefChanges[static_cast<size_t>(staff - 1)].emplace_back(at, ClefCode(clef));
      }
    }
    for (pugi::xml_node transpose = attributes.child("transpose"); transpose;
         transpose = transpose.next_sibling("transpose")) {
      const int octave = Int(transpose, "octave-change");
      const Transposition value{Int(transpose, "diatonic") + 7 * octave, Int(transpose, "chromatic") + 12 * octave};
      const int only = transpose.attribute("number").as_int(0);
      for (int staff = 1; staff <= m_part.staves; ++staff) {
        if (only != 0 && only != staff) continue;
        m_transposition[static_cast<size_t>(staff - 1)] = value;
        m_part.transpositions[static_cast<size_t>(staff - 1)].push_back(TranspositionChange{measure, at, value});
      }
    }
  }

  // A chord note joins the entry of the note before it, on its own staff: a
  // chord across staves gives each staff the notes written on it.
  void JoinChord(std::map<std::pair<int, std::string>, std::vector<Pending>>& voices,
                 const std::pair<int, std::string>& previous, int64_t chordStart, Note note) {
    std::vector<Pending>& list = voices[previous];
    if (list.empty()) return;
    if (note.staff == previous.first) {
      list.back().notes.push_back(std::move(note));
      return;
    }
    const std::pair<int, std::string> own{note.staff, previous.second};
    LayerOf(own.first, own.second);
    std::vector<Pending>& other = voices[own];
    if (!other.empty() && other.back().startDivisions == chordStart && other.back().divisions == m_divisions) {
      other.back().notes.push_back(std::move(note));
      return;
    }
    Pending pending = list.back();
    pending.notes = {std::move(note)};
    other.push_back(std::move(pending));
  }

  uint16_t Instrument(int staff) const { return m_part.instruments[static_cast<size_t>(std::clamp(staff, 1, m_part.staves) - 1)]; }

  void WriteClef(int staff, int measure, const std::vector<std::pair<int64_t, int>>& changes) {
    const uint16_t instrument = Instrument(staff);
    QXHold hold{};
    if (changes.empty()) {
      hold.clef = static_cast<uint16_t>(m_clefs[static_cast<size_t>(staff - 1)]);
    } else {
      const QXClefChange first{static_cast<int16_t>(m_clefs[static_cast<size_t>(staff - 1)]), 0, {}};
      const uint16_t list = m_build.AddRecord(kQXTagClefChange, QXKey::Of(kQXNew, 0), first).first;
      uint16_t incidence = 1;
      for (const auto& [at, code] : changes) {
        m_build.AddRecord(kQXTagClefChange, QXKey::Of(list, incidence++),
                          QXClefChange{static_cast<int16_t>(code), static_cast<int32_t>(at), {}});
        m_clefs[static_cast<size_t>(staff - 1)] = code;
      }
      hold.clef = list;
      hold.flags = kQXHoldClefList;
    }
    m_build.AddRecord(kQXTagHold, QXKey::Of(instrument, static_cast<uint16_t>(measure), 0), hold);
  }

  void WriteVoice(int staff, const std::string& voice, int measure, std::vector<Pending>& entries) {
    const int layer = LayerOf(staff, voice);
    if (layer >= kMaxLayers) return;
    // Fill the voice's gaps so that every entry keeps its place. Gaps are
    // found in divisions: host units would see one in every rounded tuplet.
    std::vector<Pending> laid;
    int64_t end = 0;  // divisions
    int endDivisions = 1;
    for (Pending& entry : entries) {
      if (entry.startDivisions * endDivisions > end * entry.divisions) {
        Pending filler;
        filler.start = ToUnits(end, endDivisions);
        filler.filler = true;
        filler.spec = EntrySpec::Rest(static_cast<int>(std::max<int64_t>(entry.start - filler.start, 1)));
        laid.push_back(filler);
      }
      if (entry.endDivisions * endDivisions > end * entry.divisions) {
        end = entry.endDivisions;
        endDivisions = entry.divisions;
      }
      for (const Note& note : entry.notes) {
        if (!note.pitched || entry.spec.notes.size() >= kQXMaxNotes) continue;
        uint32_t flags = note.noteFlags | (static_cast<uint32_t>(note.microtone) & kNoteMicrotoneMask) |
                         (static_cast<uint32_t>(note.notehead) << kNoteheadShift);
        if (note.unpitched) flags |= kNoteUnpitched;
        entry.spec.notes.push_back(quivrasim::NoteSpec{note.pitch.level, note.pitch.alter, flags});
      }
      laid.push_back(std::move(entry));
    }
    if (laid.size() > quivrasim::FrameStore::kMostEntries) {
      if (m_error.empty()) {
        m_error = "part " + m_part.id + ", measure " + m_score.MeasureNumber(measure) + ": voice " + voice + " holds " +
                  std::to_string(laid.size()) + " notes and rests, more than the host holds in one measure (" +
                  std::to_string(quivrasim::FrameStore::kMostEntries) + ")";
      }
      return;
    }
    // Each entry's notated value, under the tuplets it stands in.
    std::vector<TupletEntry> timing;
    timing.reserve(laid.size());
    for (const Pending& entry : laid) {
      TupletEntry item;
      item.units = entry.filler ? entry.spec.duration : ToUnits(entry.endDivisions - entry.startDivisions, entry.divisions);
      item.divisions = entry.divisions;
      if (!entry.filler) {
        const Note& note = entry.notes[0];
        item.timed = !note.grace;
        item.actual = note.actual;
        item.normal = note.normal;
        item.normalType = note.normalTypeUnits;
        item.typed = DottedValue(note.typeUnits, note.dots);
        item.measureRest = note.measureRest;
        item.marks = note.tuplets;
      } else {
        item.timed = false;
      }
      timing.push_back(std::move(item));
    }
    const TupletResult tuplets = GroupTuplets(timing);
    std::vector<EntrySpec> specs;
    specs.reserve(laid.size());
    for (size_t i = 0; i < laid.size(); ++i) {
      EntrySpec& spec = laid[i].spec;
      if (!laid[i].filler) spec.duration = std::clamp(tuplets.notated[i], 0, 0xFFFF);
      specs.push_back(std::move(spec));
    }
    const uint16_t instrument = Instrument(staff);
    const std::vector<uint32_t> numbers = m_build.Entries(instrument, measure, layer, specs);
    for (size_t i = 0; i < laid.size(); ++i) {
      if (laid[i].filler) {
        m_host.EditEntry(numbers[i], [](QXEntry& entry) { entry.hostWord144 = kFillerMark; });
        continue;
      }
      WriteEntryDetails(laid[i], numbers[i], instrument, measure);
    }
    for (const TupletGroup& group : tuplets.groups) {
      m_build.Tuplet(numbers[group.first], group.count, group.actual, group.normal);
    }
  }

  void WriteEntryDetails(const Pending& pending, uint32_t entry, uint16_t instrument, int measure) {
    const Note& first = pending.notes[0];
    if (first.cue) m_build.EntrySize(entry, kCueSizePercent);
    QXEntryDetail beams{};
    bool beamed = false;
    for (pugi::xml_node beam = first.beam; beam; beam = beam.next_sibling("beam")) {
      const int level = beam.attribute("number").as_int(1);
      for (int state = 1; state < static_cast<int>(std::size(kBeamStates)); ++state) {
        if (level >= 1 && level <= 5 && std::strcmp(beam.child_value(), kBeamStates[state]) == 0) {
          beams.words[level - 1] = static_cast<uint16_t>(state);
          beamed = true;
        }
      }
    }
    if (beamed) m_build.AddRecord(kQXTagBeamST, QXKey::Entry(entry, kQXNew), beams);
    for (const Note& note : pending.notes) {
      for (pugi::xml_node notations = note.notations; notations;
           notations = notations.next_sibling("notations")) {
        for (pugi::xml_node group = notations.child("articulations"); group; group = group.next_sibling("articulations")) {
          for (pugi::xml_node mark = group.first_child(); mark; mark = mark.next_sibling()) {
            if (const int code = ArticulationCode(mark.name())) AddArticulation(entry, code);
          }
        }
        if (notations.child("fermata")) AddArticulation(entry, kFermataCode);
        for (pugi::xml_node slur = notations.child("slur"); slur; slur = slur.next_sibling("slur")) {
          const int number = slur.attribute("number").as_int(1);
          const std::string type = slur.attribute("type").value();
          if (type == "start") m_openSlurs[number] = OpenShape{entry, measure, instrument};
          if (type == "stop") {
            const auto open = m_openSlurs.find(number);
            if (open == m_openSlurs.end()) continue;
            m_build.SmartShape(open->second.instrument, open->second.measure, measure, kQXShapeEntryBound,
                               open->second.entry, entry, kShapeSlur);
            m_openSlurs.erase(open);
          }
        }
      }
    }
    for (const Note& note : pending.notes) {
      for (pugi::xml_node lyric = note.lyric; lyric; lyric = lyric.next_sibling("lyric")) {
        const std::string text = lyric.child_value("text");
        if (text.empty()) continue;
        const QXKey raw = m_build.AddBytes(kQXTagRawText, QXKey::Of(kQXNew, 0), quivrasim::Bytes(text.begin(), text.end()));
        const QXEntryDetail verse{{LyricLine(lyric), raw.first,
                                   static_cast<uint16_t>(SyllabicCode(lyric.child_value("syllabic"))),
                                   static_cast<uint16_t>(lyric.child("extend") ? 1 : 0), 0}};
        m_build.AddRecord(kQXTagLyricVerse, QXKey::Entry(entry, kQXNew), verse);
      }
    }
  }

  // The line of lyrics a syllable belongs to, by its number and name.
  uint16_t LyricLine(pugi::xml_node lyric) {
    const std::pair<std::string, std::string> line{lyric.attribute("number").value(), lyric.attribute("name").value()};
    auto& lines = m_score.lyricLines;
    const auto found = std::find(lines.begin(), lines.end(), line);
    if (found != lines.end()) return static_cast<uint16_t>(found - lines.begin() + 1);
    if (lines.size() >= 0xFFFE) return 1;
    lines.push_back(line);
    return static_cast<uint16_t>(lines.size());
  }

  void AddArticulation(uint32_t entry, int code) {
    m_build.AddRecord(kQXTagArticulation, QXKey::Entry(entry, kQXNew), QXEntryDetail{{static_cast<uint16_t>(code), 0, 0, 0, 0}});
  }

  int Definition(uint16_t kind, const std::string& text, int playbackValue = 0, int playbackUnit = 0,
                 uint16_t playbackFlags = 0) {
    const auto key = std::make_tuple(kind, text, playbackValue, playbackUnit);
    const auto found = m_definitions.find(key);
    if (found != m_definitions.end()) return found->second;
    const int number = m_build.TextExpression(text, playbackValue, playbackUnit, playbackFlags, kind);
    m_definitions[key] = number;
    return number;
  }

  void Assign(int definition, int measure, int64_t position, uint16_t instrument) {
    m_build.MeasureExpression(measure, definition, static_cast<int>(std::min<int64_t>(position, 0x7FFF)), kQXExprAtHpos,
                              instrument);
  }

  void NoteOwnId(pugi::xml_node direction) {
    const char* id = direction.attribute("id").value();
    for (const char* known : {kMarkerIdPrefix, kCueNameIdPrefix}) {
      const size_t length = std::strlen(known);
      if (std::strncmp(id, known, length) == 0) {
        m_score.lastOwnId = std::max(m_score.lastOwnId, LeadingInt(id + length, 0, 1 << 30));
      }
    }
  }

  // A marker or cue name an earlier run wrote, as the plug-in wrote it.
  bool ReadOwnText(pugi::xml_node direction, int measure, uint16_t instrument) {
    const std::string id = direction.attribute("id").value();
    const bool marker = id.rfind(kMarkerIdPrefix, 0) == 0;
    if (!marker && id.rfind(kCueNameIdPrefix, 0) != 0) return false;
    const pugi::xml_node words = direction.child("direction-type").child("words");
    quivrasim::FormattedText text;
    text.plain = words.child_value();
    if (marker) {
      text.font = words.attribute("font-family").value();
      text.size = words.attribute("font-size").as_int(0);
      if (std::strcmp(words.attribute("font-weight").value(), "bold") == 0) text.efx |= 1;
      if (std::strcmp(words.attribute("font-style").value(), "italic") == 0) text.efx |= 2;
      const uint16_t block = m_build.TextBlock(quivrasim::CaretText(text));
      m_build.AddRecord(kQXTagMeasureText, QXKey::Of(instrument, static_cast<uint16_t>(measure), kQXNew),
                        QXMeasureText{block, {0, kMarkerWord2, 0, kMarkerWord4}});
    } else {
      m_build.MeasureExpression(measure, Definition(0, text.plain, kCueNameValue), 0, 0, instrument);
    }
    return true;
  }

  // Where a direction is printed, and where its sound takes effect: the
  // offset moves the print, and the sound only where it says sound="yes"; a
  // <sound> of its own with an <offset> of its own sounds there instead.
  void ReadDirection(pugi::xml_node direction, int measure, int64_t cursor) {
    const int64_t at = ToUnits(cursor + Int(direction, "offset"), m_divisions);
    const pugi::xml_node offset = direction.child("offset");
    const int64_t sounds = std::strcmp(offset.attribute("sound").value(), "yes") == 0 ? at : ToUnits(cursor, m_divisions);
    const uint16_t instrument = Instrument(Int(direction, "staff", 1));
    if (ReadOwnText(direction, measure, instrument)) return;
    // A sound's tempo is what plays; a metronome mark beside it only shows.
    const pugi::xml_node sound = direction.child("sound");
    const bool soundTempo = sound.attribute("tempo").as_double(0.0) > 0.0;
    std::string words;
    for (pugi::xml_node type = direction.child("direction-type"); type; type = type.next_sibling("direction-type")) {
      for (pugi::xml_node dynamics = type.child("dynamics"); dynamics; dynamics = dynamics.next_sibling("dynamics")) {
        for (pugi::xml_node mark = dynamics.first_child(); mark; mark = mark.next_sibling()) {
          const std::string text = std::strcmp(mark.name(), "other-dynamics") == 0 ? mark.child_value() : mark.name();
          if (!text.empty()) Assign(Definition(kExpressionDynamics, text), measure, at, instrument);
        }
      }
      for (pugi::xml_node word = type.child("words"); word; word = word.next_sibling("words")) words += word.child_value();
      if (const pugi::xml_node metronome = type.child("metronome")) {
        const int unit = DottedValue(TypeValue(metronome.child_value("beat-unit")),
                                     metronome.child("beat-unit-dot") ? 1 : 0);
        const int perMinute = LeadingInt(metronome.child_value("per-minute"), 0, 10000);
        if (unit > 0 && perMinute > 0) {
          const std::string text = std::string(metronome.child_value("beat-unit")) + " = " + std::to_string(perMinute);
          if (soundTempo) {
            Assign(Definition(kExpressionMetronome, text), measure, at, instrument);
          } else {
            // The mark plays where its sound takes effect.
            Assign(Definition(kExpressionMetronome, text, perMinute, unit, kQXPlaybackTempo | kQXPlaybackOn), measure,
                   sounds, instrument);
            m_score.tempos.push_back(
                {measure, std::clamp<int64_t>(sounds, 0, 0x7FFF), perMinute * unit / double{kQXQuarter}});
          }
        }
      }
      if (const pugi::xml_node wedge = type.child("wedge")) ReadWedge(wedge, measure, instrument);
    }
    if (!words.empty()) Assign(Definition(kExpressionWords, words), measure, at, instrument);
    if (soundTempo) ReadSound(sound, measure, sound.child("offset") ? SoundAt(sound, cursor) : sounds);
  }

  // Where a sound with an offset of its own takes effect.
  int64_t SoundAt(pugi::xml_node sound, int64_t cursor) const {
    return ToUnits(cursor + Int(sound, "offset"), m_divisions);
  }

  void ReadWedge(pugi::xml_node wedge, int measure, uint16_t instrument) {
    const int number = wedge.attribute("number").as_int(1);
    const std::string type = wedge.attribute("type").value();
    if (type == "crescendo" || type == "diminuendo") {
      m_openWedges[number] = OpenShape{type == "crescendo" ? kShapeCrescendo : kShapeDiminuendo, measure, instrument};
      return;
    }
    const auto open = m_openWedges.find(number);
    if (type != "stop" || open == m_openWedges.end()) return;
    m_build.SmartShape(open->second.instrument, open->second.measure, measure, 0, 0, 0,
                       static_cast<uint16_t>(open->second.entry));
    m_openWedges.erase(open);
  }

  void ReadSound(pugi::xml_node sound, int measure, int64_t at) {
    const double tempo = sound.attribute("tempo").as_double(0.0);
    if (tempo <= 0.0) return;
    // tempo = value x 60 / 65536 quarters a minute; the slowest the host holds is a value of 1.
    int value = static_cast<int>(std::lround(tempo * 65536.0 / 60.0));
    if (value < 1) {
      value = 1;
      m_score.warnings.push_back("part " + m_part.id + ", measure " + m_score.MeasureNumber(measure) + ": a tempo of " +
                                 sound.attribute("tempo").value() +
                                 " quarters a minute is slower than the host holds; it is taken as " +
                                 std::to_string(60.0 / 65536.0));
    }
    m_build.TempoChange(measure, static_cast<int>(at), value, kQXQuarter);
    m_score.tempos.push_back({measure, at, value * 60.0 / 65536.0});
  }

  void ReadHarmony(pugi::xml_node harmony, int measure, int64_t cursor) {
    const pugi::xml_node root = harmony.child("root");
    if (!root) return;
    ChordRecord chord{};
    const Pitch rootPitch = PitchFromXml(root.child_value("root-step")[0], Int(root, "root-alter"), 4);
    chord.rootStep = static_cast<int8_t>(rootPitch.level);
    chord.rootAlter = static_cast<int8_t>(rootPitch.alter);
    chord.bassStep = -1;
    if (const pugi::xml_node bass = harmony.child("bass")) {
      chord.bassStep = static_cast<int8_t>(PitchFromXml(bass.child_value("bass-step")[0], 0, 4).level);
      chord.bassAlter = static_cast<int8_t>(Int(bass, "bass-alter"));
    }
    chord.position = static_cast<int32_t>(ToUnits(cursor + Int(harmony, "offset"), m_divisions));
    std::strncpy(chord.kind, harmony.child_value("kind"), sizeof chord.kind - 1);
    m_build.AddRecord(kQXTagChord, QXKey::Of(Instrument(Int(harmony, "staff", 1)), static_cast<uint16_t>(measure), kQXNew),
                      chord);
  }

  struct OpenShape {
    uint32_t entry;  // a wedge keeps its kind here
    int measure;
    uint16_t instrument;
  };

  std::string m_error;  // what makes the score one the host cannot hold

  PartLayout& m_part;
  ImportedScore& m_score;
  quivrasim::Document& m_host;
  ScoreBuilder& m_build;
  int m_divisions = 1;
  int32_t m_timeInForce = kQXWhole;
  std::map<int, std::map<std::string, int>> m_layers;  // staff -> voice -> layer
  std::vector<int> m_clefs;
  std::vector<Transposition> m_transposition;  // per staff, in force
  std::map<int, OpenShape> m_openSlurs;
  std::map<int, OpenShape> m_openWedges;
  std::map<std::tuple<uint16_t, std::string, int, int>, int> m_definitions;
};

// The part list: parts in order, and the groups over them.
struct PartGroup {
  int number;
  std::string name;
  std::string abbreviation;
  size_t firstPart;
  size_t lastPart;
};

}  // namespace

Transposition PartLayout::TranspositionAt(int staff, int measure, int64_t position) const {
  if (staff < 1 || staff > static_cast<int>(transpositions.size())) return {};
  Transposition value;
  for (const TranspositionChange& change : transpositions[static_cast<size_t>(staff - 1)]) {
    if (change.measure > measure || (change.measure == measure && change.position > position)) break;
    value = change.value;
  }
  return value;
}

std::string ImportedScore::MeasureNumber(int measure) const {
  if (measure >= 1 && measure <= static_cast<int>(measureNumbers.size()) &&
      !measureNumbers[static_cast<size_t>(measure - 1)].empty()) {
    return measureNumbers[static_cast<size_t>(measure - 1)];
  }
  return std::to_string(measure);
}

int ImportedScore::MeasureOfNumber(const std::string& number, int from) const {
  for (int measure = std::max(from, 1); measure <= measureCount; ++measure) {
    if (MeasureNumber(measure) == number) return measure;
  }
  return 0;
}

std::string ImportedScore::StaffName(int slot) const {
  int staff = 0;
  const PartLayout* part = PartOfSlot(slot, &staff);
  if (part == nullptr) return "staff " + std::to_string(slot);
  std::string name = part->name.empty() ? part->id : part->name;
  if (part->staves > 1) name += " (staff " + std::to_string(staff) + ")";
  return name;
}

double ImportedScore::Seconds(int first, int last) const {
  double quarters = 120.0;
  size_t next = 0;
  auto before = [&](int measure, int64_t position) {
    return next < tempos.size() &&
           (tempos[next].measure < measure || (tempos[next].measure == measure && tempos[next].position <= position));
  };
  while (before(first, 0)) quarters = tempos[next++].quartersPerMinute;
  double seconds = 0.0;
  for (int measure = std::max(first, 1); measure <= last && measure <= static_cast<int>(measureLengths.size()); ++measure) {
    const int64_t length = measureLengths[static_cast<size_t>(measure - 1)];
    int64_t from = 0;
    while (next < tempos.size() && tempos[next].measure == measure && tempos[next].position < length) {
      const int64_t to = std::max(from, tempos[next].position);
      seconds += static_cast<double>(to - from) * 60.0 / quarters / kQXQuarter;
      from = to;
      quarters = tempos[next++].quartersPerMinute;
    }
    seconds += static_cast<double>(length - from) * 60.0 / quarters / kQXQuarter;
    while (before(measure, length)) quarters = tempos[next++].quartersPerMinute;
  }
  return seconds;
}

const PartLayout* ImportedScore::PartOfSlot(int slot, int* staff) const {
  if (slot < 1 || slot > static_cast<int>(staffOfSlot.size())) return nullptr;
  const StaffRef& ref = staffOfSlot[static_cast<size_t>(slot - 1)];
  if (staff != nullptr) *staff = ref.staff;
  return &parts[static_cast<size_t>(ref.part)];
}

bool ImportScore(pugi::xml_document& document, quivrasim::Document& host, ImportedScore* score, std::string* error) {
  if (!CheckValueRanges(document, error)) return false;
  const pugi::xml_node root = document.document_element();
  std::map<std::string, pugi::xml_node> partsById;
  for (pugi::xml_node part = root.child("part"); part; part = part.next_sibling("part")) {
    if (!partsById.emplace(part.attribute("id").value(), part).second) {
      *error = std::string("the score holds part ") + part.attribute("id").value() + " twice";
      return false;
    }
  }
  std::set<std::string> listed;

  std::vector<PartGroup> groups;
  std::map<int, PartGroup> openGroups;
  for (pugi::xml_node item = root.child("part-list").first_child(); item; item = item.next_sibling()) {
    const std::string name = item.name();
    if (name == "score-part") {
      const std::string id = item.attribute("id").value();
      if (!listed.insert(id).second) {
        *error = "part " + id + " is listed twice in the part list";
        return false;
      }
      const auto found = partsById.find(id);
      if (found == partsById.end()) {
        *error = "part " + id + " is listed but has no music";
        return false;
      }
      PartLayout part;
      part.part = found->second;
      part.id = id;
      part.name = item.child_value("part-name");
      part.abbreviation = item.child_value("part-abbreviation");
      score->parts.push_back(part);
    } else if (name == "part-group") {
      const int number = item.attribute("number").as_int(1);
      if (std::strcmp(item.attribute("type").value(), "start") == 0) {
        openGroups[number] = PartGroup{number, item.child_value("group-name"), item.child_value("group-abbreviation"),
                                       score->parts.size(), 0};
      } else {
        const auto open = openGroups.find(number);
        if (open != openGroups.end() && !score->parts.empty() && open->second.firstPart < score->parts.size()) {
          open->second.lastPart = score->parts.size() - 1;
          groups.push_back(open->second);
          openGroups.erase(open);
        }
      }
    }
  }
  if (score->parts.empty()) {
    *error = "the score has no parts";
    return false;
  }

  for (PartLayout& part : score->parts) {
    for (pugi::xml_node measure = part.part.child("measure"); measure; measure = measure.next_sibling("measure")) {
      part.measures.push_back(measure);
      for (pugi::xml_node attributes = measure.child("attributes"); attributes;
           attributes = attributes.next_sibling("attributes")) {
        part.staves = std::clamp(Int(attributes, "staves", part.staves), part.staves, 16);
        for (pugi::xml_node style = attributes.child("measure-style"); style; style = style.next_sibling("measure-style")) {
          if (const pugi::xml_node rest = style.child("multiple-rest")) {
            part.multipleRests.emplace_back(static_cast<int>(part.measures.size()), rest);
          }
        }
      }
    }
    score->measureCount = std::max(score->measureCount, static_cast<int>(part.measures.size()));
    for (size_t m = score->measureNumbers.size(); m < part.measures.size(); ++m) {
      score->measureNumbers.push_back(part.measures[m].attribute("number").value());
    }
  }
  if (score->measureCount == 0) {
    *error = "the score has no measures";
    return false;
  }
  if (score->measureCount > kMostMeasures) {
    *error = "the score has " + std::to_string(score->measureCount) + " measures, more than the host holds (" +
             std::to_string(kMostMeasures) + ")";
    return false;
  }
  size_t staves = 0;
  for (const PartLayout& part : score->parts) staves += static_cast<size_t>(part.staves);
  if (staves > kMostStaves) {
    *error = "the score has " + std::to_string(staves) + " staves, more than the host holds (" +
             std::to_string(kMostStaves) + ")";
    return false;
  }

  quivrasim::ScoreBuilder build(host);
  build.Measures(score->measureCount);

  int groupNumber = 1;
  for (size_t p = 0; p < score->parts.size(); ++p) {
    PartLayout& part = score->parts[p];
    for (int staff = 1; staff <= part.staves; ++staff) {
      part.instruments.push_back(build.Staff(part.name, part.abbreviation));
      score->staffOfSlot.push_back(ImportedScore::StaffRef{static_cast<int>(p), staff});
    }
    if (part.staves > 1) {
      build.Group(groupNumber++, part.instruments.front(), part.instruments.back(), part.name, kQXGroupRestsAsOne,
                  part.abbreviation);
    }
    part.endDivisions.assign(static_cast<size_t>(score->measureCount), 1);
    part.endTime.assign(static_cast<size_t>(score->measureCount), 0);
    part.contentEnd.assign(static_cast<size_t>(score->measureCount), 0);
    part.transpositions.resize(static_cast<size_t>(part.staves));
  }
  for (const PartGroup& group : groups) {
    if (groupNumber > kQXGroupMaxNumber) break;
    build.Group(groupNumber++, score->parts[group.firstPart].instruments.front(),
                score->parts[group.lastPart].instruments.back(), group.name, 0, group.abbreviation);
  }

  MeasureLengths lengths(score->measureCount);
  for (size_t p = 0; p < score->parts.size(); ++p) {
    PartLayout& part = score->parts[p];
    PartImporter importer(part, *score, host, build);
    for (int m = 0; m < static_cast<int>(part.measures.size()); ++m) {
      importer.ImportMeasure(m, lengths);
      if (!importer.Error().empty()) {
        *error = importer.Error();
        return false;
      }
    }
    // The staff's own transposition is the one it starts with.
    for (int staff = 1; staff <= part.staves; ++staff) {
      const Transposition start = part.TranspositionAt(staff, 1, 0);
      build.Transpose(part.instruments[static_cast<size_t>(staff - 1)], start.diatonic, start.chromatic);
    }
  }
  for (int m = 1; m <= score->measureCount; ++m) {
    quivrasim::Document::Untracked untracked(host);
    score->measureLengths.push_back(lengths.Length(m));
    host.SetMeasureLength(m, score->measureLengths.back());
  }
  // Score order; at one place the part read last gives the tempo.
  std::stable_sort(score->tempos.begin(), score->tempos.end(), [](const auto& a, const auto& b) {
    return a.measure != b.measure ? a.measure < b.measure : a.position < b.position;
  });

  score->snapshot.lastEntry = host.NextEntryNumber() - 1;
  score->snapshot.edits = host.UndoStack().size();
  return true;
}

}  // namespace ostinel_cli
