#pragma once
// A HID backend that counts enumerations and opens of the backend it wraps, to show what is
// refused before the bus is asked and which interfaces are left alone.
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
  std::unique_ptr<HidHandle> Open(const std::string& path) override {
    ++opens;
    return m_inner.Open(path);
  }
  bool Identify(const std::string& path, HidInterfaceCaps& caps) override { return m_inner.Identify(path, caps); }

  int enumerations = 0;
  int opens = 0;

 private:
  HidBackend& m_inner;
};

}  // namespace qx80
