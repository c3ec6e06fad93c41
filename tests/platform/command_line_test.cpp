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

// A table of entries applies the options given in their order and stops at the first refusal.
struct Applied {
  std::string log;  // "name=value;" of each option applied
};
constexpr OptionEntry<Applied> kEntries[] = {
    {{"--yes", "-y", "", ""},
     [](const std::string&, Applied& applied, std::ostream&) {
       applied.log += "yes;";
       return true;
     }},
    {{"--device", "", "D", ""},
     [](const std::string& value, Applied& applied, std::ostream& err) {
       if (value == "bad") {
         err << "qx80: bad --device\n";
         return false;
       }
       applied.log += "device=" + value + ";";
       return true;
     }},
};

TEST(ArgsTest, EntriesApplyInOrderUpToTheFirstRefusal) {
  const struct {
    std::vector<std::string> args;
    bool ok;
    std::string log;
    std::vector<std::string> positional;
    std::string err;
  } kApplyCases[] = {
      {{"--device", "sim", "x", "-y", "--device=usb"}, true, "device=sim;yes;device=usb;", {"x"}, ""},
      {{"-y", "--device", "bad", "x", "--yes"}, false, "yes;", {"x"}, "qx80: bad --device\n"},
      // Nothing applies when the arguments do not parse.
      {{"-y", "x", "--no"}, false, "", {}, "qx80: unknown option --no\n"},
  };
  for (const auto& c : kApplyCases) {
    Applied applied;
    std::vector<std::string> positional;
    std::ostringstream err;
    EXPECT_EQ(ParseOptions("qx80", c.args, kEntries, applied, positional, err), c.ok) << c.log;
    EXPECT_EQ(applied.log, c.log);
    EXPECT_EQ(positional, c.positional) << c.log;
    EXPECT_EQ(err.str(), c.err);
  }
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

// A refused --speed names the program and the range; the speed stays as it was.
TEST(ArgsTest, SpeedOptionRefusal) {
  double speed = 1.0;
  std::ostringstream err;
  EXPECT_FALSE(ParseSpeedOption("qx80-sim", "1e7", speed, err));
  EXPECT_EQ(err.str(), "qx80-sim: bad --speed 1e7 (from 0.001 to 1e+06)\n");
  EXPECT_EQ(speed, 1.0);
  EXPECT_TRUE(ParseSpeedOption("qx80", "50", speed, err));
  EXPECT_EQ(speed, 50.0);
}

}  // namespace
}  // namespace qx80
