#include "cue_notes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "mapping.h"
#include "multi_rests.h"
#include "notation.h"
#include "part_divisions.h"
#include "quivra/qx_records.h"
#include "shown_text.h"

namespace ostinel_cli {

namespace {

using quivrasim::Bytes;
using quivrasim::RecordKey;

// A tuplet bracket as the cue shows it.
struct CueTuplet {
  size_t first;
  size_t last;
  int number;
  int actual;
  int normal;
  bool shown = false;   // some entry of it is not hidden
  bool nested = false;  // inside or around another: it shows its own ratio
};

struct CueEntry {
  QXEntry entry;
  int64_t actual = 1;  // the tuplets it stands in, together
  int64_t normal = 1;
  bool hidden = false;  // a placeholder that only keeps the time
  bool grace = false;
};

// The cue entries of one staff, layer and measure.
struct Voice {
  int measure = 0;
  int staff = 1;
  int layer = 0;
  std::vector<CueEntry> entries;
  std::vector<CueTuplet> tuplets;
};

void Text(pugi::xml_node parent, const char* name, const std::string& value) {
  parent.append_child(name).text().set(value.c_str());
}

int64_t DenominatorOf(int64_t numerator, int64_t denominator) {
  return denominator / std::gcd(numerator, denominator);
}

class PartCueWriter {
 public:
  PartCueWriter(const quivrasim::Document& host, const ImportedScore& score, const CueSlurs& slurs, PartLayout& part)
      : m_host(host), m_snapshot(score.snapshot), m_lyricLines(score.lyricLines), m_slurs(slurs), m_part(part) {}

  // The part's frames that hold new entries, in score order.
  void Collect(const NewFrames& newFrames) {
    std::set<std::tuple<int, int, int>> frames;  // measure, staff, layer
    for (size_t staff = 0; staff < m_part.instruments.size(); ++staff) {
      const auto found = newFrames.find(m_part.instruments[staff]);
      if (found == newFrames.end()) continue;
      for (const auto& [measure, layer] : found->second) {
        if (measure <= static_cast<int>(m_part.measures.size())) frames.emplace(measure, static_cast<int>(staff) + 1, layer);
      }
    }
    for (const auto& [measure, staff, layer] : frames) {
      const std::optional<quivrasim::Entries> entries = m_host.Frame(
          {m_part.instruments[static_cast<size_t>(staff - 1)], static_cast<int16_t>(measure), static_cast<uint16_t>(layer)});
      if (!entries) continue;
      Voice voice{measure, staff, layer, {}, {}};
      ReadCueEntries(*entries, &voice);
      if (voice.entries.empty()) continue;
      m_index[{measure, staff, layer}] = m_voices.size();
      m_voices.push_back(std::move(voice));
    }
  }

  bool Empty() const { return m_voices.empty(); }

  // The factor the part's divisions must grow by for every cue duration, and
  // every measure a cue voice fills, to be a whole number of divisions.
  int64_t Factor() const {
    int64_t factor = 1;
    for (const Voice& voice : m_voices) {
      const int64_t divisions = m_part.endDivisions[static_cast<size_t>(voice.measure - 1)];
      const int64_t measure = m_host.MeasureLength(voice.measure);
      factor = std::lcm(factor, DenominatorOf(measure * divisions, kQXQuarter));
      for (const CueEntry& item : voice.entries) {
        if (item.grace) continue;
        const int64_t numerator = int64_t{item.entry.duration} * item.normal * divisions;
        factor = std::lcm(factor, DenominatorOf(numerator, item.actual * kQXQuarter));
        // A hidden rest is written as notated values, each a multiple of its
        // lowest bit, which divides it exactly when the whole does.
      }
    }
    return factor;
  }

