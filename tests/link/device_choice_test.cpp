#include "link/device_choice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "session/device_session.h"
#include "session/message_queue.h"
#include "sim/sim_scenarios.h"
#include "tests/support/image_builder.h"
#include "workers/device_mode.h"
#include "workers/probe_device.h"

namespace qx80 {
namespace {

// A bus whose interfaces a case sets by hand: path, location ("" where the bus tells none)
// and product id.
class ScriptedBus final : public HidBackend {
 public:
  struct Interface {
    std::string path;
    std::string location;
    uint16_t productId;
  };
  std::vector<Interface> interfaces;

  bool Enumerate(std::vector<std::string>& paths) override {
    paths.clear();
    for (const Interface& i : interfaces) {
      paths.push_back(i.path);
    }
    return true;
  }
  std::unique_ptr<HidHandle> Open(const std::string&) override { return nullptr; }
  bool Identify(const std::string& path, HidInterfaceCaps& caps) override {
    const Interface* i = Find(path);
    caps = {.vendorId = i != nullptr && i->productId != kOtherProduct ? uint16_t{0x1F5E} : uint16_t{0x1234},
            .productId = i != nullptr ? i->productId : uint16_t{0},
            .inputReportLength = 65,
            .outputReportLength = 65};
    return i != nullptr;
  }
  bool Locate(const std::string& path, std::string& location) override {
    const Interface* i = Find(path);
    location = i != nullptr ? i->location : "";
    return !location.empty();
  }

  static constexpr uint16_t kOtherProduct = 0xFFFF;  // another maker's device

 private:
  const Interface* Find(const std::string& path) const {
    for (const Interface& i : interfaces) {
      if (i.path == path) {
        return &i;
      }
    }
    return nullptr;
  }
};

constexpr uint16_t kNormal = 0x2A01;
constexpr uint16_t kUpdate = 0x2A02;

// The list and the bus probe find a QX-80 by one rule: an interface with its ids but other
// report lengths is no QX-80 to either, and the list of lookalikes names it.
TEST(DeviceChoiceTest, AnInterfaceWithTheIdsButOtherReportsIsNoQx80ToListOrProbe) {
  SimHidBus bus;
  ScopedHidBackend scoped(bus);
  bus.Attach({.vendorId = 0x1F5E, .productId = kNormal, .inputReportLength = 33, .outputReportLength = 33}, nullptr);
  bus.Attach({.vendorId = 0x1F5E, .productId = kUpdate, .inputReportLength = 65, .outputReportLength = 9}, nullptr);
  bus.Attach({.vendorId = 0x1234, .productId = kNormal, .inputReportLength = 33, .outputReportLength = 33}, nullptr);
  EXPECT_TRUE(ListQx80(bus).empty());
  EXPECT_EQ(ProbeDevice(), DEVICE_MODE_ABSENT);
  const std::vector<Qx80Lookalike> lookalikes = ListQx80Lookalikes(bus);
  ASSERT_EQ(lookalikes.size(), 2u);
  EXPECT_EQ(lookalikes[1].caps.outputReportLength, 9);

  bus.Attach({.vendorId = 0x1F5E, .productId = kUpdate, .inputReportLength = 65, .outputReportLength = 65}, nullptr);
  const std::vector<Qx80Interface> found = ListQx80(bus);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].mode, DEVICE_MODE_UPDATE);
  EXPECT_EQ(ProbeDevice(), DEVICE_MODE_UPDATE);
  EXPECT_EQ(ListQx80Lookalikes(bus).size(), 2u);
}

