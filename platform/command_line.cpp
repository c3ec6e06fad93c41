#include "platform/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "platform/clock.h"
#include "platform/parse_number.h"
#include "platform/utf.h"
#include "platform/visible_text.h"

#ifdef _WIN32
// shellapi.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#endif

namespace qx80 {

#ifdef _WIN32

std::vector<std::string> Utf8Arguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i) {
    args.push_back(Utf8FromWide(wide[i]));
  }
  LocalFree(wide);
  return args;
}

std::filesystem::path PathFromArgument(const std::string& argument) {
  return std::filesystem::path(std::u8string(argument.begin(), argument.end()));
}

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

// File names are bytes here, whatever their encoding.
std::filesystem::path PathFromArgument(const std::string& argument) {
  return argument;
}

#endif

namespace {

// Option names and values take this many columns in help texts; the help follows.
constexpr size_t kHelpColumn = 15;

const OptionRow* FindOption(std::span<const OptionRow* const> rows, std::string_view name) {
  for (const OptionRow* row : rows) {
    if (name == row->name || (!row->shortName.empty() && name == row->shortName)) {
      return row;
    }
  }
  return nullptr;
}

}  // namespace

bool ParsedArguments::Given(const OptionRow& row) const {
  for (const ParsedOption& option : options) {
    if (option.row == &row) {
      return true;
    }
  }
  return false;
}

bool ParseArguments(std::string_view program, std::span<const std::string> args, std::span<const OptionRow* const> rows,
                    ParsedArguments& parsed, std::ostream& err) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      parsed.positional.insert(parsed.positional.end(), args.begin() + static_cast<ptrdiff_t>(i) + 1, args.end());
      return true;
    }
    if (!arg.starts_with("-") || arg.size() == 1) {
      parsed.positional.push_back(arg);
      continue;
    }
    // "--name=value" carries its value; a short name never does.
    const size_t equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
    const std::string_view name = std::string_view(arg).substr(0, equals);
    const OptionRow* row = FindOption(rows, name);
    if (row == nullptr) {
      err << program << ": unknown option " << name << "\n";
      return false;
    }
    if (row->value.empty()) {
      if (equals != std::string::npos) {
        err << program << ": " << name << " takes no value\n";
        return false;
      }
      parsed.options.push_back({row, {}});
    } else if (equals != std::string::npos) {
      parsed.options.push_back({row, arg.substr(equals + 1)});
    } else if (i + 1 < args.size()) {
      parsed.options.push_back({row, args[++i]});
    } else {
      err << program << ": " << name << " needs a value (" << row->value << ")\n";
      return false;
    }
  }
  return true;
}

void PrintOptionHelp(std::ostream& out, std::span<const OptionRow* const> rows) {
  for (const OptionRow* row : rows) {
    out << "  ";
    size_t width = 2 + row->name.size();
    if (!row->shortName.empty()) {
      out << row->shortName << ", ";
      width += row->shortName.size() + 2;
    }
    out << row->name;
    if (!row->value.empty()) {
      out << ' ' << row->value;
      width += 1 + row->value.size();
    }
    // A long head gets its help on the lines below it.
    if (width + 2 <= kHelpColumn) {
      out << std::string(kHelpColumn - width, ' ');
    } else {
      out << '\n' << std::string(kHelpColumn, ' ');
    }
    std::string_view help = row->help;
    for (size_t end = help.find('\n'); end != std::string_view::npos; end = help.find('\n')) {
      out << help.substr(0, end) << "\n" << std::string(kHelpColumn, ' ');
      help.remove_prefix(end + 1);
    }
    out << help << "\n";
  }
}

// An argument as a POSIX shell reads it back: bare when it holds only safe characters, else in
// single quotes; control characters are shown, never written, so the text stays one line.
namespace {

std::string ShellWord(const std::string& arg) {
  const bool bare = !arg.empty() && std::ranges::all_of(arg, [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           std::string_view("-_=.,:/+@%").find(c) != std::string_view::npos;
  });
  if (bare) {
    return arg;
  }
  std::string quoted = "'";
  for (const char c : arg) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return VisibleText(quoted + "'");
}

}  // namespace

std::string CommandLineText(std::string_view program, std::span<const std::string> args) {
  std::string line(program);
  for (const std::string& arg : args) {
    line += ' ';
    line += ShellWord(arg);
  }
  return line;
}

bool ParseClockSpeed(const std::string& text, double& speed) {
  double value = 0;
  if (!ParseWholeDecimal(text, value, std::chars_format::general) ||
      !(value >= kSlowestClockSpeedup && value <= kFastestClockSpeedup)) {
    return false;
  }
  speed = value;
  return true;
}

bool ParseSpeedOption(std::string_view program, const std::string& value, double& speed, std::ostream& err) {
  if (!ParseClockSpeed(value, speed)) {
    err << program << ": bad --speed " << value << " (from " << kSlowestClockSpeedup << " to " << kFastestClockSpeedup
        << ")\n";
    return false;
  }
  return true;
}

}  // namespace qx80
