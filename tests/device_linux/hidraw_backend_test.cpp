#include "device/linux/hidraw_backend.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace qx80 {
namespace {

namespace fs = std::filesystem;

size_t OpenDescriptorCount() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

class HidrawBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = fs::temp_directory_path() / ("qx80-hidraw-" + std::to_string(getpid()));
    fs::create_directories(m_root / "class");
  }
  void TearDown() override { fs::remove_all(m_root); }

  fs::path m_root;
};

TEST_F(HidrawBackendTest, EnumeratesTheNodesInTheOrderOfTheirNumbers) {
  for (const char* name : {"hidraw10", "hidraw2", "other", "hidraw", "hidraw0", "hidrawx1"}) {
    fs::create_directory(m_root / "class" / name);
  }
  HidrawBackend backend((m_root / "class").string(), "/dev");
  std::vector<std::string> paths{"stale"};
  ASSERT_TRUE(backend.Enumerate(paths));
  EXPECT_EQ(paths, (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw2", "/dev/hidraw10"}));
}

TEST_F(HidrawBackendTest, AKernelWithoutHidrawHasNoInterfaces) {
  HidrawBackend backend((m_root / "absent").string(), "/dev");
  std::vector<std::string> paths{"stale"};
  EXPECT_TRUE(backend.Enumerate(paths));
  EXPECT_TRUE(paths.empty());
}

TEST_F(HidrawBackendTest, WhatIsNoHidInterfaceDoesNotOpenAndLeavesNothingOpen) {
  const fs::path file = m_root / "hidraw0";
  std::ofstream(file) << "not a device";
  HidrawBackend backend;
  const size_t before = OpenDescriptorCount();
  EXPECT_EQ(backend.Open(file.string()), nullptr);
  EXPECT_EQ(backend.Open((m_root / "missing").string()), nullptr);
  EXPECT_EQ(backend.Open("/dev/null"), nullptr);
  EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
}  // namespace qx80
