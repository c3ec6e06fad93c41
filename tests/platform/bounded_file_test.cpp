#include "platform/bounded_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/visible_text.h"
#include "tests/support/test_temp_path.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace qx80 {
namespace {

namespace fs = std::filesystem;

class BoundedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = TestTempPath("");
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  fs::path File(const std::string& name, const std::string& contents) const {
    const fs::path path = m_dir / name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }
  fs::path m_dir;
};

TEST_F(BoundedFileTest, ReadsARegularFileUpToItsBound) {
  std::string text;
  std::string reason;
  const std::string contents(70000, 'q');  // more than one chunk
  ASSERT_TRUE(ReadBoundedFile(File("exact", contents), contents.size(), text, reason)) << reason;
  EXPECT_EQ(text, contents);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadBoundedFile(File("empty", ""), 10, bytes, reason)) << reason;
  EXPECT_TRUE(bytes.empty());
}

TEST_F(BoundedFileTest, RefusesWhatItCannotHoldWithAReason) {
  struct Case {
    fs::path path;
    uint64_t maxBytes;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {m_dir, 10, "it is a folder"},
      {File("eleven", "0123456789a"), 10, "it is larger than any file of its kind (11 bytes, at most 10 bytes)"},
#ifndef _WIN32
      // A device never ends and a pipe waits for a writer: both are refused before reading.
      {"/dev/zero", 1024 * 1024, "it is not a regular file"},
      {[this] {
         const fs::path fifo = m_dir / "fifo";
         EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
         return fifo;
       }(),
       10, "it is not a regular file"},
#endif
  };
  for (const Case& c : cases) {
    std::string text = "left over";
    std::string reason;
    EXPECT_FALSE(ReadBoundedFile(c.path, c.maxBytes, text, reason)) << c.path;
    EXPECT_EQ(reason.find(c.reason), 0U) << c.path << " gave: " << reason;
  }
}

TEST(ByteCountTextTest, NamesTheLargestWholeUnit) {
  EXPECT_EQ(ByteCountText(64ULL * 1024 * 1024), "64 MiB");
  EXPECT_EQ(ByteCountText(1536), "1536 bytes");
  EXPECT_EQ(ByteCountText(3072), "3 KiB");
  EXPECT_EQ(ByteCountText(1), "1 byte");
}

TEST(VisibleTextTest, ShowsControlCharactersAsEscapes) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {"2.09", "2.09"},
      {"\x1b[2J", "\\x1b[2J"},                             // would clear the screen
      {"v1\r\nqx80: forged", "v1\\x0d\\x0aqx80: forged"},  // would forge a line
      {std::string("a\0b\x7f", 4), "a\\x00b\\x7f"},
      {"\xc2\x9b"
       "2J",
       "\\xc2\\x9b2J"},                                          // C1 CSI as UTF-8
      {"\xe6\x97\xa5\xe6\x9c\xac", "\xe6\x97\xa5\xe6\x9c\xac"},  // other UTF-8 stays
      {"\xc2\xa9", "\xc2\xa9"},
      {"\xc2", "\xc2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VisibleText(c.text), c.shown) << c.shown;
  }
}

}  // namespace
}  // namespace qx80
