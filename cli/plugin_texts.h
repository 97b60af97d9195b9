// The plug-in's own texts, read by id from its string table: the command
// keeps no copy of them.
#pragma once

#include <cstdint>
#include <string>

#include "quivrasim/host.h"

namespace ostinel_cli {

class PluginTexts {
 public:
  explicit PluginTexts(const quivrasim::Host& host) : m_host(host) {}

  std::string Text(uint32_t id) const { return m_host.PluginString(id); }

  // The staff name and the measures of the caption the plug-in gives its
  // proposal; false for any other caption (the one saying there is none).
  bool ReadProposal(const std::string& caption, std::string* name, int* first, int* last) const;

 private:
  const quivrasim::Host& m_host;
};

}  // namespace ostinel_cli
