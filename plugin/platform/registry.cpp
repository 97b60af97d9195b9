#include "platform/registry.h"

#include <cstring>

namespace ostinel {

RegistryKey::RegistryKey(const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) m_key = key;
}

RegistryKey::~RegistryKey() {
  if (m_key != nullptr) RegCloseKey(m_key);
}

bool RegistryKey::QueryDword(const char* name, uint32_t* value) const {
  if (m_key == nullptr) return false;
  // The stored type is not checked, nor its size: a shorter value replaces
  // only as many bytes of the value as it has.
  BYTE data[4];
  std::memcpy(data, value, sizeof data);
  DWORD size = sizeof data;
  if (RegQueryValueExA(m_key, name, nullptr, nullptr, data, &size) != ERROR_SUCCESS) return false;
  std::memcpy(value, data, sizeof data);
  return true;
}

bool RegistryKey::SetDword(const char* name, uint32_t value) const {
  if (m_key == nullptr) return false;
  BYTE data[4];
  std::memcpy(data, &value, sizeof data);
  return RegSetValueExA(m_key, name, 0, REG_DWORD, data, sizeof data) == ERROR_SUCCESS;
}

}  // namespace ostinel
