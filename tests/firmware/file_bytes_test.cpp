#include "firmware/file_bytes.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/image_builder.h"

namespace qx80 {
namespace {

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
  EXPECT_FALSE(ReadWholeStream(in)) << "a short read must not pass for the whole file";

  ShrinkingBuffer honest("0123456789", 10);
  std::istream whole(&honest);
  const auto read = ReadWholeStream(whole);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->size(), 10u);
}

}  // namespace
}  // namespace qx80
