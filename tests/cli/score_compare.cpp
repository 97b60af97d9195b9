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
  std::string Str() const { return d == 1 ? std::to_string(n) : std::to_string(n) + "/" + std::to_string(d); }
};

constexpr int kMaxStaves = 16;

bool Is(pugi::xml_node node, const char* name) { return std::strcmp(node.name(), name) == 0; }

std::string Trim(const char* text) {
  std::string s = text;
  const size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// An element as one line: attributes sorted, blank text left out, and every
// <duration> and <offset> in quarters, so that raised divisions compare equal.
void Canon(pugi::xml_node node, int64_t divisions, std::string& out) {
  if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
    out += Trim(node.value());
    return;
  }
  if (node.type() == pugi::node_comment) {
    out += "<!--" + std::string(node.value()) + "-->";
    return;
  }
  if (node.type() != pugi::node_element) return;
  std::vector<std::pair<std::string, std::string>> attributes;
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) attributes.emplace_back(a.name(), a.value());
  std::sort(attributes.begin(), attributes.end());
  out += '<';
  out += node.name();
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

// Quarters of a note type.
Q TypeQuarters(const std::string& type) {
  static const std::map<std::string, Q> kTypes = {
      {"maxima", {32, 1}}, {"long", {16, 1}},  {"breve", {8, 1}},   {"whole", {4, 1}},   {"half", {2, 1}},
      {"quarter", {1, 1}}, {"eighth", {1, 2}}, {"16th", {1, 4}},    {"32nd", {1, 8}},    {"64th", {1, 16}},
      {"128th", {1, 32}},  {"256th", {1, 64}}, {"512th", {1, 128}}, {"1024th", {1, 256}}};
  const auto found = kTypes.find(type);
  return found == kTypes.end() ? Q{} : found->second;
}

