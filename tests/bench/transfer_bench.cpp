// The firmware transfer of the carried package to a simulated QX-80 in update mode, as the
// update worker runs it (command 0x88 per section, each with its image check).
//
//   transfer_bench            host CPU per 4 KiB block over the fast simulated link:
//                             the median of several runs, its spread, and the share spent
//                             in the kernel
//   transfer_bench --paced    wall time over a link paced like USB full speed, beside the
//                             protocol's floor: one frame for every report each way
//
// Host CPU is the process's CPU (every thread) less the device's own: the reports the host
// wrote are replayed into a fresh device, whose CPU time is taken alone.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/hid_backend.h"
#include "device/sim_bus/sim_hid_bus.h"
#include "firmware/firm_slots.h"
#include "platform/clock.h"
#include "protocol/device_protocol.h"
#include "protocol/firmware_transfer.h"
#include "protocol/message.h"
#include "protocol/parameter_block.h"
#include "sim/sim_qx80_device.h"

namespace qx80 {
namespace {

// The reports the host wrote, one after the other (each of the interface's output length).
using Reports = std::vector<uint8_t>;

// The process's CPU time so far (every thread), in user mode and in the kernel.
struct CpuTimes {
  double user = 0;
  double system = 0;
  double Total() const { return user + system; }
};

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

CpuTimes ProcessCpu() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return {Seconds(usage.ru_utime), Seconds(usage.ru_stime)};
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Counts the reports the host writes and reads, and keeps the written ones when asked.
struct Recording {
  Reports* written = nullptr;  // none: counted only
  size_t writtenCount = 0;
  size_t readCount = 0;
};

class RecordingHandle final : public HidHandle {
 public:
  RecordingHandle(std::unique_ptr<HidHandle> inner, Recording& recording)
      : m_inner(std::move(inner)), m_recording(recording) {}
  const HidInterfaceCaps& Caps() const override { return m_inner->Caps(); }
  HidIo StartRead(uint8_t* buffer) override { return Counted(m_inner->StartRead(buffer)); }
  HidIo StartWrite(const uint8_t* buffer) override {
    ++m_recording.writtenCount;
    if (m_recording.written != nullptr) {
      m_recording.written->insert(m_recording.written->end(), buffer, buffer + Caps().outputReportLength);
    }
    return m_inner->StartWrite(buffer);
  }
  HidIo WaitRead(int32_t timeoutMs) override { return Counted(m_inner->WaitRead(timeoutMs)); }
  HidIo WaitWrite(int32_t timeoutMs) override { return m_inner->WaitWrite(timeoutMs); }
  void CancelRead() override { m_inner->CancelRead(); }
  void CancelWrite() override { m_inner->CancelWrite(); }
  void WakeRead() override { m_inner->WakeRead(); }

 private:
  HidIo Counted(HidIo io) {
    m_recording.readCount += io == HidIo::Done ? 1 : 0;
    return io;
  }
  std::unique_ptr<HidHandle> m_inner;
  Recording& m_recording;
};

class RecordingBackend final : public HidBackend {
 public:
  explicit RecordingBackend(HidBackend& inner) : m_inner(inner) {}
  bool Enumerate(std::vector<std::string>& paths) override { return m_inner.Enumerate(paths); }
  std::unique_ptr<HidHandle> Open(const std::string& path) override {
    auto handle = m_inner.Open(path);
    return handle ? std::make_unique<RecordingHandle>(std::move(handle), recording) : nullptr;
  }

  Recording recording;

