#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <string_view>

namespace qx80 {

// A path in the temporary folder that belongs to the running test alone: it carries the test's
// name (ctest runs the tests of one fixture side by side) and a token drawn once per process
// (two builds may run their suites at the same time in the same folder).
inline std::filesystem::path TestTempPath(std::string_view suffix) {
  static const std::string token = std::to_string(std::random_device{}());
  const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  return std::filesystem::path(::testing::TempDir()) / ("qx80-" + test + "-" + token + std::string(suffix));
}

}  // namespace qx80
