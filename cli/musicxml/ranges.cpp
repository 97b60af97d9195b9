#include "ranges.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace ostinel_cli {

bool SplitRange(const std::string& text, std::string* first, std::string* last) {
  // The dash that separates the ends: a leading one would belong to a number.
  const size_t dash = text.find('-', 1);
  *first = text.substr(0, dash);
  *last = dash == std::string::npos ? *first : text.substr(dash + 1);
  return !first->empty() && !last->empty();
}

bool ParseCount(const std::string& text, int* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  const long long parsed = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || parsed < 1 || parsed > INT_MAX) return false;
  *value = static_cast<int>(parsed);
  return true;
}

bool PositionRange(const std::string& text, int count, int* first, int* last, std::string* error) {
  std::string from;
  std::string to;
  if (!SplitRange(text, &from, &to) || !ParseCount(from, first) || !ParseCount(to, last) || *last < *first) {
    *error = "\"" + text + "\" is no range such as 3 or 2-5";
    return false;
  }
  if (*last > count) {
    *error = "\"" + text + "\" goes past the last one, " + std::to_string(count);
    return false;
  }
  return true;
}

bool MeasureRange(const ImportedScore& score, const std::string& text, int* first, int* last, std::string* error) {
  std::string from;
  std::string to;
  if (!SplitRange(text, &from, &to)) {
    *error = "\"" + text + "\" is no range of measures such as 10-40";
    return false;
  }
  *first = score.MeasureOfNumber(from);
  *last = *first != 0 ? score.MeasureOfNumber(to, *first) : 0;
  if (*first == 0 || *last == 0) {
    *error = "the score prints no measure " + (*first == 0 ? from : to) + (*first == 0 ? "" : " after measure " + from) +
             " (its measures are numbered " + score.MeasureNumber(1) + " to " +
             score.MeasureNumber(score.measureCount) + ")";
    return false;
  }
  return true;
}

}  // namespace ostinel_cli
