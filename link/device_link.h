#pragma once
// The bus a front end talks to, chosen by a device string (the tool's and the application's
// --device option):
//   usb                the platform's own HID bus (Win32 on Windows, hidraw on Linux)
//   sim[:SCENARIO[:LINK]]  a simulated QX-80 in this process (sim/sim_scenarios.h; default
//                      "ok"); LINK "fast" (default) or "full-speed", paced like USB
//   bridge:HOST:PORT   a device served over the bridge (qx80-sim, or a real one elsewhere)
// The chosen bus is the process's HID backend, and a clock running `speed` times faster than
// real time is the process's clock, while the DeviceLink exists; its waits for answers run
// in real time unless `timeOuts` scales them too.
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "device/bridge/bridge_hid_backend.h"
#include "device/hid_backend.h"
#include "device/transcript.h"
#include "device/transcript_hid_backend.h"
#include "link/device_choice.h"
#include "platform/clock.h"
#include "platform/device_lock.h"
#include "sim/sim_scenarios.h"

namespace qx80 {

class DeviceLink {
 public:
  explicit DeviceLink(double speed, Bounds timeOuts = Bounds::Real);
  ~DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // Sets up the bus that `option` names; false, with a message on `err`, when it names none.
  bool Open(const std::string& option, std::ostream& err);
  // The same, with the reason in `error` instead (no program name in front).
  bool OpenBus(const std::string& option, std::string& error);
  // After Open: whether the bus can be reached now; false, with the reason in `error`, when
  // the bridge's server cannot be reached or serves another client. Other buses always can.
  bool Reach(std::string& error);
  // After Open: leaves one QX-80 alone on the bus for everything above, the one `choice`
  // names or the only one present, followed through its restarts (ChosenDeviceBackend).
  // False, with the reason in `error`, when the choice names none or several are present
  // and none is chosen; true, the bus unchanged, when none is present and none is named.
  bool Choose(const DeviceChoice& choice, std::string& error);
  // One writer per QX-80: takes the lock of the device this link leads to (DeviceLock) for
  // the life of the link, as soon as the device's place is known: the bridge's address, and
  // a bus that tells no locations (Win32: the whole bus), right after Open, so that a second
  // writer is refused before it reaches the device; hidraw's after Choose, by the chosen
  // device's location (the whole bus when none was chosen). A simulated device lives in
  // this process alone and takes none. Call it after Open and again after Choose: until the
  // place is known, and once the lock is held, a call does nothing and says Held. Busy when
  // another process (or another link) holds it; Failed with the reason in `error`.
  DeviceLock::Status Lock(std::string& error);
  // The chosen device's view of the bus; null before a choice.
  const ChosenDeviceBackend* Chosen() const { return m_chosen.get(); }
  // The simulated devices, when the option chose sim.
  SimQx80Rig* Rig() { return m_rig.get(); }
  // After Open (and Choose): with `log` (a --log option's value, UTF-8) not empty, writes a
  // transcript of the session with the QX-80 into that file (docs/transcripts.md), until the
  // link ends, with `commandLine` saying what was run. It is the process's current transcript
  // meanwhile, for the phases and the result (CDeviceSession notes them). True without `log`;
  // false, with the reason in `error`, when it cannot be started (TranscriptWriter::Open;
  // `keep` is the package being written, or empty: the transcript never replaces it).
  bool Record(const std::string& log, std::string_view commandLine, const std::filesystem::path& keep,
              std::string& error);
  // Whether a transcript is being written.
  bool Recording() const { return m_transcript != nullptr; }
  // Empty while the transcript is whole (or none is written); else why it stopped being written.
  std::string TranscriptFailure() const;

 private:
  ScaledClock m_clock;
  ScopedClock m_scopedClock;
  bool m_chose = false;  // Choose has run
  DeviceLock m_lock;
  std::unique_ptr<SimQx80Rig> m_rig;
  std::unique_ptr<HidBackend> m_backend;
  BridgeHidBackend* m_bridge = nullptr;  // m_backend, when it is the bridge
  std::unique_ptr<ScopedHidBackend> m_scoped;
  std::unique_ptr<ChosenDeviceBackend> m_chosen;
  std::unique_ptr<ScopedHidBackend> m_scopedChosen;
  std::unique_ptr<TranscriptWriter> m_transcript;
  std::unique_ptr<TranscriptHidBackend> m_recorder;
  std::unique_ptr<ScopedHidBackend> m_scopedRecorder;
};

// Lets tests watch the simulated devices of every link that sets up a simulated bus (a
// command run in-process opens and ends its own link): `began` right after the devices exist,
// `ending` just before they go. Process-wide; empty functions end the watching.
struct SimRigWatch {
  std::function<void(SimQx80Rig&)> began;
  std::function<void(SimQx80Rig&)> ending;
};
void WatchSimRigs(SimRigWatch watch);

// Scenario names, comma-separated, for help texts and messages.
std::string ScenarioNames();

}  // namespace qx80
