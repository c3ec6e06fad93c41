// The remedies table: one line of what to do for every way an update can fail, and the
// troubleshooting page showing exactly that table.
#include "cli/remedies.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "protocol/protocol_result.h"

namespace qx80::cli {
namespace {

// Every result an update can end with but success: the worker's own and those of the transfer.
constexpr int32_t kFailureResults[] = {ResultModeTimeout,        ResultNoChannel,    ResultTransferFailed,
                                       ResultImageRejected,      ResultBadParameter, ResultChannelClosed,
                                       ResultUnexpectedResponse, ResultDeviceError,  ResultImageChecksum,
                                       ResultWriteFailed,        ResultFinishFailed, ResultStopped};

TEST(RemediesTest, EveryFailureAndSituationHasOneLine) {
  for (const int32_t result : kFailureResults) {
    const Remedy* remedy = RemedyForResult(result);
    ASSERT_NE(remedy, nullptr) << result;
    EXPECT_FALSE(remedy->todo.empty()) << result;
  }
  EXPECT_EQ(RemedyForResult(ResultOk), nullptr);
  for (const Situation situation : {Situation::NoDevice, Situation::SeveralDevices, Situation::OtherAppeared,
                                    Situation::NotBack, Situation::OtherVersions, Situation::NotStarted}) {
    EXPECT_NE(RemedyFor(situation), nullptr) << static_cast<int>(situation);
  }
  std::set<std::pair<int, int32_t>> keys;
  for (const Remedy& remedy : Remedies()) {
    EXPECT_TRUE(keys.insert({static_cast<int>(remedy.situation), remedy.result}).second)
        << "a second row for " << remedy.what;
  }
}

// The rows of the page's table, in order: "| KEY | WHAT | TODO |".
std::vector<std::string> PageRows() {
  std::ifstream page(QX80_TROUBLESHOOTING_PAGE);
  std::vector<std::string> rows;
  std::string line;
  bool inTable = false;
  while (std::getline(page, line)) {
    if (line.starts_with("|---")) {
      inTable = true;
    } else if (inTable && line.starts_with("| ")) {
      rows.push_back(line);
    } else {
      inTable = false;
    }
  }
  return rows;
}

TEST(RemediesTest, TheTroubleshootingPageShowsTheTable) {
  std::vector<std::string> expected;
  for (const Remedy& remedy : Remedies()) {
    const std::string key = remedy.situation == Situation::Result
                                ? std::to_string(remedy.result) + " (" + ResultName(remedy.result) + ")"
                                : std::string("-");
    expected.push_back("| " + key + " | " + std::string(remedy.what) + " | " + std::string(remedy.todo) + " |");
  }
  std::string table;
  for (const std::string& row : expected) {
    table += row + "\n";
  }
  EXPECT_EQ(PageRows(), expected) << "the page's table should read:\n" << table;
}

}  // namespace
}  // namespace qx80::cli
