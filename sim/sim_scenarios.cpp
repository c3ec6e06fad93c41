#include "sim/sim_scenarios.h"

namespace qx80 {
namespace {

// Blocks of the carried package's main image (2,721,152 bytes in blocks of 4096).
constexpr int32_t kCarriedMainLastBlock = 664;

// A restarting device, changed as the row says.
SimModeSwitchConfig Switch(void (*change)(SimModeSwitchConfig&)) {
  SimModeSwitchConfig config{.switches = true};
  change(config);
  return config;
}

// The block's reply carries an error status: the host sends the block again.
TransferFault BlockRefused(int32_t block, int32_t attempts) {
  return TransferFault{.phase = TransferPhase::Block,
                       .index = block,
                       .attempts = attempts,
                       .kind = TransferFaultKind::Reply,
                       .reply = {.kind = SimFaultKind::StatusError, .value = SIM_STATUS_BAD_ARGUMENT}};
}

std::vector<SimScenario> BuildScenarios() {
  return {
      {.name = "ok", .summary = "normal mode, older firmware (2.05): an update is needed"},
      {.name = "up-to-date", .summary = "normal mode, the carried firmware (2.09) already runs", .version = "2.09"},
      {.name = "start-in-update-mode",
       .summary = "the device is already in its update mode",
       .productId = QX80_PRODUCT_UPDATE},
      {.name = "no-ack-switch",
       .summary = "command 1 (enter update mode) is never acknowledged",
       .modeSwitch = Switch([](SimModeSwitchConfig& c) { c.switches = false; }),
       .faults = {{.kind = SimFaultKind::NoAnswer, .messageId = SIM_MSG_DEVICE_MODE, .times = -1}}},
      {.name = "never-returns",
       .summary = "leaves for its update mode and never comes back",
       .modeSwitch = Switch([](SimModeSwitchConfig& c) { c.returnsInUpdateMode = false; })},
      {.name = "returns-late",
       .summary = "comes back in update mode after 100 s, within the host's 120 s",
       .modeSwitch = Switch([](SimModeSwitchConfig& c) { c.updateReturnDelayMs = 100000; })},
      {.name = "leaves-during-ticks",
       .summary = "comes back in update mode, then leaves for good 4 s later",
       .modeSwitch = Switch([](SimModeSwitchConfig& c) { c.updateModeStayMs = 4000; })},
      {.name = "keeps-old-firmware",
       .summary = "takes the whole update, then comes back with the firmware it had",
       .modeSwitch = Switch([](SimModeSwitchConfig& c) { c.takesUpdate = false; })},
      {.name = "gone-after-update",
       .summary = "takes the whole update, then never comes back",
       .modeSwitch = Switch([](SimModeSwitchConfig& c) { c.returnsInNormalMode = false; })},
      {.name = "refuse-block-3",
       .summary = "block 3 of every image is refused, however often it is sent",
       .transferFaults = {BlockRefused(3, -1)}},
      {.name = "nak-then-ok",
       .summary = "block 3 is refused twice, then taken",
       .transferFaults = {BlockRefused(3, 2)}},
      {.name = "last-block-status-1",
       .summary = "the last block of the main image answers status 1",
       .transferFaults = {{.phase = TransferPhase::Block,
                           .index = kCarriedMainLastBlock,
                           .attempts = -1,
                           .kind = TransferFaultKind::BlockStatus,
                           .value = SIM_BLOCK_BAD_CRC}}},
      {.name = "end-timeout",
       .summary = "the end of a transfer is never answered",
       .transferFaults = {{.phase = TransferPhase::End,
                           .attempts = -1,
                           .kind = TransferFaultKind::Reply,
                           .reply = {.kind = SimFaultKind::NoAnswer}}}},
      {.name = "unplug-mid-transfer",
       .summary = "the device leaves the bus at block 100 of the first image",
       .transferFaults = {{.phase = TransferPhase::Block,
                           .index = 100,
                           .attempts = 1,
                           .kind = TransferFaultKind::Reply,
                           .reply = {.kind = SimFaultKind::Unplug}}}},
      {.name = "versions-refused",
       .summary = "every version query is answered with an error status",
       .faults = {{.kind = SimFaultKind::StatusError, .messageId = SIM_MSG_VERSION, .times = -1, .value = 1}}},
      // The bus keeps showing the second one in normal mode, so the first is never seen in
      // update mode: the host gives up with -2.
      {.name = "no-device", .summary = "nothing on the bus", .deviceCount = 0},
      {.name = "two-devices", .summary = "two QX-80 in normal mode on the bus", .deviceCount = 2},
      {.name = "wrong-reports",
       .summary = "an interface with the QX-80's ids but 32-byte reports: no QX-80",
       .reportLength = 32},
  };
}

}  // namespace

const std::vector<SimScenario>& SimScenarios() {
  static const std::vector<SimScenario> scenarios = BuildScenarios();
  return scenarios;
}

const SimScenario* FindSimScenario(std::string_view name) {
  for (const SimScenario& scenario : SimScenarios()) {
    if (scenario.name == name) {
      return &scenario;
    }
  }
  return nullptr;
}

const SimLink* FindSimLink(std::string_view name) {
  static constexpr struct {
    std::string_view name;
    SimLink link;
  } kLinks[] = {{"fast", SimLink::Fast}, {"full-speed", SimLink::FullSpeed}};
  for (const auto& entry : kLinks) {
    if (entry.name == name) {
      return &entry.link;
    }
  }
  return nullptr;
}

SimQx80Config ScenarioConfig(const SimScenario& scenario, std::string_view version) {
  SimQx80Config config;
  config.productId = scenario.productId;
  config.modeSwitch = scenario.modeSwitch;
  config.reportLength = scenario.reportLength;
  const std::string text(version.empty() ? scenario.version : version);
  for (auto& entry : config.versions) {
    entry.second = text;
  }
  return config;
}

SimQx80Rig::SimQx80Rig(const SimScenario& scenario, std::string_view version) {
  for (int i = 0; i < scenario.deviceCount; ++i) {
    auto device = std::make_unique<SimQx80Device>(m_bus, ScenarioConfig(scenario, version));
    for (const SimFault& fault : scenario.faults) {
      device->AddFault(fault);
    }
    for (const TransferFault& fault : scenario.transferFaults) {
      device->Transfer().AddFault(fault);
    }
    m_devices.push_back(std::move(device));
  }
}

SimQx80Rig::~SimQx80Rig() = default;

}  // namespace qx80
