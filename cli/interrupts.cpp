#include "cli/interrupts.h"

#include <atomic>
#include <cstdlib>

#include "cli/exit_codes.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>

#include <csignal>
#endif

namespace qx80::cli {

struct InterruptWatch::LastWords {
  std::string err;
  std::string out;
};

namespace {

// Touched by the handlers, so it must work without locks.
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> g_interrupts{0};
std::atomic<const InterruptWatch::LastWords*> g_lastWords{nullptr};

// Only what a signal handler may call: a plain write, then the process's immediate end.
void WriteAll(int file, const std::string& text) {
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
#ifdef _WIN32
    const int written = _write(file, data, static_cast<unsigned>(left));
#else
    const ssize_t written = write(file, data, left);
#endif
    if (written <= 0) {
      return;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
}

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
struct sigaction g_previousHup;
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
  sigaction(SIGHUP, &action, &g_previousHup);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &g_previousPipe);
}

void Restore() {
  sigaction(SIGINT, &g_previousInt, nullptr);
  sigaction(SIGTERM, &g_previousTerm, nullptr);
  sigaction(SIGHUP, &g_previousHup, nullptr);
  sigaction(SIGPIPE, &g_previousPipe, nullptr);
}

#endif

}  // namespace

InterruptWatch::InterruptWatch() {
  g_interrupts.store(0);
  Install();
}

InterruptWatch::~InterruptWatch() {
  KeepRunningAtThird();
  Restore();
}

int InterruptWatch::Count() const {
  return g_interrupts.load();
}

void InterruptWatch::EndAtThird(const std::string& errText, const std::string& outText) {
  KeepRunningAtThird();
  m_lastWords = std::make_unique<LastWords>(LastWords{errText, outText});
  g_lastWords.store(m_lastWords.get());
}

void InterruptWatch::KeepRunningAtThird() {
  g_lastWords.store(nullptr);
  m_lastWords.reset();
}

void NoteInterrupt() {
  const int count = g_interrupts.fetch_add(1) + 1;
  const InterruptWatch::LastWords* words = g_lastWords.load();
  if (count >= InterruptWatch::kEndingInterrupt && words != nullptr) {
    WriteAll(2, words->err);
    WriteAll(1, words->out);
    std::_Exit(EXIT_INTERRUPTED);
  }
}

}  // namespace qx80::cli
