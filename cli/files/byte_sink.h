// Where the command's output goes, a piece at a time: a score is written
// while it is serialised, never held whole in memory.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace ostinel_cli {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes the bytes; a sink that has failed ignores them and reports the
  // failure when it is finished.
  virtual void Put(const char* data, size_t size) = 0;
};

// Puts content into a sink; false with a message when it cannot be made.
using Producer = std::function<bool(ByteSink& sink, std::string* error)>;

}  // namespace ostinel_cli
