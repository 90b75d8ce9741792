// The modal dialogs the window asks the user through: the message box, the open-file dialog
// and the folder browser. Tests put a scripted set in place of the real one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace velmora::ui {

// The size of the open-file dialog's name buffer, in characters: room for a selection of
// several thousand short names.
inline constexpr DWORD kOpenFileBufferChars = 26101;

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual int ShowMessageBox(HWND owner, const std::wstring& text, unsigned flags);
  // The multi-select open-file dialog for .ods files. False when it did not end with OK;
  // otherwise the full paths picked, in the dialog's order.
  virtual bool OpenFiles(HWND owner, std::vector<std::wstring>& paths);
  // The folder browser. False when cancelled or when the item is not a file-system path;
  // otherwise the path as the system gives it.
  virtual bool BrowseFolder(HWND owner, std::wstring& path);
};

// The dialogs in force; the real ones unless a test has put others in place.
Dialogs& CurrentDialogs();
// Puts `dialogs` in place (null brings back the real ones); returns the previous ones.
Dialogs* SetDialogs(Dialogs* dialogs);

// The names an open-file dialog with multi-select wrote into its buffer: either one full
// path, or the folder followed by the names, each ended by a null, the list by two.
std::vector<std::wstring> SplitOpenFileBuffer(const wchar_t* buffer, size_t size);

}  // namespace velmora::ui
