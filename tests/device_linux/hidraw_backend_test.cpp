#include "device/linux/hidraw_backend.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/hid_device.h"
#include "link/device_choice.h"
#include "tests/support/counting_hid_backend.h"

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

  // A node as sysfs shows it: class/hidrawN/device links to the HID device instance, which
  // holds the uevent and the report descriptor. Empty texts leave the file out.
  void AddNode(int number, const std::string& instance, const std::string& uevent,
               const std::vector<uint8_t>& descriptor) {
    const fs::path device = m_root / "devices" / instance;
    fs::create_directories(device);
    if (!uevent.empty()) {
      std::ofstream(device / "uevent") << uevent;
    }
    if (!descriptor.empty()) {
      std::ofstream(device / "report_descriptor", std::ios::binary)
          .write(reinterpret_cast<const char*>(descriptor.data()), static_cast<std::streamsize>(descriptor.size()));
    }
    const fs::path node = m_root / "class" / ("hidraw" + std::to_string(number));
    fs::create_directories(node);
    fs::remove(node / "device");
    fs::create_directory_symlink(fs::path("../../devices") / instance, node / "device");
  }

  static std::string HidId(uint16_t vendor, uint16_t product) {
    char text[64];
    std::snprintf(text, sizeof text, "DRIVER=hid-generic\nHID_ID=0003:%08X:%08X\nHID_NAME=test\n", vendor, product);
    return text;
  }

  // Usage page 0xFF00, one collection, 64-byte input and output reports without report ids.
  const std::vector<uint8_t> kReports64 = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95,
                                           0x40, 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};
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

TEST_F(HidrawBackendTest, SysfsTellsTheIdentityOfANodeWithoutOpeningIt) {
  AddNode(0, "0003:1F5E:2A01.0001", HidId(0x1F5E, 0x2A01), kReports64);
  AddNode(1, "0003:1F5E:2A02.0002", "HID_ID=0003:00001F5E\n", kReports64);  // no product
  AddNode(2, "0003:1F5E:2A02.0003", "HID_NAME=no id\n", kReports64);
  AddNode(3, "0003:1F5E:2A02.0004", HidId(0x1F5E, 0x2A02), {});      // no report descriptor
  AddNode(4, "0003:1F5E:2A02.0005", HidId(0x1F5E, 0x2A02), {0x75});  // a truncated one
  fs::create_directories(m_root / "class" / "hidraw5");              // no device link
  const std::string dev = (m_root / "dev").string();
  HidrawBackend backend((m_root / "class").string(), dev);
  HidInterfaceCaps caps;
  ASSERT_TRUE(backend.Identify(dev + "/hidraw0", caps));
  EXPECT_EQ(caps.vendorId, 0x1F5E);
  EXPECT_EQ(caps.productId, 0x2A01);
  EXPECT_EQ(caps.inputReportLength, 65);
  EXPECT_EQ(caps.outputReportLength, 65);
  EXPECT_EQ(caps.firstOutputReportId, 0);
  for (const std::string& path : {dev + "/hidraw1", dev + "/hidraw2", dev + "/hidraw3", dev + "/hidraw4",
                                  dev + "/hidraw5", dev + "/hidraw9", std::string("/elsewhere/hidraw0")}) {
    EXPECT_FALSE(backend.Identify(path, caps)) << path;
  }
}

// With its device directory watched, the backend reads sysfs only after a node came or went
// there. The kernel adds a node's sysfs entry before its /dev node and removes it after.
TEST_F(HidrawBackendTest, SysfsIsReadAgainOnlyWhenANodeComesOrGoes) {
  const fs::path dev = m_root / "dev";
  fs::create_directories(dev);
  const auto node = [&dev](int number) { return (dev / ("hidraw" + std::to_string(number))).string(); };
  AddNode(0, "0003:1F5E:2A01.0001", HidId(0x1F5E, 0x2A01), kReports64);
  std::ofstream(node(0)) << "";
  HidrawBackend backend((m_root / "class").string(), dev.string());
  std::vector<std::string> paths;
  HidInterfaceCaps caps;
  ASSERT_TRUE(backend.Enumerate(paths));
  EXPECT_EQ(paths, std::vector<std::string>{node(0)});
  ASSERT_TRUE(backend.Identify(node(0), caps));
  EXPECT_EQ(caps.productId, 0x2A01);

  // Changes to sysfs alone are not looked for while /dev stays as it was.
  AddNode(0, "0003:1F5E:2A02.0002", HidId(0x1F5E, 0x2A02), kReports64);
  AddNode(1, "0003:1F5E:2A01.0003", HidId(0x1F5E, 0x2A01), kReports64);
  ASSERT_TRUE(backend.Enumerate(paths));
  EXPECT_EQ(paths, std::vector<std::string>{node(0)});
  ASSERT_TRUE(backend.Identify(node(0), caps));
  EXPECT_EQ(caps.productId, 0x2A01);

  // A node comes: the listing and every identity are read afresh.
  std::ofstream(node(1)) << "";
  ASSERT_TRUE(backend.Enumerate(paths));
  EXPECT_EQ(paths, (std::vector<std::string>{node(0), node(1)}));
  ASSERT_TRUE(backend.Identify(node(0), caps));
  EXPECT_EQ(caps.productId, 0x2A02);

  // A node goes from /dev while sysfs still shows it, and from sysfs after: the search after
  // the change reads sysfs once more.
  fs::remove(node(1));
  ASSERT_TRUE(backend.Enumerate(paths));
  EXPECT_EQ(paths.size(), 2U);
  fs::remove_all(m_root / "class" / "hidraw1");
  ASSERT_TRUE(backend.Enumerate(paths));
  EXPECT_EQ(paths, std::vector<std::string>{node(0)});
  ASSERT_TRUE(backend.Enumerate(paths));
  EXPECT_EQ(paths, std::vector<std::string>{node(0)});
}

