#include "ui/dialogs/dialogs.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include "platform/platform.h"
#include "ui/dialogs/app_message_box.h"

namespace velmora::ui {

namespace {
Dialogs g_real;
Dialogs* g_current = nullptr;
}  // namespace

int Dialogs::ShowMessageBox(HWND owner, const std::wstring& text, unsigned flags) {
  return AppMessageBox(owner, text, flags);
}

bool Dialogs::OpenFiles(HWND owner, std::vector<std::wstring>& paths) {
  std::vector<wchar_t> buffer(kOpenFileBufferChars, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = L"Calc File (*.ods)\0*.ods\0\0";
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = kOpenFileBufferChars;
  ofn.lpstrDefExt = L"ods";
  // A name that does not exist is refused by the dialog itself, rather than listed.
  ofn.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST |
              OFN_PATHMUSTEXIST | OFN_ENABLESIZING;
  if (!GetOpenFileNameW(&ofn)) return false;
  paths = SplitOpenFileBuffer(buffer.data(), buffer.size());
  return true;
}

bool Dialogs::BrowseFolder(HWND owner, std::wstring& path) {
  // COM stays initialised for the thread afterwards, as the shell's dialogs expect.
  CoInitialize(nullptr);
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) return false;
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = L"Select path to save repaired file(s)";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  LPITEMIDLIST item = SHBrowseForFolderW(&info);
  bool picked = false;
  if (item != nullptr) {
    wchar_t buffer[520] = {};
    picked = SHGetPathFromIDListW(item, buffer) != FALSE;
    if (picked) path = buffer;
    allocator->Free(item);
  }
  allocator->Release();
  return picked;
}

Dialogs& CurrentDialogs() {
  return g_current != nullptr ? *g_current : g_real;
}

Dialogs* SetDialogs(Dialogs* dialogs) {
  Dialogs* previous = g_current;
  g_current = dialogs;
  return previous;
}

namespace {

bool IsFullPath(const std::wstring& name) {
  const bool drive = name.size() >= 3 && name[1] == L':' && (name[2] == L'\\' || name[2] == L'/');
  const bool unc = name.size() >= 2 && (name[0] == L'\\' || name[0] == L'/') &&
                   (name[1] == L'\\' || name[1] == L'/');
  return drive || unc;
}

}  // namespace

std::vector<std::wstring> SplitOpenFileBuffer(const wchar_t* buffer, size_t size) {
  std::vector<std::wstring> parts;
  size_t i = 0;
  while (i < size && buffer[i] != L'\0') {
    size_t end = i;
    while (end < size && buffer[end] != L'\0') ++end;
    parts.emplace_back(buffer + i, end - i);
    i = end + 1;
  }
  if (parts.size() <= 1) return parts;
  // A folder and names: the folder may or may not end with a separator (a drive root does).
  const std::wstring folder = platform::WithTrailingSeparator(parts.front());
  std::vector<std::wstring> paths;
  paths.reserve(parts.size() - 1);
  // A name typed as a full path ("D:\\x.ods", "\\\\server\\share\\x.ods") stays as typed.
  for (size_t k = 1; k < parts.size(); ++k) {
    paths.push_back(IsFullPath(parts[k]) ? parts[k] : folder + parts[k]);
  }
  return paths;
}

}  // namespace velmora::ui
