#include "cli/remedies.h"

#include "protocol/protocol_result.h"

namespace qx80::cli {
namespace {

constexpr Remedy kRemedies[] = {
    {Situation::Result, ResultModeTimeout, "the QX-80 did not come back in its update mode",
     "unplug the QX-80, plug it in again, wait for qx80 status to find it, then run qx80 update again"},
    {Situation::Result, ResultNoChannel, "the channel to the QX-80 was not open",
     "wait for qx80 status to find the QX-80, then run qx80 update again"},
    {Situation::Result, ResultTransferFailed, "the QX-80 did not acknowledge the switch to its update mode",
     "unplug the QX-80, plug it in again, close other programs that use it, then run qx80 update again",
     UpdateStage::Switch},
    {Situation::Result, ResultTransferFailed, "the QX-80 did not answer in time while it was being written",
     "check the USB cable and use a port on the computer itself (no hub), then run qx80 update again",
     UpdateStage::Write},
    {Situation::Result, ResultImageRejected, "the QX-80 does not take this firmware package",
     "check with qx80 inspect that the package is one for the QX-80; run qx80 update without --package"},
    {Situation::Result, ResultBadParameter, "the package has a part the update cannot write",
     "run qx80 update without --package to write the carried firmware"},
    {Situation::Result, ResultChannelClosed, "the link to the QX-80 was lost during the update",
     "keep the QX-80 plugged in and the computer awake; plug it in again and run qx80 update again"},
    {Situation::Result, ResultUnexpectedResponse, "the QX-80 answered something the update did not expect",
     "unplug the QX-80, plug it in again and run qx80 update again; record it with --log if it repeats"},
    {Situation::Result, ResultDeviceError, "the QX-80 reported an error",
     "unplug the QX-80, plug it in again and run qx80 update again; record it with --log if it repeats"},
    {Situation::Result, ResultImageChecksum, "a part of the package fails its own checksum, so it was not sent",
     "the package file is damaged: run qx80 update without --package, or fetch the package again"},
    {Situation::Result, ResultWriteFailed, "the QX-80 refused a block of the firmware, or the checksum of a part",
     "run qx80 update again; if a block is refused again, unplug the QX-80, plug it in again and retry"},
    {Situation::Result, ResultFinishFailed, "the QX-80 did not finish writing the firmware in time",
     "leave the QX-80 plugged in for two minutes, then run qx80 status; run qx80 update again if it says an update is "
     "needed"},
    {Situation::Result, ResultStopped, "the update was stopped on request",
     "run qx80 update again to finish; the QX-80 waits in its update mode"},
    {Situation::NoDevice, ResultOk, "no QX-80 was found",
     "plug the QX-80 in and switch it on; on Linux check that the udev rule 70-qx80.rules is installed, then try "
     "again"},
    {Situation::SeveralDevices, ResultOk, "several QX-80 were found and none was chosen",
     "choose one with --index N or --path P; qx80 list shows them"},
    {Situation::OtherAppeared, ResultOk, "the updated QX-80 did not come back as itself while another one appeared",
     "unplug the others, then run qx80 list and qx80 update --index N again"},
    {Situation::NotBack, ResultOk, "the update reported success, but the QX-80 did not come back in normal mode",
     "unplug the QX-80, plug it in again and run qx80 status to see its versions"},
    {Situation::OtherVersions, ResultOk, "the update reported success, but the QX-80 shows other versions",
     "run qx80 status; run qx80 update again if it says an update is needed"},
    {Situation::NoVersions, ResultOk, "the update reported success, but the QX-80 gave no version to compare",
     "run qx80 status; if it shows no version (---), unplug the QX-80, plug it in again and run qx80 status again"},
    {Situation::NotStarted, ResultOk, "the update could not be started",
     "close other programs that use the QX-80, then run qx80 update again"},
    {Situation::NotReached, ResultOk, "the bridge at --device could not be reached, or serves another client",
     "start its server (qx80-sim --listen) or end its other client, then try again"},
    {Situation::InUse, ResultOk, "another program is using the QX-80",
     "wait until the other qx80 update or qx80 command, or the updater application, has ended, then try again"},
    {Situation::NotConfirmed, ResultOk, "the update reported success; the wait for the QX-80 to come back was stopped",
     "run qx80 status once the QX-80 is back; run qx80 update again if it says an update is needed"},
};

}  // namespace

std::span<const Remedy> Remedies() {
  return kRemedies;
}

const Remedy* RemedyForResult(int32_t result, UpdateStage stage) {
  const Remedy* anyStage = nullptr;
  for (const Remedy& remedy : kRemedies) {
    if (remedy.situation != Situation::Result || remedy.result != result) {
      continue;
    }
    if (remedy.stage == stage) {
      return &remedy;
    }
    if (remedy.stage == UpdateStage::Any) {
      anyStage = &remedy;
    }
  }
  return anyStage;
}

const Remedy* RemedyFor(Situation situation) {
  for (const Remedy& remedy : kRemedies) {
    if (remedy.situation == situation) {
      return &remedy;
    }
  }
  return nullptr;
}

void PrintRemedy(std::ostream& err, const Remedy& remedy) {
  err << "qx80: what to do: " << remedy.todo << "\n";
}

}  // namespace qx80::cli
