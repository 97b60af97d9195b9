// Files installed with the command, found relative to the running program,
// so that an unpacked tree works wherever it lies.
#pragma once

#include <string>

namespace ostinel_cli {

// The readable file at a path relative to the running program's directory;
// empty when there is none.
std::string BesideTheCommand(const std::string& relative);

}  // namespace ostinel_cli
