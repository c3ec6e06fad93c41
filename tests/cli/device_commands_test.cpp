#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "device/transcript.h"
#include "link/device_link.h"
#include "platform/device_lock.h"
#include "protocol/device_ids.h"
#include "protocol/message.h"
#include "protocol/version_query.h"
#include "tests/support/image_builder.h"
#include "tests/support/test_temp_path.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

namespace qx80::cli {
namespace {

// The system's own words for a file that is not there (they differ between systems).
std::string MissingFileReason(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::status(path, error).type() == std::filesystem::file_type::not_found ? error.message() : "";
}

struct CommandRun {
  int exit;
  std::string out;
  std::string err;
};

// The clock runs 50 times faster: a whole update of the carried package takes well under a
// second. Answers are waited for in real time, unless a case scales its time-outs.
CommandRun RunCommand(CommandFunction command, std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.end(), {"--speed", "50"});
  std::istringstream in(input);
  std::streambuf* const stdinBuffer = std::cin.rdbuf(in.rdbuf());
  std::ostringstream out;
  std::ostringstream err;
  const int exit = command(args, out, err);
  std::cin.rdbuf(stdinBuffer);
  return {exit, out.str(), err.str()};
}

struct CommandCase {
  const char* name;
  CommandFunction command;
  std::vector<std::string> args;
  std::string input;  // standard input
  int exit;
  std::vector<std::string> out;  // each appears in this order
  std::string err;               // appears on the error stream ("" when it stays empty)
};

// Test names show the case's name, not its bytes.
void PrintTo(const CommandCase& c, std::ostream* os) {
  *os << c.name;
}

const CommandCase kCases[] = {
    {"UpdateOk",
     &RunUpdate,
     {"--device", "sim", "--yes"},
     "",
     0,
     {"before: QX-80 in normal mode", "UAMC       2.05    2.09", "FWUP       2.05    2.09", "updating...",
      "progress: 10%", "progress: 50%", "progress: 100%", "result: 0 (ResultOk)", "Firmware has been updated.",
      "after: QX-80 in normal mode", "UAMC       2.09    2.09", "FWUP       2.09    2.09",
      "confirmed: the QX-80 runs the package's versions"},
     ""},
    {"UpdateFromUpdateMode",
     &RunUpdate,
     {"--device", "sim:start-in-update-mode"},
     "",
     0,
     {"before: QX-80 in update mode",
      "updating...\nthe QX-80 is already in its update mode (an update did not finish): no switch\nsettling",
      "result: 0 (ResultOk)", "after: QX-80 in normal mode", "UAMC       2.09"},
     ""},
    {"UpdateNotNeededAsksFirst",
     &RunUpdate,
     {"--device", "sim:up-to-date"},
     "n\n",
     1,
     {"UAMC       2.09    2.09", "update not started"},
     "No update needed. Start update? [y/N] "},
    {"UpdateNotNeededConfirmed",
     &RunUpdate,
     {"--device", "sim:up-to-date"},
     "y\n",
     0,
     {"before: QX-80 in normal mode", "result: 0 (ResultOk)"},
     "No update needed. Start update? [y/N] "},
    {"UpdateRefusedBlock",
     &RunUpdate,
     {"--device", "sim:refuse-block-3", "--yes"},
     "",
     1,
     {"result: -15 (ResultWriteFailed)", "Failed to update firmware.", "after: QX-80 in normal mode",
      "UAMC       2.05    2.09"},
     "qx80: what to do: run qx80 update again; if a block is refused again"},
    {"UpdateSwitchNotAcknowledged",
     &RunUpdate,
     {"--device", "sim:no-ack-switch", "--yes", "--scale-time-outs"},
     "",
     1,
     {"result: -7 (ResultTransferFailed)", "after: QX-80 in normal mode"},
     "qx80: what to do: unplug the QX-80, plug it in again, close other programs that use it"},
    {"UpdateWithoutDevice", &RunUpdate, {"--device", "sim:no-device", "--yes"}, "", 1, {}, "no QX-80 found"},
    {"UpdateUnknownScenario", &RunUpdate, {"--device", "sim:nonsense"}, "", 2, {}, "unknown scenario nonsense"},
    {"StatusNeeded",
     &RunStatus,
     {"--device", "sim"},
     "",
     0,
     {"device: QX-80 in normal mode", "UAMC       2.05    2.09", "update needed: yes"},
     ""},
    {"StatusUpToDate", &RunStatus, {"--device", "sim:up-to-date"}, "", 0, {"update needed: no"}, ""},
    {"StatusInUpdateMode",
     &RunStatus,
     {"--device", "sim:start-in-update-mode"},
     "",
     0,
     {"device: QX-80 in update mode", "the QX-80 is left in update mode; run qx80 update again to finish"},
     ""},
    {"StatusWithoutVersions",
     &RunStatus,
     {"--device", "sim:versions-refused"},
     "",
     1,
     {"UAMC       ---     2.09"},
     "the device gave no version"},
    // What happened, as it happened: no version to compare.
    {"UpdateWithoutVersions",
     &RunUpdate,
     {"--device", "sim:versions-refused", "--yes", "--speed", "50"},
     "",
     3,
     {"result: 0 (ResultOk)", "unconfirmed: the update reported success, but the QX-80 gave no version to compare"},
     "qx80: what to do: run qx80 status; if it shows no version (---)"},
    {"StatusWithoutDevice",
     &RunStatus,
     {"--device", "sim:no-device"},
     "",
     1,
     {},
     "no QX-80 found (--device sim:no-device)\nqx80: what to do: plug the QX-80 in"},
    // An interface with the QX-80's ids but other reports is no QX-80 to any command, and says so.
    {"StatusWithALookalike",
     &RunStatus,
     {"--device", "sim:wrong-reports"},
     "",
     1,
     {},
     "has the QX-80's ids but 32-byte input and 32-byte output reports, not 64: it is not taken for a QX-80\n"
     "qx80: what to do: plug the QX-80 in"},
    {"ListWithALookalike", &RunList, {"--device", "sim:wrong-reports"}, "", 1, {}, "it is not taken for a QX-80"},
    {"UpdateWithALookalike",
     &RunUpdate,
     {"--device", "sim:wrong-reports", "--yes"},
     "",
     1,
     {},
     "it is not taken for a QX-80"},
    {"CommandVersionQuery",
     &RunCommandNumber,
     {"11", "--block", "21 00 00 00", "--device", "sim"},
     "",
     0,
     {"result: 0 (ResultOk)", "status: 0, detail: 0", "block: 8 of 188 bytes shown", "    0: 21 00 00 00 32 2e 30 35"},
     ""},
    {"CommandUnknownNumber",
     &RunCommandNumber,
     {"0x80", "--device", "sim"},
     "",
     1,
     {"result: -5 (ResultUnknownCommand)"},
     ""},
    // A bad --block says exactly what is wrong with it.
    {"CommandBlockOddDigits",
     &RunCommandNumber,
     {"11", "--block", "21 0"},
     "",
     2,
     {},
     "qx80: --block has 3 hex digits, an odd number: each byte takes two\n"},
    {"CommandBlockNotHex",
     &RunCommandNumber,
     {"11", "--block", "21 0g"},
     "",
     2,
     {},
     "qx80: --block takes hex digits; character 5 is not one ('g')\n"},
    {"CommandBlockTooLong",
     &RunCommandNumber,
     {"11", "--block", std::string(189 * 2, '0')},
     "",
     2,
     {},
     "qx80: --block has 189 bytes; the block holds 188\n"},
    // Where the block holds an address, the user's bytes never become one.
    {"CommandCallerBufferGetsTheToolsOwn",
     &RunCommandNumber,
     {"0x68", "--block", "41 41 41 41 41 41 41 41 41 41 41 41", "--device", "sim"},
     "",
     0,
     {"result: 0 (ResultOk)", "buffer: ", " of 1024 bytes shown"},
     ""},
    {"CommandAddressedReadGetsTheToolsOwn",
     &RunCommandNumber,
     {"0x77", "--block", "41 41 41 41 00 00 01 00 10 00", "--device", "sim"},
     "",
     0,
     {"result: 0 (ResultOk)", "buffer: ", " of 16 bytes shown"},
     ""},
    {"CommandTextSwitchGetsNoHandler",
     &RunCommandNumber,
     {"0x25", "--block", "01 00 00 00 41 41 41 41 41 41 41 41", "--device", "sim", "--yes"},
     "",
     0,
     {"result: 0 (ResultOk)"},
     ""},
    // A command that changes the device needs --yes; the refusal says what it would do.
    {"CommandModeSwitchNeedsYes",
     &RunCommandNumber,
     {"1", "--device", "sim"},
     "",
     2,
     {},
     "qx80: command 1 switches the QX-80's mode: it restarts, and value 0 leaves it in update mode"},
    {"CommandSetNeedsYes",
     &RunCommandNumber,
     {"0x05", "--block", "01 02 03 04", "--device", "sim"},
     "",
     2,
     {},
     "qx80: command 0x05 writes to the QX-80 (a setting, an action or its memory); give --yes to run it\n"},
    {"CommandSetWithYes",
     &RunCommandNumber,
     {"0x05", "--block", "01 02 03 04", "--device", "sim", "-y"},
     "",
     0,
     {"result: 0 (ResultOk)"},
     ""},
    {"CommandRawRefused",
     &RunCommandNumber,
     {"0xA4", "--block", "41 41 41 41 41 41 00 00 10 00 00 00", "--device", "sim"},
     "",
     2,
     {},
     "command 0xA4 sends a raw request"},
    {"CommandAddressedWriteRefused", &RunCommandNumber, {"0x76", "--device", "sim"}, "", 2, {}, "command 0x76 writes"},
    {"CommandFirmwareWriteRefused", &RunCommandNumber, {"136", "--device", "sim"}, "", 2, {}, "use qx80 update"},
    {"CommandSiamWriteRefused", &RunCommandNumber, {"0x9F", "--device", "sim"}, "", 2, {}, "use qx80 update"},
    // Several QX-80: every one is listed; the others refuse to guess and name the way out.
    {"ListTwo",
     &RunList,
     {"--device", "sim:two-devices"},
     "",
     0,
     {"0: QX-80 in normal mode at sim:1:0\n  TIPA 2.05 UAMC 2.05 FWUP 2.05 FQI 2.05 AGPF 2.05\n",
      "1: QX-80 in normal mode at sim:2:0\n"},
     ""},
    {"ListUpdateMode", &RunList, {"--device", "sim:start-in-update-mode"}, "", 0, {"0: QX-80 in update mode at"}, ""},
    {"ListNone",
     &RunList,
     {"--device", "sim:no-device"},
     "",
     1,
     {},
     "no QX-80 found (--device sim:no-device)\nqx80: what to do: plug the QX-80 in"},
    {"StatusOfTwoRefused",
     &RunStatus,
     {"--device", "sim:two-devices"},
     "",
     2,
     {},
     "qx80: 2 QX-80 found (--device sim:two-devices)\nqx80: what to do: choose one with --index N or --path P; qx80 "
     "list shows them\n"},
    {"UpdateOfTwoRefused", &RunUpdate, {"--device", "sim:two-devices", "--yes"}, "", 2, {}, "2 QX-80 found"},
    {"CommandOfTwoRefused", &RunCommandNumber, {"11", "--device", "sim:two-devices"}, "", 2, {}, "2 QX-80 found"},
    {"UpdateOfTwoByIndex",
     &RunUpdate,
     {"--device", "sim:two-devices", "--yes", "--index", "1"},
     "",
     0,
     {"before: QX-80 in normal mode", "result: 0 (ResultOk)", "after: QX-80 in normal mode", "UAMC       2.09    2.09"},
     ""},
    {"StatusOfTwoByPath",
     &RunStatus,
     {"--device", "sim:two-devices", "--path=sim:2:0"},
     "",
     0,
     {"update needed: yes"},
     ""},
    {"CommandOfTwoByIndex",
     &RunCommandNumber,
     {"11", "--block", "21", "--device", "sim:two-devices", "--index=0"},
     "",
     0,
     {"result: 0 (ResultOk)"},
     ""},
    {"IndexBeyondTheDevices",
     &RunStatus,
     {"--device", "sim:two-devices", "--index", "2"},
     "",
     2,
     {},
     "no QX-80 with index 2 (2 found)"},
    {"PathOfNone", &RunUpdate, {"--device", "sim", "--path", "sim:9:0"}, "", 2, {}, "no QX-80 at sim:9:0"},
    {"IndexNotANumber", &RunStatus, {"--index", "-1"}, "", 2, {}, "bad --index -1"},
    {"IndexAndPath",
     &RunUpdate,
     {"--device", "sim:two-devices", "--index", "0", "--path", "sim:2:0"},
     "",
     2,
     {},
     "qx80: --path and --index both choose the QX-80; give one of them\n"},
    {"PathEmpty", &RunStatus, {"--path", ""}, "", 2, {}, "qx80: --path needs a path"},
    {"LogEmpty", &RunUpdate, {"--device", "sim", "--log="}, "", 2, {}, "qx80: --log needs a file name\n"},
    {"LogUnwritable",
     &RunUpdate,
     {"--device", "sim", "--yes", "--log", "no-such-directory/session.log"},
     "",
     2,
     {},
     "qx80: cannot write the transcript no-such-directory/session.log: No such file or directory\n"},
    // A bridge that cannot be reached is a device not reached (exit status 1, as for none),
    // and --json still ends with its end object, also when the update is refused.
    {"UpdateBridgeNotReached",
     &RunUpdate,
     {"--device", "bridge:127.0.0.1:1", "--yes", "--json"},
     "",
     1,
     {"{\"event\": \"end\", \"status\": \"failed\", \"exit\": 1, \"remedy\": \"start its server"},
     "(--device bridge:127.0.0.1:1)\n"},
    {"StatusBridgeNotReached",
     &RunStatus,
     {"--device", "bridge:127.0.0.1:1"},
     "",
     1,
     {},
     "(--device bridge:127.0.0.1:1)\nqx80: what to do: start its server"},
    {"UpdateLogUnwritableJson",
     &RunUpdate,
     {"--device", "sim", "--yes", "--json", "--log", "no-such-directory/session.log"},
     "",
     2,
     {"{\"event\": \"end\", \"status\": \"refused\", \"exit\": 2, \"remedy\": null, \"transcript\": null}\n"},
     "cannot write the transcript"},
    {"UpdateOfTwoRefusedJson",
     &RunUpdate,
     {"--device", "sim:two-devices", "--yes", "--json"},
     "",
     2,
     {"{\"event\": \"end\", \"status\": \"refused\", \"exit\": 2, \"remedy\": \"choose one with"},
     "2 QX-80 found"},
    {"JoinedValues", &RunStatus, {"--device=sim:up-to-date", "--speed=50"}, "", 0, {"update needed: no"}, ""},
    {"UnknownOptionNamed", &RunUpdate, {"--foo=1"}, "", 2, {}, "qx80: unknown option --foo\n"},
    {"OptionOfAnotherCommand", &RunStatus, {"--yes"}, "", 2, {}, "qx80: unknown option --yes\n"},
    {"StrayArgument", &RunStatus, {"now"}, "", 2, {}, "qx80: status takes no argument now\n"},
    {"SpeedInfinite", &RunStatus, {"--speed", "inf"}, "", 2, {}, "bad --speed inf"},
    {"SpeedZero", &RunStatus, {"--speed", "0"}, "", 2, {}, "bad --speed 0"},
    {"SpeedHuge", &RunUpdate, {"--speed", "1e300"}, "", 2, {}, "bad --speed 1e300"},
    {"SpeedTiny", &RunCommandNumber, {"11", "--speed", "1e-300"}, "", 2, {}, "bad --speed 1e-300"},
};

class DeviceCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(DeviceCommandTest, PrintsAndExits) {
  const CommandCase& c = GetParam();
  const CommandRun run = RunCommand(c.command, c.args, c.input);
  EXPECT_EQ(run.exit, c.exit) << run.out << run.err;
  size_t at = 0;
  for (const std::string& expected : c.out) {
    const size_t found = run.out.find(expected, at);
    ASSERT_NE(found, std::string::npos) << "missing \"" << expected << "\" in order in:\n" << run.out;
    at = found + expected.size();
  }
  // The question is for the user, never in the output a program reads.
  EXPECT_EQ(run.out.find("[y/N]"), std::string::npos) << run.out;
  if (c.err.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Sim, DeviceCommandTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CommandCase>& param) {
                           return std::string(param.param.name);
                         });

// The commands that need --yes come from the catalogue; the manual page shows the same list.
TEST(CommandConsentTest, HelpAndManualListTheCommandsThatChangeTheDevice) {
  const std::string list = CommandsNeedingYes();
  EXPECT_TRUE(
      list.starts_with("Commands that change the QX-80 and need --yes:\n  mode switch: 0x01\n  writes: 0x03 0x05"))
      << list;
  EXPECT_EQ(list.find(" 0x0B"), std::string::npos) << "the version query only reads";
  const CommandRun help = RunCommand(&RunCommandNumber, {"--help"});
  EXPECT_NE(help.out.find(list), std::string::npos) << help.out;
  std::ifstream page(QX80_MAN_PAGE);
  const std::string manual((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
  EXPECT_NE(manual.find(".nf\n" + list + ".fi\n"), std::string::npos) << "packaging/linux/qx80.1 lists:\n" << list;
}

// A small package of a main and a second part, as the carried one is laid out.
test::Bytes SmallPackage() {
  return test::Concat({test::BuildHeaderImage(FIRM_KIND_UAMC, 0x1000), test::BuildHeaderImage(FIRM_KIND_FWUP, 0x400)});
}

// Counts the simulated buses set up: a command that refuses its package never opens one.
class PackageGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WatchSimRigs({.began = [this](SimQx80Rig&) { ++m_busesOpened; }, .ending = {}});
  }
  void TearDown() override { WatchSimRigs({}); }

  std::atomic<int> m_busesOpened{0};
};

TEST_F(PackageGuardTest, AFaultyPackageIsRefusedBeforeTheDeviceIsTouched) {
  test::Bytes flipped = SmallPackage();
  flipped[0x800] ^= 1;
  test::Bytes truncated = SmallPackage();
  truncated.resize(0x1200);
  const test::TempImageFile flippedFile(flipped);
  const test::TempImageFile truncatedFile(truncated);
  const test::TempImageFile trailingFile(test::Concat({SmallPackage(), test::RandomBytes(100, 4)}));
  const test::TempImageFile emptyFile(test::Bytes{});
  const test::TempImageFile garbageFile(test::RandomBytes(500, 3));
  test::Bytes firstCut = SmallPackage();
  firstCut.resize(0x800);
  const test::TempImageFile firstCutFile(firstCut);
  const std::string missing = (std::filesystem::temp_directory_path() / "qx80-missing-package.bin").string();
  const struct {
    std::string package;
    std::string err;
  } cases[] = {
      {flippedFile.Path().string(),
       "qx80: the package's part 1 (UAMC, offset 0, 4096 bytes) is damaged: checksum mismatch (load -7)\n"
       "qx80: the package is refused; nothing was sent to the QX-80\n"},
      {truncatedFile.Path().string(),
       "qx80: the package's 512 bytes after the last part (from offset 4096) are not used: a FWUP part that declares "
       "1024 bytes, cut short\n"},
      {trailingFile.Path().string(), "(from offset 5120) are not used: no part the updater knows\n"},
      {emptyFile.Path().string(), ": it is empty\n"},
      {garbageFile.Path().string(), ": it is not a firmware package (no part the updater knows at its start)\n"},
      {firstCutFile.Path().string(), ": it is cut short: its UAMC part declares 4096 bytes, the file holds 2048\n"},
      {missing, "qx80: cannot read the package " + missing + ": " + MissingFileReason(missing) + "\n"},
      {std::filesystem::temp_directory_path().string(), ": it is a folder\n"},
  };
  for (const auto& c : cases) {
    const CommandRun run = RunCommand(&RunUpdate, {"--device", "sim", "--yes", "--package", c.package});
    EXPECT_EQ(run.exit, 2) << c.package;
    EXPECT_EQ(run.out, "") << c.package;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.package << ": " << run.err;
  }
  EXPECT_EQ(m_busesOpened.load(), 0);
}

TEST_F(PackageGuardTest, StatusMarksADamagedPartAndNamesTheFault) {
  test::Bytes flipped = SmallPackage();
  flipped[0x800] ^= 1;
  const test::TempImageFile flippedFile(flipped);
  CommandRun run = RunCommand(&RunStatus, {"--device", "sim", "--package", flippedFile.Path().string()});
  EXPECT_EQ(run.exit, 0);
  EXPECT_NE(run.out.find("UAMC       2.05    damaged\n  FWUP       2.05    2.09\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.err,
            "qx80: the package's part 1 (UAMC, offset 0, 4096 bytes) is damaged: checksum mismatch (load -7); qx80 "
            "update refuses it\n");

  run = RunCommand(&RunStatus, {"--device", "sim", "--json", "--package", flippedFile.Path().string()});
  EXPECT_NE(run.out.find(", \"package_problems\": [\"part 1 (UAMC, offset 0, 4096 bytes) is damaged: checksum "
                         "mismatch (load -7)\"]}\n"),
            std::string::npos)
      << run.out;
  run = RunCommand(&RunStatus, {"--device", "sim", "--json"});
  EXPECT_NE(run.out.find(", \"package_problems\": []}\n"), std::string::npos) << run.out;
}

// A device found in its update mode has no working firmware, whatever versions it reports:
// it always needs the update, which goes ahead without a question.
TEST_F(PackageGuardTest, ADeviceInUpdateModeAlwaysNeedsTheUpdate) {
  WatchSimRigs({.began =
                    [](SimQx80Rig& rig) {
                      for (const uint8_t selector : kVersionSelectors) {
                        rig.Device().SetVersion(selector, "2.09");
                      }
                    },
                .ending = {}});
  CommandRun run = RunCommand(&RunStatus, {"--device", "sim:start-in-update-mode"});
  EXPECT_EQ(run.exit, 0);
  EXPECT_NE(run.out.find("UAMC       2.09    2.09\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("update needed: yes\n"), std::string::npos) << run.out;

  run = RunCommand(&RunUpdate, {"--device", "sim:start-in-update-mode"}, "n\n");
  EXPECT_EQ(run.exit, 0) << run.out << run.err;
  EXPECT_EQ(run.out.find("No update needed"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("result: 0 (ResultOk)"), std::string::npos) << run.out;
}

// The dry run reads the device and rehearses on a twin: the device itself gets only gets (the
// version queries), never the mode switch or a write, while the twin gets the whole update.
class DryRunTest : public ::testing::Test {
 protected:
  struct Seen {
    std::vector<MessageHeader> requests;
    uint16_t productIdAtEnd = 0;
  };

  void SetUp() override {
    WatchSimRigs({.began =
                      [this](SimQx80Rig& rig) {
                        std::lock_guard<std::mutex> lock(m_mutex);
                        const size_t index = m_rigs.size();
                        m_rigs.emplace_back();
                        rig.Device().ObserveRequests([this, index](const MessageHeader& header) {
                          std::lock_guard<std::mutex> seenLock(m_mutex);
                          m_rigs[index].requests.push_back(header);
                        });
                      },
                  .ending =
                      [this](SimQx80Rig& rig) {
                        std::lock_guard<std::mutex> lock(m_mutex);
                        for (Seen& seen : m_rigs) {
                          if (seen.productIdAtEnd == 0) {
                            seen.productIdAtEnd = rig.Device().ProductId();
                            break;
                          }
                        }
                      }});
  }
  void TearDown() override { WatchSimRigs({}); }

  std::mutex m_mutex;
  std::vector<Seen> m_rigs;  // the device first, then the twin
};

TEST_F(DryRunTest, OnlyReadsReachTheDeviceAndTheTwinTakesTheWholeUpdate) {
  for (const char* device : {"sim", "sim:start-in-update-mode"}) {
    m_rigs.clear();
    const CommandRun run = RunCommand(&RunUpdate, {"--device", device, "--dry-run"});
    EXPECT_EQ(run.exit, 0) << device << run.out << run.err;
    EXPECT_EQ(run.err, "") << device;
    for (const char* line :
         {"package: 2 parts, each passes its check\n", "  UAMC: 2721152 bytes in 665 blocks\n",
          "  FWUP: 289268 bytes in 71 blocks\n", "  all: 3010420 bytes in 736 blocks\n",
          "  time on a full-speed link: 1 min 0 s and the QX-80's restarts; longest it may take: ",
          "update needed: yes\n", "rehearsal: result 0 (ResultOk), confirmed\n",
          "expected outcome: the QX-80 is updated and restarts in normal mode with UAMC 2.09, FWUP 2.09",
          "dry run: only reads reached the QX-80; nothing was changed\n"}) {
      EXPECT_NE(run.out.find(line), std::string::npos) << device << ": " << line << " in\n" << run.out;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    ASSERT_EQ(m_rigs.size(), 2u) << device;
    EXPECT_FALSE(m_rigs[0].requests.empty()) << device << ": the device's versions are read";
    for (const MessageHeader& request : m_rigs[0].requests) {
      EXPECT_EQ(request.type, MSG_GET_REQUEST) << device << ": request id " << request.id << " reached the device";
    }
    const uint16_t modeAsFound = std::string_view(device) == "sim" ? QX80_PRODUCT_NORMAL : QX80_PRODUCT_UPDATE;
    EXPECT_EQ(m_rigs[0].productIdAtEnd, modeAsFound) << device;
    EXPECT_TRUE(std::ranges::any_of(m_rigs[1].requests, [](const MessageHeader& r) { return r.length > 4096; }))
        << device << ": the twin is written";
  }
}

TEST_F(DryRunTest, JsonStatesThePlanAndTheRehearsal) {
  const CommandRun run = RunCommand(&RunUpdate, {"--device", "sim:up-to-date", "--dry-run", "--json"});
  EXPECT_EQ(run.exit, 0) << run.out << run.err;
  for (const char* line :
       {"{\"event\": \"before\", \"mode\": \"normal\", ",
        "{\"event\": \"plan\", \"parts\": [{\"name\": \"UAMC\", \"bytes\": 2721152, \"blocks\": 665}, "
        "{\"name\": \"FWUP\", \"bytes\": 289268, \"blocks\": 71}], \"bytes\": 3010420, \"blocks\": 736, "
        "\"full_speed_seconds\": 60, \"longest_seconds\": ",
        ", \"update_needed\": false}\n",
        "{\"event\": \"rehearsal\", \"code\": 0, \"name\": \"ResultOk\", \"status\": \"confirmed\", \"exit\": 0, "
        "\"remedy\": null}\n",
        "{\"event\": \"end\", \"status\": \"rehearsed\", \"exit\": 0, \"remedy\": null, \"transcript\": null}\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << " in\n" << run.out;
  }
}

// One writer per QX-80: while another link holds the device's lock, update and command are
// refused at once (exit status 2, with --json the end object), before they reach the
// device; status only reads and is not held back by it.
TEST(DeviceLockTest, SecondWriterIsRefused) {
  // A loopback address of this run alone (the lock is the machine's), where nothing listens.
  const auto n = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  const std::string device = "bridge:127." + std::to_string(n % 251 + 1) + "." + std::to_string(n / 251 % 251 + 1) +
                             "." + std::to_string(n / 63001 % 251 + 1) + ":1";
  DeviceLink holder(1.0);
  std::string error;
  ASSERT_TRUE(holder.OpenBus(device, error)) << error;
  ASSERT_EQ(holder.Lock(error), DeviceLock::Status::Held) << error;
  const std::string inUse = "qx80: the QX-80 is in use by another program";
  const CommandRun update = RunCommand(&RunUpdate, {"--device", device, "--yes", "--json"});
  EXPECT_EQ(update.exit, 2);
  EXPECT_EQ(update.out,
            "{\"event\": \"end\", \"status\": \"refused\", \"exit\": 2, \"remedy\": \"wait until the other qx80 "
            "update or qx80 command, or the updater application, has ended, then try again\", \"transcript\": null}\n");
  EXPECT_NE(update.err.find(inUse), std::string::npos) << update.err;
  const CommandRun command = RunCommand(&RunCommandNumber, {"11", "--device", device});
  EXPECT_EQ(command.exit, 2);
  EXPECT_NE(command.err.find(inUse + " (qx80 update or qx80 command, or the updater application); it was left alone"),
            std::string::npos)
      << command.err;
  EXPECT_NE(command.err.find("qx80: what to do: wait until"), std::string::npos) << command.err;
  const CommandRun status = RunCommand(&RunStatus, {"--device", device});
  EXPECT_EQ(status.err.find(inUse), std::string::npos) << status.err;
}

class LogFileTest : public ::testing::Test {
 protected:
  std::filesystem::path Path(const char* suffix) const { return TestTempPath(suffix); }
  static std::string Read(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }
  static void Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
};

// --log never destroys what is not a transcript: the package being written (also under
// another name for the same file) and any other file are left as they were, and the update
// does not begin; an empty file or an earlier transcript is replaced.
TEST_F(LogFileTest, OnlyATranscriptIsReplaced) {
  const std::filesystem::path package = Path(".bin");
  std::filesystem::copy_file(QX80_FIRMWARE_PACKAGE_PATH, package, std::filesystem::copy_options::overwrite_existing);
  const std::string packageBytes = Read(package);
  ASSERT_GT(packageBytes.size(), 1000000u);
  // The same file by another name: through its directory's "." entry.
  const std::string sameFile = (package.parent_path() / "." / package.filename()).string();
  CommandRun run =
      RunCommand(&RunUpdate, {"--device", "sim", "--yes", "--package", package.string(), "--log", sameFile});
  EXPECT_EQ(run.exit, 2);
  EXPECT_NE(run.err.find("qx80: cannot write the transcript " + sameFile + ": it is the package being written"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out.find("updating"), std::string::npos) << run.out;
  EXPECT_EQ(Read(package), packageBytes);

  const std::filesystem::path notes = Path(".txt");
  Write(notes, "my notes\n");
  run = RunCommand(&RunCommandNumber, {"11", "--device", "sim", "--log", notes.string()});
  EXPECT_EQ(run.exit, 2);
  EXPECT_NE(run.err.find("it is there and is not a transcript; it is left alone"), std::string::npos) << run.err;
  EXPECT_EQ(Read(notes), "my notes\n");

  const std::filesystem::path earlier = Path(".log");
  for (const std::string& before : {std::string(), std::string(kTranscriptHeader) + "\r\n# an earlier one\n",
                                    std::string("\xEF\xBB\xBFqx80-transcript 2\n")}) {
    Write(earlier, before);
    run = RunCommand(&RunStatus, {"--device", "sim", "--log", earlier.string()});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_TRUE(Read(earlier).starts_with(std::string(kTranscriptHeader) + "\n# qx80 status")) << Read(earlier);
  }
  std::filesystem::remove(package);
  std::filesystem::remove(notes);
  std::filesystem::remove(earlier);
}

#ifndef _WIN32
// A transcript that cannot be written on (here the file-size limit, in a child process with
// SIGXFSZ ignored as the tool's main does) never ends the update: the failure is said once
// with the OS's reason, the update is confirmed, and the end says the transcript is
// incomplete, also in JSON.
// In the child: the update under a 16 KiB file-size limit; exits with 0 when it went as it should.
[[noreturn]] void UpdateUnderFileSizeLimit(const std::string& log) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = 16384;
  setrlimit(RLIMIT_FSIZE, &limit);
  const CommandRun run = RunCommand(&RunUpdate, {"--device", "sim", "--yes", "--json", "--log", log});
  const std::string said = "qx80: cannot write the transcript " + log + " any more (File too large)";
  const bool once = run.err.find(said) != std::string::npos && run.err.find(said) == run.err.rfind(said);
  std::cerr << run.err;
  const bool ended = run.out.ends_with(
      "{\"event\": \"end\", \"status\": \"confirmed\", \"exit\": 0, \"remedy\": null, \"transcript\": "
      "\"incomplete\"}\n");
  std::_Exit(run.exit == 0 && once && ended ? 0 : 1);
}

TEST_F(LogFileTest, FailingWritesNeverStopTheUpdate) {
  const std::string log = Path(".log").string();
  EXPECT_EXIT(UpdateUnderFileSizeLimit(log), ::testing::ExitedWithCode(0), "is incomplete \\(File too large\\)");
  EXPECT_EQ(std::filesystem::file_size(log), 16384u);
  std::filesystem::remove(log);
}
#endif

// The usage line of each command names every option its help describes (by its short name
// where it has one), so that neither can leave one out.
TEST(DeviceCommandHelpTest, TheUsageLineNamesEveryOption) {
  for (const Command* command : {&LIST_COMMAND, &STATUS_COMMAND, &UPDATE_COMMAND, &COMMAND_COMMAND}) {
    SCOPED_TRACE(command->name);
    const CommandRun run = RunCommand(command->run, {"--help"}, "");
    ASSERT_EQ(run.exit, 0);
    const std::string usage = run.out.substr(0, run.out.find('\n'));
    ASSERT_EQ(usage, std::string("usage: qx80 ") + command->name + " " + command->usage);
    std::istringstream help(run.out);
    int options = 0;
    for (std::string line; std::getline(help, line);) {
      if (!line.starts_with("  -")) {
        continue;
      }
      const std::string option = line.substr(2, line.find_first_of(", ", 2) - 2);
      ++options;
      const bool named =
          usage.find("[" + option) != std::string::npos || usage.find("| " + option) != std::string::npos;
      EXPECT_TRUE(named) << option << " in " << usage;
    }
    EXPECT_GE(options, 5);
  }
}

}  // namespace
}  // namespace qx80::cli
