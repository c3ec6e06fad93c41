#include "cli/session_log.h"

#include "platform/command_line.h"

namespace qx80::cli {

bool StartSessionLog(DeviceLink& link, const DeviceOptions& options, std::ostream& err) {
  std::string error;
  const std::filesystem::path keep =
      options.package.empty() ? std::filesystem::path() : PathFromArgument(options.package);
  if (link.Record(options.log, options.commandLine, keep, error)) {
    return true;
  }
  err << "qx80: cannot write the transcript " << options.log << ": " << error << "\n";
  return false;
}

bool TranscriptWatch::FailureUnsaid() const {
  return !m_said && !Failure().empty();
}

void TranscriptWatch::SayFailure(std::ostream& err) {
  m_said = true;
  err << "qx80: cannot write the transcript " << m_options.log << " any more (" << Failure()
      << "); it ends there, and qx80 " << m_options.command << " goes on\n";
}

std::string TranscriptWatch::State() const {
  if (!Recording()) {
    return {};
  }
  return Failure().empty() ? "complete" : "incomplete";
}

void TranscriptWatch::Keep() {
  m_recording = Recording();
  m_failure = Failure();
  m_link = nullptr;
}

void TranscriptWatch::SayIncomplete(std::ostream& err) const {
  const std::string failure = Failure();
  if (!failure.empty()) {
    err << "qx80: the transcript " << m_options.log << " is incomplete (" << failure << ")\n";
  }
}

}  // namespace qx80::cli
