#pragma once
// Transcripts of a session with the device (docs/transcripts.md): one line per event, each
// with the monotonic time since the transcript began. The HID layer writes what crosses the
// bus (interfaces opened and closed, reports out and in, interfaces lost); the front end adds
// its phases and the result. The reader turns a transcript back into events, for a replay.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
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
constexpr size_t kMaxTranscriptLineLength = 16 * 1024;
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
  // Starts the transcript in `path` (replacing the file), with `about` (what was run) in a
  // comment line under the header; false when the file cannot be written.
  bool Open(const std::filesystem::path& path, std::string_view about);
  // Appends one event line; `text` must hold no line break. Safe from any thread. Each line
  // is flushed, so a session that ends abruptly keeps everything before it.
  void Write(std::string_view kind, std::string_view text);

 private:
  std::mutex m_mutex;
  std::ofstream m_file;
  std::chrono::steady_clock::time_point m_start;
};

// The transcript of the process's session, while one is being written.
void SetCurrentTranscript(TranscriptWriter* writer);
// Writes a phase or the result to the current transcript; nothing without one.
void NoteTranscriptPhase(std::string_view text);
void NoteTranscriptResult(int32_t code, std::string_view name);

// Lower-case hex digits, two per byte, and back (false on anything else).
std::string HexBytes(std::span<const uint8_t> bytes);
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& bytes);

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
