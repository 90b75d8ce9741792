// The mark-up's text side: entities, tokens, attributes and the plain text of a message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feedback/markup_text.h"

namespace velmora::markup {
namespace {

TEST(FeedbackMarkupTextTest, Preprocess) {
  struct Case {
    std::wstring in;
    std::wstring out;
  };
  const Case cases[] = {
      {L"a&amp;b", L"a&b"},
      {L"&lt;b&gt;", L"<<b>"},
      {L"&bull;&copy;&euro;&iquest;&para;&pound;&reg;&trade;",
       L"\u2022\u00A9\u20AC\u00BF\u00B6\u00A3\u00AE\u2122"},
      {L"&nbsp;&quot;", L" \""},
      // What an entity gives is not read again: an escaped "&lt;" stays the text "&lt;".
      {L"&amp;lt;", L"&lt;"},
      {L"&amp;amp;", L"&amp;"},
      {L"&unknown; &", L"&unknown; &"},
      {L"a\r\nb\tc", L"a<br>b<t>c"},
  };
  for (const Case& c : cases) EXPECT_EQ(Preprocess(c.in), c.out) << c.in;
  EXPECT_EQ(Preprocess(L"a\r\nb\tc", false), L"abc");
}

std::wstring Describe(const std::vector<Token>& tokens) {
  std::wstring out;
  for (const Token& t : tokens) {
    if (!t.is_tag) {
      out += L"[" + t.text + L"]";
    } else {
      out += L"{" + std::wstring(t.closing ? L"/" : L"") + t.name + L"|" + t.attributes + L"}";
    }
  }
  return out;
}

TEST(FeedbackMarkupTextTest, Tokens) {
  struct Case {
    std::wstring in;
    std::wstring out;
  };
  const Case cases[] = {
      {L"a<b>c</b>", L"[a]{b|}[c]{/b|}"},
      {L"x<<y", L"[x<y]"},
      {L"x<", L"[x<]"},
      {L"x<b unterminated", L"[xb unterminated]"},  // a "<" without ">" is dropped
      {L"<br=2>", L"{br|=2}"},
      {L"<a   href='q'>", L"{a|href='q'}"},
      {L"<B>x</B>", L"{B|}[x]{/B|}"},
      {L"<>", L"{|}"},
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(Describe(Tokenize(c.in)), c.out) << c.in;
}

TEST(FeedbackMarkupTextTest, Attributes) {
  struct Case {
    std::wstring in;
    std::vector<Attribute> out;
  };
  const Case cases[] = {
      {L"href='a b' size=3", {{L"href", L"a b"}, {L"size", L"3"}}},
      {L"face=\"Arial\"  color = red", {{L"face", L"Arial"}, {L"color", L"red"}}},
      {L"href='never closed", {{L"href", L"never closed"}}},
      {L"flag other=1", {{L"flag", L""}, {L"other", L"1"}}},
      {L"= ' \"", {}},
      {L"href='a<<b'", {{L"href", L"a<b"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseAttributes(c.in), c.out) << c.in;

  std::wstring value;
  EXPECT_TRUE(FindAttribute(ParseAttributes(L"face=Arial face=''"), L"face", &value));
  EXPECT_EQ(value, L"Arial");  // an empty text value keeps the earlier one
  EXPECT_FALSE(FindAttribute(ParseAttributes(L"size=1"), L"face", &value));
}

TEST(FeedbackMarkupTextTest, PlainTextOfMessages) {
  EXPECT_EQ(PlainText(L"Do you really want to exit?"), L"Do you really want to exit?");
  EXPECT_EQ(PlainText(L"done.Saved file(s) location is:<br><a href='D:\\Out'>D:\\Out</a>"),
            L"done.Saved file(s) location is:\r\nD:\\Out");
  EXPECT_EQ(PlainText(L"&lt;a href=\"x\"&gt;y&lt;/a&gt;.ods"), L"<a href=\"x\">y</a>.ods");
}

}  // namespace
}  // namespace velmora::markup
