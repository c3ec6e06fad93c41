// The remedies table: one line of what to do for every way an update can fail, and the
// troubleshooting page showing exactly that table.
#include "cli/remedies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "protocol/protocol_result.h"

namespace qx80::cli {
namespace {

// The failure results no update ends with: a request of no bytes, a command number outside
// the table. Every other result with a name needs a line, so a new one cannot be forgotten.
constexpr int32_t kNeverFromAnUpdate[] = {ResultNothingToSend, ResultUnknownCommand};

TEST(RemediesTest, EveryFailureAndSituationHasOneLine) {
  int named = 0;
  for (int32_t result = -1; result >= -64; --result) {
    if (std::string_view(ResultName(result)) == "ResultUnknown" || std::ranges::count(kNeverFromAnUpdate, result) > 0) {
      continue;
    }
    ++named;
    for (const UpdateStage stage : {UpdateStage::Switch, UpdateStage::Write}) {
      const Remedy* remedy = RemedyForResult(result, stage);
      ASSERT_NE(remedy, nullptr) << ResultName(result);
      EXPECT_FALSE(remedy->todo.empty()) << ResultName(result);
    }
  }
  EXPECT_GE(named, 12) << "the results were not found by their names";
  EXPECT_EQ(RemedyForResult(ResultOk, UpdateStage::Write), nullptr);
  // A refused switch and a request not answered while writing are told apart.
  EXPECT_NE(RemedyForResult(ResultTransferFailed, UpdateStage::Switch),
            RemedyForResult(ResultTransferFailed, UpdateStage::Write));
  for (const Situation situation :
       {Situation::NoDevice, Situation::SeveralDevices, Situation::OtherAppeared, Situation::NotBack,
        Situation::OtherVersions, Situation::NotStarted, Situation::NotReached, Situation::InUse,
        Situation::NotConfirmed, Situation::NoVersions}) {
    EXPECT_NE(RemedyFor(situation), nullptr) << static_cast<int>(situation);
  }
  std::set<std::tuple<int, int32_t, int>> keys;
  for (const Remedy& remedy : Remedies()) {
    EXPECT_TRUE(keys.insert({static_cast<int>(remedy.situation), remedy.result, static_cast<int>(remedy.stage)}).second)
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
    const char* const stages[] = {"", ", before update mode", ", while writing"};
    const std::string key = remedy.situation == Situation::Result
                                ? std::to_string(remedy.result) + " (" + ResultName(remedy.result) + ")" +
                                      stages[static_cast<int>(remedy.stage)]
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
