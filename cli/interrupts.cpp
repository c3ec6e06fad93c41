#include "cli/interrupts.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace qx80::cli {
namespace {

// Touched by the handlers, so it must work without locks.
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> g_interrupts{0};

#ifdef _WIN32

// Runs on a thread of its own that the console starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    NoteInterrupt();
    return TRUE;
  }
  return FALSE;
}

void Install() {
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

void Restore() {
  SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
}

#else

struct sigaction g_previousInt;
struct sigaction g_previousTerm;
struct sigaction g_previousPipe;

void OnSignal(int /*signal*/) {
  NoteInterrupt();
}

void Install() {
  struct sigaction action = {};
  action.sa_handler = &OnSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read of the terminal (the y/N question) returns at the interrupt.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, &g_previousInt);
  sigaction(SIGTERM, &action, &g_previousTerm);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &g_previousPipe);
}

void Restore() {
  sigaction(SIGINT, &g_previousInt, nullptr);
  sigaction(SIGTERM, &g_previousTerm, nullptr);
  sigaction(SIGPIPE, &g_previousPipe, nullptr);
}

#endif

}  // namespace

InterruptWatch::InterruptWatch() {
  g_interrupts.store(0);
  Install();
}

InterruptWatch::~InterruptWatch() {
  Restore();
}

int InterruptWatch::Count() const {
  return g_interrupts.load();
}

void NoteInterrupt() {
  g_interrupts.fetch_add(1);
}

}  // namespace qx80::cli