// One note or chord of one staff and voice, as a player hears it.
struct Entry {
  Q start;
  Q duration;   // as notated, where the written duration rounds it
  Q tolerance;  // a division of the score it stands in: the rounding a writer may do
  bool hidden = false;  // keeps time only
  std::vector<std::string> sounds;  // "rest", or each note's sounding pitch (and notehead)
  std::string value;                // type, dots, grace
  std::set<std::string> tuplets;  // the tuplet brackets that start or stop here, by number
  // "[" for each bracket that starts here, "]" for each that stops.
  std::string Brackets() const {
    std::string starts, stops;
    for (const std::string& t : tuplets) {
      if (t.rfind("start", 0) == 0) {
        starts += '[';
      } else {
        stops += ']';
      }
    }
    return starts + stops;
  }
  std::set<std::string> lyrics;
  std::set<std::string> articulations;
  std::string Show(bool withLyrics, bool withArticulations) const {
    std::string text = start.Str() + ":";
    std::vector<std::string> sorted = sounds;
    std::sort(sorted.begin(), sorted.end());
    for (const std::string& s : sorted) text += s + ",";
    text += value + Brackets() + "/" + duration.Str();
    if (withLyrics) for (const std::string& l : lyrics) text += " lyric " + l;
    if (withArticulations) for (const std::string& a : articulations) text += " " + a;
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
  std::vector<Event> events;
  Q length;
  std::map<std::pair<int, std::string>, Voice> voices;  // (staff, voice)
};

struct Part {
  std::string id;
  int staves = 1;
  int firstSlot = 1;
  pugi::xml_node node;
  std::vector<Measure> measures;
  std::set<std::string> voices;
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
  std::string notehead = note.child("notehead") ? std::string("/") + Trim(note.child_value("notehead")) : "";
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
  const int diatonic = octave * 7 + index + context.diatonic;
  const double chromatic = octave * 12 + kSemitones[index] + pitch.child("alter").text().as_double(0.0) + context.chromatic;
  char text[64];
  std::snprintf(text, sizeof text, "%d:%.4f", diatonic, chromatic);
  return text + notehead;
}

class Walker {
 public:
  // cueVoicesOf: the original part's voices; a cue voice is one outside them.
  Part Walk(pugi::xml_node partNode, const std::set<std::string>* originalVoices) {
    Part part;
    part.node = partNode;
    part.id = partNode.attribute("id").value();
    int64_t divisions = 1;
    std::vector<StaffContext> contexts(kMaxStaves + 1);
    for (pugi::xml_node measureNode = partNode.child("measure"); measureNode;
         measureNode = measureNode.next_sibling("measure")) {
      Measure& measure = part.measures.emplace_back();
      Q cursor;
      Q lastStart;
      Q lastDuration;
      auto add = [&](Q time, const std::string& key, pugi::xml_node node, int staff) {
        measure.events.push_back(Event{time, time.Str() + " " + key, node, staff});
      };
      for (pugi::xml_node child = measureNode.first_child(); child; child = child.next_sibling()) {
        if (Is(child, "attributes")) {
          if (child.child("divisions")) divisions = std::max<int64_t>(1, child.child("divisions").text().as_llong());
          for (pugi::xml_node item = child.first_child(); item; item = item.next_sibling()) {
            if (item.type() != pugi::node_element || Is(item, "divisions")) continue;
            if (Is(item, "staves")) part.staves = std::max(part.staves, std::clamp(item.text().as_int(1), 1, kMaxStaves));
            const int number = item.attribute("number").as_int(0);
            for (int staff = 1; staff <= kMaxStaves; ++staff) {
              if (number != 0 && number != staff) continue;
              StaffContext& c = contexts[static_cast<size_t>(staff)];
              if (Is(item, "clef")) c.clef = Canon(item);
              if (Is(item, "key")) c.key = Canon(item);
              if (Is(item, "transpose")) {
                c.transpose = Canon(item);
                const int octave = item.child("octave-change").text().as_int(0);
                c.diatonic = item.child("diatonic").text().as_int(0) + 7 * octave;
                c.chromatic = item.child("chromatic").text().as_int(0) + 12 * octave;
              }
            }
            add(cursor, "attributes/" + Canon(item, divisions), item, number == 0 ? 0 : number);
          }
        } else if (Is(child, "note")) {
          const bool chord = child.child("chord");
          const bool grace = child.child("grace");
          const Q duration = grace ? Q{} : Q::Of(child.child("duration").text().as_llong(), divisions);
          const Q start = chord ? lastStart : cursor;
          const int staff = StaffOf(child);
          const std::string voice = VoiceOf(child);
          const StaffContext& context = contexts[static_cast<size_t>(staff)];
          const bool pitched = child.child("pitch") || child.child("unpitched");
          if (originalVoices == nullptr) part.voices.insert(voice);
          const bool cue = originalVoices != nullptr && child.child("cue") && originalVoices->count(voice) == 0;
          add(start, Canon(child, divisions) + (pitched && !cue ? " in " + context.clef + context.key + context.transpose : ""),
              child, staff);
          Voice& v = measure.voices[{staff, voice}];
          v.cue = cue;
          Entry* entry = nullptr;
          if (chord && !v.entries.empty() && v.entries.back().start == start) {
            entry = &v.entries.back();
          } else {
            entry = &v.entries.emplace_back();
            entry->start = start;
            entry->duration = chord ? lastDuration : duration;
            entry->tolerance = Q::Of(1, divisions);
            entry->hidden = std::strcmp(child.attribute("print-object").value(), "no") == 0;
            v.filled = v.filled + entry->duration;
            if (cue) CheckNotation(child, *entry, &v.faults, measure.events.back().key);
            const pugi::xml_node rest = child.child("rest");
            if (rest && std::strcmp(rest.attribute("measure").value(), "yes") == 0) {
              entry->value = "measure";
            } else {
              entry->value = Trim(child.child_value("type"));
              for (pugi::xml_node dot = child.child("dot"); dot; dot = dot.next_sibling("dot")) entry->value += ".";
              const Q notated = Notated(child);
              const Q off = notated < entry->duration ? entry->duration - notated : notated - entry->duration;
              if (!(notated == Q{}) && !(entry->tolerance < off)) entry->duration = notated;
            }
            if (grace) entry->value += " grace" + std::string(child.child("grace").attribute("slash").value());
          }
          entry->sounds.push_back(Pitch(child, context));
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
            lastDuration = duration;
            cursor = cursor + duration;
          }
          v.end = std::max(v.end, start + entry->duration);
          measure.length = std::max(measure.length, cursor);
        } else if (Is(child, "backup")) {
          cursor = cursor - Q::Of(child.child("duration").text().as_llong(), divisions);
        } else if (Is(child, "forward")) {
          const Q duration = Q::Of(child.child("duration").text().as_llong(), divisions);
          add(cursor, Canon(child, divisions), child, StaffOf(child));
          Voice& v = measure.voices[{StaffOf(child), VoiceOf(child)}];
          if (originalVoices == nullptr && child.child("voice")) part.voices.insert(VoiceOf(child));
          cursor = cursor + duration;
          v.filled = v.filled + duration;
          v.end = std::max(v.end, cursor);
          measure.length = std::max(measure.length, cursor);
        } else if (child.type() == pugi::node_element || child.type() == pugi::node_comment) {
          if (originalVoices == nullptr && child.child("voice")) part.voices.insert(VoiceOf(child));
          add(cursor, Canon(child, divisions), child, child.child("staff") ? StaffOf(child) : 0);
        }
      }
    }
    return part;
  }

