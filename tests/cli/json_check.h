#pragma once
// A strict reader of one JSON text, for tests: whether it is valid JSON that any client can
// take, strings included (UTF-8 throughout, no raw control character, every \u surrogate in a
// pair).
#include <cstddef>
#include <string_view>

namespace qx80::test {

class JsonCheck {
 public:
  static bool Valid(std::string_view text) {
    JsonCheck check(text);
    return check.Value() && check.m_at == text.size();
  }

 private:
  explicit JsonCheck(std::string_view text) : m_text(text) {}

  bool Eat(std::string_view word) {
    if (m_text.substr(m_at).starts_with(word)) {
      m_at += word.size();
      return true;
    }
    return false;
  }
  unsigned Byte(size_t i) const { return i < m_text.size() ? static_cast<unsigned char>(m_text[i]) : 256U; }
  void Space() {
    while (Byte(m_at) == ' ' || Byte(m_at) == '\n' || Byte(m_at) == '\t' || Byte(m_at) == '\r') {
      ++m_at;
    }
  }

  bool Value() {
    Space();
    const unsigned c = Byte(m_at);
    bool ok = false;
    if (c == '{') {
      ok = Members('}', true);
    } else if (c == '[') {
      ok = Members(']', false);
    } else if (c == '"') {
      ok = String();
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      ok = Number();
    } else {
      ok = Eat("true") || Eat("false") || Eat("null");
    }
    Space();
    return ok;
  }

  bool Members(char close, bool keyed) {
    ++m_at;
    Space();
    if (Eat(std::string_view(&close, 1))) {
      return true;
    }
    do {
      Space();
      if (keyed) {
        if (!String()) {
          return false;
        }
        Space();
        if (!Eat(":")) {
          return false;
        }
      }
      if (!Value()) {
        return false;
      }
    } while (Eat(","));
    return Eat(std::string_view(&close, 1));
  }

  bool Number() {
    Eat("-");
    if (!Eat("0") && !Digits()) {
      return false;
    }
    if (Eat(".") && !Digits()) {
      return false;
    }
    if (Eat("e") || Eat("E")) {
      if (!Eat("+")) {
        Eat("-");
      }
      return Digits();
    }
    return true;
  }
  bool Digits() {
    const size_t begin = m_at;
    while (Byte(m_at) >= '0' && Byte(m_at) <= '9') {
      ++m_at;
    }
    return m_at > begin;
  }

  // A \uXXXX escape's unit, or -1.
  long Unit() {
    if (!Eat("\\u") || m_at + 4 > m_text.size()) {
      return -1;
    }
    long unit = 0;
    for (int i = 0; i < 4; ++i) {
      const unsigned c = Byte(m_at++);
      const int digit = c >= '0' && c <= '9'   ? static_cast<int>(c - '0')
                        : c >= 'a' && c <= 'f' ? static_cast<int>(c - 'a' + 10)
                        : c >= 'A' && c <= 'F' ? static_cast<int>(c - 'A' + 10)
                                               : -1;
      if (digit < 0) {
        return -1;
      }
      unit = unit * 16 + digit;
    }
    return unit;
  }

  bool String() {
    if (!Eat("\"")) {
      return false;
    }
    while (true) {
      const unsigned c = Byte(m_at);
      if (c == '"') {
        ++m_at;
        return true;
      }
      if (c < 0x20 || c == 256) {
        return false;
      }
      if (c == '\\' && Byte(m_at + 1) == 'u') {
        const long unit = Unit();
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
          return false;  // a low surrogate without its high one
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          const long low = Unit();
          if (low < 0xDC00 || low > 0xDFFF) {
            return false;
          }
        } else if (unit < 0) {
          return false;
        }
      } else if (c == '\\') {
        if (std::string_view("\"\\/bfnrt").find(static_cast<char>(Byte(m_at + 1))) == std::string_view::npos) {
          return false;
        }
        m_at += 2;
      } else if (c < 0x80) {
        ++m_at;
      } else if (!Utf8Sequence()) {
        return false;
      }
    }
  }

  // One UTF-8 sequence of two to four bytes, neither overlong nor a surrogate nor beyond
  // U+10FFFF.
  bool Utf8Sequence() {
    const unsigned lead = Byte(m_at);
    const size_t length = lead >= 0xF8 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0) {
      return false;
    }
    unsigned long code = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
      const unsigned c = Byte(m_at + i);
      if ((c & 0xC0) != 0x80) {
        return false;
      }
      code = code << 6 | (c & 0x3F);
    }
    const unsigned long least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    m_at += length;
    return true;
  }

  std::string_view m_text;
  size_t m_at = 0;
};

}  // namespace qx80::test
