// Reading a fuzzer's bytes as the values a target needs; past the end every
// value is zero, so that any input is a complete one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ostinel_fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

  bool Empty() const { return m_at >= m_size; }
  uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  bool Bit() { return (Byte() & 1) != 0; }
  uint16_t Word16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  uint32_t Word32() { return Word16() | (static_cast<uint32_t>(Word16()) << 16); }
  // Fills out with the next bytes, zero when they run out.
  void Fill(void* out, size_t size) {
    const size_t available = m_at < m_size ? m_size - m_at : 0;
    const size_t taken = size < available ? size : available;
    if (taken != 0) std::memcpy(out, m_data + m_at, taken);
    if (taken < size) std::memset(static_cast<unsigned char*>(out) + taken, 0, size - taken);
    m_at += taken;
  }
  // What is left, as a whole.
  const uint8_t* Rest(size_t* size) {
    const size_t at = m_at < m_size ? m_at : m_size;
    *size = m_size - at;
    m_at = m_size;
    return m_data + at;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

}  // namespace ostinel_fuzz
