#include "xml_text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <thread>

namespace ostinel_cli {

namespace {

bool XmlCharacter(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

std::string Hex(uint32_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = kDigits[value & 0xF];
  return text;
}

// "line 3, column 7": where a character of the text is.
struct Place {
  int line = 1;
  int column = 1;
  void Step(uint32_t c) {
    if (c == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  std::string Text() const { return "line " + std::to_string(line) + ", column " + std::to_string(column); }
};

// Where byte offset `at` of UTF-8 text stands, counted only when a fault is found.
Place PlaceOf(const unsigned char* bytes, size_t at) {
  Place place;
  for (size_t i = 0; i < at; ++i) {
    if ((bytes[i] & 0xC0) != 0x80) place.Step(bytes[i]);
  }
  return place;
}

bool CheckUtf8(const unsigned char* bytes, size_t size, std::string* error) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  for (size_t i = 0; i < size;) {
    // Most of a score is printable ASCII: eight bytes at a time pass when
    // none has its high bit set or lies below 0x20.
    if (i + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, bytes + i, sizeof word);
      if (((word | (word - kOnes * 0x20)) & kHighBits) == 0) {
        i += 8;
        continue;
      }
    }
    const unsigned char lead = bytes[i];
    if ((lead >= 0x20 && lead < 0x80) || lead == '\n' || lead == '\t' || lead == '\r') {
      ++i;
      continue;
    }
    size_t length = 1;
    uint32_t c = lead;
    uint32_t lowest = 0;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      c = lead & 0x07;
      lowest = 0x10000;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      c = lead & 0x0F;
      lowest = 0x800;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      c = lead & 0x1F;
      lowest = 0x80;
    } else if (lead >= 0x80) {
      *error = PlaceOf(bytes, i).Text() + ": byte 0x" + Hex(lead, 2) + " is not valid UTF-8";
      return false;
    }
    if (i + length > size) {
      *error = PlaceOf(bytes, i).Text() + ": the text ends inside a UTF-8 character";
      return false;
    }
    for (size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) {
        *error = PlaceOf(bytes, i).Text() + ": byte 0x" + Hex(lead, 2) + " is not valid UTF-8 (no character follows it)";
        return false;
      }
      c = (c << 6) | (bytes[i + k] & 0x3F);
    }
    if (c < lowest || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      *error = PlaceOf(bytes, i).Text() + ": the bytes there are not valid UTF-8";
      return false;
    }
    if (!XmlCharacter(c)) {
      *error = PlaceOf(bytes, i).Text() + ": character U+" + Hex(c, 4) + " is not allowed in XML";
      return false;
    }
    i += length;
  }
  return true;
}

bool CheckUtf16(const unsigned char* bytes, size_t size, bool bigEndian, std::string* error) {
  Place place;
  auto unit = [&](size_t at) {
    return bigEndian ? static_cast<uint32_t>(bytes[at] << 8 | bytes[at + 1])
                     : static_cast<uint32_t>(bytes[at + 1] << 8 | bytes[at]);
  };
  if (size % 2 != 0) {
    *error = "the text ends inside a UTF-16 character";
    return false;
  }
  for (size_t i = 0; i < size; i += 2) {
    uint32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < size && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      *error = place.Text() + ": a UTF-16 surrogate without its pair";
      return false;
    }
    if (!XmlCharacter(c)) {
      *error = place.Text() + ": character U+" + Hex(c, 4) + " is not allowed in XML";
      return false;
    }
    place.Step(c);
  }
  return true;
}

bool CheckLatin1(const unsigned char* bytes, size_t size, std::string* error) {
  Place place;
  for (size_t i = 0; i < size; ++i) {
    if (!XmlCharacter(bytes[i])) {
      *error = place.Text() + ": character U+" + Hex(bytes[i], 4) + " is not allowed in XML";
      return false;
    }
    place.Step(bytes[i]);
  }
  return true;
}

