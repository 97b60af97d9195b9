#include "multi_rests.h"

#include <cstring>
#include <string>
#include <vector>

namespace ostinel_cli {

namespace {

struct Span {
  int first;  // 1-based measure
  int count;
  pugi::xml_node element;  // its <multiple-rest>
};

std::vector<Span> Spans(const PartLayout& part) {
  std::vector<Span> spans;
  for (const auto& [measure, rest] : part.multipleRests) spans.push_back(Span{measure, rest.text().as_int(1), rest});
  return spans;
}

// A measure style that starts a multi-measure rest of count measures, at the
// start of the measure (after what stands before its music).
void StartSpan(pugi::xml_node measure, int count) {
  pugi::xml_node before;
  for (pugi::xml_node child = measure.first_child(); child && !before; child = child.next_sibling()) {
    const char* name = child.name();
    if (std::strcmp(name, "note") == 0 || std::strcmp(name, "backup") == 0 || std::strcmp(name, "forward") == 0) {
      before = child;
    }
  }
  pugi::xml_node attributes = before ? measure.insert_child_before("attributes", before) : measure.append_child("attributes");
  attributes.append_child("measure-style").append_child("multiple-rest").text().set(std::to_string(count).c_str());
}

void Remove(pugi::xml_node rest) {
  pugi::xml_node style = rest.parent();
  style.remove_child(rest);
  if (style.first_child()) return;
  pugi::xml_node attributes = style.parent();
  attributes.remove_child(style);
  if (!attributes.first_child()) attributes.parent().remove_child(attributes);
}

}  // namespace

void ShortenMultiRests(PartLayout& part, const std::set<int>& measures) {
  const int last = static_cast<int>(part.measures.size());
  for (const Span& span : Spans(part)) {
    const int end = std::min(last, span.first + span.count - 1);
    const auto cue = measures.lower_bound(span.first);
    if (cue == measures.end() || *cue > end) continue;
    // The span up to the first cue keeps its start; the rest of it starts
    // again after each cue, as long as two or more measures are left.
    const int kept = *cue - span.first;
    if (kept >= 2) {
      span.element.text().set(std::to_string(kept).c_str());
    } else {
      Remove(span.element);
    }
    int from = *cue + 1;
    while (from <= end) {
      const auto next = measures.lower_bound(from);
      const int stop = next == measures.end() || *next > end ? end : *next - 1;
      if (stop - from + 1 >= 2) StartSpan(part.measures[static_cast<size_t>(from - 1)], stop - from + 1);
      from = next == measures.end() || *next > end ? end + 1 : *next + 1;
    }
  }
}

}  // namespace ostinel_cli
