#include "autotest_strings.h"

std::string Escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}
