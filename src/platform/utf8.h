// The UTF-8 form of a code point, the one encoder every layer uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora::platform {

// Writes the UTF-8 form of code point `c` to `out` and returns its length (1 to 4). A value
// past U+10FFFF has no UTF-8 form and is written as U+FFFD instead. Surrogates are not
// refused: a caller that may meet one decides what it stands for before it gets here.
inline size_t EncodeUtf8(uint32_t c, char out[4]) {
  if (c > 0x10FFFF) c = 0xFFFD;
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

inline void AppendUtf8(std::string& out, uint32_t c) {
  char bytes[4];
  out.append(bytes, EncodeUtf8(c, bytes));
}

}  // namespace velmora::platform
