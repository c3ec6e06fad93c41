// The user's interrupts during qx80 update, delivered through the tool's own seam at the
// moment the tool's output shows a given text.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/interrupts.h"
#include "tests/cli/interrupt_trigger.h"

namespace qx80::cli {
namespace {

struct InterruptCase {
  const char* name;
  const char* device;
  std::string input;    // standard input; without it, --yes
  std::string trigger;  // the text (on either stream) after which the interrupts come
  int interrupts;
  int exit;
  std::vector<std::string> out;  // each appears in this order
  std::vector<std::string> err;  // each appears in this order
};

void PrintTo(const InterruptCase& c, std::ostream* os) {
  *os << c.name;
}

constexpr const char* kWarning = "stopping now leaves it in update mode";
constexpr const char* kStopping = "stopping after the current block";
constexpr const char* kLeft = "the QX-80 is left in update mode; run qx80 update again to finish";

const InterruptCase kCases[] = {
    {"BeforeTheWrite",
     "sim",
     "",
     "before: QX-80 in normal mode",
     1,
     4,
     {"before: QX-80 in normal mode"},
     {"interrupted; the QX-80 was not changed"}},
    // The question is on standard error; the interrupt's message starts a line of its own.
    {"AtTheQuestion",
     "sim:up-to-date",
     "y\n",
     "Start update? [y/N]",
     1,
     4,
     {"before: QX-80 in normal mode"},
     {"Start update? [y/N] \nqx80: interrupted; the QX-80 was not changed"}},
    {"OnceDuringTheWrite",
     "sim",
     "",
     "progress: 30%",
     1,
     0,
     {"progress: 30%", "result: 0 (ResultOk)", "after: QX-80 in normal mode"},
     {kWarning}},
    {"TwiceDuringTheWrite",
     "sim",
     "",
     "progress: 30%",
     2,
     4,
     {"progress: 30%", "result: -17 (ResultStopped)"},
     {kWarning, kStopping, kLeft}},
    // Once the update has ended, the wait for the device's return says what it waits for,
    // and a second interrupt ends it: the update stands, unconfirmed.
    {"OnceWhileWaitingForTheReturn",
     "sim",
     "",
     "restart in normal mode...",
     1,
     0,
     {"result: 0 (ResultOk)", "after: QX-80 in normal mode"},
     {"for the QX-80 to restart in normal mode, to confirm the update", "interrupt again to stop waiting"}},
    {"TwiceWhileWaitingForTheReturn",
     "sim",
     "",
     "restart in normal mode...",
     2,
     4,
     {"result: 0 (ResultOk)", "after: the device has not come back in normal mode"},
     {"interrupt again to stop waiting", "stopped waiting; the update itself has ended",
      "what to do: run qx80 status once the QX-80 is back"}},
    {"TwiceDuringTheTicks",
     "sim",
     "",
     "progress: 5%",
     2,
     4,
     {"progress: 5%", "result: -17 (ResultStopped)"},
     {kWarning, kStopping, kLeft}},
};

class UpdateInterruptTest : public ::testing::TestWithParam<InterruptCase> {};

void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const std::string& expected : parts) {
    const size_t found = text.find(expected, at);
    ASSERT_NE(found, std::string::npos) << "missing \"" << expected << "\" in order in:\n" << text;
    at = found + expected.size();
  }
}

TEST_P(UpdateInterruptTest, StopsWhereItSays) {
  const InterruptCase& c = GetParam();
  std::istringstream in(c.input);
  std::streambuf* const stdinBuffer = std::cin.rdbuf(in.rdbuf());
  OutputTrigger outBuffer;
  outBuffer.On(c.trigger, Interrupts(c.interrupts));
  std::ostream out(&outBuffer);
  OutputTrigger errBuffer;
  errBuffer.On(c.trigger, Interrupts(c.interrupts));
  std::ostream err(&errBuffer);
  std::vector<std::string> args = {"--device", c.device, "--speed", "50"};
  if (c.input.empty()) {
    args.emplace_back("--yes");
  }
  const int exit = RunUpdate(args, out, err);
  std::cin.rdbuf(stdinBuffer);

  EXPECT_EQ(exit, c.exit) << outBuffer.str() << errBuffer.str();
  ExpectInOrder(outBuffer.str(), c.out);
  ExpectInOrder(errBuffer.str(), c.err);
  if (c.exit == 4 && c.interrupts == 1) {
    EXPECT_EQ(outBuffer.str().find("updating..."), std::string::npos) << "nothing was started";
  }
}

INSTANTIATE_TEST_SUITE_P(Interrupts, UpdateInterruptTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<InterruptCase>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace qx80::cli
