#include "score_checks.h"

#include <fstream>

namespace ostinel_test {

nlohmann::json ReadJson(const std::string& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in, nullptr, false);
}

}  // namespace ostinel_test
