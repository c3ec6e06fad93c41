#pragma once
// The tool's JSON output, built value by value: the writer puts in the commas and keeps the
// spacing of every --json line, {"a": 1, "b": [2, 3]}, and escapes every string the same way.
#include <concepts>
#include <string>
#include <string_view>
#include <vector>

namespace qx80::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The key of the object's next value.
  JsonWriter& Key(std::string_view key);

  // UTF-8 text (a path, a message): quotes, backslashes and control characters escaped, the
  // rest as it stands; a byte that is not part of valid UTF-8 becomes \uFFFD, so that what a
  // file name or an argument holds never makes the line unreadable.
  JsonWriter& String(std::string_view text);
  // A device's text: everything outside printable ASCII escaped as \uXXXX, a surrogate pair
  // as its two units, an unpaired surrogate as \uFFFD.
  JsonWriter& String(std::u16string_view text);
  template <std::integral T>
  requires(!std::same_as<T, bool>) JsonWriter& Integer(T value) { return Literal(std::to_string(value)); }
  // A value in JSON already: a number formatted for it ("391.5", JsonSeconds), or a value
  // taken as it stands from another line of the tool's JSON.
  JsonWriter& Literal(std::string_view json);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // The text written so far.
  const std::string& Text() const { return m_text; }

 private:
  // The comma before a value or key that is not the first of its object or array.
  void BeforeValue();

  std::string m_text;
  std::vector<bool> m_empty;  // per open object or array: nothing written in it yet
  bool m_afterKey = false;
};

// The JSON text of `key`'s value in a line JsonWriter wrote, where the value is a number, a
// string (quotes included, escapes as written), true, false or null: "0", "\"ResultOk\"";
// empty when the line has no such key.
std::string JsonField(std::string_view line, std::string_view key);

}  // namespace qx80::cli
