// Case folding of the ASCII letters only, for names whose comparison the file system or a
// format defines that way (device names, file-name extensions, encoding names). Every other
// character, in any text width, is left as it is.
#pragma once

#include <cstddef>
#include <string_view>

namespace velmora::platform {

template <typename Char>
constexpr Char AsciiLower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c + (Char('a') - Char('A'))) : c;
}

template <typename Char>
constexpr Char AsciiUpper(Char c) {
  return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - (Char('a') - Char('A'))) : c;
}

// The text with its ASCII letters made small.
template <typename String>
String AsciiLowered(String text) {
  for (auto& c : text) c = AsciiLower(c);
  return text;
}

namespace detail {
template <typename Char>
constexpr bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a,
                                       std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}
}  // namespace detail

// True when the texts are the same but for the case of ASCII letters.
constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return detail::EqualsIgnoringAsciiCase(a, b);
}
constexpr bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
  return detail::EqualsIgnoringAsciiCase(a, b);
}

}  // namespace velmora::platform
