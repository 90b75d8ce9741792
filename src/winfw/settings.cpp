#include "winfw/settings.h"

namespace velmora::winfw {

Settings::Settings(std::wstring company, std::wstring application)
    : key_path_(L"Software\\" + company + L"\\" + application) {}

DWORD Settings::ReadDword(const wchar_t* name, DWORD fallback) const {
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key_path_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return fallback;
  }
  const LONG rc =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value ? value : fallback;
}

bool Settings::WriteDword(const wchar_t* name, DWORD value) const {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key_path_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG rc =
      RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

}  // namespace velmora::winfw
