#include "device/win32/win32_error.h"

namespace qx80 {

HidIo TransferOutcomeOfError(DWORD error) {
  switch (error) {
    case ERROR_IO_PENDING:
    case ERROR_IO_INCOMPLETE:
      return HidIo::Pending;
    default:
      // ERROR_OPERATION_ABORTED (cancelled), ERROR_DEVICE_NOT_CONNECTED and
      // ERROR_BROKEN_PIPE (device gone), ERROR_INVALID_PARAMETER and
      // ERROR_INVALID_USER_BUFFER (no such report) all end the transfer.
      return HidIo::Failed;
  }
}

}  // namespace qx80
