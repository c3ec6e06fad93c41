// The device watcher's idle cost on Linux: a watcher polls a made-up hidraw tree of 30 nodes
// of other devices for some seconds, and the process's CPU time is shared out per second.
// The same runs once more with the nodes' sysfs identity hidden, so that every poll opens
// every node, as a search without sysfs does.
//
//   watcher_bench [SECONDS]     (default 10 per run)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/linux/hidraw_backend.h"
#include "platform/clock.h"
#include "workers/device_watcher.h"

namespace qx80 {
namespace {

namespace fs = std::filesystem;

constexpr int kNodes = 30;

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// class/hidrawN/device -> devices/0003:046D:C52B.N with uevent and report_descriptor, and a
// dev/hidrawN that opens but answers no hidraw request.
void MakeTree(const fs::path& root) {
  const std::vector<char> descriptor = {0x06,
                                        0x00,
                                        static_cast<char>(0xFF),
                                        0x09,
                                        0x01,
                                        static_cast<char>(0xA1),
                                        0x01,
                                        0x75,
                                        0x08,
                                        static_cast<char>(0x95),
                                        0x08,
                                        0x09,
                                        0x01,
                                        static_cast<char>(0x81),
                                        0x02,
                                        static_cast<char>(0xC0)};
  fs::create_directories(root / "dev");
  for (int i = 0; i < kNodes; ++i) {
    const std::string instance = "0003:046D:C52B." + std::to_string(1000 + i);
    fs::create_directories(root / "devices" / instance);
    std::ofstream(root / "devices" / instance / "uevent")
        << "DRIVER=hid-generic\nHID_ID=0003:0000046D:0000C52B\nHID_NAME=other\n";
    std::ofstream(root / "devices" / instance / "report_descriptor", std::ios::binary)
        .write(descriptor.data(), static_cast<std::streamsize>(descriptor.size()));
    const fs::path node = root / "class" / ("hidraw" + std::to_string(i));
    fs::create_directories(node);
    fs::create_directory_symlink(fs::path("../../devices") / instance, node / "device");
    std::ofstream(root / "dev" / ("hidraw" + std::to_string(i))) << "";
  }
}

// Hides the nodes' sysfs identity: every search opens every node.
class OpenEveryNode final : public HidBackend {
 public:
  explicit OpenEveryNode(HidBackend& inner) : m_inner(inner) {}
  bool Enumerate(std::vector<std::string>& paths) override { return m_inner.Enumerate(paths); }
  std::unique_ptr<HidHandle> Open(const std::string& path) override { return m_inner.Open(path); }

 private:
  HidBackend& m_inner;
};

double WatchPercent(HidBackend& backend, double seconds) {
  ScopedHidBackend scoped(backend);
  auto watcher = std::make_shared<CDeviceWatcher>();
  const DeviceModeHandler handler{[](int32_t, void*) {}, nullptr};
  const double start = ProcessCpuSeconds();
  const auto wallStart = std::chrono::steady_clock::now();
  watcher->StartWatching(&handler);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  watcher->StopWatching();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  return 100.0 * (ProcessCpuSeconds() - start) / wall;
}

int Main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::strtod(argv[1], nullptr) : 10.0;
  RealClock clock;
  ScopedClock scopedClock(clock);
  const fs::path root = fs::temp_directory_path() / ("qx80-watcher-bench-" + std::to_string(getpid()));
  MakeTree(root);
  HidrawBackend hidraw((root / "class").string(), (root / "dev").string());
  OpenEveryNode openEvery(hidraw);
  const double sysfs = WatchPercent(hidraw, seconds);
  const double opening = WatchPercent(openEvery, seconds);
  fs::remove_all(root);
  std::printf("nodes %d\nwatcher_cpu_percent %.3f\nwatcher_cpu_percent_opening_every_node %.3f\n", kNodes, sysfs,
              opening);
  return 0;
}

}  // namespace
}  // namespace qx80

int main(int argc, char** argv) {
  return qx80::Main(argc, argv);
}
