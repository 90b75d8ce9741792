// Shell commands run from the tests: the program under test, and the tools of the machine
// asked for a second opinion.
#pragma once

#include <string>

namespace velmora::test {

struct CommandResult {
  // The exit status; -1 when the command could not be started or did not exit normally.
  int status = -1;
  // What it wrote on standard output (end the line with 2>&1 to have errors too).
  std::string out;
};

// Runs the command line with the system's shell and waits for it.
CommandResult RunCommand(const std::string& command);

// True when the command line runs and exits with status 0; its output is thrown away.
bool CommandSucceeds(const std::string& command);

// The text in single quotes for the POSIX shell, any single quote in it kept.
std::string ShellQuoted(const std::string& text);
#ifndef _WIN32
// A path's bytes, quoted for the shell.
std::string QuotedPath(const std::wstring& path);
#endif

}  // namespace velmora::test
