#include "cli/json_writer.h"

#include <algorithm>
#include <cstdio>

#include "platform/utf.h"

namespace qx80::cli {
namespace {

void AppendEscape(std::string& out, unsigned unit) {
  char escape[7];
  std::snprintf(escape, sizeof escape, "\\u%04X", unit);
  out += escape;
}

constexpr unsigned kReplacementCharacter = 0xFFFD;

}  // namespace

void JsonWriter::BeforeValue() {
  if (m_afterKey) {
    m_afterKey = false;
    return;
  }
  if (!m_empty.empty()) {
    if (!m_empty.back()) {
      m_text += ", ";
    }
    m_empty.back() = false;
  }
}

JsonWriter& JsonWriter::BeginObject() {
  BeforeValue();
  m_text += '{';
  m_empty.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  m_text += '}';
  m_empty.pop_back();
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  BeforeValue();
  m_text += '[';
  m_empty.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  m_text += ']';
  m_empty.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
  String(key);
  m_text += ": ";
  m_afterKey = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  BeforeValue();
  m_text += '"';
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      m_text += '\\';
      m_text += c;
    } else if (byte >= 0x20 && byte < 0x7F) {
      m_text += c;
    } else if (const size_t length = byte >= 0x80 ? Utf8SequenceLength(text, i) : 0; length > 1) {
      m_text.append(text.substr(i, length));
      i += length - 1;
    } else {
      AppendEscape(m_text, byte >= 0x80 ? kReplacementCharacter : byte);
    }
  }
  m_text += '"';
  return *this;
}

JsonWriter& JsonWriter::String(std::u16string_view text) {
  BeforeValue();
  m_text += '"';
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'"' || c == u'\\') {
      m_text += '\\';
      m_text += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      m_text += static_cast<char>(c);
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendEscape(m_text, c);
      AppendEscape(m_text, text[++i]);
    } else {
      AppendEscape(m_text, IsHighSurrogate(c) || IsLowSurrogate(c) ? kReplacementCharacter : c);
    }
  }
  m_text += '"';
  return *this;
}

JsonWriter& JsonWriter::Literal(std::string_view json) {
  BeforeValue();
  m_text += json;
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  return Literal(value ? "true" : "false");
}

JsonWriter& JsonWriter::Null() {
  return Literal("null");
}

std::string JsonField(std::string_view line, std::string_view key) {
  // A quote within a string is escaped, so a string never holds the key's own pattern.
  const std::string field = JsonWriter().Key(key).Text();
  const size_t at = line.find(field);
  if (at == std::string_view::npos) {
    return {};
  }
  const size_t begin = at + field.size();
  size_t end = line.find_first_of(",}", begin);
  if (begin < line.size() && line[begin] == '"') {
    end = begin + 1;
    while (end < line.size() && line[end] != '"') {
      end += line[end] == '\\' ? 2 : 1;
    }
    end = std::min(end + 1, line.size());
  }
  return std::string(line.substr(begin, end - begin));
}

}  // namespace qx80::cli
