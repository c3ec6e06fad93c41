// The version record: queries over crafted blocks and the program's own record, and the
// about box's version line.
#include "updater/version_info.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/resources/resources.h"

namespace qx80 {
namespace {

// One node of a version block, laid out as the resource compiler does.
struct VNode {
  std::u16string key;
  std::vector<uint8_t> value;
  bool text = false;
  std::vector<VNode> children;

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> b(6, 0);
    for (char16_t c : key) {
      Put16(b, c);
    }
    Put16(b, 0);
    Pad(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const auto& child : children) {
      Pad(b);
      const auto cb = child.Bytes();
      b.insert(b.end(), cb.begin(), cb.end());
    }
    const size_t valueLength = text ? value.size() / 2 : value.size();
    b[0] = static_cast<uint8_t>(b.size());
    b[1] = static_cast<uint8_t>(b.size() >> 8);
    b[2] = static_cast<uint8_t>(valueLength);
    b[3] = static_cast<uint8_t>(valueLength >> 8);
    b[4] = text ? 1 : 0;
    return b;
  }
  static void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  }
  static void Pad(std::vector<uint8_t>& b) {
    while (b.size() % 4 != 0) {
      b.push_back(0);
    }
  }
};

std::vector<uint8_t> FixedInfo(uint32_t productMs, uint32_t productLs) {
  std::vector<uint8_t> b;
  const uint32_t words[13] = {0xFEEF04BD, 0x10000, 0, 0, productMs, productLs, 0x3F, 0, 4, 1, 0, 0, 0};
  for (uint32_t w : words) {
    VNode::Put16(b, w & 0xFFFF);
    VNode::Put16(b, w >> 16);
  }
  return b;
}

std::vector<uint8_t> Text(std::u16string_view s) {
  std::vector<uint8_t> b;
  for (char16_t c : s) {
    VNode::Put16(b, c);
  }
  VNode::Put16(b, 0);
  return b;
}

VNode StringTable(std::u16string_view langCp, std::u16string_view productName) {
  return VNode{std::u16string(langCp), {}, true, {VNode{u"ProductName", Text(productName), true, {}}}};
}

VNode StringInfo(std::vector<VNode> tables) {
  return VNode{u"StringFileInfo", {}, true, std::move(tables)};
}

VNode Translation(std::vector<uint8_t> pairs) {
  return VNode{u"VarFileInfo", {}, true, {VNode{u"Translation", std::move(pairs), false, {}}}};
}

AppInfo Read(const std::vector<uint8_t>& block) {
  AppInfo info;
  ApplyVersionInfo(
      [&](std::u16string_view sub, std::span<const uint8_t>& value) { return QueryVersionBlock(block, sub, value); },
      info);
  return info;
}

TEST(VersionInfo, ReadsNameThroughTheFirstTranslationAndTheProductVersion) {
  const VNode root{
      u"VS_VERSION_INFO",
      FixedInfo(0x00010000, 0x00040000),
      false,
      {StringInfo({StringTable(u"041104B0", u"Other Name"), StringTable(u"040904b0", u"QX-80 FW-Updater")}),
       Translation({0x09, 0x04, 0xB0, 0x04, 0x11, 0x04, 0xB0, 0x04})}};
  const AppInfo info = Read(root.Bytes());
  EXPECT_EQ(info.m_productName, u"QX-80 FW-Updater");
  EXPECT_EQ(info.m_versionMajor, 1);
  EXPECT_EQ(info.m_versionMinor, 0);
  EXPECT_EQ(info.m_versionBuild, 4);
}

TEST(VersionInfo, MissingPartsLeaveTheirFieldsAlone) {
  struct Case {
    const char* what;
    VNode root;
    std::u16string name;
    int32_t major, minor, build;
  };
  const Case cases[] = {
      {"no translation table",
       VNode{u"VS_VERSION_INFO",
             FixedInfo(0x00020003, 0x00070001),
             false,
             {StringInfo({StringTable(u"040904b0", u"Name")})}},
       u"", 2, 3, 7},
      {"empty translation table",
       VNode{u"VS_VERSION_INFO",
             FixedInfo(0x00020003, 0x00070001),
             false,
             {StringInfo({StringTable(u"040904b0", u"Name")}), Translation({})}},
       u"", 2, 3, 7},
      {"no strings for the translation",
       VNode{u"VS_VERSION_INFO",
             FixedInfo(0x00010001, 0x000C0000),
             false,
             {StringInfo({StringTable(u"040904e4", u"Name")}), Translation({0x09, 0x04, 0xB0, 0x04})}},
       u"", 1, 1, 12},
      {"no fixed information",
       VNode{u"VS_VERSION_INFO",
             {},
             false,
             {StringInfo({StringTable(u"040904b0", u"Name")}), Translation({0x09, 0x04, 0xB0, 0x04})}},
       u"Name", 0, 0, 0},
  };
  for (const auto& c : cases) {
    const AppInfo info = Read(c.root.Bytes());
    EXPECT_EQ(info.m_productName, c.name) << c.what;
    EXPECT_EQ(info.m_versionMajor, c.major) << c.what;
    EXPECT_EQ(info.m_versionMinor, c.minor) << c.what;
    EXPECT_EQ(info.m_versionBuild, c.build) << c.what;
  }
}

