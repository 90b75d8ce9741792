#include "engine/job/markup_escape.h"

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

}  // namespace velmora
