#include "device/transcript.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "platform/bounded_file.h"
#include "platform/hex.h"
#include "platform/parse_number.h"
#include "platform/visible_text.h"

namespace qx80 {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// What every version's header begins with: "qx80-transcript ".
constexpr std::string_view kTranscriptName = kTranscriptHeader.substr(0, kTranscriptHeader.find(' ') + 1);

std::atomic<TranscriptWriter*> g_current{nullptr};

// Splits off the next space-separated word of `rest`.
std::string_view NextWord(std::string_view& rest) {
  const size_t start = rest.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    rest = {};
    return {};
  }
  rest.remove_prefix(start);
  const size_t end = rest.find(' ');
  const std::string_view word = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return word;
}

// "name=N" with the expected name.
bool ParseField(std::string_view word, std::string_view name, uint16_t& value) {
  return word.size() > name.size() && word.starts_with(name) && word[name.size()] == '=' &&
         ParseWholeNumber(word.substr(name.size() + 1), value);
}

// HANDLE VID:PID in=N out=N feature=N id=N PATH
bool ParseOpen(std::string_view rest, TranscriptEvent& event) {
  const std::string_view ids = NextWord(rest);
  const size_t colon = ids.find(':');
  uint16_t id = 0;
  if (colon == std::string_view::npos || !ParseWholeNumber(ids.substr(0, colon), event.caps.vendorId, 16) ||
      !ParseWholeNumber(ids.substr(colon + 1), event.caps.productId, 16) ||
      !ParseField(NextWord(rest), "in", event.caps.inputReportLength) ||
      !ParseField(NextWord(rest), "out", event.caps.outputReportLength) ||
      !ParseField(NextWord(rest), "feature", event.caps.featureReportLength) || !ParseField(NextWord(rest), "id", id) ||
      id > 0xFF) {
    return false;
  }
  event.caps.firstOutputReportId = static_cast<uint8_t>(id);
  event.text = std::string(rest);
  return true;
}

// Seconds since the transcript began: a plain decimal number, finite, from 0 to
// kMaxTranscriptSeconds (a replay turns it into a count of nanoseconds).
bool ParseSeconds(std::string_view text, double& seconds) {
  return ParseWholeDecimal(text, seconds) && std::isfinite(seconds) && seconds >= 0 && seconds <= kMaxTranscriptSeconds;
}

bool ParseEvent(std::string_view line, TranscriptEvent& event) {
  std::string_view rest = line;
  if (!ParseSeconds(NextWord(rest), event.seconds)) {
    return false;
  }
  event.kind = std::string(NextWord(rest));
  namespace t = transcript;
  if (event.kind == t::kPhase || event.kind == t::kResult) {
    event.text = std::string(rest);
    return true;
  }
  if (event.kind != t::kOpen && event.kind != t::kClose && event.kind != t::kOut && event.kind != t::kIn &&
      event.kind != t::kLost && event.kind != t::kTimeout) {
    return false;
  }
  if (!ParseWholeNumber(NextWord(rest), event.handle)) {
    return false;
  }
  if (event.kind == t::kOpen) {
    return ParseOpen(rest, event);
  }
  if (event.kind == t::kOut || event.kind == t::kIn) {
    return ParseHexBytes(NextWord(rest), event.bytes) && !event.bytes.empty();
  }
  event.text = std::string(rest);
  return true;
}

// The OS's reason for the call that has just failed.
std::string LastErrorText() {
  return std::generic_category().message(errno);
}

// Why an existing file at `path` must not be replaced by a transcript; empty when it may be:
// nothing is there, something that is not a plain file (a device such as /dev/null; opening
// it says the rest), an empty file or a transcript of any version.
std::string ReplaceRefusal(const std::filesystem::path& path, const std::filesystem::path& keep) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return {};
  }
  if (!keep.empty() && std::filesystem::equivalent(path, keep, ec)) {
    return "it is the package being written; it is left alone";
  }
  if (std::filesystem::file_size(path, ec) == 0 && !ec) {
    return {};
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return "it is there and cannot be read to see whether it is a transcript (" + LastErrorText() + ")";
  }
  char head[kByteOrderMark.size() + kTranscriptName.size()] = {};
  file.read(head, sizeof head);
  std::string_view start(head, static_cast<size_t>(file.gcount()));
  if (start.starts_with(kByteOrderMark)) {
    start.remove_prefix(kByteOrderMark.size());
  }
  if (start.starts_with(kTranscriptName)) {
    return {};
  }
  return "it is there and is not a transcript; it is left alone (remove it, or choose another file)";
}

}  // namespace

