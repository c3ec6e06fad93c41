#pragma once
// The application's command line. The product needs none; one option serves demonstrations,
// support and tests: --device D (or --device=D) chooses the device's bus with the same words
// as the qx80 tool: usb (the default), sim[:SCENARIO[:LINK]] or bridge:HOST:PORT.
#include <span>
#include <string>

namespace qx80 {

struct AppOptions {
  std::string device = "usb";
};

// Parses the words after the program's name (UTF-8). False, with the reason in `error` (English),
// for an unknown word or an option without its value; the device's value itself is checked
// when its bus is set up.
bool ParseAppOptions(std::span<const std::string> args, AppOptions& options, std::string& error);

// The usage line shown under a command-line error.
inline constexpr char kAppUsage[] = "qx80-updater.exe [--device usb|sim[:SCENARIO[:LINK]]|bridge:HOST:PORT]";

}  // namespace qx80
