#include "plugin_texts.h"

#include <cstdio>

#include "resource_ids.h"

namespace ostinel_cli {

// The caption's format is the plug-in's, read at run time.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
bool PluginTexts::ReadProposal(const std::string& caption, std::string* name, int* first, int* last) const {
  const std::string format = Text(IDS_PROPOSED_FORMAT);
  const size_t slot = format.find("%s");
  if (slot == std::string::npos) return false;
  const std::string prefix = format.substr(0, slot);
  const std::string suffix = format.substr(slot + 2) + "%n";
  if (caption.compare(0, prefix.size(), prefix) != 0) return false;
  // The name may hold anything, the measures' part of the format too: the
  // measures are the last place where the rest of the caption matches.
  for (size_t at = caption.size(); at-- > prefix.size();) {
    int consumed = 0;
    if (std::sscanf(caption.c_str() + at, suffix.c_str(), first, last, &consumed) == 2 &&
        at + static_cast<size_t>(consumed) == caption.size()) {
      *name = caption.substr(prefix.size(), at - prefix.size());
      return true;
    }
  }
  return false;
}
#pragma GCC diagnostic pop

}  // namespace ostinel_cli