TranscriptWriter::~TranscriptWriter() {
  if (m_file != nullptr) {
    std::fclose(m_file);
  }
}

bool TranscriptWriter::Open(const std::filesystem::path& path, std::string_view about,
                            const std::filesystem::path& keep, std::string& error) {
  std::lock_guard<std::mutex> lock(m_mutex);
  error = ReplaceRefusal(path, keep);
  if (!error.empty()) {
    return false;
  }
  // Binary: lines end in LF on every platform, so a transcript written on Windows reads the
  // same anywhere.
#ifdef _WIN32
  m_file = _wfopen(path.c_str(), L"wb");
#else
  m_file = std::fopen(path.c_str(), "wb");
#endif
  if (m_file == nullptr) {
    error = LastErrorText();
    return false;
  }
  // Unbuffered: every line goes to the file at once, and a failure is the line's own.
  std::setvbuf(m_file, nullptr, _IONBF, 0);
  m_start = std::chrono::steady_clock::now();
  const std::string head = std::string(kTranscriptHeader) + "\n# " + std::string(about) + "\n";
  if (std::fwrite(head.data(), 1, head.size(), m_file) != head.size()) {
    error = LastErrorText();
    std::fclose(m_file);
    m_file = nullptr;
    return false;
  }
  return true;
}

void TranscriptWriter::Write(std::string_view kind, std::string_view text) {
  // The time is taken under the lock, so that the times of the lines never go back.
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_file == nullptr || !m_failure.empty()) {
    return;
  }
  const auto elapsed = std::chrono::steady_clock::now() - m_start;
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%lld.%06lld", static_cast<long long>(micros / 1000000),
                static_cast<long long>(micros % 1000000));
  const std::string line = std::string(stamp) + " " + std::string(kind) + " " + std::string(text) + "\n";
  if (std::fwrite(line.data(), 1, line.size(), m_file) != line.size()) {
    m_failure = LastErrorText();
  }
}

std::string TranscriptWriter::Failure() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_failure;
}

void SetCurrentTranscript(TranscriptWriter* writer) {
  g_current.store(writer);
}

void NoteTranscriptPhase(std::string_view text) {
  if (TranscriptWriter* writer = g_current.load()) {
    writer->Write(transcript::kPhase, text);
  }
}

void NoteTranscriptResult(int32_t code, std::string_view name) {
  if (TranscriptWriter* writer = g_current.load()) {
    writer->Write(transcript::kResult, std::to_string(code) + " " + std::string(name));
  }
}

bool ReadTranscript(const std::filesystem::path& path, std::vector<TranscriptEvent>& events, std::string& error) {
  const std::string name = VisibleText(path.string());
  std::string text;
  std::string reason;
  if (!ReadBoundedFile(path, kMaxTranscriptBytes, text, reason)) {
    error = name + ": " + reason;
    return false;
  }
  std::string_view rest = text;
  // A transcript that passed through an editor or a mail program may begin with a byte order
  // mark and end its lines in CR LF.
  if (rest.starts_with(kByteOrderMark)) {
    rest.remove_prefix(kByteOrderMark.size());
  }
  std::string_view line;
  const auto next = [&] {
    if (rest.empty()) {
      return false;
    }
    const size_t end = rest.find('\n');
    line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    return true;
  };
  if (!next()) {
    error = name + ": not a transcript (the file is empty)";
    return false;
  }
  const std::string_view header = line.substr(0, line.find_last_not_of(" \t") + 1);
  if (header != kTranscriptHeader) {
    const bool otherVersion = header.starts_with(kTranscriptName);
    error = name + ": not a transcript" + (otherVersion ? " of the version this program reads" : "") +
            " (its first line is \"" + VisibleText(header.substr(0, 80)) + "\" where \"" +
            std::string(kTranscriptHeader) + "\" was expected)";
    return false;
  }
  events.clear();
  const auto at = [&name](size_t number) { return name + ":" + std::to_string(number) + ": "; };
  for (size_t number = 2; next(); ++number) {
    if (line.size() > kMaxTranscriptLineLength) {
      error = at(number) + "a line longer than " + std::to_string(kMaxTranscriptLineLength) + " characters";
      return false;
    }
    if (line.empty() || line.starts_with('#')) {
      continue;
    }
    TranscriptEvent event;
    event.line = number;
    if (!ParseEvent(line, event)) {
      error = at(number) + "not an event line: " + VisibleText(line.substr(0, 80));
      return false;
    }
    events.push_back(std::move(event));
  }
  return true;
}

}  // namespace qx80
