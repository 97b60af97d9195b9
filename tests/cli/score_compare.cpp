#include "score_compare.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <set>

#include "score_file.h"

namespace ostinel_test {
namespace {

using Json = nlohmann::json;

// A time or a duration in quarter notes, exactly.
struct Q {
  int64_t n = 0;
  int64_t d = 1;
  static Q Of(int64_t n, int64_t d) {
    if (d == 0) return Q{};
    if (d < 0) n = -n, d = -d;
    const int64_t g = std::gcd(n < 0 ? -n : n, d);
    return Q{n / g, d / g};
  }
  Q operator+(const Q& o) const { return Of(n * o.d + o.n * d, d * o.d); }
  Q operator-(const Q& o) const { return Of(n * o.d - o.n * d, d * o.d); }
  Q operator*(const Q& o) const { return Of(n * o.n, d * o.d); }
  bool operator==(const Q& o) const { return n == o.n && d == o.d; }
  bool operator<(const Q& o) const { return n * o.d < o.n * d; }
  Q Distance(const Q& o) const { return *this < o ? o - *this : *this - o; }
  std::string Str() const { return d == 1 ? std::to_string(n) : std::to_string(n) + "/" + std::to_string(d); }
};

constexpr int kMaxStaves = 16;

bool Is(pugi::xml_node node, const char* name) { return std::strcmp(node.name(), name) == 0; }
bool Yes(pugi::xml_attribute attribute) { return std::strcmp(attribute.value(), "yes") == 0; }

std::string Trim(const char* text) {
  const std::string s = text;
  const size_t first = s.find_first_not_of(" \t\r\n");
  return first == std::string::npos ? "" : s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// An element as one line: attributes sorted, blank text left out, and every
// <duration> and <offset> in quarters, so that raised divisions compare equal.
void Canon(pugi::xml_node node, int64_t divisions, std::string& out) {
  if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) out += Trim(node.value());
  if (node.type() == pugi::node_comment) out += "<!--" + std::string(node.value()) + "-->";
  if (node.type() != pugi::node_element) return;
  std::set<std::pair<std::string, std::string>> attributes;
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) attributes.emplace(a.name(), a.value());
  out += std::string("<") + node.name();
  for (const auto& [name, value] : attributes) out += " " + name + "=" + value;
  out += '>';
  if (Is(node, "duration") || Is(node, "offset")) {
    out += Q::Of(node.text().as_llong(), divisions).Str();
  } else {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) Canon(child, divisions, out);
  }
  out += "</>";
}

std::string Canon(pugi::xml_node node, int64_t divisions = 1) {
  std::string out;
  Canon(node, divisions, out);
  return out;
}

// What a note's type, dots and time modification give; nothing without a type.
Q Notated(pugi::xml_node note) {
  static const char* const kTypes[] = {"1024th", "512th", "256th", "128th", "64th", "32nd",  "16th",
                                       "eighth", "quarter", "half", "whole", "breve", "long", "maxima"};
  const std::string type = Trim(note.child_value("type"));
  const auto found = std::find(std::begin(kTypes), std::end(kTypes), type);
  if (found == std::end(kTypes)) return Q{};
  const Q base = Q::Of(int64_t{1} << (found - std::begin(kTypes)), 256);
  Q value = base;
  int dot = 0;
  for (pugi::xml_node d = note.child("dot"); d; d = d.next_sibling("dot")) value = value + base * Q::Of(1, int64_t{2} << dot++);
  if (const pugi::xml_node modification = note.child("time-modification")) {
    value = value * Q::Of(modification.child("normal-notes").text().as_llong(1),
                          modification.child("actual-notes").text().as_llong(1));
  }
  return value;
}

// One note or chord of one staff and voice, as a player hears it.
struct Entry {
  Q start;
  Q duration;   // as notated, where the written duration rounds it
  Q tolerance;  // a division of the score it stands in: the rounding a writer may do
  bool hidden = false;                  // keeps time only
  std::multiset<std::string> sounds;    // "rest", or each note's sounding pitch (and notehead)
  std::string value;                    // type, dots, grace
  std::set<std::string> tuplets;        // the brackets that start or stop here, by number
  std::set<std::string> lyrics;
  std::set<std::string> articulations;

