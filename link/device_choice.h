#pragma once
// Several QX-80 on one bus: listing them, choosing one, and a view of the bus that shows the
// chosen one alone, followed through its restarts. Installed as the process's HID backend,
// the view makes every layer above it (watcher, channel, update) work on the chosen device
// and never open another.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/hid_backend.h"

namespace qx80 {

// One QX-80 interface on a bus.
struct Qx80Interface {
  std::string path;
  std::string location;  // where it is plugged in; empty where the bus does not tell
  int32_t mode = 0;      // DEVICE_MODE_NORMAL or DEVICE_MODE_UPDATE
};

// Every QX-80 interface on `bus`, in the bus's order (empty when it cannot enumerate).
// Interfaces the bus cannot identify without opening are opened and closed again.
std::vector<Qx80Interface> ListQx80(HidBackend& bus);

// An interface with the QX-80's ids whose reports are not the QX-80's: never taken for one, but
// worth telling about when no QX-80 is found.
struct Qx80Lookalike {
  std::string path;
  HidInterfaceCaps caps;
};
std::vector<Qx80Lookalike> ListQx80Lookalikes(HidBackend& bus);

// Which QX-80: by path, by index in ListQx80's order, or, with neither, the only one.
struct DeviceChoice {
  std::string path;    // empty: not by path
  int64_t index = -1;  // negative: not by index
};

// The index in `found` of the chosen device; -1 with the reason in `error` when the choice
// names none of them, or when several are present and none is chosen. An empty `found`
// with no choice gives -1 and no error: nothing to choose from.
int64_t PickQx80(const std::vector<Qx80Interface>& found, const DeviceChoice& choice, std::string& error);

// The bus as the chosen device sees it: its interface alone, while present. Where the bus
// tells locations, the device is the one at its location, whatever its mode; elsewhere it
// keeps its path while present, and when it has gone it is the only QX-80 that newly
// appears (when two appear at once, neither is taken). Every other QX-80 is never shown. Where
// the bus tells locations, an interface it cannot place (one that went while being listed) is
// left for the next enumeration.
class ChosenDeviceBackend final : public HidBackend {
 public:
  // `bus` must outlive the view.
  ChosenDeviceBackend(HidBackend& bus, const Qx80Interface& chosen);

  bool Enumerate(std::vector<std::string>& paths) override;
  std::unique_ptr<HidHandle> Open(const std::string& path) override;
  bool Identify(const std::string& path, HidInterfaceCaps& caps) override;
  bool Locate(const std::string& path, std::string& location) override;

  // The chosen device's path at the last enumeration; empty while it is away.
  std::string CurrentPath() const;
  // Other QX-80 interfaces that appeared after the choice (each appearance under a new
  // path counts); none of them was ever shown.
  size_t OthersAppeared() const;

 private:
  bool IsCurrent(const std::string& path) const;

  HidBackend& m_bus;
  const std::string m_location;
  mutable std::mutex m_mutex;
  std::string m_path;              // the chosen device's current path; empty while away
  std::set<std::string> m_others;  // paths of every other QX-80 seen
  size_t m_othersAtChoice = 0;
};

}  // namespace qx80
