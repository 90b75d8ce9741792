// Turning an entry name read from a damaged package into a path below the file's folder.
#pragma once

#include <string>

namespace velmora {

// True where the file system follows the Windows naming rules (device names, trailing dots
// and blanks dropped by the system).
#ifdef _WIN32
inline constexpr bool kWindowsNameRules = true;
#else
inline constexpr bool kWindowsNameRules = false;
#endif

// Maps an entry name ("\" or "/" as separator) to a relative path, "\" as separator, that
// stays inside the folder it is joined to and opens no device. Returns an empty text when
// the name names no file. The mapping, applied component by component:
//
// - Every ":" is removed first (a drive prefix "C:" becomes the folder "C"; on Windows this
//   also rules out alternate data streams).
// - Empty components (leading, trailing or doubled separators), "." and ".." are dropped,
//   so nothing climbs out of the folder: "..\..\x.xml" becomes "x.xml".
// - A name whose last component is empty, "." or ".." names a folder, not a file: empty
//   result, and the entry yields no file.
// - Windows rules only:
//   - trailing dots and blanks are stripped, as the system would strip them silently and so
//     open another file; a component left empty becomes "_" ("..." and " " become "_");
//   - a reserved device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9, LPT0-LPT9 and
//     COM/LPT with a superscript 1, 2 or 3), in any case, alone or before an extension
//     ("con.txt", "Nul", "AUX .xml"), gets a "_" in front: "con.txt" becomes "_con.txt".
//
// Characters a folder may not hold on Windows ("?", "*", "<", ...) are left alone: the
// system refuses them, which the caller reports or treats as a failed entry. Components are
// not shortened either: one longer than the system allows (255) makes the creation of that
// folder or file fail, and the entry yields no file.
std::wstring SafeEntryPath(const std::wstring& name, bool windows_rules);

}  // namespace velmora