  // "[" for each bracket that starts here, "]" for each that stops.
  std::string Brackets() const {
    const auto opens = std::count_if(tuplets.begin(), tuplets.end(), [](const std::string& t) { return t.rfind("start", 0) == 0; });
    return std::string(static_cast<size_t>(opens), '[') + std::string(tuplets.size() - static_cast<size_t>(opens), ']');
  }
  std::string Show(bool withLyrics, bool withArticulations) const {
    std::string text = start.Str() + ":";
    for (const std::string& s : sounds) text += s + ",";
    text += value + Brackets() + "/" + duration.Str();
    for (const std::string& l : lyrics) text += withLyrics ? " lyric " + l : "";
    for (const std::string& a : articulations) text += withArticulations ? " " + a : "";
    return text;
  }
};

struct Event {
  Q time;
  std::string key;  // the element as one line, with its time (and a note's clef, key and transposition)
  pugi::xml_node node;
  int staff = 1;
};

struct Voice {
  std::vector<Entry> entries;
  Q end;
  Q filled;  // the time its notes and forwards take, hidden ones included
  bool cue = false;
  std::vector<std::string> faults;  // notation a reader would refuse
};

struct Measure {
  std::string number;
  std::vector<Event> events;
  Q length;
  std::map<std::pair<int, std::string>, Voice> voices;  // (staff, voice)
  bool HasCue(int staff) const {
    return std::any_of(voices.begin(), voices.end(),
                       [&](const auto& v) { return v.second.cue && (staff == 0 || v.first.first == staff); });
  }
};

struct Part {
  std::string id;
  int staves = 1;
  int firstSlot = 1;
  std::vector<Measure> measures;
  std::set<std::string> voices;
  bool HasCue() const {
    return std::any_of(measures.begin(), measures.end(), [](const Measure& m) { return m.HasCue(0); });
  }
};

// What is in force for a staff: its clef, key and transposition.
struct StaffContext {
  std::string clef, key, transpose;
  int diatonic = 0;
  int chromatic = 0;
};

int StaffOf(pugi::xml_node node) { return std::clamp(node.child("staff").text().as_int(1), 1, kMaxStaves); }

std::string VoiceOf(pugi::xml_node node) { return node.child("voice") ? Trim(node.child_value("voice")) : "1"; }

std::string Pitch(pugi::xml_node note, const StaffContext& context) {
  const std::string notehead = note.child("notehead") ? "/" + Trim(note.child_value("notehead")) : "";
  if (const pugi::xml_node unpitched = note.child("unpitched")) {
    return "unpitched " + Trim(unpitched.child_value("display-step")) + Trim(unpitched.child_value("display-octave")) +
           notehead;
  }
  const pugi::xml_node pitch = note.child("pitch");
  if (!pitch) return "rest";
  static const std::string kSteps = "CDEFGAB";
  static const int kSemitones[] = {0, 2, 4, 5, 7, 9, 11};
  const size_t step = kSteps.find(Trim(pitch.child_value("step")).c_str()[0]);
  const int index = step == std::string::npos ? 0 : static_cast<int>(step);
  const int octave = pitch.child("octave").text().as_int(4);
  char text[64];
  std::snprintf(text, sizeof text, "%d:%.4f", octave * 7 + index + context.diatonic,
                octave * 12 + kSemitones[index] + pitch.child("alter").text().as_double(0.0) + context.chromatic);
  return text + notehead;
}

