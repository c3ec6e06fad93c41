// qx80 update: one firmware update, by the same procedure and rules as the application: ask
// before an update that is not needed, switch the device to its update mode, write the
// package, and show the device's versions before and after.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "cli/device_report.h"
#include "cli/interrupts.h"
#include "cli/session_loop.h"
#include "device/transcript.h"
#include "platform/clock.h"
#include "protocol/protocol_result.h"
#include "updater/core/device_link.h"
#include "workers/firm_updater.h"

#ifdef _WIN32
#include <io.h>
#define QX80_ISATTY _isatty
#define QX80_FILENO _fileno
#else
#include <unistd.h>
#define QX80_ISATTY isatty
#define QX80_FILENO fileno
#endif

namespace qx80::cli {
namespace {

constexpr const char* UPDATE_HELP =
    "Updates the QX-80's firmware with the package: the device is switched to its update mode,\n"
    "each part is written, and the device restarts with the new firmware. When the device\n"
    "already runs the package's versions, asks first (y/N) unless --yes is given.\n"
    "Ctrl+C (SIGINT, SIGTERM) before the writing begins stops at once and leaves the device\n"
    "as it was; once the device is being written, the first interrupt says what stopping would\n"
    "leave behind and the update goes on, a second one stops after the block in flight and\n"
    "leaves the device in its update mode.\n"
    "Exit status: 0 when the firmware has been updated, 1 when not, 4 when interrupted.\n";

// The worker posts its result at the latest when its longest legal run ends (every request
// waiting out its time-out on every attempt); the wait only guards against a lost message, so
// it adds a minute for the host and never cuts a legal run short.
constexpr uint64_t kUpdateBoundMarginMs = 60000;
// The device restarts in normal mode after the update; the host allows it as long as for the
// switch into update mode, and a little more.
constexpr uint32_t kReturnBoundMs = 130000;
// After a failure the device may be anywhere; a restart takes seconds, so wait less.
constexpr uint32_t kReturnAfterFailureBoundMs = 15000;
constexpr int kBarWidth = 40;

constexpr const char* kInterruptedBeforeWrite = "qx80: interrupted; the QX-80 was not changed\n";
constexpr const char* kInterruptWarning =
    "qx80: the QX-80 is being updated; stopping now leaves it in update mode, without working\n"
    "      firmware until an update finishes. Interrupt again to stop after the current block.\n";
constexpr const char* kStopping = "qx80: stopping after the current block\n";

const char* OutcomeText(uint32_t textId) {
  return textId == IDS_MSG_UPDATED ? "Firmware has been updated." : "Failed to update firmware.";
}

bool OnTerminal(const std::ostream& out) {
  return &out == &std::cout && QX80_ISATTY(QX80_FILENO(stdout)) != 0;
}

// A bar redrawn in place on a terminal; one line per new value otherwise.
class ProgressView {
 public:
  ProgressView(std::ostream& out, bool terminal) : m_out(out), m_terminal(terminal) {}
  void Show(uint32_t percent) {
    if (percent == m_last) {
      return;
    }
    m_last = percent;
    if (!m_terminal) {
      m_out << "progress: " << percent << "%\n" << std::flush;
      return;
    }
    const int filled = static_cast<int>(std::min<uint32_t>(percent, 100)) * kBarWidth / 100;
    m_out << "\r  [" << std::string(static_cast<size_t>(filled), '#')
          << std::string(static_cast<size_t>(kBarWidth - filled), '-') << "] " << percent << "%" << std::flush;
  }
  void End() {
    if (m_terminal && m_last != kNone) {
      m_out << "\n";
    }
  }
  // Ends the bar's line so that another message starts on its own; the bar is drawn anew.
  void Break() {
    End();
    m_last = kNone;
  }

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  std::ostream& m_out;
  bool m_terminal;
  uint32_t m_last = kNone;
};

bool Confirm(std::ostream& out) {
  out << "No update needed. Start update? [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    return false;
  }
  return answer == "y" || answer == "Y" || answer == "yes";
}

}  // namespace