TEST(VersionInfo, LongProductNameIsCutTo64Characters) {
  const std::u16string longName(80, u'x');
  const VNode root{u"VS_VERSION_INFO",
                   FixedInfo(0, 0),
                   false,
                   {StringInfo({StringTable(u"040904b0", longName)}), Translation({0x09, 0x04, 0xB0, 0x04})}};
  EXPECT_EQ(Read(root.Bytes()).m_productName, std::u16string(64, u'x'));
}

TEST(VersionInfo, BrokenBlocksAnswerNothing) {
  const VNode root{
      u"VS_VERSION_INFO",
      FixedInfo(0x00010000, 0x00040000),
      false,
      {StringInfo({StringTable(u"040904b0", u"QX-80 FW-Updater")}), Translation({0x09, 0x04, 0xB0, 0x04})}};
  const auto good = root.Bytes();
  std::span<const uint8_t> value;
  // Every truncation either answers within the bytes it was given or not at all.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    std::vector<uint8_t> part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    for (const char16_t* q : {u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040904b0\\ProductName"}) {
      if (QueryVersionBlock(part, q, value)) {
        EXPECT_GE(value.data(), part.data());
        EXPECT_LE(value.data() + value.size(), part.data() + part.size());
      }
    }
  }
  EXPECT_TRUE(QueryVersionBlock(good, u"\\stringfileinfo\\040904B0\\productname", value));
  EXPECT_FALSE(QueryVersionBlock(good, u"\\StringFileInfo\\040904b0\\CompanyName", value));
}

TEST(VersionInfo, TheProgramsOwnRecord) {
  const auto block = FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_VERSION), 1);
  ASSERT_FALSE(block.empty());
  AppInfo info;
  ApplyVersionInfo(
      [&](std::u16string_view sub, std::span<const uint8_t>& value) { return QueryVersionBlock(block, sub, value); },
      info);
  EXPECT_EQ(info.m_productName, u"QX-80 FW-Updater");
  EXPECT_EQ(info.m_versionMajor, 1);
  EXPECT_EQ(info.m_versionMinor, 0);
  EXPECT_EQ(info.m_versionBuild, 4);
  EXPECT_EQ(FormatAboutVersion(info), u"QX-80 FW-Updater  Version 1.04");

  std::span<const uint8_t> value;
  ASSERT_TRUE(QueryVersionBlock(block, u"\\StringFileInfo\\040904b0\\FileVersion", value));
  EXPECT_EQ(std::vector<uint8_t>(value.begin(), value.end()), Text(u"1.04"));
  ASSERT_TRUE(QueryVersionBlock(block, u"\\StringFileInfo\\040904b0\\CompanyName", value));
  EXPECT_FALSE(value.empty());
}

TEST(VersionInfo, AboutLine) {
  struct Case {
    std::u16string name;
    int32_t major, minor, build;
    std::u16string line;
  };
  const Case cases[] = {
      {u"QX-80 FW-Updater", 1, 0, 4, u"QX-80 FW-Updater  Version 1.04"},
      {u"QX-80 FW-Updater", 1, 1, 12, u"QX-80 FW-Updater  Version 1.112"},  // no separator, no leading zeros
      {u"", 0, 0, 0, u"  Version 0.00"},                                    // no readable record
  };
  for (const auto& c : cases) {
    AppInfo info;
    info.m_productName = c.name;
    info.m_versionMajor = c.major;
    info.m_versionMinor = c.minor;
    info.m_versionBuild = c.build;
    EXPECT_EQ(FormatAboutVersion(info), c.line);
  }
}

}  // namespace
}  // namespace qx80