  CueNoteCounts Write(CueVoices* numbers) {
    CueNoteCounts counts;
    std::set<int> cued;
    std::map<int, int> voicesInMeasure;
    std::map<int, int64_t> cursor;  // per measure: where the last voice written ended
    for (const Voice& voice : m_voices) {
      const int number = m_part.cueVoice + voicesInMeasure[voice.measure]++;
      (*numbers)[{voice.measure, voice.staff, voice.layer}] = number;
      const size_t index = static_cast<size_t>(voice.measure - 1);
      const auto at = cursor.find(voice.measure);
      WriteVoice(voice, number, at == cursor.end() ? m_part.endTime[index] : at->second, &cursor[voice.measure],
                 &counts);
      cued.insert(voice.measure);
      ++counts.measures;
    }
    ShortenMultiRests(m_part, cued);
    return counts;
  }

 private:
  bool IsCueEntry(const QXEntry& entry) const {
    return entry.number > m_snapshot.lastEntry &&
           m_host.Records().Find(kQXTagEntrySize, RecordKey{entry.number, 0, 0}) != nullptr;
  }

  static bool Hidden(const QXEntry& entry) {
    return (entry.flags & kQXEntryNote) == 0 &&
           ((entry.flags & kQXEntryPlaceholder) != 0 || entry.hostWord144 == kFillerMark);
  }

  // The cue entries of a frame, with the tuplets they stand in: each
  // running tuplet scales the entries it spans, nested ones multiply.
  void ReadCueEntries(const quivrasim::Entries& entries, Voice* voice) const {
    struct Running {
      int left;
      size_t bracket;
    };
    std::vector<Running> running;
    for (const QXEntry& entry : entries) {
      if (!IsCueEntry(entry)) continue;
      const size_t index = voice->entries.size();
      CueEntry item{entry};
      item.hidden = Hidden(entry);
      item.grace = (entry.flags & kQXEntryGrace) != 0;
      if ((entry.flags & kQXEntryTuplet) != 0) {
        for (const QXTuplet& tuplet : m_host.TupletsAt(entry.number)) {
          running.push_back(Running{tuplet.entries, voice->tuplets.size()});
          voice->tuplets.push_back(CueTuplet{index, index, static_cast<int>(running.size()), tuplet.actual, tuplet.normal});
        }
      }
      for (const Running& tuplet : running) {
        item.actual *= voice->tuplets[tuplet.bracket].actual;
        item.normal *= voice->tuplets[tuplet.bracket].normal;
      }
      const int64_t common = std::gcd(item.actual, item.normal);
      item.actual /= common;
      item.normal /= common;
      voice->entries.push_back(item);
      for (Running& tuplet : running) {
        if (--tuplet.left == 0) voice->tuplets[tuplet.bracket].last = index;
      }
      std::erase_if(running, [](const Running& tuplet) { return tuplet.left <= 0; });
    }
    // What runs past the frame's end ends with it.
    for (const Running& tuplet : running) voice->tuplets[tuplet.bracket].last = voice->entries.size() - 1;
    for (CueTuplet& tuplet : voice->tuplets) {
      for (size_t i = tuplet.first; i <= tuplet.last; ++i) tuplet.shown = tuplet.shown || !voice->entries[i].hidden;
      for (const CueTuplet& other : voice->tuplets) {
        if (&other != &tuplet && other.first <= tuplet.last && tuplet.first <= other.last) tuplet.nested = true;
      }
    }
  }

  // The time the part's own voices take in a measure, in its divisions now.
  int64_t Length(int measure) const {
    const int64_t own = m_part.contentEnd[static_cast<size_t>(measure - 1)];
    return own > 0 ? own : m_host.MeasureLength(measure) * Divisions(measure) / kQXQuarter;
  }

  int64_t Divisions(int measure) const { return m_part.endDivisions[static_cast<size_t>(measure - 1)]; }

  static int64_t DurationOf(const CueEntry& item, int64_t divisions) {
    if (item.grace) return 0;
    return int64_t{item.entry.duration} * item.normal * divisions / (item.actual * kQXQuarter);
  }

