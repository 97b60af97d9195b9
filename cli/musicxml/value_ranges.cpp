#include "value_ranges.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <thread>
#include <vector>

namespace ostinel_cli {

namespace {

// Generous bounds: far beyond any real score, small enough that sums and
// products of them stay well inside the import's integers.
struct Range {
  const char* name;       // element, or "element@attribute"
  double low;
  double high;
  bool requiredNumeric;   // false: a text that is no number is left to the import
};

constexpr Range kRanges[] = {
    {"octave", 0, 9, true},
    {"alter", -3, 3, true},
    {"duration", 0, 1e6, true},
    {"divisions", 1, 1e6, true},
    {"offset", -1e6, 1e6, true},
    {"actual-notes", 1, 255, true},
    {"normal-notes", 1, 255, true},
    {"staff", 1, 16, true},
    {"staves", 1, 16, true},
    {"voice", 1, 999, false},
    {"beat-type", 1, 1024, true},
    {"beats", 1, 1000, false},
    {"per-minute", 0, 10000, false},
    {"diatonic", -50, 50, true},
    {"chromatic", -100, 100, true},
    {"octave-change", -10, 10, true},
    {"line", 0, 10, true},
    {"clef-octave-change", -3, 3, true},
    {"root-alter", -3, 3, true},
    {"bass-alter", -3, 3, true},
    {"sound@tempo", 0, 10000, true},
    {"slur@number", 1, 16, true},
    {"wedge@number", 1, 16, true},
    {"tuplet@number", 1, 16, true},
    {"lyric@number", 1, 999, false},
    {"clef@number", 1, 16, true},
    {"part-group@number", 1, 99, true},
};

// The text read as a number; false when it is none (blanks around allowed).
bool Number(const char* text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text, &end);
  if (end == text) return false;
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
  return *end == '\0' && std::isfinite(*value);
}

bool Check(const Range& range, const char* text, std::string* problem) {
  double value = 0.0;
  if (!Number(text, &value)) {
    if (!range.requiredNumeric) return true;
    *problem = std::string("is not a number");
  } else if (value >= range.low && value <= range.high) {
    return true;
  } else {
    *problem = "is outside " + std::to_string(static_cast<long long>(range.low)) + " to " +
               std::to_string(static_cast<long long>(range.high));
  }
  return false;
}

// Where a node stands, for the message.
std::string Place(pugi::xml_node node) {
  std::string measure;
  std::string part;
  for (pugi::xml_node up = node; up; up = up.parent()) {
    if (measure.empty() && std::strcmp(up.name(), "measure") == 0) measure = up.attribute("number").value();
    if (std::strcmp(up.name(), "part") == 0) part = up.attribute("id").value();
  }
  if (part.empty()) return "in the part list";
  return "part " + part + (measure.empty() ? "" : ", measure " + measure);
}

// The ranges by the first letter of their element: every element of the
// score is looked up, and most have none.
struct RangesByLetter {
  std::vector<const Range*> ranges[26];
};

const RangesByLetter& RangeTable() {
  static const RangesByLetter table = [] {
    RangesByLetter byLetter;
    for (const Range& range : kRanges) byLetter.ranges[range.name[0] - 'a'].push_back(&range);
    return byLetter;
  }();
  return table;
}

// True when a range's name ("element" or "element@attribute") is for this element.
bool ForElement(const char* rangeName, const char* element) {
  while (*element != '\0' && *element == *rangeName) {
    ++element;
    ++rangeName;
  }
  return *element == '\0' && (*rangeName == '\0' || *rangeName == '@');
}

bool CheckNode(pugi::xml_node node, std::string* error) {
  const char* name = node.name();
  if (name[0] < 'a' || name[0] > 'z') return true;
  for (const Range* rangeOfNode : RangeTable().ranges[name[0] - 'a']) {
    const Range& range = *rangeOfNode;
    if (!ForElement(range.name, name)) continue;
    const char* at = std::strchr(range.name, '@');
    std::string problem;
    if (at == nullptr) {
      if (Check(range, node.child_value(), &problem)) continue;
      *error = Place(node) + ": <" + range.name + "> \"" + node.child_value() + "\" " + problem;
      return false;
    }
    const pugi::xml_attribute attribute = node.attribute(at + 1);
    if (!attribute || Check(range, attribute.value(), &problem)) continue;
    *error = Place(node) + ": <" + name + " " + (at + 1) + "=\"" + attribute.value() + "\"> " + problem;
    return false;
  }
  return true;
}

// Checks an element and everything in it; depth is the element's own (the
// root element is 1). pugixml walks the tree without recursion: a deeply
// nested file cannot exhaust the stack before its depth is seen.
bool CheckTree(pugi::xml_node top, int depth, std::string* error) {
  class Walker final : public pugi::xml_tree_walker {
   public:
    Walker(int depth, std::string* error) : m_depth(depth), m_error(error) {}
    bool for_each(pugi::xml_node& node) override {
      if (node.type() != pugi::node_element) return true;
      return Check(node, m_depth + 1 + depth(), m_error);
    }
    static bool Check(pugi::xml_node node, int depth, std::string* error) {
      if (depth > kMaxScoreDepth) {
        *error = "elements are nested more than " + std::to_string(kMaxScoreDepth) +
                 " deep, deeper than any MusicXML score";
        return false;
      }
      return CheckNode(node, error);
    }

   private:
    int m_depth;
    std::string* m_error;
  };
  if (top.type() != pugi::node_element) return true;
  Walker walker(depth, error);
  return Walker::Check(top, depth, error) && top.traverse(walker);
}

}  // namespace

bool CheckValueRanges(pugi::xml_document& document, std::string* error) {
  const pugi::xml_node root = document.document_element();
  if (!CheckNode(root, error)) return false;
  // The parts are checked in two halves, the second on another core: in a
  // large score the walk over every element is a tenth of the import.
  std::vector<pugi::xml_node> children;
  for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) children.push_back(child);
  const size_t half = children.size() / 2;
  std::string laterError;
  bool laterValid = true;
  std::thread later([&] {
    for (size_t i = half; i < children.size() && laterValid; ++i) laterValid = CheckTree(children[i], 2, &laterError);
  });
  bool valid = true;
  for (size_t i = 0; i < half && valid; ++i) valid = CheckTree(children[i], 2, error);
  later.join();
  if (valid && !laterValid) *error = laterError;
  return valid && laterValid;
}

}  // namespace ostinel_cli