// A cue note's notation must add up: its type, dots and time modification
// give its duration, and a reader needs the type.
void CheckNotation(pugi::xml_node note, const Entry& entry, std::vector<std::string>* faults, const std::string& key) {
  if (Yes(note.child("rest").attribute("measure")) && !note.child("type")) return;
  const Q value = Notated(note);
  if (value == Q{}) {
    faults->push_back("a cue note without a note type: " + key);
  } else if (!note.child("grace") && !(value == entry.duration)) {
    faults->push_back("a cue note whose notation gives " + value.Str() + " quarters but lasts " + entry.duration.Str() +
                      ": " + key);
  }
}

// A part as events per measure and entries per voice. originalVoices: those
// of the original part, when this is the cued one (a cue voice is any other).
Part Walk(pugi::xml_node partNode, const std::set<std::string>* originalVoices) {
  Part part;
  part.id = partNode.attribute("id").value();
  int64_t divisions = 1;
  std::vector<StaffContext> contexts(kMaxStaves + 1);
  for (pugi::xml_node measureNode = partNode.child("measure"); measureNode;
       measureNode = measureNode.next_sibling("measure")) {
    Measure& measure = part.measures.emplace_back();
    measure.number = measureNode.attribute("number").value();
    Q cursor, lastStart, lastDuration;
    auto add = [&](Q time, const std::string& key, pugi::xml_node node, int staff) {
      measure.events.push_back(Event{time, time.Str() + " " + key, node, staff});
    };
    for (pugi::xml_node child = measureNode.first_child(); child; child = child.next_sibling()) {
      if (originalVoices == nullptr && child.child("voice")) part.voices.insert(VoiceOf(child));
      const Q duration = Q::Of(child.child("duration").text().as_llong(), divisions);
      if (Is(child, "attributes")) {
        if (child.child("divisions")) divisions = std::max<int64_t>(1, child.child("divisions").text().as_llong());
        for (pugi::xml_node item = child.first_child(); item; item = item.next_sibling()) {
          if (item.type() != pugi::node_element || Is(item, "divisions")) continue;
          if (Is(item, "staves")) part.staves = std::max(part.staves, std::clamp(item.text().as_int(1), 1, kMaxStaves));
          const int number = item.attribute("number").as_int(0);
          for (int staff = 1; staff <= kMaxStaves; ++staff) {
            StaffContext& c = contexts[static_cast<size_t>(staff)];
            if (number != 0 && number != staff) continue;
            if (Is(item, "clef")) c.clef = Canon(item);
            if (Is(item, "key")) c.key = Canon(item);
            if (!Is(item, "transpose")) continue;
            c.transpose = Canon(item);
            const int octave = item.child("octave-change").text().as_int(0);
            c.diatonic = item.child("diatonic").text().as_int(0) + 7 * octave;
            c.chromatic = item.child("chromatic").text().as_int(0) + 12 * octave;
          }
          add(cursor, "attributes/" + Canon(item, divisions), item, number);
        }
      } else if (Is(child, "note")) {
        const bool chord = child.child("chord");
        const Q length = child.child("grace") ? Q{} : duration;
        const Q start = chord ? lastStart : cursor;
        const int staff = StaffOf(child);
        const std::string voice = VoiceOf(child);
        const StaffContext& context = contexts[static_cast<size_t>(staff)];
        const bool cue = originalVoices != nullptr && child.child("cue") && originalVoices->count(voice) == 0;
        const bool pitched = child.child("pitch") || child.child("unpitched");
        add(start, Canon(child, divisions) + (pitched && !cue ? " in " + context.clef + context.key + context.transpose : ""),
            child, staff);
        Voice& v = measure.voices[{staff, voice}];
        v.cue = cue;
        // A chord note joins the entry of its own staff and voice at its start.
        Entry* entry = chord && !v.entries.empty() && v.entries.back().start == start ? &v.entries.back() : nullptr;
        if (entry == nullptr) {
          entry = &v.entries.emplace_back();
          entry->start = start;
          entry->duration = chord ? lastDuration : length;
          entry->tolerance = Q::Of(1, divisions);
          entry->hidden = std::strcmp(child.attribute("print-object").value(), "no") == 0;
          v.filled = v.filled + entry->duration;
          if (cue) CheckNotation(child, *entry, &v.faults, measure.events.back().key);
          if (Yes(child.child("rest").attribute("measure"))) {
            entry->value = "measure";
          } else {
            entry->value = Trim(child.child_value("type"));
            for (pugi::xml_node dot = child.child("dot"); dot; dot = dot.next_sibling("dot")) entry->value += ".";
            const Q notated = Notated(child);
            if (!(notated == Q{}) && !(entry->tolerance < notated.Distance(entry->duration))) entry->duration = notated;
          }
          if (child.child("grace")) entry->value += " grace" + std::string(child.child("grace").attribute("slash").value());
        }
        entry->sounds.insert(Pitch(child, context));
        for (pugi::xml_node lyric = child.child("lyric"); lyric; lyric = lyric.next_sibling("lyric")) {
          entry->lyrics.insert(std::string(lyric.attribute("number").value()) + "|" + lyric.attribute("name").value() +
                               "|" + Trim(lyric.child_value("syllabic")) + "|" + Trim(lyric.child_value("text")) +
                               (lyric.child("extend") ? "|extend" : ""));
        }
        for (pugi::xml_node notations = child.child("notations"); notations;
             notations = notations.next_sibling("notations")) {
          for (pugi::xml_node group = notations.child("articulations"); group; group = group.next_sibling("articulations")) {
            for (pugi::xml_node mark = group.first_child(); mark; mark = mark.next_sibling()) {
              entry->articulations.insert(mark.name());
            }
          }
          if (notations.child("fermata")) entry->articulations.insert("fermata");
          for (pugi::xml_node tuplet = notations.child("tuplet"); tuplet; tuplet = tuplet.next_sibling("tuplet")) {
            entry->tuplets.insert(std::string(tuplet.attribute("type").value()) + " " +
                                  tuplet.attribute("number").as_string("1"));
          }
        }
        if (!chord) {
          lastStart = cursor;
          lastDuration = length;
          cursor = cursor + length;
        }
        v.end = std::max(v.end, start + entry->duration);
      } else if (Is(child, "backup")) {
        cursor = cursor - duration;
      } else if (Is(child, "forward")) {
        add(cursor, Canon(child, divisions), child, StaffOf(child));
        Voice& v = measure.voices[{StaffOf(child), VoiceOf(child)}];
        cursor = cursor + duration;
        v.filled = v.filled + duration;
        v.end = std::max(v.end, cursor);
      } else if (child.type() == pugi::node_element || child.type() == pugi::node_comment) {
        add(cursor, Canon(child, divisions), child, child.child("staff") ? StaffOf(child) : 0);
      }
      measure.length = std::max(measure.length, cursor);
    }
  }
  return part;
}

