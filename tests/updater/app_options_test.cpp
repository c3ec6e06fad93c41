// The application's command line: its options, a package's path, and what it refuses.
#include "updater/app_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/device_link.h"

namespace qx80 {
namespace {

TEST(AppOptions, OptionsAPackageAndRefusals) {
  struct Case {
    std::vector<std::string> words;
    bool parsed;
    AppOptions options;  // when parsed
    std::string error;   // when not
  };
  const Case cases[] = {
      {{}, true, {}, ""},
      {{"--device", "sim:up-to-date"}, true, {.device = "sim:up-to-date", .log = "", .package = ""}, ""},
      {{"--device=bridge:127.0.0.1:5000"}, true, {.device = "bridge:127.0.0.1:5000", .log = "", .package = ""}, ""},
      {{"--device", "sim", "--device", "usb"},
       true,
       {.device = "usb", .log = "", .package = ""},
       ""},  // the last one counts
      {{"--log", "session.transcript"}, true, {.device = "usb", .log = "session.transcript", .package = ""}, ""},
      // Explorer's drop on the icon, and "Open with": the file's path alone.
      {{"C:\\Users\\me\\Downloads\\qx80 2.10.bin"},
       true,
       {.device = "usb", .log = "", .package = "C:\\Users\\me\\Downloads\\qx80 2.10.bin"},
       ""},
      {{"--device", "sim", "pkg.bin", "--log", "x"}, true, {.device = "sim", .log = "x", .package = "pkg.bin"}, ""},
      {{"--", "--odd-name.bin"}, true, {.device = "usb", .log = "", .package = "--odd-name.bin"}, ""},
      {{"--device"}, false, {}, "qx80-updater: --device needs a value (D)"},
      {{"--log"}, false, {}, "qx80-updater: --log needs a value (FILE)"},
      {{"--devices=sim"}, false, {}, "qx80-updater: unknown option --devices"},
      {{"--help"}, false, {}, "qx80-updater: unknown option --help"},
      {{"a.bin", "b.bin"}, false, {}, "qx80-updater: one package at most, not a.bin and b.bin"},
  };
  for (const Case& c : cases) {
    AppOptions options;
    std::string error;
    EXPECT_EQ(ParseAppOptions(c.words, options, error), c.parsed) << c.error;
    if (c.parsed) {
      EXPECT_EQ(options.device, c.options.device);
      EXPECT_EQ(options.log, c.options.log);
      EXPECT_EQ(options.package, c.options.package);
    } else {
      EXPECT_EQ(error, c.error);
    }
  }
}

// The device's words themselves are the tool's: a bad one is refused before anything starts.
TEST(AppOptions, DeviceWordsAreCheckedByTheDeviceLink) {
  for (const char* word : {"usb", "sim", "sim:ok", "bridge:127.0.0.1:1"}) {
    DeviceLink link(1.0);
    std::string error;
    EXPECT_TRUE(link.OpenBus(word, error)) << word << ": " << error;
  }
  for (const char* word : {"", "sim:nonsense", "bridge:", "bridge:127.0.0.1", "serial"}) {
    DeviceLink link(1.0);
    std::string error;
    EXPECT_FALSE(link.OpenBus(word, error)) << word;
    EXPECT_FALSE(error.empty()) << word;
  }
}

}  // namespace
}  // namespace qx80
