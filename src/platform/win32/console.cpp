#include "platform/console.h"

#include <windows.h>

#include <string>
#include <vector>

namespace velmora::platform {
namespace {

void (*g_handler)() = nullptr;
bool g_interrupted = false;

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  if (g_interrupted) return FALSE;  // a second Ctrl+C ends the process the usual way
  g_interrupted = true;
  if (g_handler) g_handler();
  return TRUE;
}

HANDLE Handle(Stream stream) {
  return ::GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

}  // namespace

bool IsTerminal(Stream stream) {
  DWORD mode = 0;
  return ::GetConsoleMode(Handle(stream), &mode) != 0;
}

void WriteText(Stream stream, const std::wstring& text) {
  HANDLE handle = Handle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD written = 0;
  if (IsTerminal(stream)) {
    ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  if (size <= 0) return;
  std::vector<char> bytes(static_cast<size_t>(size));
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
  ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void OnInterrupt(void (*handler)()) {
  g_handler = handler;
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

std::wstring AbsolutePath(const std::wstring& path) {
  DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  DWORD used = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (used == 0 || used >= size) return path;
  full.resize(used);
  return full;
}

}  // namespace velmora::platform
