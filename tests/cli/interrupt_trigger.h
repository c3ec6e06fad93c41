#pragma once
// A stream buffer that runs actions once the text written to it contains a given text: a
// test's stand-in for a user pressing Ctrl+C at the moment the tool's output shows something,
// or for a change to the clock from that point of a run on.
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/interrupts.h"

namespace qx80::cli {

class OutputTrigger : public std::stringbuf {
 public:
  // Runs `action` once, as soon as the output contains `text`.
  void On(std::string text, std::function<void()> action) {
    m_triggers.push_back({std::move(text), std::move(action)});
  }

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
  struct Trigger {
    std::string text;
    std::function<void()> action;
    bool fired = false;
  };

  void Check() {
    for (Trigger& trigger : m_triggers) {
      if (!trigger.fired && str().find(trigger.text) != std::string::npos) {
        trigger.fired = true;
        trigger.action();
      }
    }
  }

  std::vector<Trigger> m_triggers;
};

// `count` interrupts through the tool's own seam.
inline std::function<void()> Interrupts(int count) {
  return [count] {
    for (int i = 0; i < count; ++i) {
      NoteInterrupt();
    }
  };
}

}  // namespace qx80::cli
