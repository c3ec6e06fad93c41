#pragma once
// A HID backend that writes a transcript of what crosses it: it stands in front of the
// backend in force and passes every call through, recording the interfaces of one vendor
// that are opened and closed, each report written and read on them, and each failure that
// means the interface has gone. The host's own wake-ups and cancellations are not recorded.
//
//   TranscriptWriter writer;                       // opened on the file
//   TranscriptHidBackend recorder(CurrentHidBackend(), writer, 0x1F5E);
//   ScopedHidBackend scoped(recorder);
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/hid_backend.h"
#include "device/transcript.h"

namespace qx80 {

class TranscriptHidBackend final : public HidBackend {
 public:
  // Records the interfaces of `vendorId` (0: every interface). `inner` and `writer` must
  // outlive this backend and every handle it opened.
  TranscriptHidBackend(HidBackend& inner, TranscriptWriter& writer, uint16_t vendorId);

  bool Enumerate(std::vector<std::string>& paths) override { return m_inner.Enumerate(paths); }
  std::unique_ptr<HidHandle> Open(const std::string& path) override;
  bool Identify(const std::string& path, HidInterfaceCaps& caps) override { return m_inner.Identify(path, caps); }

 private:
  class Handle;

  HidBackend& m_inner;
  TranscriptWriter& m_writer;
  const uint16_t m_vendorId;
  std::atomic<uint32_t> m_nextHandle{1};
};

}  // namespace qx80
