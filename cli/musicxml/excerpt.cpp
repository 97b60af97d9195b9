#include "excerpt.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

namespace ostinel_cli {

namespace {

// The children of <attributes> that stay in force until changed, in the
// order MusicXML gives them.
constexpr const char* kLasting[] = {"divisions", "key",   "time",          "staves",   "part-symbol",
                                    "instruments", "clef", "staff-details", "transpose"};

// "clef 2": a lasting attribute, told apart by its staff number.
std::string KindOf(pugi::xml_node node) { return std::string(node.name()) + " " + node.attribute("number").value(); }

bool Lasting(const char* name) {
  return std::any_of(std::begin(kLasting), std::end(kLasting), [&](const char* kind) { return std::strcmp(kind, name) == 0; });
}

}  // namespace

std::string Excerpt(const pugi::xml_document& score, const PartLayout& part, int first, int last) {
  pugi::xml_document excerpt;
  pugi::xml_node declaration = excerpt.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  pugi::xml_node root = excerpt.append_child("score-partwise");
  root.append_attribute("version") = "4.0";
  pugi::xml_node list = root.append_child("part-list");
  for (pugi::xml_node item = score.document_element().child("part-list").child("score-part"); item;
       item = item.next_sibling("score-part")) {
    if (part.id == item.attribute("id").value()) list.append_copy(item);
  }
  pugi::xml_node body = root.append_child("part");
  body.append_attribute("id") = part.id.c_str();

  // What stands in force at the first measure: the latest of each kind before it.
  std::map<std::string, pugi::xml_node> inForce;
  for (int m = 1; m < first && m <= static_cast<int>(part.measures.size()); ++m) {
    for (pugi::xml_node attributes = part.measures[static_cast<size_t>(m - 1)].child("attributes"); attributes;
         attributes = attributes.next_sibling("attributes")) {
      for (pugi::xml_node item = attributes.first_child(); item; item = item.next_sibling()) {
        if (Lasting(item.name())) inForce[KindOf(item)] = item;
      }
    }
  }
  for (int m = first; m <= last && m <= static_cast<int>(part.measures.size()); ++m) {
    pugi::xml_node measure = body.append_copy(part.measures[static_cast<size_t>(m - 1)]);
    // Page and system breaks and multi-measure rests belong to the whole score.
    while (pugi::xml_node print = measure.child("print")) measure.remove_child(print);
    for (pugi::xml_node attributes = measure.child("attributes"); attributes;
         attributes = attributes.next_sibling("attributes")) {
      while (pugi::xml_node style = attributes.child("measure-style")) attributes.remove_child(style);
    }
    if (m != first) continue;
    std::set<std::string> own;
    for (pugi::xml_node item = measure.child("attributes").first_child(); item; item = item.next_sibling()) {
      own.insert(KindOf(item));
    }
    pugi::xml_node attributes = measure.prepend_child("attributes");
    for (const char* kind : kLasting) {
      for (const auto& [key, item] : inForce) {
        if (std::strcmp(item.name(), kind) == 0 && own.count(key) == 0) attributes.append_copy(item);
      }
    }
  }
  std::ostringstream text;
  excerpt.save(text, "  ", pugi::format_default, pugi::encoding_utf8);
  return text.str();
}

}  // namespace ostinel_cli
