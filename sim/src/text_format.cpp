#include "quivrasim/text_format.h"

#include <cctype>
#include <cstdlib>

namespace quivrasim {

namespace {

const std::pair<const char*, int16_t> kStyles[] = {
    {"bold", 1}, {"italic", 2}, {"underline", 4}, {"strikeout", 32}, {"absolute", 64}};

}  // namespace

int16_t ParseEfx(const std::string& argument) {
  if (!argument.empty() && std::isdigit(static_cast<unsigned char>(argument[0]))) {
    return static_cast<int16_t>(std::atoi(argument.c_str()));
  }
  int16_t efx = 0;
  for (const auto& [word, bit] : kStyles) {
    if (argument.find(word) != std::string::npos) efx = static_cast<int16_t>(efx | bit);
  }
  return efx;
}

CaretCommand ReadCaretCommand(const std::string& text, size_t at) {
  const size_t open = text.find('(', at + 1);
  if (open == std::string::npos) return CaretCommand{text.substr(at + 1), "", text.size() - at};
  const size_t close = text.find(')', open + 1);
  const size_t end = close == std::string::npos ? text.size() : close + 1;
  return CaretCommand{text.substr(at + 1, open - at - 1),
                      text.substr(open + 1, (close == std::string::npos ? text.size() : close) - open - 1), end - at};
}

FormattedText ParseCaretText(const std::string& text) {
  FormattedText formatted;
  for (size_t at = 0; at < text.size();) {
    if (text[at] != '^') {
      formatted.plain += text[at++];
      continue;
    }
    const CaretCommand command = ReadCaretCommand(text, at);
    if (command.name == "font") formatted.font = command.argument;
    if (command.name == "size") formatted.size = std::atoi(command.argument.c_str());
    if (command.name == "efx") formatted.efx = ParseEfx(command.argument);
    if (command.name == "flat") formatted.plain += 'b';
    if (command.name == "sharp") formatted.plain += '#';
    at += command.length;
  }
  return formatted;
}

std::string CaretText(const FormattedText& text) {
  std::string caret;
  if (!text.font.empty()) caret += "^font(" + text.font + ")";
  if (text.size > 0) caret += "^size(" + std::to_string(text.size) + ")";
  if (text.efx != 0) {
    std::string styles;
    for (const auto& [word, bit] : kStyles) {
      if ((text.efx & bit) == 0) continue;
      if (!styles.empty()) styles += ',';
      styles += word;
    }
    caret += "^efx(" + styles + ")";
  }
  return caret + text.plain;
}

}  // namespace quivrasim
