#pragma once
// The user's requests to stop the tool (Ctrl+C or Ctrl+Break on a console, SIGINT, SIGTERM),
// counted while an InterruptWatch lives. The platform's handler does nothing but add to a
// lock-free counter; the command reads the count from its own loop and decides there what an
// interrupt means at that point. While the watch lives a closed output pipe no longer ends
// the process (SIGPIPE is ignored): writes to it fail and the command carries on.
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
};

// What the handlers do for each interrupt; tests call it in place of a signal.
void NoteInterrupt();

}  // namespace qx80::cli