 private:
  // What a note's type, dots and time modification give; none without a type.
  static Q Notated(pugi::xml_node note) {
    const Q base = TypeQuarters(Trim(note.child_value("type")));
    int dots = 0;
    for (pugi::xml_node dot = note.child("dot"); dot; dot = dot.next_sibling("dot")) ++dots;
    Q value = base;
    for (int d = 1; d <= dots; ++d) value = value + base * Q::Of(1, int64_t{1} << d);
    if (const pugi::xml_node modification = note.child("time-modification")) {
      value = value * Q::Of(modification.child("normal-notes").text().as_llong(1),
                            modification.child("actual-notes").text().as_llong(1));
    }
    return value;
  }

  // A cue note's notation must add up: its type, dots and time modification
  // give its duration, and a reader needs the type.
  static void CheckNotation(pugi::xml_node note, const Entry& entry, std::vector<std::string>* faults,
                            const std::string& key) {
    const pugi::xml_node rest = note.child("rest");
    if (rest && std::strcmp(rest.attribute("measure").value(), "yes") == 0 && !note.child("type")) return;
    if (TypeQuarters(Trim(note.child_value("type"))) == Q{}) {
      faults->push_back("a cue note without a note type: " + key);
      return;
    }
    const Q value = Notated(note);
    if (!note.child("grace") && !(value == entry.duration)) {
      faults->push_back("a cue note whose notation gives " + value.Str() + " quarters but lasts " +
                        entry.duration.Str() + ": " + key);
    }
  }
};

class Comparer {
 public:
  Comparer(const pugi::xml_document& original, const pugi::xml_document& cued, const Json& summary)
      : m_original(original), m_cued(cued), m_summary(summary) {}

  Verdict Run() {
    CompareHeader();
    ReadParts();
    if (!m_verdict.findings.empty()) return m_verdict;
    for (size_t p = 0; p < m_parts.size(); ++p) CompareMeasures(m_parts[p], m_cuedParts[p]);
    CheckCues();
    return m_verdict;
  }

 private:
  void Finding(const std::string& text) { m_verdict.findings.push_back(text); }

  std::string Where(const Part& part, size_t measure) const {
    const pugi::xml_node node = part.node.child("measure");
    std::string number = std::to_string(measure + 1);
    size_t i = 0;
    for (pugi::xml_node m = node; m; m = m.next_sibling("measure"), ++i) {
      if (i == measure) number = m.attribute("number").value();
    }
    return "part " + part.id + " m. " + number;
  }

  void CompareHeader() {
    const pugi::xml_node a = m_original.document_element();
    const pugi::xml_node b = m_cued.document_element();
    std::string left = std::string(a.name()), right = std::string(b.name());
    for (pugi::xml_attribute x = a.first_attribute(); x; x = x.next_attribute()) left += std::string(" ") + x.name() + "=" + x.value();
    for (pugi::xml_attribute x = b.first_attribute(); x; x = x.next_attribute()) right += std::string(" ") + x.name() + "=" + x.value();
    if (left != right) Finding("the root element changed: " + left + " -> " + right);
    std::vector<std::string> headers[2];
    for (int side = 0; side < 2; ++side) {
      for (pugi::xml_node child = (side == 0 ? a : b).first_child(); child; child = child.next_sibling()) {
        if (!Is(child, "part")) headers[side].push_back(Canon(child));
      }
    }
    if (headers[0] != headers[1]) Finding("the header (work, identification, defaults, credits, part list) changed");
  }

