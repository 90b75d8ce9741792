#include "platform/console.h"

#include <signal.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "platform/platform.h"

namespace velmora::platform {
namespace {

void (*g_handler)() = nullptr;

void OnSignal(int signal_number) {
  if (g_handler) g_handler();
  // Then the default, so a second Ctrl+C ends the process at once; the signal is blocked while
  // this runs, so none slips in between. In this order a handler no longer in place also means
  // the stop was asked for, which a watcher (the command-line test) can wait on.
  ::signal(signal_number, SIG_DFL);
}

int Fd(Stream stream) {
  return stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO;
}

}  // namespace

bool IsTerminal(Stream stream) {
  return ::isatty(Fd(stream)) == 1;
}

void WriteText(Stream stream, const std::wstring& text) {
  const std::string bytes = NarrowPath(text);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(Fd(stream), bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void OnInterrupt(void (*handler)()) {
  g_handler = handler;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

std::wstring AbsolutePath(const std::wstring& path) {
  if (!path.empty() && path[0] == L'/') return path;
  char buffer[PATH_MAX];
  if (!::getcwd(buffer, sizeof buffer)) return path;
  std::wstring cwd = WidenPath(buffer);
  if (cwd.empty() || cwd.back() != L'/') cwd += L'/';
  std::wstring rest = path;
  while (rest.rfind(L"./", 0) == 0) rest.erase(0, 2);
  return cwd + rest;
}

}  // namespace velmora::platform
