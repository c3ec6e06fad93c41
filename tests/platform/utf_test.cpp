#include "platform/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace qx80 {
namespace {

// Both directions over the same texts: ASCII, two-, three- and four-byte sequences (a
// surrogate pair in UTF-16).
TEST(UtfTest, ConvertsBothWays) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"", u""},
      {"QX-80 2.09", u"QX-80 2.09"},
      {"caf\xC3\xA9", u"caf\u00E9"},
      {"\xE6\x9B\xB4\xE6\x96\xB0", u"\u66F4\u65B0"},
      {"\xF0\x9F\x8E\xB5", u"\U0001F3B5"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8FromUtf16(c.utf16), c.utf8);
    EXPECT_EQ(Utf16FromUtf8(c.utf8), c.utf16) << c.utf8;
  }
}

TEST(UtfTest, AnUnpairedSurrogateBecomesTheReplacementCharacter) {
  EXPECT_EQ(Utf8FromUtf16(std::u16string{u'a', char16_t{0xD800}}), "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf8FromUtf16(std::u16string{char16_t{0xDC00}, u'b'}),
            "\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf8FromUtf16(std::u16string{char16_t{0xDC00}, char16_t{0xD800}}), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

// Every kind of invalid UTF-8 is refused whole, never half converted.
TEST(UtfTest, InvalidUtf8GivesNothing) {
  for (const char* bad : {"\x80", "a\xC3", "\xC3\x28", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\xF8\x88\x80\x80\x80", "\xFF", "ok\xE6\x9B"}) {
    EXPECT_EQ(Utf16FromUtf8(bad), u"") << bad;
  }
}

// The length of the sequence at a place, by the same rule: what the JSON writer keeps as it is.
TEST(UtfTest, SequenceLengthFollowsTheSameRule) {
  struct Case {
    std::string text;
    size_t at;
    size_t length;
  };
  const Case cases[] = {
      {"a", 0, 1},    {"caf\xC3\xA9", 3, 2}, {"\xF0\x9F\x8E\xB5", 0, 4},
      {"\xC3", 0, 0}, {"\xC3\xA9", 1, 0},    {"\xED\xA0\x80", 0, 0},
      {"ab", 2, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8SequenceLength(c.text, c.at), c.length) << c.text << " at " << c.at;
  }
}

}  // namespace
}  // namespace qx80
