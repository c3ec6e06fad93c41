#include "protocol/protocol_result.h"

namespace qx80 {

const char* ResultName(int result) {
  switch (result) {
    case ResultOk:
      return "ResultOk";
    case ResultNothingToSend:
      return "ResultNothingToSend";
    case ResultModeTimeout:
      return "ResultModeTimeout";
    case ResultNoChannel:
      return "ResultNoChannel";
    case ResultUnknownCommand:
      return "ResultUnknownCommand";
    case ResultTransferFailed:
      return "ResultTransferFailed";
    case ResultImageRejected:
      return "ResultImageRejected";
    case ResultBadParameter:
      return "ResultBadParameter";
    case ResultChannelClosed:
      return "ResultChannelClosed";
    case ResultUnexpectedResponse:
      return "ResultUnexpectedResponse";
    case ResultDeviceError:
      return "ResultDeviceError";
    case ResultImageChecksum:
      return "ResultImageChecksum";
    case ResultWriteFailed:
      return "ResultWriteFailed";
    case ResultFinishFailed:
      return "ResultFinishFailed";
    case ResultStopped:
      return "ResultStopped";
    default:
      return "ResultUnknown";
  }
}

}  // namespace qx80
