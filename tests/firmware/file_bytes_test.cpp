#include "firmware/file_bytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tests/support/image_builder.h"

namespace qx80 {
namespace {

// The system's own words for a file that is not there (they differ between systems).
std::string MissingFileReason(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::status(path, error).type() == std::filesystem::file_type::not_found ? error.message() : "";
}

using test::Bytes;

// A stream whose end lies further than the bytes it delivers, as a file that shrinks while
// it is read.
class ShrinkingBuffer : public std::stringbuf {
 public:
  ShrinkingBuffer(const std::string& bytes, std::streamoff claimedSize)
      : std::stringbuf(bytes, std::ios::in), m_claimedSize(claimedSize) {}

 protected:
  pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode which) override {
    if (dir == std::ios::end || (dir == std::ios::cur && m_atClaimedEnd)) {
      m_atClaimedEnd = true;
      return pos_type(m_claimedSize + off);
    }
    m_atClaimedEnd = false;
    return std::stringbuf::seekoff(off, dir, which);
  }

 private:
  std::streamoff m_claimedSize;
  bool m_atClaimedEnd = false;
};

TEST(FileBytesTest, ReadsWholeFiles) {
  for (const size_t size : {size_t{0}, size_t{1}, size_t{70000}}) {
    const Bytes bytes = test::RandomBytes(size, 11);
    const test::TempImageFile file(bytes);
    const auto read = ReadWholeFile(file.Path());
    ASSERT_TRUE(read.has_value()) << "size " << size;
    EXPECT_EQ(*read, bytes);
  }
}

TEST(FileBytesTest, RefusesWhatCannotBeReadWhole) {
  EXPECT_FALSE(ReadWholeFile(std::filesystem::temp_directory_path() / "qx80-no-such-file.bin"));
  EXPECT_FALSE(ReadWholeFile(std::filesystem::temp_directory_path()));

  ShrinkingBuffer shrinking("0123456789", 20);
  std::istream in(&shrinking);
  std::string why;
  EXPECT_FALSE(ReadWholeStream(in, &why)) << "a short read must not pass for the whole file";
  EXPECT_EQ(why, "it ended before its size (20 bytes) was read");

  ShrinkingBuffer honest("0123456789", 10);
  std::istream whole(&honest);
  const auto read = ReadWholeStream(whole);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->size(), 10u);
}

// Files that are no package are refused at once, with the reason, before any of them is read:
// a FIFO would block the open, /dev/zero never ends, a huge sparse file would fill the memory.
TEST(FileBytesTest, RefusesWhatIsNoPackageFileWithItsReason) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  const std::filesystem::path huge = folder / "qx80-file-bytes-huge.bin";
  { std::ofstream create(huge, std::ios::binary); }
  std::filesystem::resize_file(huge, kMaxPackageFileSize + 1);
  struct Case {
    std::filesystem::path path;
    std::string why;
  };
  std::vector<Case> cases = {
      {folder / "qx80-no-such-file.bin", MissingFileReason(folder / "qx80-no-such-file.bin")},
      {folder, "it is a folder"},
      {huge, "it is larger than any firmware package (67108865 bytes, at most 67108864)"},
  };
#ifndef _WIN32
  const std::filesystem::path fifo = folder / "qx80-file-bytes-fifo";
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  cases.push_back({fifo, "it is not a regular file (a FIFO, a socket or a device)"});
  cases.push_back({"/dev/zero", "it is not a regular file (a FIFO, a socket or a device)"});
#endif
  for (const Case& c : cases) {
    std::string why;
    EXPECT_FALSE(ReadWholeFile(c.path, &why)) << c.path;
    EXPECT_EQ(why, c.why) << c.path;
  }
  std::filesystem::remove(huge);
#ifndef _WIN32
  std::filesystem::remove(fifo);
#endif
}

}  // namespace
}  // namespace qx80
