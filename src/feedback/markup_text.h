#pragma once
// The mark-up language's text side: entity replacement, line feeds and tabs turned into
// tags, the token stream and tag attributes. No drawing here.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::markup {

// Replaces the entities (&amp; &bull; &copy; &euro; &gt; &iquest; &lt; &nbsp; &para;
// &pound; &quot; &reg; &trade;), removes CR and turns LF into "<br>" and tab into "<t>"
// (or removes them when `convert` is off). "&lt;" becomes "<<", the escaped form of a
// literal "<".
std::wstring Preprocess(std::wstring_view text, bool convert = true);

struct Token {
  bool is_tag = false;
  bool closing = false;     // "</name>"
  std::wstring text;        // a text run (literal "<" already resolved)
  std::wstring name;        // tag name, without the "/"
  std::wstring attributes;  // the rest of the tag, leading blanks removed
};

std::vector<Token> Tokenize(std::wstring_view text);

using Attribute = std::pair<std::wstring, std::wstring>;
// name=value pairs in order; a value is quoted with ' or ", or runs to the next blank; a
// name without "=" has an empty value.
std::vector<Attribute> ParseAttributes(std::wstring_view text);

// The last value given for `name` (empty values of text attributes do not replace an
// earlier one). False when the attribute is absent.
bool FindAttribute(const std::vector<Attribute>& attributes, std::wstring_view name,
                   std::wstring* value);

// The plain text a mark-up text shows (tags removed, entities and breaks resolved): what
// screen readers get as the window text of the control that draws it.
std::wstring PlainText(std::wstring_view markup);

}  // namespace velmora::markup