  // The entry before or after one in the same staff and layer, across the barline.
  const CueEntry* Neighbour(const Voice& voice, size_t index, int step) const {
    const auto inside = static_cast<long>(index) + step;
    if (inside >= 0 && inside < static_cast<long>(voice.entries.size())) return &voice.entries[static_cast<size_t>(inside)];
    const auto other = m_index.find({voice.measure + step, voice.staff, voice.layer});
    if (other == m_index.end()) return nullptr;
    const Voice& next = m_voices[other->second];
    return step > 0 ? &next.entries.front() : &next.entries.back();
  }

  // A tie is written only when the cue holds both of its notes.
  static bool TieHeld(const QXNoteSlot& note, const CueEntry* other, uint32_t otherFlag) {
    if (other == nullptr || other->hidden || (other->entry.flags & kQXEntryNote) == 0) return false;
    const int count = std::clamp<int>(other->entry.noteCount, 0, kQXMaxNotes);
    for (int n = 0; n < count; ++n) {
      const QXNoteSlot& candidate = other->entry.notes[n];
      if (candidate.word0 == note.word0 && candidate.word1 == note.word1 && (candidate.flags & otherFlag) != 0) {
        return true;
      }
    }
    return false;
  }

  void WriteVoice(const Voice& voice, int number, int64_t back, int64_t* end, CueNoteCounts* counts) {
    pugi::xml_node measure = m_part.measures[static_cast<size_t>(voice.measure - 1)];
    const int64_t divisions = Divisions(voice.measure);
    if (back > 0) Text(measure.append_child("backup"), "duration", std::to_string(back));
    int64_t time = 0;
    const bool wholeMeasureRest = voice.entries.size() == 1 && (voice.entries[0].entry.flags & kQXEntryNote) == 0 &&
                                  !voice.entries[0].hidden &&
                                  voice.entries[0].entry.duration == m_host.MeasureLength(voice.measure);
    for (size_t i = 0; i < voice.entries.size(); ++i) {
      const CueEntry& item = voice.entries[i];
      const int64_t duration = DurationOf(item, divisions);
      if (item.hidden && item.actual == 1 && item.normal == 1) {
        HiddenTime(measure, voice, number, item.entry.duration, duration);
      } else {
        WriteEntry(measure, voice, i, number, duration, wholeMeasureRest, counts);
      }
      time += duration;
    }
    // A source layer that stops short of the barline: the cue voice still
    // fills the measure, as far as the part's own voices go.
    const int64_t length = Length(voice.measure);
    if (time < length) {
      const int64_t gap = length - time;
      HiddenTime(measure, voice, number, gap * kQXQuarter % divisions == 0 ? gap * kQXQuarter / divisions : 0, gap);
      time = length;
    }
    *end = time;
  }

  // Time the cue voice only keeps: hidden rests of plain note values, or a
  // forward where no note value fits.
  void HiddenTime(pugi::xml_node measure, const Voice& voice, int number, int64_t units, int64_t duration) {
    std::vector<int> values;
    std::string type;
    int dots = 0;
    if (units > 0 && TypeOf(static_cast<int>(units), &type, &dots)) {
      values.push_back(static_cast<int>(units));
    } else {
      for (int64_t left = units; left > 0;) {
        int value = kQXWhole * 4;
        while (value > left) value /= 2;
        if (!TypeOf(value, &type, &dots)) {
          values.clear();
          break;
        }
        values.push_back(value);
        left -= value;
      }
    }
    if (values.empty()) {
      pugi::xml_node forward = measure.append_child("forward");
      Text(forward, "duration", std::to_string(duration));
      Text(forward, "voice", std::to_string(number));
      if (m_part.staves > 1) Text(forward, "staff", std::to_string(voice.staff));
      return;
    }
    for (const int value : values) {
      pugi::xml_node note = measure.append_child("note");
      note.append_attribute("print-object") = "no";
      note.append_child("cue");
      note.append_child("rest");
      Text(note, "duration", std::to_string(duration * value / units));
      AppendInstrument(note);
      Text(note, "voice", std::to_string(number));
      TypeOf(value, &type, &dots);
      AppendType(note, type, dots);
      if (m_part.staves > 1) Text(note, "staff", std::to_string(voice.staff));
    }
  }

