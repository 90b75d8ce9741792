// What the command-line front end needs from the system: its two output streams, the
// interrupt key, and absolute paths.
#pragma once

#include <string>

namespace velmora::platform {

enum class Stream { kOut, kErr };

bool IsTerminal(Stream stream);
// Writes the text as is: on POSIX its bytes (see platform.h), on Windows UTF-16 to a console
// or UTF-8 to a file or pipe.
void WriteText(Stream stream, const std::wstring& text);
// Calls `handler` once when the user presses Ctrl+C (SIGINT/SIGTERM on POSIX, the console
// control handler on Windows). The handler may only touch lock-free atomics. A second Ctrl+C
// ends the process the usual way.
void OnInterrupt(void (*handler)());
// The path made absolute against the current directory (nothing else is resolved).
std::wstring AbsolutePath(const std::wstring& path);

}  // namespace velmora::platform