 private:
  HidBackend& m_inner;
};

constexpr int kMeasuredRuns = 7;

struct Run {
  ProtocolResult result = ResultOk;
  uint32_t blocks = 0;
  double wallSeconds = 0;
  CpuTimes processCpu;
  size_t reportsWritten = 0;
  size_t reportsRead = 0;
};

SimQx80Config UpdateModeDevice() {
  SimQx80Config config;
  config.productId = QX80_PRODUCT_UPDATE;
  return config;
}

// Writes every section of the package, as the update worker does; keeps the reports written
// in `written` when given (which costs the host's thread a copy of each).
Run Transfer(FirmSlots& slots, SimLink link, Reports* written) {
  SimHidBus bus;
  bus.SetLink(link);
  SimQx80Device device(bus, UpdateModeDevice());
  device.Transfer().SetTiming({.endDelayMs = 0, .completionDelayMs = 0});  // only the link's time counts
  RecordingBackend backend(bus);
  ScopedHidBackend scoped(backend);
  auto channel = CDeviceProtocol::Create(CHANNEL_MODE_UPDATE, [](int32_t, int32_t) {});
  Run run;
  if (channel == nullptr) {
    run.result = ResultNoChannel;
    return run;
  }
  const FirmUpdateJob job = slots.BuildUpdateJob(nullptr, nullptr, nullptr, 0);
  if (written != nullptr) {
    // Room for every report, touched before the clock starts so that keeping them costs no
    // page faults.
    written->resize(size_t{60000} * (kReportSize + 1));
    written->clear();
    backend.recording.written = written;
  }
  const size_t writtenBefore = backend.recording.writtenCount;
  const size_t readBefore = backend.recording.readCount;
  const auto start = std::chrono::steady_clock::now();
  const CpuTimes cpuStart = ProcessCpu();
  for (uint32_t i = 0; i < job.count && run.result == ResultOk; ++i) {
    uint8_t block[kParameterBlockSize] = {};
    SetFirmSection(block, job.sections[i]);
    run.result = channel->Execute(CMD_WRITE_FIRMWARE, block, nullptr);
    run.blocks += (job.sections[i].size + kFirmBlockSize - 1) / kFirmBlockSize;
  }
  const CpuTimes cpuEnd = ProcessCpu();
  run.processCpu = {cpuEnd.user - cpuStart.user, cpuEnd.system - cpuStart.system};
  run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.reportsWritten = backend.recording.writtenCount - writtenBefore;
  run.reportsRead = backend.recording.readCount - readBefore;
  return run;
}

// The device's own CPU time for the reports the host wrote.
double DeviceCpuSeconds(const Reports& written) {
  SimHidBus bus;
  SimQx80Device device(bus, UpdateModeDevice());
  device.Transfer().SetTiming({.endDelayMs = 0, .completionDelayMs = 0});
  const double start = ThreadCpuSeconds();
  for (size_t at = 0; at + kReportSize + 1 <= written.size(); at += kReportSize + 1) {
    device.OnOutputReport(0, std::span<const uint8_t>(written).subspan(at, kReportSize + 1));
  }
  const double spent = ThreadCpuSeconds() - start;
  device.WaitIdle();
  return spent;
}

int Main(int argc, char** argv) {
  const bool paced = argc > 1 && std::strcmp(argv[1], "--paced") == 0;
  RealClock clock;
  ScopedClock scopedClock(clock);
  FirmSlots slots;
  if (slots.LoadFirmFile(QX80_FIRMWARE_PACKAGE_PATH) == 0) {
    std::fprintf(stderr, "transfer_bench: cannot load %s\n", QX80_FIRMWARE_PACKAGE_PATH);
    return 1;
  }
  if (paced) {
    const Run run = Transfer(slots, SimLink::FullSpeed, nullptr);
    const size_t floorFrames = run.reportsWritten + run.reportsRead;
    const double floorSeconds = static_cast<double>(floorFrames) * SimHidBus::kFrameMs / 1000.0;
    std::printf(
        "result %d\nblocks %u\nfloor_frames %zu\nfloor_s %.3f\npaced_s %.3f\npaced_ratio %.4f\n"
        "paced_host_cpu_s %.3f\n",
        run.result, run.blocks, floorFrames, floorSeconds, run.wallSeconds, run.wallSeconds / floorSeconds,
        run.processCpu.Total());
    return run.result == ResultOk ? 0 : 1;
  }
  // The first run warms caches and allocators and keeps the reports for the device's replay;
  // the next ones are measured. The machine is shared, so the median run is the figure and
  // the spread is shown beside it.
  Reports written;
  Transfer(slots, SimLink::Fast, &written);
  std::vector<Run> runs;
  for (int i = 0; i < kMeasuredRuns; ++i) {
    runs.push_back(Transfer(slots, SimLink::Fast, nullptr));
    if (runs.back().result != ResultOk) {
      std::printf("result %d\n", runs.back().result);
      return 1;
    }
  }
  std::sort(runs.begin(), runs.end(),
            [](const Run& a, const Run& b) { return a.processCpu.Total() < b.processCpu.Total(); });
  const Run& median = runs[runs.size() / 2];
  const double device = DeviceCpuSeconds(written);
  const double perBlock = 1e6 / median.blocks;
  // The kernel splits CPU time into user and system time by sampling at its clock tick, too
  // coarse for one run: the split is taken over all measured runs. The device makes no system
  // calls of its own, so its time comes off the user part.
  CpuTimes all;
  for (const Run& run : runs) {
    all.user += run.processCpu.user - device;
    all.system += run.processCpu.system;
  }
  std::printf(
      "result %d\nblocks %u\nruns %zu\nprocess_cpu_s %.4f\ndevice_cpu_s %.4f\nhost_us_per_block %.1f\n"
      "host_us_per_block_min %.1f\nhost_us_per_block_max %.1f\nhost_system_percent %.0f\n",
      median.result, median.blocks, runs.size(), median.processCpu.Total(), device,
      (median.processCpu.Total() - device) * perBlock, (runs.front().processCpu.Total() - device) * perBlock,
      (runs.back().processCpu.Total() - device) * perBlock, 100 * all.system / all.Total());
  return 0;
}

}  // namespace
}  // namespace qx80

int main(int argc, char** argv) {
  return qx80::Main(argc, argv);
}