  void ReadParts() {
    Walker walker;
    std::map<std::string, pugi::xml_node> cuedById;
    for (pugi::xml_node part = m_cued.document_element().child("part"); part; part = part.next_sibling("part")) {
      cuedById[part.attribute("id").value()] = part;
    }
    std::vector<std::string> order;
    for (pugi::xml_node item = m_original.document_element().child("part-list").child("score-part"); item;
         item = item.next_sibling("score-part")) {
      order.push_back(item.attribute("id").value());
    }
    std::vector<std::string> cuedOrder;
    for (pugi::xml_node part = m_cued.document_element().child("part"); part; part = part.next_sibling("part")) {
      cuedOrder.push_back(part.attribute("id").value());
    }
    std::vector<std::string> originalOrder;
    for (pugi::xml_node part = m_original.document_element().child("part"); part; part = part.next_sibling("part")) {
      originalOrder.push_back(part.attribute("id").value());
    }
    if (originalOrder != cuedOrder) {
      Finding("the parts changed");
      return;
    }
    int slot = 1;
    for (const std::string& id : order) {
      pugi::xml_node node = m_original.document_element().find_child_by_attribute("part", "id", id.c_str());
      if (!node || !cuedById[id]) continue;
      Part part = walker.Walk(node, nullptr);
      Part cued = walker.Walk(cuedById[id], &part.voices);
      part.firstSlot = cued.firstSlot = slot;
      slot += part.staves;
      if (part.measures.size() != cued.measures.size()) {
        Finding("part " + id + " has " + std::to_string(cued.measures.size()) + " measures, not " +
                std::to_string(part.measures.size()));
        continue;
      }
      size_t m = 0;
      for (pugi::xml_node x = node.child("measure"), y = cuedById[id].child("measure"); x && y;
           x = x.next_sibling("measure"), y = y.next_sibling("measure"), ++m) {
        std::string left, right;
        for (pugi::xml_attribute a = x.first_attribute(); a; a = a.next_attribute()) left += std::string(a.name()) + "=" + a.value() + " ";
        for (pugi::xml_attribute a = y.first_attribute(); a; a = a.next_attribute()) right += std::string(a.name()) + "=" + a.value() + " ";
        if (left != right) Finding(Where(part, m) + ": the measure's attributes changed");
      }
      m_parts.push_back(std::move(part));
      m_cuedParts.push_back(std::move(cued));
    }
  }

  static bool HasCue(const Measure& measure, int staff) {
    for (const auto& [key, voice] : measure.voices) {
      if (voice.cue && (staff == 0 || key.first == staff)) return true;
    }
    return false;
  }

  bool HasCue(const Part& cued) const {
    return std::any_of(cued.measures.begin(), cued.measures.end(), [](const Measure& m) { return HasCue(m, 0); });
  }

  // What an element the original lacks is, when the command adds such things.
  std::string Addition(const Event& event, const Part& original, const Part& cued, size_t m) const {
    const pugi::xml_node node = event.node;
    const std::string name = node.name();
    const bool cueVoice = node.child("voice") && original.voices.count(VoiceOf(node)) == 0;
    if (name == "note" && node.child("cue") && cueVoice) {
      if (std::strcmp(node.attribute("print-object").value(), "no") == 0) return "cue time";
      return node.child("rest") ? "cue rest" : "cue note";
    }
    if (name == "forward" && cueVoice) return "cue time";
    if (name == "direction") {
      const std::string id = node.attribute("id").value();
      if (id.rfind("ostinel-cue-name-", 0) == 0) return "cue name";
      if (id.rfind("ostinel-marker-", 0) == 0) return "marker";
      if (cueVoice) return "copied element";
    }
    if (name == "harmony" && HasCue(cued.measures[m], 0)) return "copied element";
    if (name == "clef" && std::strcmp(node.attribute("size").value(), "cue") == 0) return "cue clef";
    // The staff's own clef, where a cue ends: before the barline of the cue's
    // last measure, or at the start of the next.
    const int staff = event.staff == 0 ? 1 : event.staff;
    if (name == "clef" && ((m > 0 && event.time == Q{} && HasCue(cued.measures[m - 1], staff)) ||
                           (event.time == original.measures[m].length && HasCue(cued.measures[m], staff)))) {
      return "clef restored";
    }
    if (name == "measure-style" && HasCue(cued)) return "multi-measure rest";
    return "";
  }

