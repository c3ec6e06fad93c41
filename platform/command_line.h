#pragma once
// The command line of the tool, the simulator and the application, the same on every
// platform: options described as data, parsed by one parser.
#include <algorithm>
#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
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

// One option of a program and what its value does to the program's `Options`. `apply` stores
// the value and returns true, or returns false to end the parse there: for a value it refuses
// (with one line "PROGRAM: ..." on `err`), or for an option that makes the program do
// something else instead (qx80-sim --help).
template <typename Options>
struct OptionEntry {
  OptionRow row;
  bool (*apply)(const std::string& value, Options& options, std::ostream& err);
};

// The rows of a table of entries, in its order.
template <typename Entries>
std::vector<const OptionRow*> OptionRows(const Entries& entries) {
  std::vector<const OptionRow*> rows;
  for (const auto& entry : entries) {
    rows.push_back(&entry.row);
  }
  return rows;
}

// Parses `args` against `entries` (as ParseArguments does), then applies the options given,
// in their order, up to the first whose `apply` returns false. Once the arguments parse, the
// ones that are not options are in `positional`, whether the options apply or not.
template <typename Options>
bool ParseOptions(std::string_view program, std::span<const std::string> args,
                  std::span<const OptionEntry<std::type_identity_t<Options>>> entries, Options& options,
                  std::vector<std::string>& positional, std::ostream& err) {
  ParsedArguments parsed;
  if (!ParseArguments(program, args, OptionRows(entries), parsed, err)) {
    return false;
  }
  positional = std::move(parsed.positional);
  for (const ParsedOption& given : parsed.options) {
    // Every row parsed is the row of one of the entries.
    const auto entry = std::ranges::find_if(entries, [&given](const auto& e) { return &e.row == given.row; });
    if (!entry->apply(given.value, options, err)) {
      return false;
    }
  }
  return true;
}

// The program's name and its arguments as one line, for a record of what was run: each
// argument as a POSIX shell reads it back (in single quotes unless it holds only safe
// characters), control characters shown as \xNN so that the record stays one line.
std::string CommandLineText(std::string_view program, std::span<const std::string> args);

// A clock speed-up from the text of --speed: a finite number the clock can run at.
bool ParseClockSpeed(const std::string& text, double& speed);
// The value of a program's --speed: false, with one line "PROGRAM: bad --speed ..." on `err`
// that gives the range, for one the clock cannot run at.
bool ParseSpeedOption(std::string_view program, const std::string& value, double& speed, std::ostream& err);

}  // namespace qx80