// The same music: the same notes and values in the same time, where a
// writer's rounding of the source's durations to its divisions is no
// difference; tuplet brackets count where the source shows them.
bool Same(const std::vector<Entry>& cue, const std::vector<Entry>& source, bool lyrics, bool articulations) {
  if (cue.size() != source.size()) return false;
  const bool brackets = std::any_of(source.begin(), source.end(), [](const Entry& e) { return !e.tuplets.empty(); });
  for (size_t i = 0; i < cue.size(); ++i) {
    const Entry& a = cue[i];
    const Entry& b = source[i];
    if (a.sounds != b.sounds || a.value != b.value || !(a.duration == b.duration) ||
        a.tolerance + b.tolerance < a.start.Distance(b.start) || (brackets && a.Brackets() != b.Brackets()) ||
        (lyrics && a.lyrics != b.lyrics) || (articulations && a.articulations != b.articulations)) {
      return false;
    }
  }
  return true;
}

std::vector<Entry> Visible(const std::vector<Entry>& entries) {
  std::vector<Entry> visible;
  std::copy_if(entries.begin(), entries.end(), std::back_inserter(visible), [](const Entry& e) { return !e.hidden; });
  return visible;
}

std::string Show(const std::vector<Entry>& entries, bool lyrics, bool articulations) {
  std::string text;
  for (const Entry& e : entries) text += (text.empty() ? "" : " ") + e.Show(lyrics, articulations);
  return text.empty() ? "(nothing)" : text;
}

