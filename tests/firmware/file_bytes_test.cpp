#include "firmware/file_bytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

TEST(FileBytesTest, ReadsWholeFiles) {
  for (const size_t size : {size_t{0}, size_t{1}, size_t{70000}}) {
    const Bytes bytes = test::RandomBytes(size, 11);
    const test::TempImageFile file(bytes);
    const auto read = ReadWholeFile(file.Path());
    ASSERT_TRUE(read.has_value()) << "size " << size;
    EXPECT_EQ(*read, bytes);
  }
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
      {huge, "it is larger than any file of its kind (67108865 bytes, at most 64 MiB)"},
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
