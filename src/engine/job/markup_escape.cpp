#include "engine/job/markup_escape.h"

#include <utility>

namespace velmora {

std::wstring EscapeMarkup(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (const wchar_t c : text) {
    switch (c) {
      case L'&':
        out += L"&amp;";
        break;
      case L'<':
        out += L"&lt;";
        break;
      case L'>':
        out += L"&gt;";
        break;
      default:
        out += c;
        break;
    }
  }
  return out;
}

std::wstring QuoteMarkupAttribute(std::wstring_view value) {
  std::wstring escaped = EscapeMarkup(value);
  wchar_t quote = L'\'';
  if (escaped.find(L'\'') != std::wstring::npos) {
    if (escaped.find(L'"') == std::wstring::npos) {
      quote = L'"';
    } else {
      std::erase(escaped, L'\'');
    }
  }
  return quote + escaped + quote;
}

std::wstring UnescapeMarkup(std::wstring_view text) {
  static constexpr std::pair<std::wstring_view, wchar_t> kEntities[] = {
      {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}};
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    bool decoded = false;
    if (text[i] == L'&') {
      for (const auto& [name, c] : kEntities) {
        if (text.substr(i, name.size()) == name) {
          out += c;
          i += name.size();
          decoded = true;
          break;
        }
      }
    }
    if (!decoded) out += text[i++];
  }
  return out;
}

}  // namespace velmora
