#include "device/transcript_hid_backend.h"

#include <cstdio>
#include <span>

#include "platform/hex.h"

namespace qx80 {

class TranscriptHidBackend::Handle final : public HidHandle {
 public:
  Handle(std::unique_ptr<HidHandle> inner, TranscriptWriter& writer, uint32_t number)
      : m_inner(std::move(inner)), m_writer(writer), m_number(std::to_string(number)) {}
  ~Handle() override {
    m_inner.reset();
    m_writer.Write(transcript::kClose, m_number);
  }

  const HidInterfaceCaps& Caps() const override { return m_inner->Caps(); }

  HidIo StartRead(uint8_t* buffer) override {
    m_readBuffer = buffer;
    return ReadOutcome(m_inner->StartRead(buffer));
  }
  HidIo WaitRead(int32_t timeoutMs) override { return ReadOutcome(m_inner->WaitRead(timeoutMs)); }

  // The report is recorded before it goes out: the device's answer may be read, and
  // recorded on another thread, before the write is seen to complete.
  HidIo StartWrite(const uint8_t* buffer) override {
    m_writer.Write(transcript::kOut, m_number + " " + HexBytes({buffer, Caps().outputReportLength}));
    return WriteOutcome(m_inner->StartWrite(buffer));
  }
  HidIo WaitWrite(int32_t timeoutMs) override { return WriteOutcome(m_inner->WaitWrite(timeoutMs)); }

  void CancelRead() override { m_inner->CancelRead(); }
  void CancelWrite() override { m_inner->CancelWrite(); }
  void WakeRead() override {
    m_woken.store(true);
    m_inner->WakeRead();
  }

 private:
  HidIo ReadOutcome(HidIo io) {
    if (io == HidIo::Done) {
      m_writer.Write(transcript::kIn, m_number + " " + HexBytes({m_readBuffer, Caps().inputReportLength}));
    } else if (io == HidIo::Failed && !m_woken.load()) {
      m_writer.Write(transcript::kLost, m_number + " read");
    }
    return io;
  }
  HidIo WriteOutcome(HidIo io) {
    if (io == HidIo::Failed) {
      m_writer.Write(transcript::kLost, m_number + " write");
    } else if (io == HidIo::TimedOut) {
      m_writer.Write(transcript::kTimeout, m_number + " write");
    }
    return io;
  }

  std::unique_ptr<HidHandle> m_inner;
  TranscriptWriter& m_writer;
  const std::string m_number;
  const uint8_t* m_readBuffer = nullptr;  // of the read in progress; one read at a time
  std::atomic<bool> m_woken{false};
};

TranscriptHidBackend::TranscriptHidBackend(HidBackend& inner, TranscriptWriter& writer, uint16_t vendorId)
    : m_inner(inner), m_writer(writer), m_vendorId(vendorId) {}

std::unique_ptr<HidHandle> TranscriptHidBackend::Open(const std::string& path) {
  auto handle = m_inner.Open(path);
  if (handle == nullptr || (m_vendorId != 0 && handle->Caps().vendorId != m_vendorId)) {
    return handle;
  }
  const uint32_t number = m_nextHandle.fetch_add(1);
  const HidInterfaceCaps& caps = handle->Caps();
  char fields[96];
  std::snprintf(fields, sizeof fields, "%u %04x:%04x in=%u out=%u feature=%u id=%u ", number, caps.vendorId,
                caps.productId, caps.inputReportLength, caps.outputReportLength, caps.featureReportLength,
                caps.firstOutputReportId);
  m_writer.Write(transcript::kOpen, fields + path);
  return std::make_unique<Handle>(std::move(handle), m_writer, number);
}

}  // namespace qx80
