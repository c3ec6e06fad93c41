#pragma once
// What Wine presents on its own HID bus, and the helpers the tests on it need.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "device/hid_backend.h"

namespace qx80 {

// Wine's virtual mouse and keyboard: input reports only (report-id byte included), no
// output or feature reports, report id 0. They never send a report on their own, which
// makes them silent devices for read time-outs.
inline constexpr uint16_t kWineVendorId = 0x845E;
inline constexpr HidInterfaceCaps kWineMouse{kWineVendorId, 0x0001, 2, 0, 0, 0};
inline constexpr HidInterfaceCaps kWineKeyboard{kWineVendorId, 0x0002, 14, 0, 0, 0};

bool RunningUnderWine();

// Handles open in this process. GetProcessHandleCount answers 0 under Wine, whose system
// handle table does list every process's handles.
size_t CountOwnHandles();

// Runs `blockingCall` on another thread, lets it block, then runs `release` here and waits
// for the call to end. A call that is not released aborts the run instead of hanging it.
void ReleaseBlockedCall(const std::function<void()>& blockingCall, const std::function<void()>& release);

}  // namespace qx80
