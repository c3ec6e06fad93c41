// qx80: the command-line front end of the QX-80 updater's core.
#include <csignal>
#include <exception>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "platform/command_line.h"
#include "platform/program_version.h"

namespace qx80::cli {
namespace {

// One entry per subcommand; a new command adds its file and a line here.
const Command* const COMMANDS[] = {&INSPECT_COMMAND, &LIST_COMMAND, &STATUS_COMMAND, &UPDATE_COMMAND, &COMMAND_COMMAND};

void PrintUsage(std::ostream& out) {
  out << "usage: qx80 COMMAND [ARGS...]\n       qx80 COMMAND --help\n       qx80 --version\n\ncommands:\n";
  for (const Command* c : COMMANDS) {
    out << "  " << c->name << " " << c->usage << "\n      " << c->summary << "\n";
  }
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) {
    PrintUsage(std::cerr);
    return EXIT_USAGE;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintUsage(std::cout);
    return EXIT_DONE;
  }
  if (args[0] == "--version") {
    std::cout << "qx80 " << kProgramVersion << "\n";
    return EXIT_DONE;
  }
  for (const Command* c : COMMANDS) {
    if (args[0] == c->name) {
      return c->run(std::span(args).subspan(1), std::cout, std::cerr);
    }
  }
  std::cerr << "qx80: unknown " << (args[0].starts_with("-") ? "option " : "command ") << args[0] << "\n";
  PrintUsage(std::cerr);
  return EXIT_USAGE;
}

}  // namespace
}  // namespace qx80::cli

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // A transcript that meets the file-size limit fails its write and the command goes on: the
  // signal would end an update halfway, the device left in its update mode.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  try {
    return qx80::cli::Run(qx80::Utf8Arguments(argc, argv));
  } catch (const std::exception& e) {
    std::cerr << "qx80: " << e.what() << "\n";
    return qx80::cli::EXIT_USAGE;
  }
}
