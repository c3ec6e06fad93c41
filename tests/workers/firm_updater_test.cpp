#include "workers/firm_updater.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "firmware/firm_slots.h"
#include "protocol/firmware_transfer.h"
#include "sim/sim_mode_switch.h"
#include "tests/support/image_builder.h"
#include "tests/workers/update_test_rig.h"

namespace qx80 {
namespace {

// A package of two small sections, UAMC then FWUP.
test::Bytes TwoSectionPackage() {
  const test::Bytes main = test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x3000, .version = "2.09"});
  const test::Bytes second = test::BuildHeaderImage({.kind = FIRM_KIND_FWUP, .size = 0x2000, .version = "2.09"});
  return test::Concat({main, second});
}

// What the sections' callbacks saw, in order. When told to, it asks the updater to stop once
// it has seen a value of at least `stopAt` (1 to 20 are the ticks, 21 on the first section).
class CallbackLog {
 public:
  static void Record(int percent, void* userData) {
    auto* log = static_cast<CallbackLog*>(userData);
    std::lock_guard<std::mutex> lock(log->m_mutex);
    log->m_values.push_back(percent);
    if (log->m_stopper != nullptr && percent >= log->m_stopAt) {
      log->m_stopper->StopAfterBlock();
      log->m_stopper = nullptr;
    }
  }
  void StopAt(int percent, CFirmUpdater* updater) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopAt = percent;
    m_stopper = updater;
  }
  std::vector<int> Values() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_values;
  }

 private:
  std::mutex m_mutex;
  std::vector<int> m_values;
  int m_stopAt = 0;
  CFirmUpdater* m_stopper = nullptr;
};

char g_window;  // the notify window: only its address is used

struct RequestCounts {
  int enter = 0;    // command 1 with byte 0 = 0
  int leave = 0;    // command 1 with byte 0 = 1
  int begins = 0;   // sections begun
  int other = 0;    // anything but the mode switch and the transfer
  int blocks = -1;  // block requests, where the case counts them
};

RequestCounts CountRequests(const SimQx80Device& device) {
  RequestCounts counts{.blocks = 0};
  for (const std::vector<uint8_t>& request : device.Requests()) {
    const MessageHeader header = ReadHeader(request.data());
    if (header.id == SIM_MSG_DEVICE_MODE) {
      (header.arg == SIM_ENTER_UPDATE_MODE ? counts.enter : counts.leave) += 1;
    } else if (header.id == MSG_FIRM_BEGIN) {
      ++counts.begins;
    } else if (header.id == MSG_FIRM_BLOCK) {
      counts.blocks += 1;
    } else if (header.id != MSG_FIRM_BLOCK && header.id != MSG_FIRM_END) {
      ++counts.other;
    }
  }
  return counts;
}

struct UpdateCase {
  const char* name;
  const char* scenario;
  std::vector<TransferFault> transferFaults;
  bool nullFirstCallback;
  int32_t result;
  RequestCounts requests;
  uint32_t ticks;                       // 500 ms pauses
  std::optional<uint32_t> switchWait;   // 200 ms pauses before the ticks, where that count is fixed
  std::optional<uint32_t> recheckWait;  // 200 ms pauses after the ticks
  int stopAt = 0;                       // the callback value after which a stop is asked for
  // Non-zero: how long the device stays in update mode before it leaves for good. The case then
  // runs on a 10x clock, so that the worker sees the device's short stay however late its
  // threads run on a busy machine.
  uint32_t updateModeStayMs = 0;
};

// Test names show the case's name, not its bytes.
void PrintTo(const UpdateCase& c, std::ostream* os) {
  *os << c.name;
}

const TransferFault kFirstBlockRefused = {.phase = TransferPhase::Block,
                                          .index = 0,
                                          .attempts = -1,
                                          .kind = TransferFaultKind::Reply,
                                          .reply = {.kind = SimFaultKind::StatusError, .value = 2}};

