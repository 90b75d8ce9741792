// The entry-name mapping alone, under both rule sets: whatever the name, the result is empty
// or a relative path that stays inside the folder it is joined to. Checked: no leading,
// trailing or doubled separator, no "/" (the result uses "\"), no "." or ".." component, no
// colon (drive prefixes, Windows streams); under the Windows rules no component that ends in a
// dot or a blank and none that names a device; no component longer than the longest of the
// name plus the "_" a device name gets; and mapping the result again changes nothing.
//
// The first input byte picks how the rest becomes a name: bytes widened one to one, as the
// scanner reads names, or pairs of bytes as UTF-16 code units.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/extract/entry_path.h"
#include "fuzz_support.h"

namespace velmora::fuzz {
namespace {

std::vector<std::wstring> Split(const std::wstring& text, bool both_separators) {
  std::vector<std::wstring> parts(1);
  for (wchar_t c : text) {
    if (c == L'\\' || (both_separators && c == L'/')) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// The device names the system resolves in any folder: the part before the first dot, with
// blanks at its end ignored, compared without regard to ASCII case.
bool NamesDevice(const std::wstring& component) {
  std::wstring stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  std::string upper;
  for (wchar_t c : stem) {
    if (c > 0xFF) return false;
    upper += static_cast<char>(c >= L'a' && c <= L'z' ? c - 32 : c);
  }
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (upper == device) return true;
  }
  if (upper.size() != 4) return false;
  const std::string head = upper.substr(0, 3);
  const unsigned char last = static_cast<unsigned char>(upper[3]);
  const bool numbered =
      (last >= '0' && last <= '9') || last == 0xB9 || last == 0xB2 || last == 0xB3;
  return numbered && (head == "COM" || head == "LPT");
}

void CheckMapping(const std::wstring& name, bool windows_rules) {
  const std::wstring mapped = SafeEntryPath(name, windows_rules);
  if (mapped.empty()) return;
  const char* rules = windows_rules ? " (Windows rules)" : " (POSIX rules)";

  if (mapped.find(L'/') != std::wstring::npos)
    Fail(std::string("a \"/\" in the result") + rules, mapped);
  if (mapped.find(L':') != std::wstring::npos)
    Fail(std::string("a colon in the result") + rules, mapped);

  size_t longest_in = 0;
  std::wstring without_colons;
  for (wchar_t c : name)
    if (c != L':') without_colons += c;
  for (const std::wstring& part : Split(without_colons, true))
    longest_in = std::max(longest_in, part.size());

  for (const std::wstring& part : Split(mapped, false)) {
    if (part.empty())
      Fail(std::string("an empty component (leading, trailing or doubled separator)") + rules,
           mapped);
    if (part == L"." || part == L"..")
      Fail(std::string("a \".\" or \"..\" component") + rules, mapped);
    if (part.size() > longest_in + 1)
      Fail(std::string("a component longer than any of the name") + rules, mapped);
    if (windows_rules) {
      if (part.back() == L'.' || part.back() == L' ')
        Fail("a component ending in a dot or a blank", mapped);
      if (NamesDevice(part)) Fail("a component naming a device", mapped);
    }
  }
  if (SafeEntryPath(mapped, windows_rules) != mapped) {
    Fail(std::string("mapping the result again changes it") + rules, mapped);
  }
}

}  // namespace
}  // namespace velmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::wstring name;
  if ((data[0] & 1) == 0) {
    for (size_t i = 1; i < size; ++i) name.push_back(static_cast<wchar_t>(data[i]));
  } else {
    for (size_t i = 1; i + 1 < size; i += 2) {
      name.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
  }
  velmora::fuzz::CheckMapping(name, false);
  velmora::fuzz::CheckMapping(name, true);
  return 0;
}
