// qx80 update: one firmware update, by the same procedure and rules as the application: ask
// before an update that is not needed, switch the device to its update mode, write the
// package, and show the device's versions before and after.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "cli/device_report.h"
#include "cli/exit_codes.h"
#include "cli/interrupts.h"
#include "cli/package_and_device.h"
#include "cli/session_log.h"
#include "cli/terminal.h"
#include "cli/text_output.h"
#include "cli/update_dry_run.h"
#include "cli/update_report.h"
#include "device/transcript.h"
#include "platform/clock.h"
#include "protocol/protocol_result.h"
#include "workers/firm_updater.h"

namespace qx80::cli {
namespace {

constexpr const char* UPDATE_HELP =
    "Updates the QX-80's firmware with the package: the device is switched to its update mode,\n"
    "each part is written, and the device restarts with the new firmware. When the device\n"
    "already runs the package's versions, asks first (y/N) unless --yes is given; a device found\n"
    "in its update mode is always written. Before anything is sent, every part of the package is\n"
    "checked: a damaged part or bytes after the last part are named and the package refused.\n"
    "The progress line says what the update does or waits for, and how long that may take\n"
    "(in real time, also with --speed).\n"
    "Ctrl+C (SIGINT, SIGTERM, SIGHUP) before the update starts stops at once and leaves the\n"
    "device as it was. Once it runs, the first interrupt says what stopping would leave behind\n"
    "and the update goes on (so a closed terminal does not cut it short); a second one stops\n"
    "after the block in flight, within seconds even while the device finishes a part, and\n"
    "leaves the device in its update mode; a third ends the tool at once and says so.\n"
    "After the update the tool waits for the device to restart in normal mode and compares its\n"
    "versions with the package's; an interrupt there says what it waits for, a second one ends\n"
    "the wait. With --json it prints one JSON object per line instead.\n"
    "While it runs it holds the QX-80's lock: a second update or command on the same device (or\n"
    "the updater application) is refused at once.\n"
    "Exit status: 0 updated and confirmed (the device shows the package's versions); 1 failed, not\n"
    "started, or no device reached (none found, a bridge not reached or serving another client);\n"
    "2 refused before anything was sent: bad arguments, an unreadable or refused package, no\n"
    "single QX-80 chosen, a QX-80 in use by another program, a --log file that cannot be\n"
    "written; 3 unconfirmed (the update reported success, but the device did not come back or\n"
    "shows other versions); 4 interrupted.\n"
    "With --dry-run nothing that changes the device is sent: the tool reads the device's mode and\n"
    "versions, checks the package, states the plan (parts, blocks, bytes, the time on a full-speed\n"
    "link and the longest it may take), rehearses the whole update against a simulated twin of the\n"
    "device (its mode and versions) in this process and prints the outcome it expects; exit status\n"
    "0 when the rehearsal ends confirmed, 1 when not or no QX-80 is found, 2 as above.\n";

// The worker posts its result at the latest when its longest legal run ends (every request
// waiting out its time-out on every attempt); the wait only guards against a lost message, so
// it adds a minute for the host and never cuts a legal run short.
constexpr uint64_t kUpdateBoundMarginMs = 60000;
// The device restarts in normal mode after the update; the host allows it as long as for the
// switch into update mode, and a little more.
constexpr uint32_t kReturnBoundMs = 130000;
// After a failure the device may be anywhere; a restart takes seconds, so wait less.
constexpr uint32_t kReturnAfterFailureBoundMs = 15000;

constexpr const char* kInterruptedBeforeWrite = "qx80: interrupted; the QX-80 was not changed\n";
constexpr const char* kInterruptWarning =
    "qx80: the QX-80 is being updated; stopping now leaves it in update mode, without working\n"
    "      firmware until an update finishes. Interrupt again to stop after the current block.\n";
constexpr const char* kStopping =
    "qx80: stopping after the current block (interrupt again to end at once, mid-block)\n";
constexpr const char* kEndedAtOnce =
    "qx80: ended at once by a third interrupt: the QX-80 is left in update mode, perhaps in the\n"
    "      middle of a block, without working firmware; the transcript (--log) ends here. Run\n"
    "      qx80 update --yes to finish.\n";
constexpr const char* kStopWaiting = "qx80: stopped waiting; the update itself has ended\n";

// The application's words for the result (its texts 4005 and 4006 in English).
const char* OutcomeText(int32_t result) {
  return result == 0 ? "Firmware has been updated." : "Failed to update firmware.";
}

// The question goes where the user reads messages, never into the output a program reads.
// An interrupt returns from the read (no SA_RESTART), and the next message starts a line.
bool Confirm(std::ostream& err, const InterruptWatch& interrupts) {
  err << "No update needed. Start update? [y/N] " << std::flush;
  std::string answer;
  const bool read = static_cast<bool>(std::getline(std::cin, answer));
  if (interrupts.Count() != 0) {
    err << "\n";
  }
  return read && (answer == "y" || answer == "Y" || answer == "yes");
}

// How long the waits that give up as failed may last in real time.
std::chrono::nanoseconds RealLimit(uint32_t ms) {
  return GetClock().RealBound(ms);
}

}  // namespace

int RunUpdate(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  DeviceOptions options;
  if (const auto done = ParseDeviceCommand(UPDATE_COMMAND, UPDATE_HELP, args,
                                           {.package = true, .yes = true, .choose = true, .json = true, .dryRun = true},
                                           false, options, out, err)) {
    return *done;
  }
  return options.dryRun ? RunDryRun(options, out, err) : UpdateDevice(options, out, err);
}

int UpdateDevice(const DeviceOptions& options, std::ostream& out, std::ostream& err) {
  InterruptWatch interrupts;
  const auto interruptedBeforeWrite = [&] {
    if (interrupts.Count() == 0) {
      return false;
    }
    err << kInterruptedBeforeWrite;
    return true;
  };
  PackageAndDevice both(options, Access::Write);
  TranscriptWatch transcript(both.Link(), options);
  UpdateReport report(out, err, options.json, IsTerminal(out), TerminalColumns(), transcript);
  if (const OpenFailure failure = both.Open(err); failure != OpenFailure::None) {
    return report.End(ExitStatusOf(failure) == EXIT_FAILED ? UpdateStatus::Failed : UpdateStatus::Refused,
                      RemedyOf(failure));
  }
  const FirmSlots& slots = both.Slots();
  SessionLoop& loop = both.Loop();
  CDeviceSession& session = both.Session();
  const int32_t mode = both.WaitForDevice();
  if (interruptedBeforeWrite()) {
    return report.End(UpdateStatus::Interrupted, nullptr);
  }
  if (mode == DEVICE_MODE_ABSENT) {
    PrintNoDevice(err, options);
    return report.End(UpdateStatus::Failed, RemedyFor(Situation::NoDevice));
  }
  report.Before(mode, slots, session.DeviceVersions());

  if (!UpdateNeeded(mode, slots, session.DeviceVersions()) && !options.yes) {
    const bool confirmed = !options.json && Confirm(err, interrupts);
    if (interruptedBeforeWrite()) {
      return report.End(UpdateStatus::Interrupted, nullptr);
    }
    if (!confirmed) {
      if (!options.json) {
        out << "update not started\n";
      }
      return report.End(UpdateStatus::Declined, nullptr);
    }
    if (g_deviceMode.load() == DEVICE_MODE_ABSENT) {
      PrintNoDevice(err, options);
      return report.End(UpdateStatus::Failed, RemedyFor(Situation::NoDevice));
    }
  }
  if (interruptedBeforeWrite()) {
    return report.End(UpdateStatus::Interrupted, nullptr);
  }
  if (session.StartUpdate(slots, nullptr, true) < 0) {
    err << "qx80: the update could not be started\n";
    return report.End(UpdateStatus::Failed, RemedyFor(Situation::NotStarted));
  }
  report.Started(mode == DEVICE_MODE_UPDATE);
  const auto started = std::chrono::steady_clock::now();
  bool finished = false;
  int32_t result = ResultNoChannel;
  int interruptsSeen = 0;
  // Whether the device has been seen in its update mode tells what a failure means.
  UpdateStage stage = mode == DEVICE_MODE_UPDATE ? UpdateStage::Write : UpdateStage::Switch;
  // The user's interrupts are read between messages: the first warns, the second asks the
  // worker to stop after the block in flight; its result still comes as the message.
  const auto followInterrupts = [&] {
    if (session.ReportedMode() == DEVICE_MODE_UPDATE) {
      stage = UpdateStage::Write;
    }
    if (transcript.FailureUnsaid()) {
      report.Break();
      transcript.SayFailure(err);
    }
    const int count = std::min(interrupts.Count(), 2);
    while (interruptsSeen < count) {
      report.Break();
      ++interruptsSeen;
      err << (interruptsSeen == 1 ? kInterruptWarning : kStopping) << std::flush;
      if (interruptsSeen == 2) {
        session.StopUpdateAfterBlock();
      }
    }
    return finished;
  };
  // The third interrupt does not wait for this loop: the handler ends the tool, first ending
  // the line the terminal may show. Only for the process's own output: a rehearsal (--dry-run)
  // writes into a buffer and changes no device.
  if (&out == &std::cout) {
    const Remedy* const leftMidBlock = RemedyForResult(ResultStopped, UpdateStage::Write);
    interrupts.EndAtThird(
        std::string(report.DrawsInPlace() ? "\n" : "") + kEndedAtOnce,
        options.json ? UpdateReport::EndLine(UpdateStatus::Interrupted, leftMidBlock, transcript.State()) : "");
  }
  const uint64_t boundMs = CFirmUpdater::TimeBoundMs(slots) + kUpdateBoundMarginMs;
  const auto bound = static_cast<uint32_t>(std::min<uint64_t>(boundMs, UINT32_MAX));
  const bool posted = loop.RunUntil(followInterrupts, bound, [&](const WindowMessage& message) {
    if (message.message == WM_UPDATE_STEP) {
      report.Step(UpdateStepOf(message));
    } else if (message.message == WM_UPDATE_FINISHED) {
      result = static_cast<int32_t>(static_cast<intptr_t>(message.wParam));
      finished = true;
    }
  });
  interrupts.KeepRunningAtThird();
  if (!posted) {
    report.Break();
    err << "qx80: the update did not end in time\n";
    return report.End(UpdateStatus::Failed, RemedyForResult(ResultTransferFailed, stage));
  }
  session.OnUpdateFinished(result);
  report.Result(result, std::chrono::steady_clock::now() - started, OutcomeText(result));
  const bool othersAppeared = PrintOtherDevices(err, both.Link());
  if (result == ResultStopped) {
    err << "qx80: " << kLeftInUpdateMode << "\n";
    return report.End(UpdateStatus::Interrupted, RemedyForResult(result, stage));
  }

  NoteTranscriptPhase("waiting for the device to restart in normal mode");
  const uint32_t returnBoundMs = result == ResultOk ? kReturnBoundMs : kReturnAfterFailureBoundMs;
  // The update has ended: an interrupt now only says what the tool waits for, a second one
  // ends the wait.
  const int interruptsBefore = interrupts.Count();
  report.Restarting(RealLimit(returnBoundMs));
  int waitInterruptsSeen = 0;
  bool waitEnded = false;
  const bool back = loop.RunUntil(
      [&] {
        // A device that never left (a refused switch) is not reported again: reconnect here.
        if (session.ReportedMode() == DEVICE_MODE_NORMAL && !session.IsConnected()) {
          session.ConnectDevice(DEVICE_MODE_NORMAL);
        }
        while (waitInterruptsSeen < std::min(interrupts.Count() - interruptsBefore, 2)) {
          ++waitInterruptsSeen;
          if (waitInterruptsSeen == 1) {
            err << "qx80: waiting up to " << DurationText(RealLimit(returnBoundMs))
                << " in all for the QX-80 to restart in normal mode, to confirm the update;\n"
                << "      interrupt again to stop waiting\n"
                << std::flush;
          } else {
            err << kStopWaiting << std::flush;
            waitEnded = true;
          }
        }
        return waitEnded || (session.ReportedMode() == DEVICE_MODE_NORMAL && session.IsConnected());
      },
      returnBoundMs);
  if (waitEnded) {
    report.After(false, slots, session.DeviceVersions());
    return report.End(UpdateStatus::Interrupted,
                      result == ResultOk ? RemedyFor(Situation::NotConfirmed) : RemedyForResult(result, stage));
  }
  report.After(back, slots, session.DeviceVersions());
  if (result != ResultOk) {
    const bool lostToAnother = result == ResultModeTimeout && othersAppeared;
    return report.End(UpdateStatus::Failed,
                      lostToAnother ? RemedyFor(Situation::OtherAppeared) : RemedyForResult(result, stage));
  }
  // Success is what the device shows afterwards: back in normal mode with the package's versions.
  if (!back) {
    return report.End(UpdateStatus::Unconfirmed, RemedyFor(Situation::NotBack));
  }
  if (!AreVersionsInstalled(MakeVersionSlots(slots, session.DeviceVersions()))) {
    const bool noneRead = std::ranges::all_of(session.DeviceVersions(), [](const std::u16string& version) {
      return version.empty() || version == kVersionUnavailable;
    });
    return report.End(UpdateStatus::Unconfirmed,
                      RemedyFor(noneRead ? Situation::NoVersions : Situation::OtherVersions));
  }
  return report.End(UpdateStatus::Confirmed, nullptr);
}

const Command UPDATE_COMMAND = {"update", &RunUpdate,
                                "[-h] [-y] [--dry-run] [--json] [--device D] [--path P | --index N] [--package FILE] "
                                "[--log FILE] [--speed X [--scale-time-outs]]",
                                "update the device's firmware with the package"};

}  // namespace qx80::cli
