// The Windows registry services, over the host's registry.
#include <cstring>
#include <string>

#include "exports.h"

using namespace quivrasim;

QUIVRASIM_EXPORT LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  Registry& registry = Host::Current().Reg();
  registry.NoteAccess(access);
  if (key != HKEY_CURRENT_USER || subKey == nullptr || result == nullptr) return ERROR_INVALID_HANDLE;
  HKEY handle = registry.Open(subKey);
  if (handle == nullptr) return ERROR_FILE_NOT_FOUND;
  *result = handle;
  return ERROR_SUCCESS;
}

QUIVRASIM_EXPORT LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                                          LPDWORD dataSize) {
  Registry& registry = Host::Current().Reg();
  const std::string* path = registry.PathOf(key);
  if (path == nullptr) return ERROR_INVALID_HANDLE;
  const Registry::Value* value = registry.Find(*path, valueName != nullptr ? valueName : "");
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = value->type;
  const auto size = static_cast<DWORD>(value->data.size());
  if (data != nullptr) {
    if (dataSize == nullptr || *dataSize < size) {
      if (dataSize != nullptr) *dataSize = size;
      return ERROR_MORE_DATA;
    }
    // A shorter value fills only its own bytes of the buffer.
    std::memcpy(data, value->data.data(), size);
  }
  if (dataSize != nullptr) *dataSize = size;
  return ERROR_SUCCESS;
}

QUIVRASIM_EXPORT LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                                        DWORD dataSize) {
  Registry& registry = Host::Current().Reg();
  const std::string* path = registry.PathOf(key);
  if (path == nullptr) return ERROR_INVALID_HANDLE;
  registry.SetValue(*path, valueName != nullptr ? valueName : "", type,
                    std::vector<unsigned char>(data, data + dataSize));
  registry.CountWrite(valueName != nullptr ? valueName : "");
  return ERROR_SUCCESS;
}

QUIVRASIM_EXPORT LSTATUS RegCloseKey(HKEY key) {
  return Host::Current().Reg().Close(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
