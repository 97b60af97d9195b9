#include "messages.h"

#include "shown_text.h"

namespace ostinel_cli {

void Say(std::FILE* stream, const std::string& message) {
  std::fprintf(stream, "ostinel: %s\n", Printable(message).c_str());
}

void Warn(std::FILE* stream, const std::string& message) { Say(stream, "warning: " + message); }

}  // namespace ostinel_cli
