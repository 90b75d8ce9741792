// Makes a recovered spreadsheet package whole enough for an office program to open it.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// When the file folder holds content.xml or styles.xml: writes "mimetype" when it is missing
// or empty, and makes META-INF/manifest.xml list exactly the files present. A recovered
// manifest that parses and agrees is kept as it is. When the package is not whole, a picture
// that content.xml or styles.xml refers to but that was lost gets an empty file in its place,
// since readers refuse a package that lacks one. Returns the package names (with "/") of the
// parts written or rewritten; empty when the folder was left untouched.
std::vector<std::wstring> CompletePackage(const std::wstring& folder);

}  // namespace velmora
