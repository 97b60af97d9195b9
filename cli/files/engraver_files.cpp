#include "engraver_files.h"

#include <cstdlib>

#include "beside_command.h"

namespace ostinel_cli {

std::string EngraverFile(const std::string& name) {
  if (const char* given = std::getenv("OSTINEL_ENGRAVER"); given != nullptr && given[0] != '\0') {
    const std::string script = given;
    return script.substr(0, script.find_last_of('/') + 1) + name;
  }
  const std::string installed = BesideTheCommand(std::string(OSTINEL_INSTALLED_ENGRAVER_DIR) + "/" + name);
  return !installed.empty() ? installed : std::string(OSTINEL_ENGRAVER_SOURCE_DIR) + "/" + name;
}

}  // namespace ostinel_cli
