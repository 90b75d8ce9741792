// Names put into message mark-up are escaped so that they show as the characters they hold.
#include "engine/job/markup_escape.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(MarkupEscapeTest, TextAndAttributes) {
  struct Case {
    std::wstring in;
    std::wstring text;
    std::wstring attribute;
  };
  const Case cases[] = {
      {L"D:\\Work", L"D:\\Work", L"'D:\\Work'"},
      {L"<a href=\"x\">y</a>.ods", L"&lt;a href=\"x\"&gt;y&lt;/a&gt;.ods",
       L"'&lt;a href=\"x\"&gt;y&lt;/a&gt;.ods'"},
      {L"&lt;b&gt;", L"&amp;lt;b&amp;gt;", L"'&amp;lt;b&amp;gt;'"},
      {L"C:\\Bob's files", L"C:\\Bob's files", L"\"C:\\Bob's files\""},
      {L"it's \"both\"", L"it's \"both\"", L"'its \"both\"'"},
      {L"", L"", L"''"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeMarkup(c.in), c.text);
    EXPECT_EQ(QuoteMarkupAttribute(c.in), c.attribute);
    EXPECT_EQ(UnescapeMarkup(EscapeMarkup(c.in)), c.in);
  }
  EXPECT_EQ(UnescapeMarkup(L"R&amp;D &quot;x&quot; &lt;&gt; &amp;lt; &nbsp;"),
            L"R&D \"x\" <> &lt; &nbsp;");
}

}  // namespace
}  // namespace velmora
