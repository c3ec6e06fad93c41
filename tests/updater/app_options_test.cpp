// The application's command line: the device option and what it refuses.
#include "updater/app_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "updater/core/device_link.h"

namespace qx80 {
namespace {

TEST(AppOptions, DeviceOptionAndRefusals) {
  struct Case {
    std::vector<std::string> words;
    bool parsed;
    std::string device;  // when parsed
    std::string error;   // when not
  };
  const Case cases[] = {
      {{}, true, "usb", ""},
      {{"--device", "sim:up-to-date"}, true, "sim:up-to-date", ""},
      {{"--device=bridge:127.0.0.1:5000"}, true, "bridge:127.0.0.1:5000", ""},
      {{"--device", "sim", "--device", "usb"}, true, "usb", ""},  // the last one counts
      {{"--device"}, false, "", "--device needs a value"},
      {{"--devices=sim"}, false, "", "unknown argument --devices=sim"},
      {{"/device", "sim"}, false, "", "unknown argument /device"},
      {{"sim"}, false, "", "unknown argument sim"},
  };
  for (const Case& c : cases) {
    AppOptions options;
    std::string error;
    EXPECT_EQ(ParseAppOptions(c.words, options, error), c.parsed) << c.error;
    EXPECT_EQ(c.parsed ? options.device : error, c.parsed ? c.device : c.error);
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
