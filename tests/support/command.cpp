#include "support/command.h"

#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "platform/platform.h"

namespace velmora::test {

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
#ifdef _WIN32
  FILE* pipe = ::_popen(command.c_str(), "r");
#else
  FILE* pipe = ::popen(command.c_str(), "r");
#endif
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
#ifdef _WIN32
  result.status = ::_pclose(pipe);
#else
  const int raw = ::pclose(pipe);
  result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  return result;
}

bool CommandSucceeds(const std::string& command) {
#ifdef _WIN32
  return std::system((command + " >NUL 2>&1").c_str()) == 0;
#else
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
#endif
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

#ifndef _WIN32
std::string QuotedPath(const std::wstring& path) {
  return ShellQuoted(platform::NarrowPath(path));
}
#endif

}  // namespace velmora::test