  void CompareMeasures(const Part& original, const Part& cued) {
    for (size_t m = 0; m < original.measures.size(); ++m) {
      std::map<std::string, std::vector<const Event*>> left, right;
      for (const Event& e : original.measures[m].events) left[e.key].push_back(&e);
      for (const Event& e : cued.measures[m].events) right[e.key].push_back(&e);
      for (const auto& [key, events] : left) {
        const size_t kept = right.count(key) != 0 ? right[key].size() : 0;
        for (size_t i = kept; i < events.size(); ++i) {
          if (Is(events[i]->node, "measure-style") && HasCue(cued)) {
            ++m_verdict.added["multi-measure rest"];
            continue;
          }
          Finding(Where(original, m) + ": lost or changed: " + key.substr(0, 300));
        }
      }
      for (const auto& [key, events] : right) {
        const size_t had = left.count(key) != 0 ? left[key].size() : 0;
        for (size_t i = had; i < events.size(); ++i) {
          const std::string kind = Addition(*events[i], original, cued, m);
          if (kind.empty()) {
            Finding(Where(original, m) + ": added: " + key.substr(0, 300));
          } else {
            ++m_verdict.added[kind];
          }
        }
      }
    }
  }

  // The part and staff of a slot, from the original's part list.
  bool PartOfSlot(int slot, size_t* part, int* staff) const {
    for (size_t p = 0; p < m_parts.size(); ++p) {
      if (slot >= m_parts[p].firstSlot && slot < m_parts[p].firstSlot + m_parts[p].staves) {
        *part = p;
        *staff = slot - m_parts[p].firstSlot + 1;
        return true;
      }
    }
    return false;
  }

  static std::string Show(const std::vector<Entry>& entries, bool lyrics, bool articulations) {
    std::string text;
    for (const Entry& e : entries) text += (text.empty() ? "" : " ") + e.Show(lyrics, articulations);
    return text.empty() ? "(nothing)" : text;
  }

  static std::vector<Entry> Visible(const std::vector<Entry>& entries) {
    std::vector<Entry> visible;
    for (const Entry& e : entries) {
      if (!e.hidden) visible.push_back(e);
    }
    return visible;
  }

  void CheckCues() {
    std::set<std::string> with;
    if (m_summary.contains("settings")) {
      for (const Json& item : m_summary["settings"]["with"]) with.insert(item.get<std::string>());
    }
    const bool lyrics = with.count("lyrics") != 0;
    const bool articulations = with.count("articulations") != 0;
    std::set<std::tuple<size_t, int, size_t>> accounted;  // part, staff, measure
    for (const Json& location : m_summary.value("locations", Json::array())) {
      const std::string action = location.value("action", "");
      if (action != "written") continue;
      const Json& source = location["source"];
      size_t sourcePart = 0;
      int sourceStaff = 0;
      if (!source["staff"]["slot"].is_number() ||
          !PartOfSlot(source["staff"]["slot"].get<int>(), &sourcePart, &sourceStaff)) {
        Finding("a written cue whose source staff the summary does not name");
        continue;
      }
      const size_t first = source["first"]["index"].get<size_t>();
      const size_t last = source["last"]["index"].get<size_t>();
      for (const Json& destination : location["destinations"]) {
        size_t part = 0;
        int staff = 0;
        if (!PartOfSlot(destination["slot"].get<int>(), &part, &staff)) continue;
        for (size_t index = first; index <= last && index <= m_cuedParts[part].measures.size(); ++index) {
          const size_t m = index - 1;
          accounted.insert({part, staff, m});
          CheckCue(sourcePart, sourceStaff, part, staff, m, lyrics, articulations);
        }
      }
    }
    for (size_t p = 0; p < m_cuedParts.size(); ++p) {
      for (size_t m = 0; m < m_cuedParts[p].measures.size(); ++m) {
        for (const auto& [key, voice] : m_cuedParts[p].measures[m].voices) {
          if (voice.cue && accounted.count({p, key.first, m}) == 0) {
            Finding(Where(m_parts[p], m) + ": cue notes where no cue was written");
          }
        }
      }
    }
  }

