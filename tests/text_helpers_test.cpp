// The UTF-8 encoder and the ASCII case folding that every layer shares.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/ascii_case.h"
#include "platform/utf8.h"

namespace velmora::platform {
namespace {

TEST(Utf8Test, EncodesEachLengthUpToItsLastCodePoint) {
  struct Case {
    uint32_t code_point;
    std::string bytes;
  };
  const Case cases[] = {
      {0x00, std::string(1, '\0')},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0xE9, "\xC3\xA9"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0x20AC, "\xE2\x82\xAC"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x1F600, "\xF0\x9F\x98\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
      // Past the last code point there is no UTF-8 form: the replacement character stands in.
      {0x110000, "\xEF\xBF\xBD"},
      {0xFFFFFFFF, "\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << c.code_point);
    std::string out = "x";
    AppendUtf8(out, c.code_point);
    EXPECT_EQ(out, "x" + c.bytes);
    char bytes[4];
    EXPECT_EQ(EncodeUtf8(c.code_point, bytes), c.bytes.size());
  }
}

TEST(AsciiCaseTest, FoldsTheAsciiLettersOnly) {
  EXPECT_EQ(AsciiLowered(std::string("ABC-xyz.@[`{Z")), "abc-xyz.@[`{z");
  EXPECT_EQ(AsciiLowered(std::wstring(L"PNG\u00C9\u0130")), L"png\u00C9\u0130");
  EXPECT_EQ(AsciiUpper(L'q'), L'Q');
  EXPECT_EQ(AsciiUpper(L'\u00E9'), L'\u00E9');

  struct Case {
    std::wstring_view a, b;
    bool equal;
  };
  const Case cases[] = {
      {L"conout$", L"CONOUT$", true},
      {L".Zip", L".ZIP", true},
      {L"COM", L"CO", false},
      {L"@", L"`", false},
      {L"[", L"{", false},
      {L"\u00C9", L"\u00E9", false},
      {L"", L"", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EqualsIgnoringAsciiCase(c.a, c.b), c.equal) << "a, b";
    EXPECT_EQ(EqualsIgnoringAsciiCase(c.b, c.a), c.equal) << "b, a";
  }
  EXPECT_TRUE(EqualsIgnoringAsciiCase(std::string_view("UTF-8"), "utf-8"));
}

}  // namespace
}  // namespace velmora::platform
