#include "device/hid_backend.h"

#include <atomic>

namespace qx80 {
namespace {

std::atomic<HidBackend*> g_backend{nullptr};

}  // namespace

HidBackend& CurrentHidBackend() {
  HidBackend* backend = g_backend.load(std::memory_order_acquire);
  return backend != nullptr ? *backend : PlatformHidBackend();
}

void SetHidBackend(HidBackend* backend) {
  g_backend.store(backend, std::memory_order_release);
}

ScopedHidBackend::ScopedHidBackend(HidBackend& backend) : m_previous(g_backend.load(std::memory_order_acquire)) {
  SetHidBackend(&backend);
}

ScopedHidBackend::~ScopedHidBackend() {
  SetHidBackend(m_previous);
}

}  // namespace qx80
