// The 8-bit form of entry names written into new packages.
#pragma once

#include <string>

namespace velmora::platform {

// Converts a name to the system's 8-bit code page. On Windows that is the ANSI code page
// (WideCharToMultiByte with CP_ACP and no flags, so a character without a mapping becomes the
// code page's default character). POSIX has no ANSI code page: there the bytes are those of
// NarrowPath, so a name that came from the disk goes into the package byte for byte. An empty
// name gives an empty result. False when the system cannot convert the name.
bool ToAnsiCodePage(const std::wstring& text, std::string* bytes);

}  // namespace velmora::platform
