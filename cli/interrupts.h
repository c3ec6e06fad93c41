#pragma once
// The user's requests to stop the tool (Ctrl+C or Ctrl+Break on a console, SIGINT, SIGTERM,
// and SIGHUP: a closed terminal or SSH session), counted while an InterruptWatch lives. The
// platform's handler does nothing but add to a lock-free counter; the command reads the count
// from its own loop and decides there what an interrupt means at that point. While the watch
// lives a closed output pipe no longer ends the process (SIGPIPE is ignored): writes to it
// fail and the command carries on.
//
// A hang-up counts as one interrupt, so it means what a first Ctrl+C means: before the
// device is changed the command stops at once; once the device is being written the update
// goes on to its end, as it must to leave working firmware, with nobody left to watch it.
#include <memory>
#include <string>

namespace qx80::cli {

class InterruptWatch {
 public:
  // Installs the handlers and starts the count at 0.
  InterruptWatch();
  // Puts the previous handlers back.
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Interrupts since the watch began.
  int Count() const;

  // From now on the third interrupt ends the process at once, from the handler itself, with
  // exit status 4: it writes `errText` to standard error and `outText` (when not empty) to
  // standard output first. For the one who cannot wait even for the block in flight.
  void EndAtThird(const std::string& errText, const std::string& outText);
  // The third interrupt is counted like the others again.
  void KeepRunningAtThird();

  static constexpr int kEndingInterrupt = 3;
  // What the third interrupt writes; the handler reads it.
  struct LastWords;

 private:
  std::unique_ptr<LastWords> m_lastWords;
};

// What the handlers do for each interrupt; tests call it in place of a signal.
void NoteInterrupt();

}  // namespace qx80::cli