// The encoding the declaration names, lower-case; empty when it names none.
std::string DeclaredEncoding(std::string_view bytes) {
  const std::string start(bytes.data(), std::min<size_t>(bytes.size(), 512));
  if (start.rfind("<?xml", 0) != 0) return {};
  const std::string declaration = start.substr(0, start.find("?>"));
  const size_t at = declaration.find("encoding");
  if (at == std::string::npos) return {};
  const size_t open = declaration.find_first_of("\"'", at);
  if (open == std::string::npos) return {};
  const size_t close = declaration.find(declaration[open], open + 1);
  std::string name = declaration.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

// The internal entities of the document's type declaration; external ones
// map to nothing.
std::map<std::string, std::optional<std::string>> DeclaredEntities(const pugi::xml_document& document) {
  std::map<std::string, std::optional<std::string>> entities;
  for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling()) {
    if (node.type() != pugi::node_doctype) continue;
    const std::string text = node.value();
    for (size_t at = text.find("<!ENTITY"); at != std::string::npos; at = text.find("<!ENTITY", at + 1)) {
      size_t i = text.find_first_not_of(" \t\r\n", at + 8);
      if (i == std::string::npos || text[i] == '%') continue;  // a parameter entity: the DTD's own business
      const size_t nameEnd = text.find_first_of(" \t\r\n", i);
      if (nameEnd == std::string::npos) break;
      const std::string name = text.substr(i, nameEnd - i);
      i = text.find_first_not_of(" \t\r\n", nameEnd);
      if (i != std::string::npos && (text[i] == '"' || text[i] == '\'')) {
        const size_t close = text.find(text[i], i + 1);
        if (close == std::string::npos) break;
        entities.emplace(name, text.substr(i + 1, close - i - 1));
      } else {
        entities.emplace(name, std::nullopt);
      }
    }
  }
  return entities;
}

void AppendUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

class Expander {
 public:
  explicit Expander(const pugi::xml_document& document) : m_entities(DeclaredEntities(document)) {}

  // The text with its references replaced.
  bool Expand(const char* text, std::string* out, std::string* error, int depth = 0) {
    for (const char* at = text; *at != '\0';) {
      if (*at != '&') {
        *out += *at++;
        continue;
      }
      const char* end = std::strchr(at, ';');
      const std::string name = end != nullptr ? std::string(at + 1, end) : std::string();
      if (end == nullptr || name.empty() || name.find_first_of(" \t\r\n&<") != std::string::npos) {
        *error = "a '&' that starts no reference";
        return false;
      }
      at = end + 1;
      if (name[0] == '#') {
        char* stop = nullptr;
        const bool hex = name.size() > 1 && name[1] == 'x';
        const unsigned long c = std::strtoul(name.c_str() + (hex ? 2 : 1), &stop, hex ? 16 : 10);
        if (*stop != '\0' || !XmlCharacter(static_cast<uint32_t>(c))) {
          *error = "&" + name + "; is no character allowed in XML";
          return false;
        }
        AppendUtf8(static_cast<uint32_t>(c), out);
        continue;
      }
      static const std::pair<const char*, char> kPredefined[] = {
          {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
      const auto predefined = std::find_if(std::begin(kPredefined), std::end(kPredefined),
                                           [&](const auto& entry) { return name == entry.first; });
      if (predefined != std::end(kPredefined)) {
        *out += predefined->second;
        continue;
      }
      const auto entity = m_entities.find(name);
      if (entity == m_entities.end()) {
        *error = "entity &" + name + "; is not declared in the document";
        return false;
      }
      if (!entity->second) {
        *error = "entity &" + name + "; is external, and external entities are never read";
        return false;
      }
      // Entities that expand into each other (or into a flood) are refused.
      if (depth >= 8 || out->size() + entity->second->size() > kMaxExpansion) {
        *error = "entity &" + name + "; expands too far";
        return false;
      }
      if (entity->second->find('<') != std::string::npos) {
        *error = "entity &" + name + "; holds markup, which is not read";
        return false;
      }
      if (!Expand(entity->second->c_str(), out, error, depth + 1)) return false;
    }
    return true;
  }

 private:
  static constexpr size_t kMaxExpansion = size_t{1} << 20;
  std::map<std::string, std::optional<std::string>> m_entities;
};

std::string Where(pugi::xml_node node) {
  for (pugi::xml_node up = node; up; up = up.parent()) {
    if (up.type() == pugi::node_element) return std::string("in <") + up.name() + ">";
  }
  return "in the document";
}

}  // namespace

bool DetectEncoding(std::string_view bytes, pugi::xml_encoding* encoding, std::string* error) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  if (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
    *encoding = data[0] == 0xFE ? pugi::encoding_utf16_be : pugi::encoding_utf16_le;
    return true;
  }
  if (size >= 4 && ((data[0] == '<' && data[1] == 0) || (data[0] == 0 && data[1] == '<'))) {
    *encoding = data[0] == 0 ? pugi::encoding_utf16_be : pugi::encoding_utf16_le;
    return true;
  }
  const bool bom = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
  const std::string declared = DeclaredEncoding(bytes);
  if (bom || declared.empty() || declared == "utf-8" || declared == "utf8") {
    *encoding = pugi::encoding_utf8;
    return true;
  }
  if (declared == "iso-8859-1" || declared == "latin1" || declared == "l1" || declared == "iso_8859-1" ||
      declared == "us-ascii" || declared == "ascii") {
    *encoding = pugi::encoding_latin1;
    return true;
  }
  *error = "the declared encoding \"" + declared + "\" is not read (UTF-8, UTF-16 and ISO-8859-1 are)";
  return false;
}