TEST_F(HidrawBackendTest, ASearchOpensOnlyNodesWhoseSysfsIdentityCanMatch) {
  for (int i = 0; i < 30; ++i) {
    AddNode(i, "0003:046D:C52B." + std::to_string(i), HidId(0x046D, 0xC52B), kReports64);
  }
  AddNode(30, "0003:1F5E:2A01.0031", HidId(0x1F5E, 0x2A01), {0x75});  // the right ids, an unreadable descriptor
  HidrawBackend hidraw((m_root / "class").string(), (m_root / "dev").string());
  CountingHidBackend counting(hidraw);
  ScopedHidBackend scoped(counting);
  CHidDevice device;
  EXPECT_EQ(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  EXPECT_EQ(counting.opens, 1) << "sysfs could not tell: only that node is opened";

  // Node 7 now belongs to a QX-80 (another device instance): its identity is read afresh. Its
  // /dev node does not exist here, so opening it fails, but it is the one tried.
  AddNode(7, "0003:1F5E:2A01.0032", HidId(0x1F5E, 0x2A01), kReports64);
  counting.opens = 0;
  EXPECT_EQ(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  EXPECT_EQ(counting.opens, 2);
  counting.opens = 0;
  EXPECT_EQ(device.Open(0x1F5E, 0x2A02, 64, 64, 0), nullptr);
  EXPECT_EQ(counting.opens, 1) << "only the node sysfs cannot describe";
}

// A QX-80 restarts under another product id, another HID instance and often another node
// number, but on the same USB port; two devices present at once sit on different ports.
TEST_F(HidrawBackendTest, ADeviceIsLocatedByItsUsbPortThroughItsRestarts) {
  const std::string port2 = "pci0000:00/0000:00:14.0/usb1/1-1/1-1.2";
  const std::string port3 = "pci0000:00/0000:00:14.0/usb1/1-1/1-1.3";
  AddNode(0, port2 + "/1-1.2:1.0/0003:1F5E:2A01.0001", HidId(0x1F5E, 0x2A01), kReports64);
  AddNode(1, port3 + "/1-1.3:1.0/0003:1F5E:2A01.0002", HidId(0x1F5E, 0x2A01), kReports64);
  fs::create_directories(m_root / "class" / "hidraw3");  // no device link
  const std::string dev = (m_root / "dev").string();
  const auto node = [&dev](int number) { return dev + "/hidraw" + std::to_string(number); };
  HidrawBackend backend((m_root / "class").string(), dev);

  std::string first;
  std::string second;
  ASSERT_TRUE(backend.Locate(node(0), first));
  ASSERT_TRUE(backend.Locate(node(1), second));
  EXPECT_EQ(first, fs::canonical(m_root / "devices" / port2).string());
  EXPECT_EQ(second, fs::canonical(m_root / "devices" / port3).string());
  std::string location = "kept";
  for (const std::string& path : {node(3), node(9), dev + "/other", std::string("/elsewhere/hidraw0")}) {
    EXPECT_FALSE(backend.Locate(path, location)) << path;
  }
  EXPECT_EQ(location, "kept");

  // The first one restarts in update mode as node 4; the second stays. The chosen device's
  // view follows it to its new node and never shows the other.
  const std::vector<Qx80Interface> found = ListQx80(backend);
  ASSERT_EQ(found.size(), 2U);
  ChosenDeviceBackend chosen(backend, found[0]);
  fs::remove_all(m_root / "class" / "hidraw0");
  std::vector<std::string> paths;
  ASSERT_TRUE(chosen.Enumerate(paths));
  EXPECT_TRUE(paths.empty());
  AddNode(4, port2 + "/1-1.2:1.0/0003:1F5E:2A02.0004", HidId(0x1F5E, 0x2A02), kReports64);
  ASSERT_TRUE(backend.Locate(node(4), location));
  EXPECT_EQ(location, first);
  ASSERT_TRUE(chosen.Enumerate(paths));
  EXPECT_EQ(paths, std::vector<std::string>{node(4)});
  EXPECT_EQ(chosen.OthersAppeared(), 0U);
}

}  // namespace
}  // namespace qx80
