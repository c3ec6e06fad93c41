#pragma once
// A HidHandle over a file descriptor that moves one whole report per read() or write()
// (a hidraw node, or in tests a sequenced-packet socket). Transfers run on the calling
// thread when the descriptor is ready (poll), so nothing outlives a call into a buffer;
// an eventfd releases a blocked reader.
#include <memory>

#include "device/hid_backend.h"

namespace qx80 {

// Takes ownership of `fd`, which must be non-blocking. With `numberedReports` false the
// device's input reports carry no report id, and one of 0 is put in front of each, so that
// every report starts with its report-id byte as elsewhere. Null when the eventfd cannot be
// made; `fd` is closed then.
std::unique_ptr<HidHandle> MakeHidrawHandle(int fd, const HidInterfaceCaps& caps, bool numberedReports);

}  // namespace qx80
