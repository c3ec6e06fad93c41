// What the tool's text output makes of outside text and of durations, and the progress line
// on narrow terminals.
#include "cli/text_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "cli/session_log.h"
#include "cli/update_report.h"
#include "link/device_link.h"
#include "platform/clock.h"

namespace qx80::cli {
namespace {

using std::chrono::milliseconds;

// A device's version text reaches the terminal with its control characters shown, not sent
// (file names and paths go through VisibleText itself, tested with it).
TEST(TextOutputTest, PrintableShowsControlCharactersInsteadOfSendingThem) {
  const struct {
    std::u16string text;
    std::string shown;
  } cases[] = {
      {u"2.09", "2.09"},
      {u"\x1b[2J", "\\x1b[2J"},                           // clear the screen
      {u"2.09\r\nUAMC 9.99", "2.09\\x0d\\x0aUAMC 9.99"},  // a forged line
      {u"a\x7f\x9b"
       u"b",
       "a\\x7f\\xc2\\x9bb"},                      // DEL and the 8-bit CSI
      {u"\u00e9\u6f22", "\xc3\xa9\xe6\xbc\xa2"},  // printable text beyond ASCII stays
      {u"\xd800", "\xef\xbf\xbd"},                // an unpaired surrogate
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Printable(c.text), c.shown);
  }
}

TEST(TextOutputTest, DurationsReadAsPeopleSayThem) {
  EXPECT_EQ(DurationText(milliseconds(391500)), "6 min 32 s");
  EXPECT_EQ(DurationText(milliseconds(120200)), "2 min 1 s");  // rounded up: "up to" holds
  EXPECT_EQ(DurationText(milliseconds(130000)), "2 min 10 s");
  EXPECT_EQ(DurationText(milliseconds(20941000)), "5 h 49 min 1 s");
  EXPECT_EQ(DurationText(milliseconds(7000)), "7 s");
  EXPECT_EQ(DurationText(milliseconds(78480)), "1 min 19 s");
  EXPECT_EQ(DurationText(milliseconds(200)), "0.2 s");
  EXPECT_EQ(DurationText(milliseconds(2404)), "2.5 s");
  EXPECT_EQ(JsonSeconds(milliseconds(391500)), "391.5");
  EXPECT_EQ(JsonSeconds(milliseconds(10000)), "10");
  EXPECT_EQ(JsonSeconds(milliseconds(2404)), "2.404");
}

// Every drawing of the line, as the terminal would show it after its last carriage return.
std::vector<std::string> Drawings(const std::string& out) {
  std::vector<std::string> drawings;
  std::string current;
  for (const char c : out) {
    if (c == '\r' || c == '\n') {
      if (!current.empty()) {
        drawings.push_back(current);
      }
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) {
    drawings.push_back(current);
  }
  return drawings;
}

// The line never reaches the terminal's last column (where it would wrap and scroll at
// every redraw), however narrow, and says what the update waits for while there is room.
TEST(UpdateReportTest, TheLineFitsNarrowTerminals) {
  ScaledClock realTime(1, Bounds::Real);
  ScopedClock scoped(realTime);
  const UpdateStep steps[] = {
      {.phase = UpdatePhase::Switching, .ms = 120200},
      {.phase = UpdatePhase::Settling, .parts = 2, .percent = 3, .ms = 7000},
      {.phase = UpdatePhase::Writing, .parts = 2, .kind = 1, .percent = 45},
      {.phase = UpdatePhase::Finishing, .parts = 2, .kind = 1, .percent = 90, .ms = 391500},
      {.phase = UpdatePhase::Writing, .part = 1, .parts = 2, .kind = 2, .percent = 91},
      {.phase = UpdatePhase::Closing, .part = 1, .parts = 2, .kind = 2, .percent = 100},
  };
  const DeviceLink link(1.0);
  const DeviceOptions options;
  const TranscriptWatch transcript(link, options);
  for (const int columns : {12, 20, 30, 40, 48, 80, 200}) {
    SCOPED_TRACE(columns);
    std::ostringstream out;
    std::ostringstream err;
    UpdateReport report(out, err, false, true, columns, transcript);
    for (const UpdateStep& step : steps) {
      report.Step(step);
    }
    report.Break();
    for (const std::string& drawing : Drawings(out.str())) {
      EXPECT_LT(drawing.size(), static_cast<size_t>(columns)) << drawing;
    }
    if (columns >= 80) {
      EXPECT_NE(out.str().find("]  90% waiting up to 6 min 32 s for the QX-80 to finish writing"), std::string::npos)
          << out.str();
      EXPECT_NE(out.str().find("settling 7 s"), std::string::npos);
      EXPECT_NE(out.str().find("writing FWUP 2 of 2"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace qx80::cli
