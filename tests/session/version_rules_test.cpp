#include "session/version_rules.h"

#include <gtest/gtest.h>

namespace qx80 {
namespace {

TEST(VersionRulesTest, TextToNumber) {
  const struct {
    std::u16string text;
    int32_t number;
  } cases[] = {
      {u"2.09", 0x02000900}, {u"209a", 0x02000961}, {u"209B", 0x02000942},
      {u"0.50", 0x00050000}, {u"---", 0},           {u"", 0},
      {u"10.5", 0},          {u"209", 0},           {u"2.0x", 0},
      {u"2090", 0},          {u"2.091", 0},         {u"20.9", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VersionTextToNumber(c.text), c.number) << std::string(c.text.begin(), c.text.end());
  }
}

VersionSlots UamcFwup(std::u16string deviceUamc, std::u16string imageUamc, std::u16string deviceFwup,
                      std::u16string imageFwup) {
  VersionSlots slots;
  slots.loaded = {false, true, true, false, false};
  slots.device[1] = std::move(deviceUamc);
  slots.image[1] = std::move(imageUamc);
  slots.device[2] = std::move(deviceFwup);
  slots.image[2] = std::move(imageFwup);
  return slots;
}

TEST(VersionRulesTest, UpdateNeededAndTheVersionShown) {
  const struct {
    const char* name;
    VersionSlots slots;
    bool needed;
    CurrentVersionSlot shown;
  } cases[] = {
      {"device newer", UamcFwup(u"2.10", u"2.09", u"2.10", u"2.09"), false, CurrentVersionSlot::Uamc},
      {"all equal", UamcFwup(u"2.09", u"2.09", u"2.09", u"2.09"), false, CurrentVersionSlot::Uamc},
      {"letters differ", UamcFwup(u"209b", u"209a", u"2.09", u"2.09"), true, CurrentVersionSlot::Uamc},
      {"letters differ the other way", UamcFwup(u"209a", u"209b", u"2.09", u"2.09"), true, CurrentVersionSlot::Uamc},
      {"letter against dotted", UamcFwup(u"2.09", u"209a", u"2.09", u"2.09"), true, CurrentVersionSlot::Uamc},
      {"failed query", UamcFwup(u"---", u"2.09", u"2.09", u"2.09"), true, CurrentVersionSlot::Uamc},
      {"image part failed its check", UamcFwup(u"2.09", u"", u"2.09", u"2.09"), false, CurrentVersionSlot::Uamc},
      {"stripped leading zero", UamcFwup(u"209", u"2.09", u"2.09", u"2.09"), true, CurrentVersionSlot::Uamc},
      {"only the second image older", UamcFwup(u"2.09", u"2.09", u"2.05", u"2.09"), true, CurrentVersionSlot::Fwup},
      {"first image differs", UamcFwup(u"2.08", u"2.09", u"2.05", u"2.09"), true, CurrentVersionSlot::Uamc},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsUpdateNeeded(c.slots), c.needed);
    EXPECT_EQ(SelectCurrentVersion(c.slots), c.shown);
  }
}

TEST(VersionRulesTest, SlotsWithoutAPartAreIgnored) {
  VersionSlots slots;
  slots.device[1] = u"---";
  slots.image[1] = u"2.09";
  EXPECT_FALSE(IsUpdateNeeded(slots));
  EXPECT_EQ(SelectCurrentVersion(slots), CurrentVersionSlot::None);
  slots.loaded[1] = true;  // UAMC alone
  EXPECT_TRUE(IsUpdateNeeded(slots));
  EXPECT_EQ(SelectCurrentVersion(slots), CurrentVersionSlot::Uamc);
}

// After an update the device must show exactly each loaded part's version: newer counts as
// other, a part the image lacks is not looked at.
TEST(VersionRulesTest, InstalledMeansEveryLoadedPartShowsItsVersion) {
  const struct {
    const char* name;
    std::u16string uamc;
    std::u16string fwup;
    bool installed;
  } kCases[] = {
      {"both shown", u"2.09", u"2.09", true},       {"one older", u"2.09", u"2.05", false},
      {"one newer", u"2.10", u"2.09", false},       {"one not read", u"2.09", u"", false},
      {"one query failed", u"---", u"2.09", false},
  };
  for (const auto& c : kCases) {
    VersionSlots slots;
    slots.loaded[1] = slots.loaded[2] = true;
    slots.image[1] = slots.image[2] = u"2.09";
    slots.device[0] = u"1.00";  // TIPA: no part in the image
    slots.device[1] = c.uamc;
    slots.device[2] = c.fwup;
    EXPECT_EQ(AreVersionsInstalled(slots), c.installed) << c.name;
  }
}

}  // namespace
}  // namespace qx80
