#include "device/hid_backend.h"

namespace qx80 {
namespace {

// Native builds have no HID stack of their own until one is installed: an empty bus.
class EmptyHidBackend final : public HidBackend {
 public:
  bool Enumerate(std::vector<std::string>& paths) override {
    paths.clear();
    return true;
  }
  std::unique_ptr<HidHandle> Open(const std::string&) override { return nullptr; }
};

}  // namespace

HidBackend& PlatformHidBackend() {
  static EmptyHidBackend backend;
  return backend;
}

}  // namespace qx80