class Comparer {
 public:
  Comparer(const pugi::xml_document& original, const pugi::xml_document& cued, const Json& summary)
      : m_summary(summary) {
    // Everything outside the parts stays as it was.
    const pugi::xml_node roots[] = {original.document_element(), cued.document_element()};
    std::string header[2];
    for (int side = 0; side < 2; ++side) {
      for (pugi::xml_attribute a = roots[side].first_attribute(); a; a = a.next_attribute()) {
        header[side] += std::string(a.name()) + "=" + a.value() + " ";
      }
      for (pugi::xml_node child = roots[side].first_child(); child; child = child.next_sibling()) {
        header[side] += Is(child, "part") ? "<part " + std::string(child.attribute("id").value()) + ">" : Canon(child);
      }
    }
    if (header[0] != header[1]) Finding("the header (work, identification, defaults, credits, part list) changed");
    // The parts in their list's order, whose staves give the slots.
    int slot = 1;
    for (pugi::xml_node item = roots[0].child("part-list").child("score-part"); item; item = item.next_sibling("score-part")) {
      const char* id = item.attribute("id").value();
      const pugi::xml_node before = roots[0].find_child_by_attribute("part", "id", id);
      const pugi::xml_node after = roots[1].find_child_by_attribute("part", "id", id);
      if (!before || !after) continue;
      m_parts.push_back(Walk(before, nullptr));
      m_cued.push_back(Walk(after, &m_parts.back().voices));
      m_parts.back().firstSlot = slot;
      slot += m_parts.back().staves;
      for (pugi::xml_node x = before.child("measure"), y = after.child("measure"); x || y;
           x = x.next_sibling("measure"), y = y.next_sibling("measure")) {
        std::string left, right;
        for (pugi::xml_attribute a = x.first_attribute(); a; a = a.next_attribute()) left += a.name() + std::string(a.value());
        for (pugi::xml_attribute a = y.first_attribute(); a; a = a.next_attribute()) right += a.name() + std::string(a.value());
        if (!x || !y || left != right) Finding("part " + std::string(id) + ": the measures changed at " + left + right);
      }
    }
  }

  Verdict Run() {
    if (!m_verdict.findings.empty()) return m_verdict;
    for (size_t p = 0; p < m_parts.size(); ++p) CompareMeasures(m_parts[p], m_cued[p]);
    CheckCues();
    return m_verdict;
  }

 private:
  void Finding(const std::string& text) { m_verdict.findings.push_back(text); }

  std::string Where(size_t part, size_t m) const { return "part " + m_parts[part].id + " m. " + m_parts[part].measures[m].number; }

  // What an element the original lacks is, when the command adds such things.
  static std::string Addition(const Event& event, const Part& original, const Part& cued, size_t m) {
    const pugi::xml_node node = event.node;
    const bool cueVoice = node.child("voice") && original.voices.count(VoiceOf(node)) == 0;
    const std::string id = node.attribute("id").value();
    const int staff = event.staff == 0 ? 1 : event.staff;
    if (Is(node, "note") && node.child("cue") && cueVoice) {
      return std::strcmp(node.attribute("print-object").value(), "no") == 0 ? "cue time"
             : node.child("rest")                                          ? "cue rest"
                                                                           : "cue note";
    }
    if (Is(node, "forward") && cueVoice) return "cue time";
    if (Is(node, "direction") && id.rfind("ostinel-cue-name-", 0) == 0) return "cue name";
    if (Is(node, "direction") && id.rfind("ostinel-marker-", 0) == 0) return "marker";
    if ((Is(node, "direction") && cueVoice) || (Is(node, "harmony") && cued.measures[m].HasCue(0))) {
      return "copied element";
    }
    if (Is(node, "clef") && std::strcmp(node.attribute("size").value(), "cue") == 0) return "cue clef";
    // The staff's own clef, where a cue ends: before the barline of the cue's
    // last measure, or at the start of the next.
    if (Is(node, "clef") && ((m > 0 && event.time == Q{} && cued.measures[m - 1].HasCue(staff)) ||
                             (event.time == original.measures[m].length && cued.measures[m].HasCue(staff)))) {
      return "clef restored";
    }
    if (Is(node, "measure-style") && cued.HasCue()) return "multi-measure rest";
    return "";
  }

