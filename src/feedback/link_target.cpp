#include "feedback/link_target.h"

#include <shellapi.h>

#include <cwchar>
#include <vector>

#include "feedback/message_box.h"

namespace velmora {

namespace {

LinkOpener g_opener = nullptr;

// The default value of a key under HKEY_CLASSES_ROOT; false when the key cannot be opened.
bool ReadClassesValue(const std::wstring& key_name, std::wstring* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key_name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  std::vector<wchar_t> buffer(2048, L'\0');
  DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
  DWORD type = 0;
  const LONG rc = RegQueryValueExW(key, nullptr, nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &bytes);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  buffer[std::min<size_t>(bytes / sizeof(wchar_t), buffer.size() - 1)] = L'\0';
  value->assign(buffer.data());
  return true;
}

int ShellOpen(const std::wstring& target) {
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOW));
  if (result > 32) return static_cast<int>(result);
  std::wstring html_class;
  std::wstring command;
  if (!ReadClassesValue(L".htm", &html_class) || html_class.empty() ||
      !ReadClassesValue(html_class + L"\\shell\\open\\command", &command)) {
    return static_cast<int>(result);
  }
  size_t cut = command.find(L"\"%1\"");
  if (cut == std::wstring::npos) cut = command.find(L"%1");
  if (cut != std::wstring::npos) command.erase(cut);
  command += L' ';
  command += target;
  const int bytes =
      WideCharToMultiByte(CP_THREAD_ACP, 0, command.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return static_cast<int>(result);
  std::vector<char> ansi(static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_THREAD_ACP, 0, command.c_str(), -1, ansi.data(), bytes, nullptr, nullptr);
  return static_cast<int>(WinExec(ansi.data(), SW_SHOW));
}

}  // namespace

void SetLinkOpenerForTest(LinkOpener opener) {
  g_opener = opener;
}

int OpenLinkTarget(const std::wstring& target) {
  return g_opener != nullptr ? g_opener(target) : ShellOpen(target);
}

std::wstring OpenErrorText(int code) {
  const wchar_t* reason = nullptr;
  switch (code) {
    case 0:
      reason = L"The operating system is out\nof memory or resources.";
      break;
    case 2:
      reason = L"The specified file was not found.";
      break;
    case 3:
      reason = L"The specified path was not found.";
      break;
    case 5:
      reason = L"The operating system denied\naccess to the specified file.";
      break;
    case 8:
      reason = L"There was not enough memory to complete the operation.";
      break;
    case 11:
      reason = L"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
      break;
    case 26:
      reason = L"A sharing violation occurred. ";
      break;
    case 27:
      reason = L"The filename association is\nincomplete or invalid.";
      break;
    case 28:
      reason = L"The DDE transaction could not\nbe completed because the request timed out.";
      break;
    case 29:
      reason = L"The DDE transaction failed.";
      break;
    case 30:
      reason =
          L"The DDE transaction could not\nbe completed because other DDE transactions\nwere "
          L"being processed.";
      break;
    case 31:
      reason = L"There is no application associated\nwith the given filename extension.";
      break;
    case 32:
      reason = L"The specified dynamic-link library was not found.";
      break;
    default:
      break;
  }
  std::wstring text = L"Unable to open hyperlink:\n\n";
  if (reason != nullptr) {
    text += reason;
  } else {
    wchar_t buffer[64];
    std::swprintf(buffer, 64, L"Unknown Error (%d) occurred.", code);
    text += buffer;
  }
  return text;
}

void ReportOpenError(int code, HWND parent) {
  MessageBoxParams params;
  params.parent = parent;
  params.caption = L"Velmora";
  // The reason is plain words: shown as the text it is, never read as mark-up.
  params.text = EscapeMarkup(OpenErrorText(code));
  params.flags = 0x30;  // OK, exclamation
  ShowMessageBoxIndirect(params);
}

HCURSOR LoadLinkCursor(bool* owned) {
  *owned = false;
  if (HCURSOR hand = LoadCursorW(nullptr, IDC_HAND)) return hand;
  wchar_t folder[MAX_PATH] = {};
  if (GetWindowsDirectoryW(folder, MAX_PATH) == 0) return nullptr;
  std::wstring path = folder;
  path += L"\\winhlp32.exe";
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return nullptr;
  HCURSOR cursor = nullptr;
  if (HCURSOR shared = LoadCursorW(module, MAKEINTRESOURCEW(106))) {
    cursor = static_cast<HCURSOR>(CopyIcon(shared));
    *owned = cursor != nullptr;
  }
  FreeLibrary(module);
  return cursor;
}

}  // namespace velmora
