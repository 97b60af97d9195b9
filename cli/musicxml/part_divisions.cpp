#include "part_divisions.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace ostinel_cli {

namespace {

// The elements that count in divisions, by their parent.
bool InDivisions(pugi::xml_node node) {
  const char* name = node.name();
  const char* parent = node.parent().name();
  if (std::strcmp(name, "divisions") == 0) return std::strcmp(parent, "attributes") == 0;
  if (std::strcmp(name, "duration") == 0) {
    for (const char* owner : {"note", "backup", "forward", "figured-bass"}) {
      if (std::strcmp(parent, owner) == 0) return true;
    }
    return false;
  }
  if (std::strcmp(name, "offset") == 0) {
    for (const char* owner : {"direction", "harmony", "figured-bass", "sound", "listening"}) {
      if (std::strcmp(parent, owner) == 0) return true;
    }
  }
  return false;
}

void Scale(pugi::xml_node node, int64_t factor) {
  const char* text = node.child_value();
  char* end = nullptr;
  const long long whole = std::strtoll(text, &end, 10);
  if (end != text && *end == '\0') {
    node.text().set(std::to_string(whole * factor).c_str());
    return;
  }
  // A decimal duration (the schema allows them) keeps its fraction.
  const double value = std::strtod(text, &end);
  if (end == text) return;
  char scaled[64];
  std::snprintf(scaled, sizeof scaled, "%.10g", value * static_cast<double>(factor));
  node.text().set(scaled);
}

}  // namespace

void ScaleDivisions(PartLayout& part, int64_t factor) {
  for (pugi::xml_node measure : part.measures) {
    // An explicit walk: measures are shallow, but nothing here recurses.
    for (pugi::xml_node node = measure.first_child(); node;) {
      if (node.type() == pugi::node_element && InDivisions(node)) Scale(node, factor);
      if (node.first_child()) {
        node = node.first_child();
        continue;
      }
      while (node != measure && !node.next_sibling()) node = node.parent();
      if (node == measure) break;
      node = node.next_sibling();
    }
  }
  for (int& divisions : part.endDivisions) divisions = static_cast<int>(divisions * factor);
  for (int64_t& time : part.endTime) time *= factor;
  for (int64_t& time : part.contentEnd) time *= factor;
}

}  // namespace ostinel_cli