int RunUpdate(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  DeviceOptions options;
  if (const auto done = ParseDeviceCommand(UPDATE_COMMAND, UPDATE_HELP, args,
                                           {.package = true, .yes = true, .choose = true}, false, options, out, err)) {
    return *done;
  }
  const InterruptWatch interrupts;
  const auto interruptedBeforeWrite = [&] {
    if (interrupts.Count() == 0) {
      return false;
    }
    err << kInterruptedBeforeWrite;
    return true;
  };
  FirmSlots slots;
  if (!LoadPackage(options, slots, err)) {
    return EXIT_USAGE;
  }
  DeviceLink link(options.speed, options.timeOuts);
  if (!OpenDevice(link, options, err)) {
    return EXIT_USAGE;
  }
  SessionLoop loop;
  CDeviceSession& session = loop.Session();
  const int32_t mode = loop.WaitForDevice();
  if (interruptedBeforeWrite()) {
    return EXIT_INTERRUPTED;
  }
  if (mode == DEVICE_MODE_ABSENT) {
    PrintNoDevice(err, options);
    return EXIT_FAILED;
  }
  out << "before: QX-80 in " << DeviceModeName(mode) << "\n";
  PrintVersions(out, slots, session.DeviceVersions());

  if (!IsUpdateNeeded(MakeVersionSlots(slots, session.DeviceVersions())) && !options.yes) {
    const bool confirmed = Confirm(out);
    if (interruptedBeforeWrite()) {
      return EXIT_INTERRUPTED;
    }
    if (!confirmed) {
      out << "update not started\n";
      return EXIT_FAILED;
    }
    if (g_deviceMode.load() == DEVICE_MODE_ABSENT) {
      PrintNoDevice(err, options);
      return EXIT_FAILED;
    }
  }
  if (interruptedBeforeWrite()) {
    return EXIT_INTERRUPTED;
  }
  if (session.StartUpdate(slots, loop.ProgressWindow()) < 0) {
    err << "qx80: the update could not be started\n";
    return EXIT_FAILED;
  }
  NoteTranscriptPhase("update started");
  out << "updating...\n" << std::flush;
  const uint32_t started = GetClock().TickCount();
  ProgressView progress(out, OnTerminal(out));
  bool finished = false;
  int32_t result = ResultNoChannel;
  int interruptsSeen = 0;
  // The user's interrupts are read between messages: the first warns, the second asks the
  // worker to stop after the block in flight; its result still comes as the message.
  const auto followInterrupts = [&] {
    const int count = std::min(interrupts.Count(), 2);
    while (interruptsSeen < count) {
      progress.Break();
      ++interruptsSeen;
      err << (interruptsSeen == 1 ? kInterruptWarning : kStopping) << std::flush;
      if (interruptsSeen == 2) {
        session.StopUpdateAfterBlock();
      }
    }
    return finished;
  };
  const uint64_t boundMs = CFirmUpdater::TimeBoundMs(slots) + kUpdateBoundMarginMs;
  const auto bound = static_cast<uint32_t>(std::min<uint64_t>(boundMs, UINT32_MAX));
  const bool posted = loop.RunUntil(followInterrupts, bound, [&](const WindowMessage& message) {
    if (message.message == WM_UPDATE_PROGRESS) {
      progress.Show(static_cast<uint32_t>(message.wParam));
    } else if (message.message == WM_UPDATE_FINISHED) {
      result = static_cast<int32_t>(static_cast<intptr_t>(message.wParam));
      finished = true;
    }
  });
  progress.End();
  if (!posted) {
    err << "qx80: the update did not end in time\n";
    return EXIT_FAILED;
  }
  const uint32_t textId = session.OnUpdateFinished(result);
  out << "result: " << result << " (" << ResultName(result) << ") after "
      << TicksSince(started, GetClock().TickCount()) / 1000 << " s: " << OutcomeText(textId) << "\n";
  PrintOtherDevices(err, link, result);
  if (result == ResultStopped) {
    err << "qx80: " << kLeftInUpdateMode << "\n";
    return EXIT_INTERRUPTED;
  }

  NoteTranscriptPhase("waiting for the device to restart in normal mode");
  out << "waiting for the device to restart in normal mode...\n" << std::flush;
  const bool back = loop.RunUntil(
      [&] {
        // A device that never left (a refused switch) is not reported again: reconnect here.
        if (session.ReportedMode() == DEVICE_MODE_NORMAL && !session.IsConnected()) {
          session.ConnectDevice(DEVICE_MODE_NORMAL);
        }
        return session.ReportedMode() == DEVICE_MODE_NORMAL && session.IsConnected();
      },
      result == ResultOk ? kReturnBoundMs : kReturnAfterFailureBoundMs);
  if (back) {
    out << "after: QX-80 in " << DeviceModeName(DEVICE_MODE_NORMAL) << "\n";
    PrintVersions(out, slots, session.DeviceVersions());
  } else {
    out << "after: the device has not come back in normal mode\n";
  }
  return result == ResultOk ? EXIT_DONE : EXIT_FAILED;
}

const Command UPDATE_COMMAND = {"update", &RunUpdate,
                                "[--yes] [--device D] [--path P | --index N] [--package FILE] [--speed X]",
                                "update the device's firmware with the package"};

}  // namespace qx80::cli
