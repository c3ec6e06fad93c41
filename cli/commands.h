#pragma once
// The subcommands of the qx80 tool. Each takes the arguments after its name and writes to the
// given streams; its result is the process's exit code.
#include <ostream>
#include <span>
#include <string>

#include "cli/exit_codes.h"

namespace qx80::cli {

using CommandFunction = int (*)(std::span<const std::string> args, std::ostream& out, std::ostream& err);

struct Command {
  const char* name;
  CommandFunction run;
  const char* usage;    // arguments, after "qx80 <name>"
  const char* summary;  // one line for the command list
};

int RunInspect(std::span<const std::string> args, std::ostream& out, std::ostream& err);
extern const Command INSPECT_COMMAND;

int RunList(std::span<const std::string> args, std::ostream& out, std::ostream& err);
extern const Command LIST_COMMAND;

int RunStatus(std::span<const std::string> args, std::ostream& out, std::ostream& err);
extern const Command STATUS_COMMAND;

// Reads y/N from standard input when the update is not needed and --yes is not given.
int RunUpdate(std::span<const std::string> args, std::ostream& out, std::ostream& err);
extern const Command UPDATE_COMMAND;

// Runs a command that changes the device (DeviceEffect of the catalogue) only with --yes.
int RunCommandNumber(std::span<const std::string> args, std::ostream& out, std::ostream& err);
// The numbers of the commands that need --yes, from the catalogue, as `qx80 command --help`
// and the manual page list them.
std::string CommandsNeedingYes();
extern const Command COMMAND_COMMAND;

}  // namespace qx80::cli
