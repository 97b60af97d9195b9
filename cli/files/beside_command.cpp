#include "beside_command.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>

namespace ostinel_cli {

std::string BesideTheCommand(const std::string& relative) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return {};
  const std::string program(self, static_cast<size_t>(length));
  const std::string candidate = program.substr(0, program.find_last_of('/') + 1) + relative;
  char resolved[PATH_MAX];
  if (realpath(candidate.c_str(), resolved) == nullptr || access(resolved, R_OK) != 0) return {};
  return resolved;
}

}  // namespace ostinel_cli
