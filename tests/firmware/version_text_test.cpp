#include "firmware/version_text.h"

#include <gtest/gtest.h>

namespace qx80 {
namespace {

TEST(VersionTextTest, CutsStripsAndWidens) {
  const struct {
    std::string_view raw;
    std::u16string shown;
  } cases[] = {
      {{"0012\0\0\0\0", 8}, u"12"},
      {"0.50", u"0.50"},
      {"0000", u"0"},
      {"2.09.0000", u"2.09"},  // only four characters are read
      {{"2\0"
        "09",
        4},
       u"2"},            // the text ends at its first zero byte
      {"00a1", u"0a1"},  // a '0' goes only while a digit follows
      {"0", u"0"},
      {"", u""},
      {"1\xE9", u"1\uFFFD"},  // not ASCII: no code page guesses
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayVersionText(c.raw), c.shown) << c.raw;
  }
}

}  // namespace
}  // namespace qx80
