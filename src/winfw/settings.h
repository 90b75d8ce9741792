// The program's per-user settings key: HKEY_CURRENT_USER\Software\<company>\<application>.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::winfw {

class Settings {
 public:
  Settings(std::wstring company, std::wstring application);
  // The value, or `fallback` when the key or value is missing or not a DWORD.
  DWORD ReadDword(const wchar_t* name, DWORD fallback) const;
  bool WriteDword(const wchar_t* name, DWORD value) const;
  const std::wstring& key_path() const { return key_path_; }

 private:
  std::wstring key_path_;
};

}  // namespace velmora::winfw