  // The part's instrument, as its own notes name it: a reader would take a
  // note without it for a change of instrument.
  void AppendInstrument(pugi::xml_node note) const {
    if (!m_part.instrumentId.empty()) note.append_child("instrument").append_attribute("id") = m_part.instrumentId.c_str();
  }

  static void AppendType(pugi::xml_node note, const std::string& type, int dots) {
    pugi::xml_node typeNode = note.append_child("type");
    typeNode.text().set(type.c_str());
    typeNode.append_attribute("size") = "cue";
    for (int d = 0; d < dots; ++d) note.append_child("dot");
  }

  void WriteEntry(pugi::xml_node measure, const Voice& voice, size_t index, int number, int64_t duration,
                  bool wholeMeasureRest, CueNoteCounts* counts) {
    const CueEntry& item = voice.entries[index];
    const QXEntry& entry = item.entry;
    const bool rest = (entry.flags & kQXEntryNote) == 0;
    std::string type;
    int dots = 0;
    const bool typed = TypeOf(entry.duration, &type, &dots);
    const int count = rest ? 1 : std::clamp<int>(entry.noteCount, 1, kQXMaxNotes);
    for (int n = 0; n < count; ++n) {
      pugi::xml_node note = measure.append_child("note");
      if (item.hidden) note.append_attribute("print-object") = "no";
      if (item.grace) {
        pugi::xml_node grace = note.append_child("grace");
        if ((entry.flags & kQXEntryGraceSlash) != 0) grace.append_attribute("slash") = "yes";
      }
      note.append_child("cue");
      if (n > 0) note.append_child("chord");
      const QXNoteSlot& slot = entry.notes[n];
      if (rest) {
        pugi::xml_node restNode = note.append_child("rest");
        if (wholeMeasureRest) restNode.append_attribute("measure") = "yes";
      } else {
        WritePitch(note, slot, voice.staff, voice.measure, entry.position);
      }
      if (!item.grace) Text(note, "duration", std::to_string(std::max<int64_t>(duration, 1)));
      AppendInstrument(note);
      Text(note, "voice", std::to_string(number));
      if (typed) AppendType(note, type, dots);
      if (item.actual != 1 || item.normal != 1) {
        pugi::xml_node modification = note.append_child("time-modification");
        Text(modification, "actual-notes", std::to_string(item.actual));
        Text(modification, "normal-notes", std::to_string(item.normal));
      }
      const uint32_t notehead = (slot.flags >> kNoteheadShift) & 0x3F;
      if (!rest && notehead > 0 && notehead < std::size(kNoteheads)) Text(note, "notehead", kNoteheads[notehead]);
      if (m_part.staves > 1) Text(note, "staff", std::to_string(voice.staff));
      if (n == 0 && !rest) WriteBeams(note, entry.number);
      WriteNotations(note, voice, index, slot, n == 0, rest);
      if (n == 0 && !rest) WriteLyrics(note, entry.number);
      if (rest) {
        if (!item.hidden) ++counts->rests;
      } else {
        ++counts->notes;
      }
    }
  }

