// A command line (arguments separated by zero bytes) through the device commands' parser: a
// speed it accepts lies in the clock's range, and an index it accepts names a device. The
// arguments, as paths from them reach --json lines, and the same bytes taken as a device's
// UTF-16 text, are written as JSON that stays valid.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cli/device_options.h"
#include "cli/json_writer.h"
#include "tests/cli/json_check.h"
#include "tests/fuzz/fuzz_arguments.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> args = FuzzArguments(data, size);
  qx80::cli::DeviceOptions options;
  std::ostringstream err;
  if (qx80::cli::ParseDeviceOptions(args, {.package = true, .yes = true, .block = true, .choose = true, .json = true},
                                    options, err)) {
    FUZZ_CHECK(options.speed >= qx80::kSlowestClockSpeedup && options.speed <= qx80::kFastestClockSpeedup);
    FUZZ_CHECK(options.index >= -1);
    FUZZ_CHECK(err.str().empty());
  } else {
    FUZZ_CHECK(!err.str().empty());
  }
  qx80::cli::JsonWriter json;
  json.BeginArray();
  for (const std::string& arg : args) {
    json.String(arg);
  }
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, text.size() * 2);
  json.String(text).EndArray();
  FUZZ_CHECK(qx80::test::JsonCheck::Valid(json.Text()));
  return 0;
}
