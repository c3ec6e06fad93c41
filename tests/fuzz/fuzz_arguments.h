#pragma once
// A command line from fuzzer bytes: arguments separated by zero bytes, after an empty program
// name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline std::vector<std::string> FuzzArguments(const uint8_t* data, size_t size) {
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(data[i]));
    }
  }
  return args;
}
