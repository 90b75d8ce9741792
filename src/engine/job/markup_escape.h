#pragma once
// Texts the program did not write itself (file and folder names) go into message mark-up
// only through these, so that a name such as "<b>x</b>.ods" or "&lt;" shows as the very
// characters it holds.

#include <string>
#include <string_view>

namespace velmora {

// Text shown as is: "&", "<" and ">" become "&amp;", "&lt;" and "&gt;".
std::wstring EscapeMarkup(std::wstring_view text);

// An attribute value with its quotes: escaped like text and quoted with ' unless it holds
// one, then with ". A value holding both keeps ' quotes and loses its ' characters, which
// no Windows path holds together with ".
std::wstring QuoteMarkupAttribute(std::wstring_view value);

// The text EscapeMarkup was given back: "&amp;", "&lt;", "&gt;" and "&quot;" decoded in one
// pass, so "&amp;lt;" gives "&lt;". For front ends that show a message without mark-up.
std::wstring UnescapeMarkup(std::wstring_view text);

}  // namespace velmora
