// qx80-autotest: drives Windows programs through their windows, for the end-to-end tests.
//
// It runs a script of one command a line against the processes it starts: find their
// top-level windows by title, read control texts and states, press buttons, send system
// commands, capture windows to bitmaps and check exit codes. Every expectation is retried
// until it holds or its time runs out, so the script needs no sleeps.
//
//   qx80-autotest.exe [--set NAME=VALUE]... [--texts FILE] SCRIPT
//
// Script lines ('#' starts a comment; words with blanks are quoted with "..."; "$NAME" in a
// word is replaced by a variable, whose value stays in that word; "within S" before a
// command gives its wait S seconds instead of 15):
//   start P EXE [ARG]...          start EXE with its arguments as process P
//   window W P TITLE [ID]         wait for a visible top-level dialog of P titled TITLE, other
//                                 than the windows already named (a message box titled as
//                                 its owner is found beside it); with ID, only one that has
//                                 control ID (65535: a message box), for two windows of one
//                                 title that may appear in either order
//   gone W                        wait until window W no longer exists
//   text W ID TEXT                control ID of W reads TEXT (ID 65535: a message box text)
//   prefix W ID TEXT              control ID of W starts with TEXT
//   class W ID CLASS              control ID of W has window class CLASS
//   enabled W ID 0|1              control ID of W is disabled or enabled
//   focused W ID                  control ID of W has the keyboard focus of W's thread
//   checked W ID 0|1              button ID of W is unchecked or checked
//   window-enabled W 0|1          window W itself is disabled or enabled
//   click W ID                    press button ID of W
//   command W ID                  send W the command ID and wait until it is handled (Enter
//                                 sends IDOK, Escape IDCANCEL)
//   progress W ID POS             progress bar ID of W stands at POS
//   moving W ID                   progress bar ID of W is seen moving: at a position strictly
//                                 between 0 and 100, or at two rising positions
//   red W ID 0|1                  control ID of W shows no pure red pixels on the screen, or some
//   syscommand W CMD              send system command CMD to W
//   key W enter|escape            type the key on the keyboard with W in the foreground
//   close W                       send W WM_CLOSE, as Task Manager's "End task" and taskkill
//                                 without /F do, and wait until it is handled
//   drop W FILE                   drop FILE on W: post WM_DROPFILES with a DROPFILES block
//                                 made in W's process, as the shell does
//   progress-over W ID POS        progress bar ID of W stands beyond POS
//   snapshot W FILE               capture W as it is on the screen into a BMP file
//   running P                     process P is still running
//   exit P CODE                   process P ends with exit code CODE
//   kill P                        end process P
//   ask FILE TEXT                 write TEXT into FILE for the program that runs this script
//                                 and wait until it has done what was asked (it removes FILE)
// Variables files hold NAME=VALUE lines in UTF-8; "\r\n" in a value stands for CR LF.
#include <cstdio>
#include <fstream>
#include <string>

#include "autotest_commands.h"
#include "autotest_script.h"
#include "autotest_session.h"
#include "autotest_strings.h"
#include "platform/utf.h"

namespace {

bool Fail(int line, const std::string& error) {
  std::printf("FAIL at script line %d: %s\n", line, Escaped(error).c_str());
  return false;
}

bool RunScript(const std::string& scriptPath, const Variables& variables, Session& session) {
  std::ifstream script(scriptPath);
  if (!script) {
    return Fail(0, "cannot read the script " + scriptPath);
  }
  std::string line;
  int number = 0;
  while (std::getline(script, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    // Split before the variables are replaced: a value may hold blanks and quotation marks.
    const std::string code = line.substr(0, line.find('#'));
    Words words = SplitWords(code);
    if (words.empty()) {
      continue;
    }
    for (auto& word : words) {
      word = ExpandVariables(word, variables);
    }
    std::printf("  %d: %s\n", number, Escaped(ExpandVariables(code, variables)).c_str());
    std::fflush(stdout);
    session.timeoutMs = kDefaultTimeoutMs;
    if (words[0] == "within" && words.size() > 2) {
      session.timeoutMs = static_cast<DWORD>(std::stoul(words[1])) * 1000;
      words.erase(words.begin(), words.begin() + 2);
    }
    std::string error;
    if (!Execute(session, words, error)) {
      return Fail(number, error);
    }
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Session session;
  Variables variables;
  std::string script;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = qx80::Utf8FromWide(argv[i]);
    if (arg == "--set" && i + 1 < argc) {
      const std::string pair = qx80::Utf8FromWide(argv[++i]);
      const size_t eq = pair.find('=');
      variables[pair.substr(0, eq)] = eq == std::string::npos ? "" : pair.substr(eq + 1);
    } else if (arg == "--texts" && i + 1 < argc) {
      const std::string path = qx80::Utf8FromWide(argv[++i]);
      if (!ReadVariables(path, variables)) {
        std::printf("cannot read %s\n", path.c_str());
        return 2;
      }
    } else {
      script = arg;
    }
  }
  if (script.empty()) {
    std::printf("usage: qx80-autotest [--set NAME=VALUE]... [--texts FILE] SCRIPT\n");
    return 2;
  }
  const bool passed = RunScript(script, variables, session);
  std::printf("%s\n", passed ? "PASSED" : "FAILED");
  return passed ? 0 : 1;
}
