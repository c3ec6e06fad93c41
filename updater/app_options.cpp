#include "updater/app_options.h"

#include <string_view>

namespace qx80 {

bool ParseAppOptions(std::span<const std::string> args, AppOptions& options, std::string& error) {
  constexpr std::string_view kDevice = "--device";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view word = args[i];
    if (word == kDevice) {
      if (i + 1 == args.size()) {
        error = "--device needs a value";
        return false;
      }
      options.device = args[++i];
    } else if (word.starts_with(kDevice) && word.size() > kDevice.size() && word[kDevice.size()] == '=') {
      options.device = word.substr(kDevice.size() + 1);
    } else {
      error = "unknown argument " + std::string(word);
      return false;
    }
  }
  return true;
}

}  // namespace qx80