  void CompareMeasures(const Part& original, const Part& cued) {
    const size_t p = static_cast<size_t>(&original - m_parts.data());
    for (size_t m = 0; m < original.measures.size(); ++m) {
      std::map<std::string, std::pair<std::vector<const Event*>, std::vector<const Event*>>> events;
      for (const Event& e : original.measures[m].events) events[e.key].first.push_back(&e);
      for (const Event& e : cued.measures[m].events) events[e.key].second.push_back(&e);
      for (const auto& [key, sides] : events) {
        const auto& [before, after] = sides;
        for (size_t i = after.size(); i < before.size(); ++i) {
          if (Is(before[i]->node, "measure-style") && cued.HasCue()) {
            ++m_verdict.added["multi-measure rest"];
          } else {
            Finding(Where(p, m) + ": lost or changed: " + key.substr(0, 300));
          }
        }
        for (size_t i = before.size(); i < after.size(); ++i) {
          const std::string kind = Addition(*after[i], original, cued, m);
          if (kind.empty()) Finding(Where(p, m) + ": added: " + key.substr(0, 300));
          if (!kind.empty()) ++m_verdict.added[kind];
        }
      }
      // A reader keeps one clef per staff and moment: a second one replaces the first.
      std::map<std::pair<int, std::string>, int> clefs;
      for (const Event& e : cued.measures[m].events) {
        if (Is(e.node, "clef") && ++clefs[{std::max(e.staff, 1), e.time.Str()}] == 2) {
          Finding(Where(p, m) + ": two clefs at once on staff " + std::to_string(e.staff));
        }
      }
    }
  }

  // The part and staff of a slot, from the original's part list.
  bool PartOfSlot(const Json& slot, size_t* part, int* staff) const {
    for (size_t p = 0; slot.is_number() && p < m_parts.size(); ++p) {
      *staff = slot.get<int>() - m_parts[p].firstSlot + 1;
      *part = p;
      if (*staff >= 1 && *staff <= m_parts[p].staves) return true;
    }
    return false;
  }

  void CheckCues() {
    std::set<std::string> with;
    for (const Json& item : m_summary.value("settings", Json::object()).value("with", Json::array())) {
      with.insert(item.get<std::string>());
    }
    std::set<std::tuple<size_t, int, size_t>> accounted;  // part, staff, measure
    for (const Json& location : m_summary.value("locations", Json::array())) {
      if (location.value("action", "") != "written") continue;
      const Json& source = location["source"];
      size_t sourcePart = 0;
      int sourceStaff = 0;
      if (!PartOfSlot(source["staff"]["slot"], &sourcePart, &sourceStaff)) {
        Finding("a written cue whose source staff the summary does not name");
        continue;
      }
      for (const Json& destination : location["destinations"]) {
        size_t part = 0;
        int staff = 0;
        if (!PartOfSlot(destination["slot"], &part, &staff)) continue;
        for (size_t m = source["first"]["index"].get<size_t>() - 1;
             m < source["last"]["index"].get<size_t>() && m < m_cued[part].measures.size(); ++m) {
          accounted.insert({part, staff, m});
          CheckCue(sourcePart, sourceStaff, part, staff, m, with.count("lyrics") != 0, with.count("articulations") != 0);
        }
      }
    }
    for (size_t p = 0; p < m_cued.size(); ++p) {
      for (size_t m = 0; m < m_cued[p].measures.size(); ++m) {
        for (const auto& [key, voice] : m_cued[p].measures[m].voices) {
          if (voice.cue && accounted.count({p, key.first, m}) == 0) Finding(Where(p, m) + ": cue notes where no cue was written");
        }
      }
    }
  }

