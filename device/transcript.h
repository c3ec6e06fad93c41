#pragma once
// Transcripts of a session with the device (docs/transcripts.md): one line per event, each
// with the monotonic time since the transcript began. The HID layer writes what crosses the
// bus (interfaces opened and closed, reports out and in, interfaces lost); the front end adds
// its phases and the result. The reader turns a transcript back into events, for a replay.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/hid_backend.h"

namespace qx80 {

// The first line of every transcript; the number changes when a reader would misread.
constexpr std::string_view kTranscriptHeader = "qx80-transcript 1";

// What a reader takes: a whole update writes about 7 MB in lines of under 200 characters, and
// its longest legal run lasts hours; anything beyond these bounds is not a transcript of ours.
constexpr uint64_t kMaxTranscriptBytes = 64ULL * 1024 * 1024;
constexpr size_t kMaxTranscriptLineLength = size_t{16} * 1024;
constexpr double kMaxTranscriptSeconds = 1.0e7;  // about 116 days

// The kinds of event lines.
namespace transcript {
constexpr std::string_view kOpen = "open";        // open HANDLE VID:PID in=N out=N feature=N id=N PATH
constexpr std::string_view kClose = "close";      // close HANDLE
constexpr std::string_view kOut = "out";          // out HANDLE HEX: a report the host started to write
constexpr std::string_view kIn = "in";            // in HANDLE HEX: a report the host read
constexpr std::string_view kLost = "lost";        // lost HANDLE read|write: the interface failed the host
constexpr std::string_view kTimeout = "timeout";  // timeout HANDLE write: a write that never completed
constexpr std::string_view kPhase = "phase";      // phase TEXT
constexpr std::string_view kResult = "result";    // result CODE NAME
}  // namespace transcript

class TranscriptWriter {
 public:
  TranscriptWriter() = default;
  ~TranscriptWriter();
  TranscriptWriter(const TranscriptWriter&) = delete;
  TranscriptWriter& operator=(const TranscriptWriter&) = delete;

  // Starts the transcript in `path`, with `about` (what was run) in a comment line under the
  // header. A file already there is replaced only when it is empty or a transcript itself
  // (of any version, a byte order mark allowed): anything else, and `keep` (the package being written;
  // the same file by device and inode, whatever its name), is left alone. False, with the
  // reason in `error` (the OS's own where it has one), when the transcript cannot be started.
  bool Open(const std::filesystem::path& path, std::string_view about, const std::filesystem::path& keep,
            std::string& error);
  // Appends one event line; `text` must hold no line break. Safe from any thread. Each line
  // is flushed, so a session that ends abruptly keeps everything before it. A line that
  // cannot be written ends the transcript there: Failure says why, and later lines are
  // dropped, so the file never holds a torn line followed by more.
  void Write(std::string_view kind, std::string_view text);
  // Empty while every line has been written; else the OS's reason for the first that was not.
  std::string Failure() const;

 private:
  mutable std::mutex m_mutex;
  std::FILE* m_file = nullptr;
  std::string m_failure;
  std::chrono::steady_clock::time_point m_start;
};

// The transcript of the process's session, while one is being written.
void SetCurrentTranscript(TranscriptWriter* writer);
// Writes a phase or the result to the current transcript; nothing without one.
void NoteTranscriptPhase(std::string_view text);
void NoteTranscriptResult(int32_t code, std::string_view name);

struct TranscriptEvent {
  size_t line = 0;     // line number in the file, from 1
  double seconds = 0;  // since the transcript began
  std::string kind;
  uint32_t handle = 0;         // open, close, out, in, lost, timeout
  HidInterfaceCaps caps;       // open
  std::vector<uint8_t> bytes;  // out, in
  std::string text;            // the rest of the line: path, lost direction, phase, result
};

// Reads a whole transcript. False, with the line and what is wrong in `error` (the line's
// control characters made visible), when the file cannot be read (not a regular file, larger
// than kMaxTranscriptBytes), does not start with the header (a byte order mark before it and
// spaces after it are taken), or has a malformed line: a time that is not a plain decimal
// from 0 to kMaxTranscriptSeconds, or a line longer than kMaxTranscriptLineLength.
bool ReadTranscript(const std::filesystem::path& path, std::vector<TranscriptEvent>& events, std::string& error);

}  // namespace qx80