  // A note's pitch as the staff writes it where it stands: through the
  // staff's transposition there, a microtone's fraction kept; an unpitched
  // note at its display position.
  void WritePitch(pugi::xml_node note, const QXNoteSlot& slot, int staff, int measure, int32_t position) const {
    const Pitch sounding{static_cast<int16_t>(slot.word0), static_cast<int16_t>(slot.word1)};
    const bool unpitched = (slot.flags & kNoteUnpitched) != 0;
    const Transposition t = unpitched ? Transposition{} : m_part.TranspositionAt(staff, measure, position);
    const Pitch written = Transpose(sounding, -t.diatonic, -t.chromatic);
    char step = 'C';
    int alter = 0;
    int octave = 4;
    PitchToXml(written, &step, &alter, &octave);
    if (unpitched) {
      pugi::xml_node display = note.append_child("unpitched");
      Text(display, "display-step", std::string(1, step));
      Text(display, "display-octave", std::to_string(octave));
      return;
    }
    // The microtone: a signed 12-bit field.
    int thousandths = static_cast<int>(slot.flags & kNoteMicrotoneMask);
    if (thousandths >= 0x800) thousandths -= 0x1000;
    pugi::xml_node pitch = note.append_child("pitch");
    Text(pitch, "step", std::string(1, step));
    if (thousandths != 0) {
      char text[32];
      std::snprintf(text, sizeof text, "%.3f", alter + thousandths / 1000.0);
      std::string value = text;
      while (value.back() == '0') value.pop_back();
      Text(pitch, "alter", value);
    } else if (alter != 0) {
      Text(pitch, "alter", std::to_string(alter));
    }
    Text(pitch, "octave", std::to_string(octave));
  }

  void WriteBeams(pugi::xml_node note, uint32_t entry) const {
    const Bytes* bytes = m_host.Records().Find(kQXTagBeamST, RecordKey{entry, 0, 0});
    if (bytes == nullptr || bytes->size() < sizeof(QXEntryDetail)) return;
    QXEntryDetail beams;
    std::memcpy(&beams, bytes->data(), sizeof beams);
    for (int level = 0; level < 5; ++level) {
      const int state = beams.words[level];
      if (state <= 0 || state >= static_cast<int>(std::size(kBeamStates))) continue;
      pugi::xml_node beam = note.append_child("beam");
      beam.append_attribute("number") = level + 1;
      beam.text().set(kBeamStates[state]);
    }
  }

  int SlurNumber(uint16_t shape, bool start) {
    if (!start) {
      const auto open = m_openSlurs.find(shape);
      if (open == m_openSlurs.end()) return 0;
      const int number = open->second;
      m_openSlurs.erase(open);
      return number;
    }
    // From 6 down (readers of MusicXML before 4.0 know six levels), so that
    // the part's own slurs, numbered from 1, keep theirs.
    for (int number = 6; number >= 1; --number) {
      bool used = false;
      for (const auto& [other, taken] : m_openSlurs) used = used || taken == number;
      if (!used) return m_openSlurs[shape] = number;
    }
    return 0;
  }

