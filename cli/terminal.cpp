#include "cli/terminal.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace qx80::cli {
namespace {

constexpr int kDefaultColumns = 80;

bool IsTerminalFile(std::FILE* file) {
#ifdef _WIN32
  return _isatty(_fileno(file)) != 0;
#else
  return isatty(fileno(file)) != 0;
#endif
}

}  // namespace

bool IsTerminal(const std::ostream& stream) {
  if (&stream == &std::cout) {
    return IsTerminalFile(stdout);
  }
  return &stream == &std::cerr && IsTerminalFile(stderr);
}

int TerminalColumns() {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) != 0) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
#else
  winsize size = {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
#endif
  return kDefaultColumns;
}

}  // namespace qx80::cli
