#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "firmware/image_layout.h"
#include "tests/support/image_builder.h"

namespace qx80::cli {
namespace {

// The system's own words for a file that is not there (they differ between systems).
std::string MissingFileReason(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::status(path, error).type() == std::filesystem::file_type::not_found ? error.message() : "";
}

using test::Bytes;

struct InspectRun {
  int exit;
  std::string out;
  std::string err;
};

InspectRun Inspect(std::vector<std::string> args) {
  std::ostringstream out;
  std::ostringstream err;
  const int exit = RunInspect(args, out, err);
  return {exit, out.str(), err.str()};
}

TEST(InspectTest, JsonOfTheCarriedPackage) {
  const InspectRun run = Inspect({"--json", QX80_FIRMWARE_PACKAGE_PATH});
  EXPECT_EQ(run.exit, 0);
  EXPECT_EQ(run.out,
            "{\"size\": 3010420, \"parts\": ["
            "{\"kind\": 1, \"offset\": 0, \"size\": 2721152, \"load\": 0, \"version\": \"2.09\"}, "
            "{\"kind\": 2, \"offset\": 2721152, \"size\": 289268, \"load\": 0, \"version\": \"2.09\"}], "
            "\"image\": {\"load\": -7, \"kind\": 1}, \"siam\": {\"load\": -5, \"size\": 0}}\n");
  EXPECT_EQ(run.err, "");
}

TEST(InspectTest, TextOfTheCarriedPackage) {
  const InspectRun run = Inspect({QX80_FIRMWARE_PACKAGE_PATH});
  EXPECT_EQ(run.exit, 0);
  EXPECT_NE(run.out.find("3010420 bytes, 2 parts\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("part #1: kind 1 (UAMC), offset 0, size 2721152, load 0 (accepted), version \"2.09\""),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("part #2: kind 2 (FWUP), offset 2721152, size 289268, load 0 (accepted), version \"2.09\""),
            std::string::npos)
      << run.out;
  // A sound package of two parts raises no alarm about the whole file.
  EXPECT_NE(run.out.find("whole file: a package of 2 parts, not one image (taken as one, load -7, as expected)"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("mismatch"), std::string::npos) << run.out;
}

TEST(InspectTest, FailedPartsShowNoVersionAndTheWholeFileAsSiam) {
  Bytes broken = test::BuildHeaderImage({.kind = FIRM_KIND_FQI, .size = 0x300, .version = "1.00"});
  broken[0x250] ^= 1;
  const test::TempImageFile brokenFile(broken);
  InspectRun run = Inspect({"--json", brokenFile.Path().string()});
  EXPECT_EQ(run.exit, 0);  // the part still goes into its slot
  EXPECT_EQ(
      run.out,
      "{\"size\": 768, \"parts\": [{\"kind\": 3, \"offset\": 0, \"size\": 768, \"load\": -7, \"version\": \"\"}], "
      "\"image\": {\"load\": -7, \"kind\": 3}, \"siam\": {\"load\": -5, \"size\": 0}}\n");

  const test::TempImageFile siamFile(test::BuildSiamImage(test::RandomBytes(1000, 1)));
  run = Inspect({siamFile.Path().string(), "--json"});
  EXPECT_EQ(run.exit, 1);  // nothing for the slots
  EXPECT_EQ(run.out,
            "{\"size\": 1024, \"parts\": [], \"image\": {\"load\": -5, \"kind\": -1}, "
            "\"siam\": {\"load\": 0, \"size\": 1000}}\n");
}

TEST(InspectTest, VersionTextsAreEscapedInJson) {
  Bytes image = test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x400, .checkFlag = 0});
  std::memcpy(image.data() + firm_layout::HEADER_VERSION, "\"\\\x01\xC3", 4);
  const test::TempImageFile file(image);
  const InspectRun run = Inspect({"--json", file.Path().string()});
  EXPECT_NE(run.out.find("\"version\": \"\\\"\\\\\\u0001\\uFFFD\"}"), std::string::npos) << run.out;
}

TEST(InspectTest, FileNamesOutsideAsciiAreFound) {
  const auto path =
      std::filesystem::temp_directory_path() / std::filesystem::path(u8"qx80-\u00DF-\u30C6\u30B9\u30C8.bin");
  const Bytes image = test::BuildAgpfImage(0x40);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 0x40);
  const std::u8string name = path.u8string();
  const InspectRun run = Inspect({"--json", std::string(name.begin(), name.end())});
  std::filesystem::remove(path);
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_NE(run.out.find("{\"kind\": 4, \"offset\": 0, \"size\": 64, \"load\": 0, \"version\": \"12\"}"),
            std::string::npos)
      << run.out;
}

TEST(InspectTest, ExitCodesForBadFilesAndArguments) {
  const auto missing = (std::filesystem::temp_directory_path() / "qx80-missing.bin").string();
  InspectRun run = Inspect({"--json", missing});
  EXPECT_EQ(run.exit, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("cannot read " + missing + ": " + MissingFileReason(missing)), std::string::npos) << run.err;

  EXPECT_EQ(Inspect({}).exit, 2);
  EXPECT_EQ(Inspect({"--jsn", QX80_FIRMWARE_PACKAGE_PATH}).exit, 2);
  EXPECT_EQ(Inspect({QX80_FIRMWARE_PACKAGE_PATH, QX80_FIRMWARE_PACKAGE_PATH}).exit, 2);

  run = Inspect({"--help"});
  EXPECT_EQ(run.exit, 0);
  EXPECT_NE(run.out.find("usage: qx80 inspect [-h] [--json] FILE"), std::string::npos);

  const test::TempImageFile garbage(test::RandomBytes(500, 3));
  run = Inspect({garbage.Path().string()});
  EXPECT_EQ(run.exit, 1);
  EXPECT_NE(run.out.find("500 bytes, 0 parts"), std::string::npos) << run.out;
}

// Each fault of a package file is named: what cannot be read with the reason, and the bytes
// left after the last part with why.
TEST(InspectTest, SaysWhatIsWrongWithTheFile) {
  const Bytes parts =
      test::Concat({test::BuildHeaderImage(FIRM_KIND_UAMC, 0x1000), test::BuildHeaderImage(FIRM_KIND_FWUP, 0x400)});
  Bytes truncated = parts;
  truncated.resize(0x1200);
  const test::TempImageFile truncatedFile(truncated);
  InspectRun run = Inspect({truncatedFile.Path().string()});
  EXPECT_EQ(run.exit, 0);
  EXPECT_NE(run.out.find("512 bytes after the last part (from offset 4096) are not used: a FWUP part that declares "
                         "1024 bytes, cut short"),
            std::string::npos)
      << run.out;

  const test::TempImageFile trailingFile(test::Concat({parts, test::RandomBytes(100, 4)}));
  run = Inspect({trailingFile.Path().string()});
  EXPECT_NE(run.out.find("100 bytes after the last part (from offset 5120) are not used: no part the updater knows"),
            std::string::npos)
      << run.out;

  run = Inspect({std::filesystem::temp_directory_path().string()});
  EXPECT_EQ(run.exit, 2);
  EXPECT_NE(run.err.find(": it is a folder"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace qx80::cli
