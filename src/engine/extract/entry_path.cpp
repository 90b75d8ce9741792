#include "engine/extract/entry_path.h"

#include <array>
#include <string_view>

#include "platform/ascii_case.h"

namespace velmora {

namespace {

bool IsDigitOrSuperscript(wchar_t c) {
  // Windows treats COM¹, COM², COM³ (and LPT) as devices too; bytes B9, B2, B3 of an entry
  // name widen to exactly these characters.
  return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3';
}

// The device check looks at the part before the first dot, trailing blanks ignored.
bool IsDeviceName(std::wstring_view component) {
  std::wstring_view stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  static constexpr std::array<std::wstring_view, 6> kPlain = {L"CON", L"PRN",    L"AUX",
                                                              L"NUL", L"CONIN$", L"CONOUT$"};
  for (std::wstring_view device : kPlain)
    if (platform::EqualsIgnoringAsciiCase(stem, device)) return true;
  if (stem.size() == 4 && IsDigitOrSuperscript(stem[3])) {
    std::wstring_view head = stem.substr(0, 3);
    return platform::EqualsIgnoringAsciiCase(head, L"COM") ||
           platform::EqualsIgnoringAsciiCase(head, L"LPT");
  }
  return false;
}

std::wstring WindowsSafeComponent(std::wstring component) {
  while (!component.empty() && (component.back() == L'.' || component.back() == L' '))
    component.pop_back();
  if (component.empty()) return L"_";
  if (IsDeviceName(component)) return L"_" + component;
  return component;
}

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

}  // namespace

std::wstring SafeEntryPath(const std::wstring& name, bool windows_rules) {
  std::wstring result;
  std::wstring component;
  bool names_file = false;
  // One pass past the end flushes the last component.
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !IsSeparator(name[i])) {
      if (name[i] != L':') component += name[i];
      continue;
    }
    if (component.empty() || component == L"." || component == L"..") {
      names_file = false;
    } else {
      if (!result.empty()) result += L'\\';
      result += windows_rules ? WindowsSafeComponent(std::move(component)) : component;
      names_file = true;
    }
    component.clear();
  }
  return names_file ? result : std::wstring();
}

}  // namespace velmora
