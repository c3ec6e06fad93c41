#pragma once
// The tool's command line, the same on every platform.
#include <filesystem>
#include <string>
#include <vector>

namespace qx80::cli {

// The arguments after the program name, as UTF-8. On Windows they are taken from the wide
// command line, so file names outside the ANSI code page survive.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// The file a UTF-8 argument names.
std::filesystem::path PathFromArgument(const std::string& argument);

}  // namespace qx80::cli
