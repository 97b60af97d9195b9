#include "score_copy.h"

#include <unordered_map>

namespace ostinel_cli {

namespace {

// The layout names parts, measures and multi-measure rests (inside
// attributes and measure styles): only those levels are walked.
bool HoldsLaidOutNodes(pugi::xml_node node) {
  const std::string_view name = node.name();
  return node.type() == pugi::node_document || name == "score-partwise" || name == "part" || name == "measure" ||
         name == "attributes" || name == "measure-style";
}

void Pair(pugi::xml_node original, pugi::xml_node copy, std::unordered_map<const void*, pugi::xml_node>* copies) {
  (*copies)[original.internal_object()] = copy;
  if (!HoldsLaidOutNodes(original)) return;
  for (pugi::xml_node a = original.first_child(), b = copy.first_child(); a && b;
       a = a.next_sibling(), b = b.next_sibling()) {
    Pair(a, b, copies);
  }
}

}  // namespace

ImportedScore CopyScore(const ImportedScore& score, const pugi::xml_document& from, pugi::xml_document& to) {
  to.reset(from);
  std::unordered_map<const void*, pugi::xml_node> copies;
  Pair(from, to, &copies);
  auto copyOf = [&](pugi::xml_node node) {
    const auto found = copies.find(node.internal_object());
    return found != copies.end() ? found->second : pugi::xml_node();
  };
  ImportedScore copy = score;
  for (PartLayout& part : copy.parts) {
    part.part = copyOf(part.part);
    for (pugi::xml_node& measure : part.measures) measure = copyOf(measure);
    for (auto& rest : part.multipleRests) rest.second = copyOf(rest.second);
  }
  return copy;
}

}  // namespace ostinel_cli