TEST(DeviceChoiceTest, ListsEveryQx80WithModeAndLocation) {
  ScriptedBus bus;
  bus.interfaces = {{"a", "port1", kNormal},
                    {"mouse", "port2", ScriptedBus::kOtherProduct},
                    {"b", "", kUpdate},
                    {"c", "port3", 0x2A06}};
  const std::vector<Qx80Interface> found = ListQx80(bus);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].path, "a");
  EXPECT_EQ(found[0].location, "port1");
  EXPECT_EQ(found[0].mode, DEVICE_MODE_NORMAL);
  EXPECT_EQ(found[1].path, "b");
  EXPECT_EQ(found[1].location, "");
  EXPECT_EQ(found[1].mode, DEVICE_MODE_UPDATE);
  EXPECT_EQ(found[2].mode, DEVICE_MODE_NORMAL);
}

TEST(DeviceChoiceTest, PicksOnlyWhatIsNamedOrAlone) {
  const std::vector<Qx80Interface> one = {{"a", "", 1}};
  const std::vector<Qx80Interface> two = {{"a", "", 1}, {"b", "", 2}};
  const struct {
    const std::vector<Qx80Interface>* found;
    DeviceChoice choice;
    int64_t index;
    const char* error;
  } kCases[] = {
      {&one, {}, 0, ""},
      {&two, {}, -1, "2 QX-80 found"},
      {&two, {.path = "b"}, 1, ""},
      {&two, {.path = "", .index = 0}, 0, ""},
      {&two, {.path = "c"}, -1, "no QX-80 at c"},
      {&two, {.path = "", .index = 2}, -1, "no QX-80 with index 2 (2 found)"},
      {&one, {.path = "a", .index = 5}, 0, ""},  // the path decides
  };
  const std::vector<Qx80Interface> none;
  std::string error;
  EXPECT_EQ(PickQx80(none, {}, error), -1);
  EXPECT_EQ(error, "") << "nothing to choose from is no error";
  for (const auto& c : kCases) {
    std::string reason;
    EXPECT_EQ(PickQx80(*c.found, c.choice, reason), c.index) << c.error;
    EXPECT_EQ(reason, c.error);
  }
}

// The bus changes step by step; after each step the view shows the chosen device's path, or
// nothing. Device "a" is chosen at the start, next to "b".
struct FollowCase {
  const char* name;
  bool locations;  // whether the bus tells where each device is plugged in
  std::vector<std::vector<ScriptedBus::Interface>> steps;
  std::vector<std::string> shown;  // per step, "" for nothing
  size_t othersAppeared;
};

void PrintTo(const FollowCase& c, std::ostream* os) {
  *os << c.name;
}

const FollowCase kFollowCases[] = {
    {"RestartAtItsPort",
     true,
     {{{"b", "p2", kNormal}},
      {{"b", "p2", kNormal}, {"a2", "p1", kUpdate}},
      {{"a3", "p1", kNormal}, {"b", "p2", kNormal}}},
     {"", "a2", "a3"},
     0},
    {"OtherArrivesWhileAway",
     true,
     {{{"b", "p2", kNormal}},
      {{"b", "p2", kNormal}, {"x", "p9", kUpdate}},
      {{"x", "p9", kUpdate}, {"a2", "p1", kUpdate}}},
     {"", "", "a2"},
     1},
    // "a2" goes between being listed and being placed, as a restarting device may.
    {"OneThatCannotBePlacedIsLeftForTheNextLook",
     true,
     {{{"b", "p2", kNormal}},
      {{"b", "p2", kNormal}, {"a2", "", kUpdate}},
      {{"a3", "p1", kNormal}, {"b", "p2", kNormal}}},
     {"", "", "a3"},
     0},
    {"WithoutLocationsTheOneNewcomer",
     false,
     {{{"b", "", kNormal}}, {{"b", "", kNormal}, {"a2", "", kUpdate}}, {{"b", "", kNormal}, {"a3", "", kNormal}}},
     {"", "a2", "a3"},
     0},
    {"WithoutLocationsTwoNewcomersAreNeitherTaken",
     false,
     {{{"b", "", kNormal}}, {{"b", "", kNormal}, {"a2", "", kUpdate}, {"x", "", kUpdate}}, {{"a2", "", kUpdate}}},
     {"", "", ""},
     2},
    {"WithoutLocationsOneArrivedBesideItIsNeverTaken",
     false,
     {{{"a", "", kNormal}, {"b", "", kNormal}, {"x", "", kUpdate}}, {{"b", "", kNormal}, {"x", "", kUpdate}}},
     {"a", ""},
     1},
};

