#pragma once
// The application's command line. The product needs none. Explorer passes one word, a file's
// path, when a firmware package is dropped on the program's icon or opened with it; two
// options serve support and tests:
//   PACKAGE      a firmware package, loaded as a file dropped on the window is
//   --device D   (or --device=D) the device's bus, with the same words as the qx80 tool: usb
//                (the default), sim[:SCENARIO[:LINK]] or bridge:HOST:PORT
//   --log FILE   a transcript of the session with the device (docs/transcripts.md)
#include <span>
#include <string>

namespace qx80 {

struct AppOptions {
  std::string device = "usb";
  std::string log;      // empty: no transcript
  std::string package;  // empty: the carried package
};

// Parses the words after the program's name (UTF-8). False, with the reason in `error`
// (English), for an unknown option, an option without its value or more than one path; the
// device's value itself is checked when its bus is set up.
bool ParseAppOptions(std::span<const std::string> args, AppOptions& options, std::string& error);

// The usage line shown under a command-line error.
inline constexpr char kAppUsage[] =
    "qx80-updater.exe [--device usb|sim[:SCENARIO[:LINK]]|bridge:HOST:PORT] [--log FILE] [PACKAGE]";

}  // namespace qx80
