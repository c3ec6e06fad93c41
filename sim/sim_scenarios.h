#pragma once
// Named situations of the simulated QX-80, as data: each row says how the device starts, how
// its mode switch behaves and which faults it has. Tests, the qx80 tool (--device
// sim:NAME) and qx80-sim (--scenario NAME) select them by name.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/sim_bus/sim_hid_bus.h"
#include "sim/sim_fault.h"
#include "sim/sim_firmware_transfer.h"
#include "sim/sim_mode_switch.h"
#include "sim/sim_qx80_device.h"

namespace qx80 {

struct SimScenario {
  std::string_view name;
  std::string_view summary;
  uint16_t productId = QX80_PRODUCT_NORMAL;  // how it first appears
  std::string_view version = "2.05";         // every component's version
  SimModeSwitchConfig modeSwitch = {.switches = true};
  std::vector<SimFault> faults = {};
  std::vector<TransferFault> transferFaults = {};
  int deviceCount = 1;                  // identical devices on the bus
  uint16_t reportLength = kReportSize;  // payload bytes of its reports each way
};

const std::vector<SimScenario>& SimScenarios();
// Null when no scenario has that name.
const SimScenario* FindSimScenario(std::string_view name);
// The link speeds by name: "fast" (the default) and "full-speed"; null for another name.
const SimLink* FindSimLink(std::string_view name);
inline constexpr std::string_view kSimLinkNames = "fast, full-speed";

// The device configuration of a scenario; a non-empty `version` replaces the scenario's.
SimQx80Config ScenarioConfig(const SimScenario& scenario, std::string_view version = {});

// A simulated bus with a scenario's devices plugged in.
class SimQx80Rig {
 public:
  explicit SimQx80Rig(const SimScenario& scenario, std::string_view version = {});
  ~SimQx80Rig();
  SimQx80Rig(const SimQx80Rig&) = delete;
  SimQx80Rig& operator=(const SimQx80Rig&) = delete;

  SimHidBus& Bus() { return m_bus; }
  SimQx80Device& Device(size_t index = 0) { return *m_devices.at(index); }
  size_t DeviceCount() const { return m_devices.size(); }

 private:
  SimHidBus m_bus;  // outlives the devices
  std::vector<std::unique_ptr<SimQx80Device>> m_devices;
};

}  // namespace qx80
