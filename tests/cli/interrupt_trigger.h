#pragma once
// A stream buffer that notes `count` interrupts through the tool's own seam once the text
// written to it contains `trigger`: a test's stand-in for a user pressing Ctrl+C at the moment
// the tool's output shows something.
#include <sstream>
#include <string>

#include "cli/interrupts.h"

namespace qx80::cli {

class InterruptTrigger : public std::stringbuf {
 public:
  InterruptTrigger(std::string trigger, int count) : m_trigger(std::move(trigger)), m_count(count) {}

 protected:
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    const std::streamsize written = std::stringbuf::xsputn(text, count);
    Check();
    return written;
  }
  int_type overflow(int_type c) override {
    const int_type result = std::stringbuf::overflow(c);
    Check();
    return result;
  }

 private:
  void Check() {
    if (!m_fired && m_count > 0 && str().find(m_trigger) != std::string::npos) {
      m_fired = true;
      for (int i = 0; i < m_count; ++i) {
        NoteInterrupt();
      }
    }
  }

  std::string m_trigger;
  int m_count;
  bool m_fired = false;
};

}  // namespace qx80::cli
