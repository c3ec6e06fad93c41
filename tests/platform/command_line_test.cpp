#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace qx80 {
namespace {

constexpr OptionRow kYes = {"--yes", "-y", "", ""};
constexpr OptionRow kDevice = {"--device", "", "D", ""};
constexpr const OptionRow* kRows[] = {&kYes, &kDevice};

struct ArgsCase {
  const char* name;
  std::vector<std::string> args;
  bool ok;
  std::string options;  // "name=value" of each option given, in order, space-separated
  std::vector<std::string> positional;
  std::string err;  // the whole error output
};

void PrintTo(const ArgsCase& c, std::ostream* os) {
  *os << c.name;
}

const ArgsCase kCases[] = {
    {"ValueAfter", {"--device", "sim"}, true, "--device=sim", {}, ""},
    {"ValueJoined", {"--device=sim:two-devices"}, true, "--device=sim:two-devices", {}, ""},
    {"ValueEmptyJoined", {"--device="}, true, "--device=", {}, ""},
    {"ValueWithEquals", {"--device=bridge:a=b:1"}, true, "--device=bridge:a=b:1", {}, ""},
    {"ValueLooksLikeOption", {"--device", "--yes"}, true, "--device=--yes", {}, ""},
    {"FlagsAndPositional", {"11", "-y", "--yes", "-", "x"}, true, "--yes= --yes=", {"11", "-", "x"}, ""},
    {"DoubleDashEndsOptions", {"--yes", "--", "--device", "-y"}, true, "--yes=", {"--device", "-y"}, ""},
    {"Unknown", {"--foo"}, false, "", {}, "qx80: unknown option --foo\n"},
    {"UnknownWithValue", {"--foo=1"}, false, "", {}, "qx80: unknown option --foo\n"},
    {"UnknownShort", {"-x"}, false, "", {}, "qx80: unknown option -x\n"},
    {"ShortTakesNoJoinedValue", {"-y=1"}, false, "", {}, "qx80: unknown option -y=1\n"},
    {"ValueMissing", {"--device"}, false, "", {}, "qx80: --device needs a value (D)\n"},
    {"FlagWithValue", {"--yes=1"}, false, "", {}, "qx80: --yes takes no value\n"},
};

class ArgsTest : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(ArgsTest, Parses) {
  const ArgsCase& c = GetParam();
  ParsedArguments parsed;
  std::ostringstream err;
  EXPECT_EQ(ParseArguments("qx80", c.args, kRows, parsed, err), c.ok);
  EXPECT_EQ(err.str(), c.err);
  if (!c.ok) {
    return;
  }
  std::string options;
  for (const ParsedOption& option : parsed.options) {
    if (!options.empty()) {
      options += ' ';
    }
    options += std::string(option.row->name) + "=" + option.value;
  }
  EXPECT_EQ(options, c.options);
  EXPECT_EQ(parsed.positional, c.positional);
}

INSTANTIATE_TEST_SUITE_P(Table, ArgsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ArgsCase>& param) { return std::string(param.param.name); });

// Help lines line up after the option (its short name first), and a long option's help goes below it.
TEST(ArgsTest, HelpAligns) {
  static constexpr OptionRow kLong = {"--scale-time-outs", "", "", "one\ntwo"};
  constexpr const OptionRow* kHelpRows[] = {&kYes, &kLong};
  std::ostringstream out;
  PrintOptionHelp(out, kHelpRows);
  EXPECT_EQ(out.str(),
            "  -y, --yes    \n"
            "  --scale-time-outs\n"
            "               one\n"
            "               two\n");
}

TEST(ArgsTest, ClockSpeeds) {
  const struct {
    const char* text;
    bool ok;
  } kSpeeds[] = {{"50", true},     {"1e-3", true},    {"1e6", true}, {"0", false}, {"inf", false}, {"nan", false},
                 {"1e300", false}, {"1e-300", false}, {"-1", false}, {"", false},  {"5x", false}};
  for (const auto& speed : kSpeeds) {
    double value = 1.0;
    EXPECT_EQ(ParseClockSpeed(speed.text, value), speed.ok) << speed.text;
  }
}

}  // namespace
}  // namespace qx80