bool CheckCharacters(std::string_view bytes, pugi::xml_encoding encoding, std::string* error) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  switch (encoding) {
    case pugi::encoding_utf16_be:
    case pugi::encoding_utf16_le: {
      const bool bom = size >= 2 && (data[0] == 0xFF || data[0] == 0xFE);
      return CheckUtf16(data + (bom ? 2 : 0), size - (bom ? 2 : 0), encoding == pugi::encoding_utf16_be, error);
    }
    case pugi::encoding_latin1:
      return CheckLatin1(data, size, error);
    default: {
      const bool bom = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
      const unsigned char* text = data + (bom ? 3 : 0);
      const size_t length = size - (bom ? 3 : 0);
      // A large text is checked in two halves on two cores, split where a
      // character starts; a fault in either is looked for again in order,
      // so that the first one in the text is the one reported.
      constexpr size_t kHalvesFrom = size_t{1} << 20;
      if (length < kHalvesFrom) return CheckUtf8(text, length, error);
      size_t half = length / 2;
      while (half < length && (text[half] & 0xC0) == 0x80) ++half;
      std::string ignored;
      bool secondValid = true;
      std::thread second([&] { secondValid = CheckUtf8(text + half, length - half, &ignored); });
      const bool firstValid = CheckUtf8(text, half, &ignored);
      second.join();
      return (firstValid && secondValid) || CheckUtf8(text, length, error);
    }
  }
}

bool ExpandReferences(pugi::xml_document& document, std::string* error) {
  Expander expander(document);
  std::string expanded;
  for (pugi::xml_node node = document.first_child(); node;) {
    if (node.type() == pugi::node_pcdata && std::strchr(node.value(), '&') != nullptr) {
      expanded.clear();
      if (!expander.Expand(node.value(), &expanded, error)) {
        *error = Where(node) + ": " + *error;
        return false;
      }
      node.set_value(expanded.c_str());
    }
    for (pugi::xml_attribute attribute = node.first_attribute(); attribute; attribute = attribute.next_attribute()) {
      if (std::strchr(attribute.value(), '&') == nullptr) continue;
      expanded.clear();
      if (!expander.Expand(attribute.value(), &expanded, error)) {
        *error = Where(node) + ", attribute " + attribute.name() + ": " + *error;
        return false;
      }
      attribute.set_value(expanded.c_str());
    }
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
