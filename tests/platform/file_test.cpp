// Bytes put back ahead of a stream are read first, then the stream's own,
// with items counted across the seam and the end seen only after both.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <string>

namespace quendral {
namespace {

// Windows builds have no memory streams; the seam is the same code there,
// and every other build runs these.
bool HasMemoryStreams() { return File::FromMemory("x", 1).IsOpen(); }

TEST(FilePutBack, ReadsThePutBackBytesThenTheStream) {
  if (!HasMemoryStreams()) GTEST_SKIP() << "no memory streams here";
  const std::string rest = "6789";
  struct Case {
    std::size_t itemSize, count;
    std::size_t items;      // complete items the read gives
    std::string bytes;      // what lands in the buffer
  };
  const Case cases[] = {
      {1, 3, 3, "012"},             // from the bytes put back alone
      {3, 2, 2, "012345"},          // exactly the bytes put back
      {4, 2, 2, "01234567"},        // the second item straddles the seam
      {4, 3, 2, "0123456789"},      // the stream ends inside the third
  };
  for (const Case& c : cases) {
    File file = File::FromMemory(rest.data(), rest.size());
    ASSERT_TRUE(file.IsOpen());
    file.PutBack("012345", 6);
    std::string buffer(c.itemSize * c.count, '\0');
    EXPECT_EQ(file.Read(&buffer[0], c.itemSize, c.count), c.items) << c.itemSize << "x" << c.count;
    EXPECT_EQ(buffer.substr(0, c.bytes.size()), c.bytes) << c.itemSize << "x" << c.count;
  }
}

TEST(FilePutBack, TheEndComesOnlyAfterThePutBackBytes) {
  if (!HasMemoryStreams()) GTEST_SKIP() << "no memory streams here";
  const std::string empty;
  File file = File::FromMemory(empty.data(), 0);
  char byte = 0;
  EXPECT_EQ(file.Read(&byte, 1, 1), 0u);
  ASSERT_TRUE(file.AtEnd());
  file.PutBack("ab", 2);
  EXPECT_FALSE(file.AtEnd());
  file.PutBack("z", 1);  // replaces what was put back before
  EXPECT_EQ(file.Read(&byte, 1, 1), 1u);
  EXPECT_EQ(byte, 'z');
  EXPECT_TRUE(file.AtEnd());
  EXPECT_EQ(file.Read(&byte, 1, 1), 0u);
}

}  // namespace
}  // namespace quendral
