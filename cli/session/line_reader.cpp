#include "line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "stop_request.h"

namespace ostinel_cli {

LineReader::Result LineReader::Next(std::string* line) {
  for (;;) {
    const size_t end = m_buffer.find('\n', m_scanned);
    if (end != std::string::npos) {
      const bool skipped = m_skipping;
      *line = m_buffer.substr(0, end);
      m_buffer.erase(0, end + 1);
      m_scanned = 0;
      m_skipping = false;
      if (!line->empty() && line->back() == '\r') line->pop_back();
      if (skipped) return Result::TooLong;
      return Result::Line;
    }
    m_scanned = m_buffer.size();
    if (m_buffer.size() > kLongestLine) {
      // Only the line's end is still of use: what comes before it is dropped.
      m_skipped = (m_skipping ? m_skipped : 0) + m_buffer.size();
      m_buffer.clear();
      m_scanned = 0;
      m_skipping = true;
      if (m_skipped > kLongestSkip) m_ended = true;
    }
    if (m_ended) {
      if (m_skipping) {
        m_skipping = false;
        return Result::TooLong;
      }
      if (m_buffer.empty()) return Result::Ended;
      *line = std::move(m_buffer);
      m_buffer.clear();
      m_scanned = 0;
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return Result::Line;
    }
    if (StopSignal() != 0) return Result::Ended;
    // A stop that comes while we wait is seen within a tenth of a second,
    // even when it came just before the wait began.
    pollfd ready{fileno(m_in), POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t read = ::read(ready.fd, buffer, sizeof buffer);
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) {
      m_ended = true;
      continue;
    }
    m_buffer.append(buffer, static_cast<size_t>(read));
  }
}

}  // namespace ostinel_cli
