// The current user's registry key of the plug-in, holding 32-bit values.
#pragma once

#include <cstdint>

#include "platform/windows_services.h"

namespace ostinel {

class RegistryKey {
 public:
  // Opens HKEY_CURRENT_USER\<path> with full access; never creates it.
  explicit RegistryKey(const char* path);
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool IsOpen() const { return m_key != nullptr; }
  // Reads a value of up to 4 bytes over *value (a shorter one leaves the
  // other bytes as they were); false (value untouched) when it is missing.
  bool QueryDword(const char* name, uint32_t* value) const;
  bool SetDword(const char* name, uint32_t value) const;

 private:
  HKEY m_key = nullptr;
};

}  // namespace ostinel