const UpdateCase kUpdateCases[] = {
    {"FromNormalMode", "ok", {}, false, ResultOk, {.enter = 1, .leave = 1, .begins = 2}, 20, {}, 0u},
    {"FromUpdateModeWithoutSwitch", "start-in-update-mode", {}, false, ResultOk, {.leave = 1, .begins = 2}, 20, 0u, 0u},
    {"SwitchRefusedFourTimes", "no-ack-switch", {}, false, ResultTransferFailed, {.enter = 4}, 0, 0u, {}},
    {"DeviceNeverReturns", "never-returns", {}, false, ResultModeTimeout, {.enter = 1}, 0, 601u, {}},
    // It stays 9 s: long enough to be seen, shorter than the 10 s of ticks, so it always
    // leaves during them.
    {"DeviceLeavesDuringTicks",
     "leaves-during-ticks",
     {},
     false,
     ResultModeTimeout,
     {.enter = 1},
     20,
     {},
     26u,
     0,
     9000},
    {"FirstSectionFails",
     "ok",
     {kFirstBlockRefused},
     false,
     ResultWriteFailed,
     {.enter = 1, .leave = 1, .begins = 1},
     20,
     {},
     0u},
    {"NullCallbackInFirstSection", "ok", {}, true, ResultOk, {.enter = 1, .leave = 1, .begins = 2}, 20, {}, 0u},
    // A stop leaves the device in update mode: no closing command, nothing sent after it.
    {"StoppedDuringTicks", "ok", {}, false, ResultStopped, {.enter = 1, .blocks = 0}, 5, {}, {}, 5},
    // The first block's report (above the begin's 21) asks for the stop: no second block.
    {"StoppedAfterABlock", "ok", {}, false, ResultStopped, {.enter = 1, .begins = 1, .blocks = 1}, 20, {}, 0u, 22},
};

class UpdateProcedureTest : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(UpdateProcedureTest, RunsTheProcedure) {
  const UpdateCase& c = GetParam();
  SimScenario scenario = *FindSimScenario(c.scenario);
  if (c.updateModeStayMs != 0) {
    scenario.modeSwitch.updateModeStayMs = c.updateModeStayMs;
  }
  UpdateRig rig(scenario, c.result == ResultTransferFailed ? Bounds::Scaled : Bounds::Real,
                c.updateModeStayMs != 0 ? 10 : UpdateRig::kSpeedup);
  for (const TransferFault& fault : c.transferFaults) {
    rig.Device().Transfer().AddFault(fault);
  }
  ASSERT_TRUE(rig.WaitConnected(scenario.productId == QX80_PRODUCT_UPDATE ? DEVICE_MODE_UPDATE : DEVICE_MODE_NORMAL));

  FirmSlots slots;
  ASSERT_EQ(slots.LoadFirmPackageCopy(TwoSectionPackage()), 1);
  CallbackLog callbacks;
  FirmUpdateJob job = slots.BuildUpdateJob(&CallbackLog::Record, &callbacks, &g_window, WM_UPDATE_FINISHED);
  ASSERT_EQ(job.count, 2u);
  if (c.nullFirstCallback) {
    job.sections[0].callback = nullptr;
  }
  auto updater = std::make_shared<CFirmUpdater>();
  if (c.stopAt != 0) {
    callbacks.StopAt(c.stopAt, updater.get());
  }
  ASSERT_EQ(updater->StartUpdate(rig.Comm(), &job), kStatusOk);

  WindowMessage finished;
  ASSERT_TRUE(rig.Log().WaitFor(WM_UPDATE_FINISHED, finished));
  EXPECT_EQ(finished.window, &g_window);
  EXPECT_EQ(static_cast<int32_t>(static_cast<intptr_t>(finished.wParam)), c.result)
      << "device plugged " << rig.Device().IsPlugged() << ", product " << rig.Device().ProductId() << ", requests "
      << rig.Device().Requests().size() << ", mode " << g_deviceMode.load();
  EXPECT_EQ(finished.lParam, 0);
  updater->StopUpdate();
  EXPECT_EQ(rig.Comm()->OpenFlag(), 0) << "the worker's stop releases the channel";

