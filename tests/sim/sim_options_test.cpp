// qx80-sim's command line: what it runs with, and every refusal with its one line.
#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace qx80 {
namespace {

TEST(SimOptions, RunsWithCheckedValues) {
  SimOptions options;
  std::ostringstream err;
  const std::vector<std::string> args = {
      "--listen=127.0.0.1:5000", "--scenario", "up-to-date",  "--link",    "full-speed",  "--speed", "50",
      "--firmware-version",      "209a",       "--power-cut", "part1-end", "--power-off", "10"};
  ASSERT_EQ(ParseSimOptions(args, options, err), SimParse::Run) << err.str();
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(options.port, 5000);
  EXPECT_EQ(options.scenario, FindSimScenario("up-to-date"));
  EXPECT_EQ(options.link, FindSimLink("full-speed"));
  EXPECT_EQ(options.speed, 50);
  EXPECT_EQ(options.version, "209a");
  EXPECT_TRUE(options.powerCut.has_value());
  EXPECT_EQ(options.powerOffMs, 10U);
}

TEST(SimOptions, DefaultsAndRefusals) {
  struct Case {
    std::vector<std::string> args;
    SimParse parse;
    std::string err;  // the whole error output
  };
  const Case cases[] = {
      {{"--listen", "127.0.0.1:0"}, SimParse::Run, ""},
      {{"--help"}, SimParse::Help, ""},
      {{"-h", "--listen", "nowhere"}, SimParse::Help, ""},
      {{"--version"}, SimParse::Version, ""},
      // The first option that ends the parse, or refuses its value, decides.
      {{"--help", "--speed", "0"}, SimParse::Help, ""},
      {{"--version", "--help"}, SimParse::Version, ""},
      {{"--speed", "0", "--help"}, SimParse::Bad, "qx80-sim: bad --speed 0 (from 0.001 to 1e+06)\n"},
      {{"--help", "extra"}, SimParse::Bad, "qx80-sim: unexpected argument extra\n"},
      {{"--help", "--nope"}, SimParse::Bad, "qx80-sim: unknown option --nope\n"},
      {{}, SimParse::Bad, "qx80-sim: --listen takes 127.0.0.1:PORT (the bridge serves this machine only)\n"},
      {{"--listen", "127.0.0.1:65536"},
       SimParse::Bad,
       "qx80-sim: --listen takes 127.0.0.1:PORT (the bridge serves this machine only)\n"},
      {{"--listen", "127.0.0.1:0", "--scenario", "nope"}, SimParse::Bad, "qx80-sim: unknown scenario nope\n"},
      {{"--listen", "127.0.0.1:0", "--link", "slow"},
       SimParse::Bad,
       "qx80-sim: unknown link slow (known: fast, full-speed)\n"},
      {{"--listen", "127.0.0.1:0", "--firmware-version", ""},
       SimParse::Bad,
       "qx80-sim: --firmware-version takes 1 to 16 bytes (0 given), as the version query carries them\n"},
      {{"--listen", "127.0.0.1:0", "--firmware-version", "12345678901234567"},
       SimParse::Bad,
       "qx80-sim: --firmware-version takes 1 to 16 bytes (17 given), as the version query carries them\n"},
      {{"--listen", "127.0.0.1:0", "--speed", "inf"},
       SimParse::Bad,
       "qx80-sim: bad --speed inf (from 0.001 to 1e+06)\n"},
      {{"--listen", "127.0.0.1:0", "--power-cut", "part0-end"},
       SimParse::Bad,
       "qx80-sim: unknown --power-cut point part0-end (qx80-sim --help lists them)\n"},
      {{"--listen", "127.0.0.1:0", "--power-off", "0"},
       SimParse::Bad,
       "qx80-sim: bad --power-off 0 (from 1 to 86400000 milliseconds)\n"},
      {{"--listen", "127.0.0.1:0", "--power-cut", "switch", "--replay", "a.transcript"},
       SimParse::Bad,
       "qx80-sim: --power-cut cuts a scenario's device, not a replayed one\n"},
  };
  for (const Case& c : cases) {
    SimOptions options;
    std::ostringstream err;
    EXPECT_EQ(ParseSimOptions(c.args, options, err), c.parse) << testing::PrintToString(c.args);
    EXPECT_EQ(err.str(), c.err) << testing::PrintToString(c.args);
  }
}

}  // namespace
}  // namespace qx80
