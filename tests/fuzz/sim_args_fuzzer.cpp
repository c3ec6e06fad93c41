// A command line (arguments separated by zero bytes) through qx80-sim's parser: what it
// accepts to run with is usable (a scenario and a link, a speed in the clock's range), and
// whatever it refuses comes with a reason.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/sim_options.h"
#include "tests/fuzz/fuzz_arguments.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> args = FuzzArguments(data, size);
  qx80::SimOptions options;
  std::ostringstream err;
  switch (qx80::ParseSimOptions(args, options, err)) {
    case qx80::SimParse::Run:
      FUZZ_CHECK(options.scenario != nullptr && options.link != nullptr);
      FUZZ_CHECK(options.speed >= qx80::kSlowestClockSpeedup && options.speed <= qx80::kFastestClockSpeedup);
      FUZZ_CHECK(options.listen.starts_with("127.0.0.1:"));
      FUZZ_CHECK(err.str().empty());
      break;
    case qx80::SimParse::Bad:
      FUZZ_CHECK(!err.str().empty());
      break;
    default:
      FUZZ_CHECK(err.str().empty());
      break;
  }
  return 0;
}
