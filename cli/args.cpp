#include "cli/args.h"

#ifdef _WIN32
// shellapi.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#endif

namespace qx80::cli {

#ifdef _WIN32

namespace {

std::string Utf8FromWide(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) {
    return {};
  }
  std::string out(static_cast<size_t>(length - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
  return out;
}

}  // namespace

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

}  // namespace qx80::cli
