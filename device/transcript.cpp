#include "device/transcript.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/bounded_file.h"
#include "platform/visible_text.h"

namespace qx80 {
namespace {

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

template <typename T>
bool ParseNumber(std::string_view text, T& value, int base = 10) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// "name=N" with the expected name.
bool ParseField(std::string_view word, std::string_view name, uint16_t& value) {
  return word.size() > name.size() && word.starts_with(name) && word[name.size()] == '=' &&
         ParseNumber(word.substr(name.size() + 1), value);
}

// HANDLE VID:PID in=N out=N feature=N id=N PATH
bool ParseOpen(std::string_view rest, TranscriptEvent& event) {
  const std::string_view ids = NextWord(rest);
  const size_t colon = ids.find(':');
  uint16_t id = 0;
  if (colon == std::string_view::npos || !ParseNumber(ids.substr(0, colon), event.caps.vendorId, 16) ||
      !ParseNumber(ids.substr(colon + 1), event.caps.productId, 16) ||
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
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds, std::chars_format::fixed);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty() && std::isfinite(seconds) &&
         seconds >= 0 && seconds <= kMaxTranscriptSeconds;
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
  if (!ParseNumber(NextWord(rest), event.handle)) {
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

}  // namespace

bool TranscriptWriter::Open(const std::filesystem::path& path, std::string_view about) {
  std::lock_guard<std::mutex> lock(m_mutex);
  // Binary: lines end in LF on every platform, so a transcript written on Windows reads the
  // same anywhere.
  m_file.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!m_file) {
    return false;
  }
  m_start = std::chrono::steady_clock::now();
  m_file << kTranscriptHeader << "\n# " << about << "\n" << std::flush;
  return static_cast<bool>(m_file);
}

void TranscriptWriter::Write(std::string_view kind, std::string_view text) {
  // The time is taken under the lock, so that the times of the lines never go back.
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto elapsed = std::chrono::steady_clock::now() - m_start;
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%lld.%06lld", static_cast<long long>(micros / 1000000),
                static_cast<long long>(micros % 1000000));
  m_file << stamp << " " << kind << " " << text << "\n" << std::flush;
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

std::string HexBytes(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& bytes) {
  if (text.size() % 2 != 0) {
    return false;
  }
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    uint8_t byte = 0;
    if (!ParseNumber(text.substr(i, 2), byte, 16)) {
      return false;
    }
    bytes.push_back(byte);
  }
  return true;
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
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
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
    const bool otherVersion = header.starts_with(kTranscriptHeader.substr(0, kTranscriptHeader.find(' ') + 1));
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
