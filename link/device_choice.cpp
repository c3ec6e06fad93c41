#include "link/device_choice.h"

#include "protocol/device_ids.h"
#include "workers/device_mode.h"

namespace qx80 {

namespace {

// Calls `each(path, caps)` for every interface on `bus` in its order; interfaces the bus cannot
// identify without opening are opened and closed again. False when the bus cannot enumerate.
template <typename Each>
bool WalkBus(HidBackend& bus, Each each) {
  std::vector<std::string> paths;
  if (!bus.Enumerate(paths)) {
    return false;
  }
  for (const std::string& path : paths) {
    HidInterfaceCaps caps;
    if (!bus.Identify(path, caps)) {
      const auto handle = bus.Open(path);
      if (handle == nullptr) {
        continue;
      }
      caps = handle->Caps();
    }
    each(path, caps);
  }
  return true;
}

}  // namespace

std::vector<Qx80Interface> ListQx80(HidBackend& bus) {
  std::vector<Qx80Interface> found;
  WalkBus(bus, [&](const std::string& path, const HidInterfaceCaps& caps) {
    if (const int32_t mode = Qx80ModeOf(caps); mode != DEVICE_MODE_ABSENT) {
      Qx80Interface device{.path = path, .location = {}, .mode = mode};
      bus.Locate(path, device.location);
      found.push_back(std::move(device));
    }
  });
  return found;
}

std::vector<Qx80Lookalike> ListQx80Lookalikes(HidBackend& bus) {
  std::vector<Qx80Lookalike> found;
  WalkBus(bus, [&](const std::string& path, const HidInterfaceCaps& caps) {
    if (Qx80ModeOfIds(caps.vendorId, caps.productId) != 0 && Qx80ModeOf(caps) == 0) {
      found.push_back({.path = path, .caps = caps});
    }
  });
  return found;
}

int64_t PickQx80(const std::vector<Qx80Interface>& found, const DeviceChoice& choice, std::string& error) {
  if (!choice.path.empty()) {
    for (size_t i = 0; i < found.size(); ++i) {
      if (found[i].path == choice.path) {
        return static_cast<int64_t>(i);
      }
    }
    error = "no QX-80 at " + choice.path;
    return -1;
  }
  if (choice.index >= 0) {
    if (static_cast<uint64_t>(choice.index) < found.size()) {
      return choice.index;
    }
    error = "no QX-80 with index " + std::to_string(choice.index) + " (" + std::to_string(found.size()) + " found)";
    return -1;
  }
  if (found.size() > 1) {
    error = std::to_string(found.size()) + " QX-80 found";
    return -1;
  }
  return found.empty() ? -1 : 0;
}

ChosenDeviceBackend::ChosenDeviceBackend(HidBackend& bus, const Qx80Interface& chosen)
    : m_bus(bus), m_location(chosen.location), m_path(chosen.path) {
  for (const Qx80Interface& device : ListQx80(m_bus)) {
    if (device.path != chosen.path) {
      m_others.insert(device.path);
    }
  }
  m_othersAtChoice = m_others.size();
}

bool ChosenDeviceBackend::Enumerate(std::vector<std::string>& paths) {
  paths.clear();
  const std::vector<Qx80Interface> found = ListQx80(m_bus);
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string current;
  std::vector<std::string> fresh;  // QX-80 paths never seen before
  for (const Qx80Interface& device : found) {
    if (!m_location.empty() && device.location.empty()) {
      // The bus tells locations but could not place this one: it went while being listed (a
      // device restarting). It is neither the chosen one nor another until it is seen whole.
      continue;
    }
    const bool chosen = m_location.empty() ? device.path == m_path : device.location == m_location;
    if (chosen && current.empty()) {
      current = device.path;
    } else if (!m_others.contains(device.path)) {
      fresh.push_back(device.path);
    }
  }
  // Without locations, a device that has gone is known again only as the one newcomer.
  if (m_location.empty() && current.empty() && fresh.size() == 1) {
    current = fresh.front();
    fresh.clear();
  }
  m_others.insert(fresh.begin(), fresh.end());
  m_path = current;
  if (!current.empty()) {
    paths.push_back(current);
  }
  return true;
}

std::unique_ptr<HidHandle> ChosenDeviceBackend::Open(const std::string& path) {
  return IsCurrent(path) ? m_bus.Open(path) : nullptr;
}

bool ChosenDeviceBackend::Identify(const std::string& path, HidInterfaceCaps& caps) {
  return IsCurrent(path) && m_bus.Identify(path, caps);
}

bool ChosenDeviceBackend::Locate(const std::string& path, std::string& location) {
  return IsCurrent(path) && m_bus.Locate(path, location);
}

std::string ChosenDeviceBackend::CurrentPath() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_path;
}

size_t ChosenDeviceBackend::OthersAppeared() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_others.size() - m_othersAtChoice;
}

bool ChosenDeviceBackend::IsCurrent(const std::string& path) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return !path.empty() && path == m_path;
}

}  // namespace qx80
