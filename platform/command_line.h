#pragma once
// The command line of the tool and of the simulator, the same on every platform: options
// described as data, parsed by one parser.
#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qx80 {

// The arguments after the program name, as UTF-8. On Windows they are taken from the wide
// command line, so file names outside the ANSI code page survive.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// The file a UTF-8 argument names.
std::filesystem::path PathFromArgument(const std::string& argument);

// One option: a flag ("--yes") or an option with a value ("--device D", also "--device=D").
struct OptionRow {
  std::string_view name;       // "--device"
  std::string_view shortName;  // "-y", or empty
  std::string_view value;      // the value's name in help texts; empty for a flag
  std::string_view help;       // one or more lines, '\n' between them
};

struct ParsedOption {
  const OptionRow* row;
  std::string value;  // empty for a flag
};

struct ParsedArguments {
  std::vector<ParsedOption> options;  // in the order given
  std::vector<std::string> positional;

  bool Given(const OptionRow& row) const;
};

// Parses `args` against `rows`. Every argument that starts with '-' (other than "-" alone)
// must name one of them; "--" ends the options, and everything after it is positional.
// False, with one line "PROGRAM: ..." on `err`, for an unknown option, a value missing or
// given to a flag.
bool ParseArguments(std::string_view program, std::span<const std::string> args, std::span<const OptionRow* const> rows,
                    ParsedArguments& parsed, std::ostream& err);
// One entry per option: its names and value, then its help lines, aligned.
void PrintOptionHelp(std::ostream& out, std::span<const OptionRow* const> rows);

// The program's name and its arguments as one line, for a record of what was run: each
// argument as a POSIX shell reads it back (in single quotes unless it holds only safe
// characters), control characters shown as \xNN so that the record stays one line.
std::string CommandLineText(std::string_view program, std::span<const std::string> args);

// A clock speed-up from the text of --speed: a finite number the clock can run at.
bool ParseClockSpeed(const std::string& text, double& speed);

}  // namespace qx80
