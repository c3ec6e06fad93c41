#pragma once
// A HID backend that counts enumerations of the backend it wraps, to show what is refused
// before the bus is asked.
#include <memory>
#include <string>
#include <vector>

#include "device/hid_backend.h"

namespace qx80 {

class CountingHidBackend : public HidBackend {
 public:
  explicit CountingHidBackend(HidBackend& inner) : m_inner(inner) {}
  bool Enumerate(std::vector<std::string>& paths) override {
    ++enumerations;
    return m_inner.Enumerate(paths);
  }
  std::unique_ptr<HidHandle> Open(const std::string& path) override { return m_inner.Open(path); }

  int enumerations = 0;

 private:
  HidBackend& m_inner;
};

}  // namespace qx80