  const RequestCounts requests = CountRequests(rig.Device());
  EXPECT_EQ(requests.enter, c.requests.enter);
  EXPECT_EQ(requests.leave, c.requests.leave);
  EXPECT_EQ(requests.begins, c.requests.begins);
  EXPECT_EQ(requests.other, 0);
  if (c.requests.blocks >= 0) {
    EXPECT_EQ(requests.blocks, c.requests.blocks);
  }
  if (c.result == ResultStopped) {
    EXPECT_EQ(rig.Device().ProductId(), QX80_PRODUCT_UPDATE) << "left in update mode";
  }
  EXPECT_EQ(rig.Sleeps().Count(CFirmUpdater::kSettlingTickMs), c.ticks);
  if (c.switchWait) {
    EXPECT_EQ(rig.Sleeps().Count(CFirmUpdater::kModePollMs), *c.switchWait);
  }
  if (c.recheckWait) {
    EXPECT_EQ(rig.Sleeps().Count(CFirmUpdater::kModePollMs, CFirmUpdater::kSettlingTickMs), *c.recheckWait);
  }

  // The ticks reach section 0's callback as 1 to 20, then each written section reports
  // 21 to 100.
  const std::vector<int> values = callbacks.Values();
  const size_t tickCalls = c.nullFirstCallback ? 0 : c.ticks;
  ASSERT_GE(values.size(), tickCalls);
  for (size_t i = 0; i < tickCalls; ++i) {
    EXPECT_EQ(values[i], static_cast<int>(i + 1));
  }
  if (c.result == ResultOk) {
    EXPECT_EQ(values.back(), 100);
    EXPECT_TRUE(rig.Device().Transfer().Written(FIRM_KIND_FWUP).has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, UpdateProcedureTest, ::testing::ValuesIn(kUpdateCases),
                         [](const ::testing::TestParamInfo<UpdateCase>& param) {
                           return std::string(param.param.name);
                         });

// What a stopped update tells the user holds: the next update finds the device in update
// mode and finishes the job.
TEST(FirmUpdaterStopTest, TheNextUpdateFinishesAfterAStop) {
  UpdateRig rig(*FindSimScenario("ok"));
  ASSERT_TRUE(rig.WaitConnected(DEVICE_MODE_NORMAL));
  FirmSlots slots;
  ASSERT_EQ(slots.LoadFirmPackageCopy(TwoSectionPackage()), 1);
  CallbackLog callbacks;
  const FirmUpdateJob job = slots.BuildUpdateJob(&CallbackLog::Record, &callbacks, &g_window, WM_UPDATE_FINISHED);
  auto updater = std::make_shared<CFirmUpdater>();
  callbacks.StopAt(22, updater.get());
  ASSERT_EQ(updater->StartUpdate(rig.Comm(), &job), kStatusOk);
  WindowMessage finished;
  ASSERT_TRUE(rig.Log().WaitFor(WM_UPDATE_FINISHED, finished));
  ASSERT_EQ(static_cast<int32_t>(static_cast<intptr_t>(finished.wParam)), ResultStopped);
  updater->StopUpdate();
  EXPECT_FALSE(rig.Device().Transfer().Written(FIRM_KIND_UAMC).has_value());

  // The stop released the channel; the device stayed, so no report opens another.
  ASSERT_TRUE(rig.Comm()->Connect(DEVICE_MODE_UPDATE));
  ASSERT_EQ(updater->StartUpdate(rig.Comm(), &job), kStatusOk);
  WindowMessage second;
  ASSERT_TRUE(rig.Log().WaitFor(WM_UPDATE_FINISHED, second, 2));
  EXPECT_EQ(static_cast<int32_t>(static_cast<intptr_t>(second.wParam)), ResultOk);
  updater->StopUpdate();
  EXPECT_EQ(CountRequests(rig.Device()).enter, 1) << "the second update needed no switch";
  EXPECT_TRUE(rig.Device().Transfer().Written(FIRM_KIND_FWUP).has_value());
}

// The steps a front end is told: each phase once per part in the update's order, the waits'
// bounds, and a percentage that only grows, from 0 to 100, and carries on from one part to the
// next without a jump.
TEST(FirmUpdaterStepTest, TellsEachStepInOrder) {
  UpdateRig rig(*FindSimScenario("ok"));
  ASSERT_TRUE(rig.WaitConnected(DEVICE_MODE_NORMAL));
  FirmSlots slots;
  ASSERT_EQ(slots.LoadFirmPackageCopy(TwoSectionPackage()), 1);
  FirmUpdateJob job = slots.BuildUpdateJob(nullptr, nullptr, &g_window, WM_UPDATE_FINISHED);
  job.stepMessage = WM_UPDATE_STEP;
  auto updater = std::make_shared<CFirmUpdater>();
  ASSERT_EQ(updater->StartUpdate(rig.Comm(), &job), kStatusOk);
  WindowMessage finished;
  ASSERT_TRUE(rig.Log().WaitFor(WM_UPDATE_FINISHED, finished));
  ASSERT_EQ(static_cast<int32_t>(static_cast<intptr_t>(finished.wParam)), ResultOk);
  updater->StopUpdate();

  struct Seen {
    UpdatePhase phase;
    int part;
    int kind;
    uint32_t ms;  // of the phase's first step
  };
  std::vector<Seen> phases;
  std::vector<uint32_t> settlingLeft;
  int lastPercent = -1;
  int partStartPercent = -1;
  for (const WindowMessage& message : rig.Log().Messages()) {
    if (message.message != WM_UPDATE_STEP) {
      continue;
    }
    EXPECT_EQ(message.window, &g_window);
    const UpdateStep step = UpdateStepOf(message);
    if (phases.empty() || phases.back().phase != step.phase || phases.back().part != step.part) {
      phases.push_back({step.phase, step.part, step.kind, step.ms});
      if (step.phase == UpdatePhase::Writing && step.part == 1) {
        partStartPercent = step.percent;
      }
    }
    if (step.phase == UpdatePhase::Settling) {
      settlingLeft.push_back(step.ms);
    }
    if (step.phase != UpdatePhase::Switching) {
      EXPECT_EQ(step.parts, 2);
    }
    EXPECT_GE(step.percent, lastPercent) << "the percentage never goes back";
    lastPercent = step.percent;
  }
  using P = UpdatePhase;
  const std::vector<std::tuple<P, int, int, uint32_t>> expected = {
      {P::Switching, 0, FIRM_KIND_UAMC, 120200}, {P::Settling, 0, FIRM_KIND_UAMC, 10000},
      {P::Writing, 0, FIRM_KIND_UAMC, 0},        {P::Finishing, 0, FIRM_KIND_UAMC, 391500},
      {P::Writing, 1, FIRM_KIND_FWUP, 0},        {P::Finishing, 1, FIRM_KIND_FWUP, 78480},
      {P::Closing, 1, FIRM_KIND_FWUP, 0}};
  ASSERT_EQ(phases.size(), expected.size());
  for (size_t i = 0; i < phases.size(); ++i) {
    EXPECT_EQ(std::make_tuple(phases[i].phase, phases[i].part, phases[i].kind, phases[i].ms), expected[i]) << i;
  }
  ASSERT_EQ(settlingLeft.size(), CFirmUpdater::kSettlingTicks);
  EXPECT_EQ(settlingLeft.back(), CFirmUpdater::kSettlingTickMs);
  EXPECT_EQ(partStartPercent, WritingPercent(0x3000, 0x5000)) << "the second part goes on where the first ended";
  EXPECT_EQ(lastPercent, 100);
}

TEST(FirmUpdaterStepTest, WritingPercentCountsTheBytesOfAllParts) {
  EXPECT_EQ(WritingPercent(0, 3010420), kSettledPercent);
  EXPECT_EQ(WritingPercent(2721152, 3010420), 90);  // the carried main part: 90 % of the bytes
  EXPECT_EQ(WritingPercent(3010420, 3010420), kWrittenPercent);
  EXPECT_EQ(WritingPercent(5, 0), kWrittenPercent);
}

// A second interrupt must answer in seconds, also while the device takes its time to finish
// a part (the main part's end may take six and a half minutes): the wait for the end's reply
// ends at the stop request, which leaves the device in its update mode.
TEST(FirmUpdaterStopTest, AStopEndsTheWaitForAPartsEnd) {
  UpdateRig rig(*FindSimScenario("ok"));
  rig.Device().Transfer().AddFault({.phase = TransferPhase::End,
                                    .attempts = -1,
                                    .kind = TransferFaultKind::Reply,
                                    .reply = {.kind = SimFaultKind::NoAnswer}});
  ASSERT_TRUE(rig.WaitConnected(DEVICE_MODE_NORMAL));
  FirmSlots slots;
  ASSERT_EQ(slots.LoadFirmPackageCopy(TwoSectionPackage()), 1);
  const FirmUpdateJob job = slots.BuildUpdateJob(nullptr, nullptr, &g_window, WM_UPDATE_FINISHED);
  auto updater = std::make_shared<CFirmUpdater>();
  ASSERT_EQ(updater->StartUpdate(rig.Comm(), &job), kStatusOk);
  ASSERT_TRUE(WaitUntil([&] {
    const std::vector<std::vector<uint8_t>> requests = rig.Device().Requests();
    return std::ranges::any_of(requests, [](const auto& r) { return ReadHeader(r.data()).id == MSG_FIRM_END; });
  }));
  updater->StopAfterBlock();
  // The end's time-out runs in real time here: only the stop can end the wait within the
  // log's minute.
  WindowMessage finished;
  ASSERT_TRUE(rig.Log().WaitFor(WM_UPDATE_FINISHED, finished));
  EXPECT_EQ(static_cast<int32_t>(static_cast<intptr_t>(finished.wParam)), ResultStopped);
  updater->StopUpdate();
  EXPECT_EQ(CountRequests(rig.Device()).leave, 0) << "no closing command: the device stays in update mode";
}

// The longest legal run, from the described time-outs and attempts: begin 3 x 5 s, every
// block 5 x 5 s, the end 5 x the kind's end time-out.
TEST(FirmUpdaterBoundTest, SumsEveryTimeOutAndAttempt) {
  const struct {
    FirmKind kind;
    uint32_t size;
    uint64_t boundMs;
  } kSections[] = {
      {FIRM_KIND_TIPA, 4096, 15000 + 25000 + 196200},
      {FIRM_KIND_TIPA, 4097, 15000 + 50000 + 196200},
      {FIRM_KIND_FQI, 1, 15000 + 25000 + 1176700},
      {FIRM_KIND_UAMC, 2721152, 15000 + 16625000 + 1957500},  // the carried main part: 665 blocks
      {FIRM_KIND_FWUP, 289268, 15000 + 1775000 + 392400},     // the carried second part: 71 blocks
  };
  for (const auto& section : kSections) {
    EXPECT_EQ(WriteFirmwareBoundMs(section.kind, section.size), section.boundMs) << section.kind << " " << section.size;
  }

  // The carried package: the switch (4 x 5 s for command 1, 601 x 200 ms), 20 x 500 ms of
  // ticks, 26 x 200 ms, both parts, and 5 s for the closing command: 5 h 49 min, of which the
  // two end phases take 39 min.
  FirmSlots carried;
  ASSERT_NE(carried.LoadCarriedFirmware(), 0);
  EXPECT_EQ(CFirmUpdater::TimeBoundMs(carried), 20000u + 120200u + 10000u + 5200u + 18597500u + 2182400u + 5000u);
}

// The shortest run on a full-speed link: one frame per report each way. A full block's request
// (8 + 6 + 4096 bytes) takes 66 reports and its reply one; begin and end one each way. The
// carried package's floor is the 49,252 frames the paced transfer benchmark counts.
TEST(FirmUpdaterBoundTest, FullSpeedCountsAFrameForEveryReport) {
  EXPECT_EQ(WriteFirmwareFullSpeedMs(4096), 4u + 67u);
  EXPECT_EQ(WriteFirmwareFullSpeedMs(4097), 4u + 67u + 2u);
  EXPECT_EQ(WriteFirmwareFullSpeedMs(2721152), 4u + 664u * 67u + 24u);
  EXPECT_EQ(WriteFirmwareFullSpeedMs(289268), 4u + 70u * 67u + 42u);
  FirmSlots carried;
  ASSERT_NE(carried.LoadCarriedFirmware(), 0);
  EXPECT_EQ(CFirmUpdater::FullSpeedMs(carried), 10000u + 49252u);
}

TEST(FirmUpdaterStartTest, RefusesBadArgumentsAndASecondStart) {
  UpdateRig rig(*FindSimScenario("never-returns"));
  ASSERT_TRUE(rig.WaitConnected(DEVICE_MODE_NORMAL));
  FirmSlots slots;
  ASSERT_EQ(slots.LoadFirmPackageCopy(TwoSectionPackage()), 1);
  FirmUpdateJob job = slots.BuildUpdateJob(nullptr, nullptr, &g_window, WM_UPDATE_FINISHED);
  FirmUpdateJob noWindow = job;
  noWindow.notifyWindow = nullptr;
  FirmUpdateJob noSection = job;
  noSection.count = 0;

  auto updater = std::make_shared<CFirmUpdater>();
  EXPECT_EQ(updater->StartUpdate(nullptr, &job), kStatusNullPointer);
  EXPECT_EQ(updater->StartUpdate(rig.Comm(), nullptr), kStatusNullPointer);
  EXPECT_EQ(updater->StartUpdate(rig.Comm(), &noWindow), kStatusNullPointer);
  EXPECT_EQ(updater->StartUpdate(rig.Comm(), &noSection), kStatusNullPointer);  // no false success
  EXPECT_FALSE(updater->HasThread());
  EXPECT_EQ(CountRequests(rig.Device()).enter, 0);

  ASSERT_EQ(updater->StartUpdate(rig.Comm(), &job), kStatusOk);
  EXPECT_EQ(updater->StartUpdate(rig.Comm(), &job), kStatusAlreadyInitialized);
  WindowMessage finished;
  ASSERT_TRUE(rig.Log().WaitFor(WM_UPDATE_FINISHED, finished));
  EXPECT_EQ(static_cast<int32_t>(static_cast<intptr_t>(finished.wParam)), ResultModeTimeout);
  EXPECT_EQ(CountRequests(rig.Device()).enter, 1) << "the second start left the running update alone";
  updater->StopUpdate();
}

// The owner gives up on a worker that is still waiting for the device and destroys the
// connection, the worker and the image buffers: the body goes on with the objects it holds
// (a use after free here is what the sanitizer builds catch) and still posts its result.
TEST(FirmUpdaterStartTest, OutlivedWorkerKeepsWhatItUses) {
  UpdateRig rig(*FindSimScenario("never-returns"), Bounds::Scaled);
  ASSERT_TRUE(rig.WaitConnected(DEVICE_MODE_NORMAL));
  std::weak_ptr<CDeviceCommApp> comm = rig.Comm();
  std::weak_ptr<CFirmUpdater> worker;
  {
    auto slots = std::make_unique<FirmSlots>();
    ASSERT_EQ(slots->LoadFirmPackageCopy(TwoSectionPackage()), 1);
    const FirmUpdateJob job = slots->BuildUpdateJob(nullptr, nullptr, &g_window, WM_UPDATE_FINISHED);
    auto updater = std::make_shared<CFirmUpdater>();
    worker = updater;
    ASSERT_EQ(updater->StartUpdate(rig.Comm(), &job), kStatusOk);
    updater->StopUpdate();  // gives up after 20 s of clock time: the wait lasts 120 s
    EXPECT_TRUE(updater->IsThreadActive());
    slots.reset();
    rig.StopWatching();
    rig.Comm().reset();
  }
  EXPECT_FALSE(comm.expired()) << "the running body still holds the connection";
  WindowMessage finished;
  ASSERT_TRUE(rig.Log().WaitFor(WM_UPDATE_FINISHED, finished));
  EXPECT_EQ(static_cast<int32_t>(static_cast<intptr_t>(finished.wParam)), ResultModeTimeout);
  EXPECT_TRUE(WaitUntil([&] { return worker.expired() && comm.expired(); }));
}

}  // namespace
}  // namespace qx80
