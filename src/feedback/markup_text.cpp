#include "feedback/markup_text.h"

#include <array>

namespace velmora::markup {

namespace {

struct Entity {
  std::wstring_view name;
  std::wstring_view text;
};

constexpr std::array<Entity, 13> kEntities{{
    {L"&amp;", L"&"},
    {L"&bull;", L"\u2022"},
    {L"&copy;", L"\u00A9"},
    {L"&euro;", L"\u20AC"},
    {L"&gt;", L">"},
    {L"&iquest;", L"\u00BF"},
    {L"&lt;", L"<<"},
    {L"&nbsp;", L" "},
    {L"&para;", L"\u00B6"},
    {L"&pound;", L"\u00A3"},
    {L"&quot;", L"\""},
    {L"&reg;", L"\u00AE"},
    {L"&trade;", L"\u2122"},
}};

bool IsBlank(wchar_t c) {
  return c == L' ';
}

}  // namespace

std::wstring Preprocess(std::wstring_view text, bool convert) {
  std::wstring out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size();) {
    const wchar_t c = text[i];
    if (c == L'&') {
      // One pass from left to right: what an entity gives is never read again as the start
      // of another entity, so "&amp;lt;" shows as the text "&lt;" it stands for.
      bool replaced = false;
      for (const Entity& e : kEntities) {
        if (text.substr(i, e.name.size()) == e.name) {
          out += e.text;
          i += e.name.size();
          replaced = true;
          break;
        }
      }
      if (!replaced) {
        out += c;
        ++i;
      }
      continue;
    }
    if (c == L'\r') {
    } else if (c == L'\n') {
      if (convert) out += L"<br>";
    } else if (c == L'\t') {
      if (convert) out += L"<t>";
    } else {
      out += c;
    }
    ++i;
  }
  return out;
}

std::vector<Token> Tokenize(std::wstring_view text) {
  std::vector<Token> tokens;
  Token run;
  auto flush = [&]() {
    if (!run.text.empty()) tokens.push_back(std::move(run));
    run = Token{};
  };
  size_t i = 0;
  while (i < text.size()) {
    const size_t lt = text.find(L'<', i);
    if (lt == std::wstring_view::npos) {
      run.text.append(text.substr(i));
      break;
    }
    run.text.append(text.substr(i, lt - i));
    if (lt + 1 >= text.size()) {  // a "<" at the very end is a literal "<"
      run.text += L'<';
      break;
    }
    if (text[lt + 1] == L'<') {  // "<<" is a literal "<" inside the run
      run.text += L'<';
      i = lt + 2;
      continue;
    }
    const size_t gt = text.find(L'>', lt + 1);
    if (gt == std::wstring_view::npos) {  // no closing ">": drop the "<", go on after it
      i = lt + 1;
      continue;
    }
    flush();
    std::wstring_view body = text.substr(lt + 1, gt - lt - 1);
    Token tag;
    tag.is_tag = true;
    if (!body.empty() && body[0] == L'/') {
      tag.closing = true;
      body.remove_prefix(1);
    }
    size_t end = 0;
    while (end < body.size() && !IsBlank(body[end]) && body[end] != L'=') ++end;
    tag.name.assign(body.substr(0, end));
    size_t rest = end;
    while (rest < body.size() && IsBlank(body[rest])) ++rest;
    tag.attributes.assign(body.substr(rest));
    tokens.push_back(std::move(tag));
    i = gt + 1;
  }
  flush();
  return tokens;
}

std::vector<Attribute> ParseAttributes(std::wstring_view text) {
  std::vector<Attribute> out;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n) break;
    const size_t name_start = i;
    while (i < n && !IsBlank(text[i]) && text[i] != L'=') ++i;
    std::wstring name(text.substr(name_start, i - name_start));
    size_t j = i;
    while (j < n && IsBlank(text[j])) ++j;
    std::wstring value;
    if (j < n && text[j] == L'=') {
      ++j;
      while (j < n && IsBlank(text[j])) ++j;
      if (j < n && (text[j] == L'\'' || text[j] == L'"')) {
        const wchar_t quote = text[j];
        const size_t close = text.find(quote, j + 1);
        // A value whose quote is never closed runs to the end of the tag.
        const size_t stop = close == std::wstring_view::npos ? n : close;
        value.assign(text.substr(j + 1, stop - j - 1));
        i = stop == n ? n : stop + 1;
      } else {
        const size_t start = j;
        while (j < n && !IsBlank(text[j])) ++j;
        value.assign(text.substr(start, j - start));
        i = j;
      }
    }
    if (name.empty()) {
      if (i == name_start) ++i;  // a lone "=" or quote: step over it
      continue;
    }
    // Inside a tag "<<" (from "&lt;") stands for "<" too.
    for (size_t k = value.find(L"<<"); k != std::wstring::npos; k = value.find(L"<<", k + 1)) {
      value.erase(k, 1);
    }
    out.emplace_back(std::move(name), std::move(value));
  }
  return out;
}

bool FindAttribute(const std::vector<Attribute>& attributes, std::wstring_view name,
                   std::wstring* value) {
  const bool text_valued =
      name == L"face" || name == L"href" || name == L"msg" || name == L"file" || name == L"srcdll";
  bool found = false;
  for (const auto& [n, v] : attributes) {
    if (n != name) continue;
    if (text_valued && v.empty() && found) continue;
    *value = v;
    found = true;
  }
  return found;
}

std::wstring PlainText(std::wstring_view markup) {
  std::wstring out;
  for (const Token& t : Tokenize(Preprocess(markup))) {
    if (!t.is_tag) {
      out += t.text;
    } else if (t.name == L"br") {
      out += L"\r\n";
    } else if (t.name == L"t") {
      out += L'\t';
    } else if (t.name == L"td" && !t.closing && !out.empty() && out.back() != L'\n') {
      out += L' ';
    } else if (t.name == L"tr" && t.closing) {
      out += L"\r\n";
    }
  }
  while (!out.empty() && (out.back() == L' ' || out.back() == L'\n' || out.back() == L'\r')) {
    out.pop_back();
  }
  while (!out.empty() && out.front() == L' ') out.erase(0, 1);
  return out;
}

}  // namespace velmora::markup