  void CheckCue(size_t sourcePart, int sourceStaff, size_t part, int staff, size_t m, bool lyrics,
                bool articulations) {
    const Measure& cued = m_cuedParts[part].measures[m];
    const std::string where = Where(m_parts[part], m) + " staff " + std::to_string(staff);
    const Voice* cue = nullptr;
    for (const auto& [key, voice] : cued.voices) {
      if (!voice.cue || key.first != staff) continue;
      if (cue != nullptr) Finding(where + ": more than one cue voice");
      cue = &voice;
    }
    if (cue == nullptr) {
      Finding(where + ": the cue is missing");
      return;
    }
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
      const std::vector<Entry> music = Visible(voice.entries);
      if (Same(heard, music, lyrics, articulations)) {
        ++m_verdict.added["cue measure matching its source"];
        return;
      }
      played += " | voice " + key.second + ": " + Show(music, lyrics, articulations);
    }
    Finding(where + ": the cue sounds " + Show(heard, lyrics, articulations).substr(0, 400) + " where the source plays" +
            played.substr(0, 600));
  }

  // The same music: the same notes and values, in the same time, where a
  // writer's rounding of the source's durations to its divisions is no difference.
  // Tuplet brackets count where the source shows them.
  static bool Same(const std::vector<Entry>& a, const std::vector<Entry>& b, bool lyrics, bool articulations) {
    if (a.size() != b.size()) return false;
    const bool brackets = std::any_of(b.begin(), b.end(), [](const Entry& e) { return !e.tuplets.empty(); });
    for (size_t i = 0; i < a.size(); ++i) {
      std::vector<std::string> x = a[i].sounds, y = b[i].sounds;
      std::sort(x.begin(), x.end());
      std::sort(y.begin(), y.end());
      const Q off = a[i].start < b[i].start ? b[i].start - a[i].start : a[i].start - b[i].start;
      if (x != y || a[i].value != b[i].value || !(a[i].duration == b[i].duration) ||
          (brackets && a[i].Brackets() != b[i].Brackets()) ||
          a[i].tolerance + b[i].tolerance < off || (lyrics && a[i].lyrics != b[i].lyrics) ||
          (articulations && a[i].articulations != b[i].articulations)) {
        return false;
      }
    }
    return true;
  }

  const pugi::xml_document& m_original;
  const pugi::xml_document& m_cued;
  const Json& m_summary;
  std::vector<Part> m_parts;
  std::vector<Part> m_cuedParts;
  Verdict m_verdict;
};

struct ZipEntry {
  std::string name;
  std::string bytes;
};

// Every entry of an archive, in order; none when it is no zip file.
std::vector<ZipEntry> Entries(const std::string& path) {
  std::vector<ZipEntry> entries;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) return entries;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    ZipEntry entry{zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW), {}};
    if (zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0)) {
      char buffer[65536];
      zip_int64_t read = 0;
      while ((read = zip_fread(file, buffer, sizeof buffer)) > 0) entry.bytes.append(buffer, static_cast<size_t>(read));
      zip_fclose(file);
    }
    entries.push_back(std::move(entry));
  }
  zip_discard(archive);
  return entries;
}

}  // namespace

Verdict CompareScores(const pugi::xml_document& original, const pugi::xml_document& cued, const Json& summary) {
  return Comparer(original, cued, summary).Run();
}

Verdict CompareFiles(const std::string& original, const std::string& cued, const Json& summary) {
  ostinel_cli::ScoreFile before, after;
  std::string error;
  Verdict verdict;
  if (!ostinel_cli::ReadScore(original, &before, &error) || !ostinel_cli::ReadScore(cued, &after, &error)) {
    verdict.findings.push_back("cannot read: " + error);
    return verdict;
  }
  verdict = CompareScores(before.document, after.document, summary);
  if (before.compressed && after.compressed) {
    const std::vector<ZipEntry> left = Entries(original);
    const std::vector<ZipEntry> right = Entries(cued);
    std::vector<std::string> leftNames, rightNames;
    for (const ZipEntry& e : left) leftNames.push_back(e.name);
    for (const ZipEntry& e : right) rightNames.push_back(e.name);
    if (leftNames != rightNames) verdict.findings.push_back("the archive's entries changed");
    for (size_t i = 0; i < std::min(left.size(), right.size()); ++i) {
      if (left[i].name != before.innerPath && left[i].bytes != right[i].bytes) {
        verdict.findings.push_back("the archive's entry " + left[i].name + " changed");
      }
    }
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
