#include "value_ranges.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

bool CheckNode(pugi::xml_node node, std::string* error) {
  for (const Range& range : kRanges) {
    const char* at = std::strchr(range.name, '@');
    std::string problem;
    if (at == nullptr) {
      if (std::strcmp(node.name(), range.name) != 0 || Check(range, node.child_value(), &problem)) continue;
      *error = Place(node) + ": <" + range.name + "> \"" + node.child_value() + "\" " + problem;
      return false;
    }
    const std::string element(range.name, at);
    const pugi::xml_attribute attribute = node.attribute(at + 1);
    if (element != node.name() || !attribute || Check(range, attribute.value(), &problem)) continue;
    *error = Place(node) + ": <" + element + " " + (at + 1) + "=\"" + attribute.value() + "\"> " + problem;
    return false;
  }
  return true;
}

}  // namespace

bool CheckValueRanges(const pugi::xml_document& document, std::string* error) {
  // An explicit walk rather than recursion: a deeply nested file must not
  // exhaust the stack.
  for (pugi::xml_node node = document.document_element(); node;) {
    if (node.type() == pugi::node_element && !CheckNode(node, error)) return false;
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && !node.next_sibling()) node = node.parent();
    if (node) node = node.next_sibling();
  }
  return true;
}

}  // namespace ostinel_cli
