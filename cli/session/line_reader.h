// Lines from standard input (or any file), read so that a stop (SIGINT,
// SIGTERM, SIGHUP) ends the wait for the next one at once, and so that no
// line is held longer than an answer can be.
#pragma once

#include <cstdio>
#include <string>

namespace ostinel_cli {

class LineReader {
 public:
  // The longest line kept; a longer one is read past and reported as too long.
  static constexpr size_t kLongestLine = 4096;
  // A line still going after this many bytes ends the input: no answer is
  // that long, and all that could follow is more of it (/dev/zero, yes).
  static constexpr size_t kLongestSkip = 1 << 20;

  explicit LineReader(std::FILE* in) : m_in(in) {}

  enum class Result { Line, TooLong, Ended };
  // The next line without its line end; Ended at the end of the input or
  // when a stop came.
  Result Next(std::string* line);

 private:
  std::FILE* m_in;
  std::string m_buffer;
  size_t m_scanned = 0;   // the buffer holds no line end before this
  bool m_skipping = false;  // reading past a line that was too long
  size_t m_skipped = 0;     // bytes of it read past
  bool m_ended = false;
};

}  // namespace ostinel_cli
