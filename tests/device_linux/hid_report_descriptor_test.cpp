#include "device/linux/hid_report_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

namespace qx80 {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

// Short items of the descriptor language.
const Bytes kVendorCollection = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};  // usage page, usage, collection
const Bytes kEnd = {0xC0};
Bytes ReportId(uint8_t id) {
  return {0x85, id};
}
Bytes Size(uint8_t bits) {
  return {0x75, bits};
}
Bytes Count(uint8_t count) {
  return {0x95, count};
}
const Bytes kInputVariable = {0x09, 0x01, 0x81, 0x02};
const Bytes kOutputVariable = {0x09, 0x02, 0x91, 0x02};
const Bytes kOutputArray = {0x09, 0x03, 0x91, 0x00};
const Bytes kOutputConstant = {0x91, 0x01};
const Bytes kFeatureVariable = {0x09, 0x04, 0xB1, 0x02};
const Bytes kCount65280 = {0x96, 0x00, 0xFF};

struct LayoutCase {
  const char* name;
  Bytes descriptor;
  uint16_t input, output, feature;
  uint8_t firstOutputReportId;
  bool numbered;
};

TEST(HidReportDescriptorTest, LengthsAndTheFirstOutputReportIdAreThoseOfThePlatformParser) {
  const std::vector<LayoutCase> cases = {
      {"64-byte reports without ids still count an id byte",
       Join({kVendorCollection, Size(8), Count(64), kInputVariable, kOutputVariable, kEnd}), 65, 65, 0, 0, false},
      {"64-byte reports under report id 5",
       Join({kVendorCollection, ReportId(5), Size(8), Count(64), kInputVariable, kOutputVariable, kEnd}), 65, 65, 0, 5,
       true},
      {"the longest report of a kind sets its length",
       Join({kVendorCollection, ReportId(1), Size(8), Count(8), kInputVariable, ReportId(2), Count(32), kInputVariable,
             Count(3), kFeatureVariable, kEnd}),
       33, 0, 4, 0, true},
      {"bits of one report add up and round up to bytes",
       Join({kVendorCollection, Size(1), Count(5), kOutputVariable, Size(3), Count(1), kOutputConstant, Size(4),
             Count(1), kInputVariable, kEnd}),
       2, 2, 0, 0, false},
      {"a button comes before a value that precedes it",
       Join({kVendorCollection, ReportId(3), Size(8), Count(4), kOutputVariable, ReportId(4), Size(1), Count(8),
             kOutputVariable, kEnd}),
       0, 5, 0, 4, true},
      {"an array is a button",
       Join({kVendorCollection, ReportId(9), Size(8), Count(2), kOutputVariable, ReportId(7), Count(1), kOutputArray,
             kEnd}),
       0, 3, 0, 7, true},
      {"padding is no output item",
       Join({kVendorCollection, ReportId(6), Size(8), Count(1), kOutputConstant, ReportId(2), Count(1), kOutputVariable,
             kEnd}),
       0, 2, 0, 2, true},
      {"push and pop restore the report size and id",
       Join({kVendorCollection,
             Size(8),
             Count(2),
             ReportId(1),
             {0xA4},
             Size(16),
             ReportId(2),
             kInputVariable,
             {0xB4},
             kOutputVariable,
             kEnd}),
       5, 3, 0, 1, true},
      {"65534 bytes in two fields and the id byte are the longest report",
       Join({kVendorCollection, Size(8), kCount65280, kInputVariable, Count(254), kInputVariable, kEnd}), 65535, 0, 0,
       0, false},
      {"a long item is skipped",
       Join({kVendorCollection, {0xFE, 0x02, 0x10, 0xAA, 0xBB}, Size(8), Count(1), kOutputVariable, kEnd}), 0, 2, 0, 0,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HidReportLayout layout;
    ASSERT_TRUE(ParseReportDescriptor(c.descriptor, layout));
    EXPECT_EQ(layout.inputReportLength, c.input);
    EXPECT_EQ(layout.outputReportLength, c.output);
    EXPECT_EQ(layout.featureReportLength, c.feature);
    EXPECT_EQ(layout.firstOutputReportId, c.firstOutputReportId);
    EXPECT_EQ(layout.numberedReports, c.numbered);
  }
}

TEST(HidReportDescriptorTest, MalformedDescriptorsAreRefusedAndLeaveTheLayoutAlone) {
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"an item cut short", Join({kVendorCollection, {0x75}})},
      {"a four-byte item cut short", Join({kVendorCollection, {0x77, 0x01, 0x02}})},
      {"a long item cut short", Join({kVendorCollection, {0xFE, 0x05, 0x10, 0x01}})},
      {"pop without push", Join({kVendorCollection, {0xB4}, kEnd})},
      {"a report beyond 65535 bytes",
       Join({kVendorCollection, {0x77, 0xFF, 0xFF, 0x00, 0x00}, {0x97, 0xFF, 0xFF, 0x00, 0x00}, kInputVariable})},
      {"one byte beyond 65535 in two fields",
       Join({kVendorCollection, Size(8), kCount65280, kInputVariable, Count(255), kInputVariable})},
      {"a sum of fields that wraps 64 bits",
       {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0x75, 0x02, 0x81, 0x02}},
  };
  for (const auto& [name, descriptor] : cases) {
    SCOPED_TRACE(name);
    HidReportLayout layout;
    layout.inputReportLength = 77;
    EXPECT_FALSE(ParseReportDescriptor(descriptor, layout));
    EXPECT_EQ(layout.inputReportLength, 77);
  }
}

}  // namespace
}  // namespace qx80
