// Reading what the command writes besides the score.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace ostinel_test {

nlohmann::json ReadJson(const std::string& path);

}  // namespace ostinel_test