class FollowTest : public ::testing::TestWithParam<FollowCase> {};

TEST_P(FollowTest, ShowsTheChosenDeviceOnly) {
  const FollowCase& c = GetParam();
  ScriptedBus bus;
  bus.interfaces = {{"a", c.locations ? "p1" : "", kNormal}, {"b", c.locations ? "p2" : "", kNormal}};
  const std::vector<Qx80Interface> found = ListQx80(bus);
  ChosenDeviceBackend view(bus, found.at(0));
  for (size_t step = 0; step < c.steps.size(); ++step) {
    bus.interfaces = c.steps[step];
    std::vector<std::string> paths;
    ASSERT_TRUE(view.Enumerate(paths));
    EXPECT_EQ(paths, c.shown[step].empty() ? std::vector<std::string>{} : std::vector<std::string>{c.shown[step]})
        << "step " << step;
    HidInterfaceCaps caps;
    EXPECT_FALSE(view.Identify("b", caps)) << "another device is never reachable";
  }
  EXPECT_EQ(view.OthersAppeared(), c.othersAppeared);
}

INSTANTIATE_TEST_SUITE_P(Steps, FollowTest, ::testing::ValuesIn(kFollowCases),
                         [](const ::testing::TestParamInfo<FollowCase>& param) {
                           return std::string(param.param.name);
                         });

// A whole update of the chosen QX-80 while another one waits in update mode on the same bus:
// without the view the update would find that one and write it.
TEST(DeviceChoiceTest, AnUpdateNeverWritesAnotherQx80) {
  ScaledClock clock(50, Bounds::Real);
  ScopedClock scopedClock(clock);
  SimQx80Rig rig(*FindSimScenario("ok"));
  const std::vector<Qx80Interface> found = ListQx80(rig.Bus());
  ASSERT_EQ(found.size(), 1u);
  ChosenDeviceBackend view(rig.Bus(), found[0]);
  ScopedHidBackend scoped(view);
  SimQx80Config otherConfig;
  otherConfig.productId = QX80_PRODUCT_UPDATE;
  SimQx80Device other(rig.Bus(), otherConfig);
  other.KeepRequests();

  auto queue = std::make_shared<WindowMessageQueue>();
  SetWindowMessagePoster(WindowMessageQueue::PosterFor(queue));
  char window = 0;
  auto session = CDeviceSession::Create(&window);
  FirmSlots slots;
  ASSERT_EQ(
      slots.LoadFirmPackageCopy(test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x3000, .version = "2.09"})),
      1);
  ASSERT_EQ(session->StartWatching(0), kStatusOk);
  int32_t result = 1;
  const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool started = false;
  while (result == 1 && std::chrono::steady_clock::now() < guard) {
    WindowMessage message;
    if (!queue->Wait(message, 100)) {
      continue;
    }
    if (message.message == WM_DEVICE_MODE_CHANGED) {
      session->OnDeviceModeChanged(static_cast<int32_t>(static_cast<intptr_t>(message.wParam)));
      if (!started && session->IsConnected()) {
        ASSERT_GE(session->StartUpdate(slots, nullptr), 0);
        started = true;
      }
    } else if (message.message == WM_UPDATE_FINISHED) {
      result = static_cast<int32_t>(static_cast<intptr_t>(message.wParam));
    }
  }
  session->OnUpdateFinished(result);
  session.reset();
  SetWindowMessagePoster({});
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(other.Requests().empty()) << other.Requests().size() << " requests reached the other QX-80";
  EXPECT_EQ(view.OthersAppeared(), 1u);
}

}  // namespace
}  // namespace qx80