  void WriteNotations(pugi::xml_node note, const Voice& voice, size_t index, const QXNoteSlot& slot, bool first,
                      bool rest) {
    const CueEntry& item = voice.entries[index];
    const QXEntry& entry = item.entry;
    pugi::xml_node notations;
    auto get = [&]() {
      if (!notations) notations = note.append_child("notations");
      return notations;
    };
    if (!rest && (slot.flags & kQXNoteTieEnd) != 0 && TieHeld(slot, Neighbour(voice, index, -1), kQXNoteTieStart)) {
      get().append_child("tied").append_attribute("type") = "stop";
    }
    if (!rest && (slot.flags & kQXNoteTieStart) != 0 && TieHeld(slot, Neighbour(voice, index, 1), kQXNoteTieEnd)) {
      get().append_child("tied").append_attribute("type") = "start";
    }
    if (!first) return;
    for (const auto& [stops, type] : {std::pair{&m_slurs.stops, "stop"}, std::pair{&m_slurs.starts, "start"}}) {
      const auto [from, to] = stops->equal_range(entry.number);
      for (auto it = from; it != to; ++it) {
        const int number = SlurNumber(it->second, std::strcmp(type, "start") == 0);
        if (number == 0) continue;
        pugi::xml_node slur = get().append_child("slur");
        slur.append_attribute("type") = type;
        slur.append_attribute("number") = number;
      }
    }
    // Brackets: those that end here, innermost first, then those that start.
    for (auto tuplet = voice.tuplets.rbegin(); tuplet != voice.tuplets.rend(); ++tuplet) {
      if (tuplet->last == index && tuplet->shown) WriteTuplet(get(), *tuplet, "stop");
    }
    for (const CueTuplet& tuplet : voice.tuplets) {
      if (tuplet.first == index && tuplet.shown) WriteTuplet(get(), tuplet, "start");
    }
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

  static void WriteTuplet(pugi::xml_node notations, const CueTuplet& tuplet, const char* type) {
    pugi::xml_node mark = notations.append_child("tuplet");
    mark.append_attribute("type") = type;
    mark.append_attribute("number") = tuplet.number;
    if (!tuplet.nested || std::strcmp(type, "start") != 0) return;
    Text(mark.append_child("tuplet-actual"), "tuplet-number", std::to_string(tuplet.actual));
    Text(mark.append_child("tuplet-normal"), "tuplet-number", std::to_string(tuplet.normal));
  }

  void WriteLyrics(pugi::xml_node note, uint32_t entryNumber) const {
    for (uint16_t incidence = 0;; ++incidence) {
      const Bytes* bytes = m_host.Records().Find(kQXTagLyricVerse, RecordKey{entryNumber, incidence, 0});
      if (bytes == nullptr) break;
      QXEntryDetail detail;
      std::memcpy(&detail, bytes->data(), sizeof detail);
      const Bytes* raw = m_host.Records().Find(kQXTagRawText, RecordKey{detail.words[1], 0, 0});
      if (raw == nullptr) continue;
      pugi::xml_node lyric = note.append_child("lyric");
      const size_t line = detail.words[0];
      if (line >= 1 && line <= m_lyricLines.size()) {
        const auto& [number, name] = m_lyricLines[line - 1];
        if (!number.empty()) lyric.append_attribute("number") = number.c_str();
        if (!name.empty()) lyric.append_attribute("name") = name.c_str();
      } else {
        lyric.append_attribute("number") = detail.words[0];
      }
      Text(lyric, "syllabic", kSyllabic[std::min<int>(detail.words[2], 3)]);
      Text(lyric, "text", XmlText(std::string(raw->begin(), raw->end())));
      if (detail.words[3] != 0) lyric.append_child("extend");
    }
  }

  const quivrasim::Document& m_host;
  const Snapshot& m_snapshot;
  const std::vector<std::pair<std::string, std::string>>& m_lyricLines;
  const CueSlurs& m_slurs;
  PartLayout& m_part;
  std::vector<Voice> m_voices;
  std::map<std::tuple<int, int, int>, size_t> m_index;
  std::map<uint16_t, int> m_openSlurs;  // shape -> number
};

}  // namespace

NewFrames FramesOfNewEntries(const quivrasim::Document& host, const Snapshot& snapshot) {
  NewFrames frames;
  for (uint32_t number = snapshot.lastEntry + 1; number < host.NextEntryNumber(); ++number) {
    if (const auto where = host.FindEntry(number)) {
      frames[where->first.instrument].emplace(where->first.measure, where->first.layer);
    }
  }
  return frames;
}

CueNoteCounts WriteCueNotes(const quivrasim::Document& host, const ImportedScore& score, const CueSlurs& slurs,
                            const NewFrames& frames, PartLayout& part, CueVoices* voices) {
  PartCueWriter writer(host, score, slurs, part);
  writer.Collect(frames);
  if (writer.Empty()) return {};
  const int64_t factor = writer.Factor();
  if (factor > 1) ScaleDivisions(part, factor);
  return writer.Write(voices);
}

}  // namespace ostinel_cli
