#pragma once
// The transcript a device command writes with --log.
#include <ostream>
#include <string>

#include "cli/device_options.h"
#include "link/device_link.h"

namespace qx80::cli {

// With --log, starts the transcript of the session on the bus the link has open (after the
// choice of the device, so that only the chosen one is recorded); nothing without it. False
// with the reason on `err` when it cannot be started: the OS's reason when the file cannot be
// written, or that the file is the package or is there and is not a transcript (docs/cli.md).
bool StartSessionLog(DeviceLink& link, const DeviceOptions& options, std::ostream& err);

// What became of the transcript while the command ran. A write that fails ends the
// transcript, never the command: the failure is said once, when first seen, and the
// command's end says that the transcript is incomplete.
class TranscriptWatch {
 public:
  TranscriptWatch(const DeviceLink& link, const DeviceOptions& options) : m_link(&link), m_options(options) {}

  // Whether a write has failed and that has not been said yet.
  bool FailureUnsaid() const;
  // Says it on `err`: the file, the OS's reason, and that the command goes on.
  void SayFailure(std::ostream& err);
  // "complete" or "incomplete" while a transcript is written, empty without one.
  std::string State() const;
  // The command's last word on it: on `err`, when a write failed.
  void SayIncomplete(std::ostream& err) const;
  // The link is about to go (a dry run's, before its rehearsal): keeps what became of the
  // transcript, and never reads the link again.
  void Keep();

 private:
  bool Recording() const { return m_link != nullptr ? m_link->Recording() : m_recording; }
  std::string Failure() const { return m_link != nullptr ? m_link->TranscriptFailure() : m_failure; }

  const DeviceLink* m_link;
  const DeviceOptions& m_options;
  bool m_said = false;
  bool m_recording = false;  // after Keep
  std::string m_failure;     // after Keep
};

}  // namespace qx80::cli
