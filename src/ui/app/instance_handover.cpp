#include "ui/app/instance_handover.h"

#include "ui/frame/main_frame.h"

namespace velmora::ui {

HWND FindRunningFrame() {
  return FindWindowW(kFrameClass, nullptr);
}

bool HandFilesTo(HWND frame, const std::vector<std::wstring>& files) {
  if (frame == nullptr || !IsWindow(frame)) return false;
  std::wstring data;
  for (const std::wstring& file : files) {
    data += file;
    data += L'\0';
  }
  COPYDATASTRUCT copy{};
  copy.dwData = kCopyDataFiles;
  copy.cbData = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  copy.lpData = data.data();
  // The running copy may take the foreground for itself (it shows a box when it refuses),
  // and this copy, started by the user, gives it the front as well.
  DWORD pid = 0;
  GetWindowThreadProcessId(frame, &pid);
  AllowSetForegroundWindow(pid);
  DWORD_PTR answer = 0;
  if (SendMessageTimeoutW(frame, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG,
                          10000, &answer) == 0 ||
      answer != TRUE) {
    return false;
  }
  if (IsIconic(frame)) ShowWindow(frame, SW_RESTORE);
  SetForegroundWindow(frame);
  return true;
}

std::vector<std::wstring> HandedFiles(const COPYDATASTRUCT& data) {
  std::vector<std::wstring> files;
  if (data.dwData != kCopyDataFiles || data.lpData == nullptr) return files;
  const auto* chars = static_cast<const wchar_t*>(data.lpData);
  const size_t count = data.cbData / sizeof(wchar_t);
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    if (chars[i] != L'\0') continue;
    if (i > start) files.emplace_back(chars + start, i - start);
    start = i + 1;
  }
  // A last name without its null is cut, and not taken.
  return files;
}

}  // namespace velmora::ui
