#include "feedback/message_box.h"

#include <cwchar>
#include <new>

#include "feedback/message_box_dialog.h"

namespace velmora {

namespace {

std::function<int(const MessageBoxParams&)>& Hook() {
  static std::function<int(const MessageBoxParams&)> hook;
  return hook;
}

std::wstring ProgramFileName() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring full(path, std::min<DWORD>(n, MAX_PATH * 2));
  const size_t slash = full.find_last_of(L"\\/");
  return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

int ReadRemembered(const MessageBoxParams& params) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, RememberKeyPath(params).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return 0;
  }
  DWORD value = 0, size = sizeof(value), type = 0;
  const LONG rc = RegQueryValueExW(key, RememberValueName(params).c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_DWORD ? static_cast<int>(value) : 0;
}

}  // namespace

void SetMessageBoxHookForTest(std::function<int(const MessageBoxParams&)> hook) {
  Hook() = std::move(hook);
}

std::wstring RememberKeyPath(const MessageBoxParams& params) {
  std::wstring path = L"Software\\";
  if (!params.remember_company.empty()) path += params.remember_company + L"\\";
  return path + ProgramFileName() + L"\\MessageBoxAnswers";
}

std::wstring RememberValueName(const MessageBoxParams& params) {
  return params.remember_prefix + std::to_wstring(params.remember_number);
}

int ShowMessageBoxIndirect(const MessageBoxParams& original) {
  if (Hook()) return Hook()(original);
  try {
    MessageBoxParams params = original;
    if (params.parent == nullptr) {
      if (HWND active = GetActiveWindow()) params.parent = GetLastActivePopup(active);
    }
    if (params.caption.empty() ||
        (params.caption.resource_id == 0 && params.caption.text.empty())) {
      std::wstring title;
      if (params.parent != nullptr) {
        wchar_t buffer[261] = {};
        SendMessageW(params.parent, WM_GETTEXT, 261, reinterpret_cast<LPARAM>(buffer));
        title = buffer;
      }
      params.caption = title.empty() ? std::wstring(L"Error") : title;
    }
    if ((params.flags & kMbCheckBox) && !params.remember_prefix.empty()) {
      if (const int answer = ReadRemembered(params); answer != 0) return answer;
    }
    if (!(params.flags & kMbNoBeep)) MessageBeep(params.flags & kMbIconMask);
    CMessageBoxDialog dialog(params);
    return dialog.Run();
  } catch (const std::bad_alloc&) {
    return IDCANCEL;
  }
}

}  // namespace velmora
