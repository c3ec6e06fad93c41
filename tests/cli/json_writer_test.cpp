// The tool's JSON writer: commas and spacing as every --json line has them, and strings from
// outside (paths, device texts) that stay valid JSON whatever they hold.
#include "cli/json_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "tests/cli/json_check.h"

namespace qx80::cli {
namespace {

using test::JsonCheck;

TEST(JsonWriterTest, CommasAndSpacingAtEveryDepth) {
  const struct {
    std::function<void(JsonWriter&)> write;
    std::string text;
  } cases[] = {
      {[](JsonWriter& j) { j.BeginObject().EndObject(); }, "{}"},
      {[](JsonWriter& j) { j.BeginArray().EndArray(); }, "[]"},
      {[](JsonWriter& j) {
         j.BeginObject().Key("a").Integer(1).Key("b").BeginArray().Integer(2).Integer(3).EndArray().EndObject();
       },
       R"({"a": 1, "b": [2, 3]})"},
      {[](JsonWriter& j) {
         j.BeginArray().BeginObject().Key("x").Null().Key("y").Bool(true).EndObject();
         j.BeginArray().EndArray().BeginObject().Key("z").Bool(false).EndObject();
         j.Integer(-7).Literal("391.5").EndArray();
       },
       R"([{"x": null, "y": true}, [], {"z": false}, -7, 391.5])"},
      {[](JsonWriter& j) {
         j.BeginObject().Key("outer").BeginObject().Key("inner").BeginArray();
         j.BeginArray().Integer(1).EndArray().BeginArray().Integer(2).BeginObject().Key("k").String("v");
         j.EndObject().EndArray().EndArray().EndObject().Key("after").Integer(0).EndObject();
       },
       R"({"outer": {"inner": [[1], [2, {"k": "v"}]]}, "after": 0})"},
      {[](JsonWriter& j) {
         j.BeginArray()
             .Integer(std::numeric_limits<uint64_t>::max())
             .Integer(std::numeric_limits<int32_t>::min())
             .EndArray();
       },
       "[18446744073709551615, -2147483648]"},
      {[](JsonWriter& j) { j.BeginObject().Key("a \"b\"").String(u"").EndObject(); }, R"({"a \"b\"": ""})"},
  };
  for (const auto& c : cases) {
    JsonWriter json;
    c.write(json);
    EXPECT_EQ(json.Text(), c.text);
    EXPECT_TRUE(JsonCheck::Valid(json.Text())) << json.Text();
  }
}

// Paths and messages are UTF-8: valid sequences stay as they are, a byte outside one becomes
// U+FFFD, so that a client decoding the line never fails on a strange file name.
TEST(JsonWriterTest, Utf8TextFromOutsideStaysValidJson) {
  const struct {
    std::string_view text;
    std::string json;
  } cases[] = {
      {"/dev/hidraw0", R"("/dev/hidraw0")"},
      {R"(say "hi")", R"("say \"hi\"")"},
      {R"(C:\dir\)", R"("C:\\dir\\")"},
      {"\n\t\r\x01", R"("\u000A\u0009\u000D\u0001")"},
      {"\x1b[2J", R"("\u001B[2J")"},
      {"a\x7f", R"("a\u007F")"},
      {std::string_view("a\0b", 3), R"("a\u0000b")"},
      {"\xc3\xa9\xe6\xbc\xa2\xf0\x9f\x98\x80", "\"\xc3\xa9\xe6\xbc\xa2\xf0\x9f\x98\x80\""},  // é, 漢, an emoji
      {"\xc2\x9b", "\"\xc2\x9b\""},                                                          // C1 CSI: valid JSON
      {"\xff", R"("\uFFFD")"},
      {"\x80x", R"("\uFFFDx")"},                                        // a stray continuation byte
      {"a\xe6\xbc", R"("a\uFFFD\uFFFD")"},                              // cut short at the end
      {"\xc3(", R"("\uFFFD(")"},                                        // cut short by ASCII
      {"\xc0\xaf", R"("\uFFFD\uFFFD")"},                                // an overlong "/"
      {"\xed\xa0\x80", R"("\uFFFD\uFFFD\uFFFD")"},                      // a surrogate in UTF-8
      {"\xf4\x90\x80\x80", R"("\uFFFD\uFFFD\uFFFD\uFFFD")"},            // beyond U+10FFFF
      {"\xf8\x88\x80\x80\x80", R"("\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD")"},  // no UTF-8 lead byte
  };
  for (const auto& c : cases) {
    JsonWriter json;
    json.String(c.text);
    EXPECT_EQ(json.Text(), c.json) << c.text;
    EXPECT_TRUE(JsonCheck::Valid(json.Text())) << json.Text();
  }
}

// A device's texts are UTF-16: everything outside printable ASCII escaped, a pair kept a pair,
// an unpaired surrogate replaced (a strict client refuses a lone \uD800).
TEST(JsonWriterTest, DeviceTextsEscapeEveryUnitOutsidePrintableAscii) {
  const struct {
    std::u16string_view text;
    std::string json;
  } cases[] = {
      {u"2.09", R"("2.09")"},
      {u"\"\\", R"("\"\\")"},
      {u"\x1b[2J\r\n", R"("\u001B[2J\u000D\u000A")"},
      {std::u16string_view(u"a\0b", 3), R"("a\u0000b")"},
      {u"\u00e9\u6f22\x7f\x9b", R"("\u00E9\u6F22\u007F\u009B")"},
      {u"\U0001F600", R"("\uD83D\uDE00")"},
      {u"\xd800", R"("\uFFFD")"},
      {u"\xdc00x", R"("\uFFFDx")"},
      {u"\xde00\xd83d", R"("\uFFFD\uFFFD")"},  // a pair the wrong way round
      {u"2.09\xd83d", R"("2.09\uFFFD")"},      // a high one at the end
  };
  for (const auto& c : cases) {
    JsonWriter json;
    json.String(c.text);
    EXPECT_EQ(json.Text(), c.json);
    EXPECT_TRUE(JsonCheck::Valid(json.Text())) << json.Text();
  }
}

// The checker above is no rubber stamp.
TEST(JsonWriterTest, TheCheckerRefusesWhatClientsRefuse) {
  for (const std::string_view text :
       {R"({"a": 1,})", R"({"a" 1})", "[1 2]", R"("\uD800")", R"("\uDC00\uD800")", "\"\xff\"", "\"\x01\"",
        "\"\xed\xa0\x80\"", "\"\xc0\xaf\"", R"("\x")", "01", "[", R"({"a": nul})"}) {
    EXPECT_FALSE(JsonCheck::Valid(text)) << text;
  }
}

// The dry run reads its rehearsal's result back from the update's own lines: a value holding
// commas, braces or quoted keys is read whole.
TEST(JsonWriterTest, FieldReadsBackWhatTheWriterWrote) {
  JsonWriter json;
  json.BeginObject()
      .Key("event")
      .String("end")
      .Key("exit")
      .Integer(1)
      .Key("remedy")
      .String("unplug the QX-80, plug it in again, then run qx80 update again")
      .Key("trap")
      .String(R"(x "exit": 2}, "y)")
      .Key("transcript")
      .Null()
      .EndObject();
  const std::string& line = json.Text();
  const struct {
    std::string_view key;
    std::string value;
  } cases[] = {
      {"event", R"("end")"},
      {"exit", "1"},
      {"remedy", R"("unplug the QX-80, plug it in again, then run qx80 update again")"},
      {"trap", R"("x \"exit\": 2}, \"y")"},
      {"transcript", "null"},
      {"code", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonField(line, c.key), c.value) << c.key;
  }
}

}  // namespace
}  // namespace qx80::cli
