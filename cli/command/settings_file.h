// The user's last choices, kept between runs in a file of their own as the
// plug-in keeps them in the registry. Only a regular file of bounded size is
// read; a file that holds no settings is never overwritten but moved aside.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "quivrasim/host.h"

namespace ostinel_cli {

class SettingsFile {
 public:
  // The largest settings file read (a few values take a few hundred bytes).
  static constexpr long kLargest = 64 * 1024;

  // directory: where the choices are kept; empty when there is no place.
  explicit SettingsFile(const std::string& directory);
  const std::string& File() const { return m_file; }

  // Loads the choices into the host's registry; what cannot be read is
  // reported, and the run starts from the defaults.
  void Load(quivrasim::Registry& registry, std::FILE* err);
  void Save(const quivrasim::Registry& registry, std::FILE* err) const;
  // The registry as a first run finds it: the plug-in's key, no values.
  static void Defaults(quivrasim::Registry& registry);

 private:
  std::string m_directory;
  std::string m_file;
  bool m_writable = true;  // false: the choices are kept for this run only
  std::optional<std::string> m_held;  // the choices the file held when loaded
};

}  // namespace ostinel_cli
