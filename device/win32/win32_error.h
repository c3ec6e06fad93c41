#pragma once
// The one place where Win32 results of a report transfer become our outcomes.
#include <windows.h>

#include "device/hid_backend.h"

namespace qx80 {

// An error code left by ReadFile, WriteFile or GetOverlappedResult: "still running"
// (ERROR_IO_PENDING, ERROR_IO_INCOMPLETE) is Pending; everything else, a cancelled
// operation included, is Failed.
HidIo TransferOutcomeOfError(DWORD error);

// The result of ReadFile, WriteFile or GetOverlappedResult (without waiting), read at once.
inline HidIo TransferOutcome(BOOL ok) {
  return ok ? HidIo::Done : TransferOutcomeOfError(GetLastError());
}

}  // namespace qx80