  void CheckCue(size_t sourcePart, int sourceStaff, size_t part, int staff, size_t m, bool lyrics, bool articulations) {
    const std::string where = Where(part, m) + " staff " + std::to_string(staff);
    const Voice* cue = nullptr;
    for (const auto& [key, voice] : m_cued[part].measures[m].voices) {
      if (!voice.cue || key.first != staff) continue;
      if (cue != nullptr) Finding(where + ": more than one cue voice");
      cue = &voice;
    }
    if (cue == nullptr) return Finding(where + ": the cue is missing");
    for (const std::string& fault : cue->faults) Finding(where + ": " + fault.substr(0, 300));
    const Q length = m_parts[part].measures[m].length;
    if (!(cue->filled == length) || !(cue->end == length)) {
      Finding(where + ": the cue voice takes " + cue->filled.Str() + " quarters (ends at " + cue->end.Str() +
              ") of a measure of " + length.Str());
    }
    const std::vector<Entry> heard = Visible(cue->entries);
    std::string played;
    for (const auto& [key, voice] : m_parts[sourcePart].measures[m].voices) {
      if (key.first != sourceStaff) continue;
      if (Same(heard, Visible(voice.entries), lyrics, articulations)) {
        ++m_verdict.added["cue measure matching its source"];
        return;
      }
      played += " | voice " + key.second + ": " + Show(Visible(voice.entries), lyrics, articulations);
    }
    Finding(where + ": the cue sounds " + Show(heard, lyrics, articulations).substr(0, 400) + " where the source plays" +
            played.substr(0, 600));
  }

  const Json& m_summary;
  std::vector<Part> m_parts;
  std::vector<Part> m_cued;
  Verdict m_verdict;
};

// Every entry of an archive, in order: its name and bytes.
std::vector<std::pair<std::string, std::string>> Entries(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> entries;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  for (zip_int64_t i = 0; archive != nullptr && i < zip_get_num_entries(archive, 0); ++i) {
    auto& [name, bytes] = entries.emplace_back(zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW), "");
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    char buffer[65536];
    for (zip_int64_t read = 0; file != nullptr && (read = zip_fread(file, buffer, sizeof buffer)) > 0;) {
      bytes.append(buffer, static_cast<size_t>(read));
    }
    if (file != nullptr) zip_fclose(file);
  }
  if (archive != nullptr) zip_discard(archive);
  return entries;
}

}  // namespace

Verdict CompareScores(const pugi::xml_document& original, const pugi::xml_document& cued, const Json& summary) {
  return Comparer(original, cued, summary).Run();
}

Verdict CompareFiles(const std::string& original, const std::string& cued, const Json& summary) {
  ostinel_cli::ScoreFile before, after;
  std::string error;
  if (!ostinel_cli::ReadScore(original, &before, &error) || !ostinel_cli::ReadScore(cued, &after, &error)) {
    return Verdict{{"cannot read: " + error}, {}};
  }
  Verdict verdict = CompareScores(before.document, after.document, summary);
  if (before.compressed && after.compressed) {
    auto left = Entries(original);
    auto right = Entries(cued);
    // Only the score's own entry may change.
    for (auto* side : {&left, &right}) {
      for (auto& [name, bytes] : *side) {
        if (name == before.innerPath) bytes.clear();
      }
    }
    if (left != right) verdict.findings.push_back("the archive's other entries changed");
  }
  return verdict;
}

std::ostream& operator<<(std::ostream& os, const Verdict& verdict) {
  os << verdict.findings.size() << " findings";
  for (size_t i = 0; i < verdict.findings.size() && i < 12; ++i) os << "\n  " << verdict.findings[i];
  os << "\n  added:";
  for (const auto& [kind, count] : verdict.added) os << " " << kind << " " << count << ";";
  return os;
}

}  // namespace ostinel_test
