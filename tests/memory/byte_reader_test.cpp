// The bounds of the block reader; what it reads, in both byte orders and
// signs, the colour table's header test checks through the stages.
#include "memory/byte_reader.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kestrl {
namespace {

TEST(ByteReader, ReadsPastTheEndGiveZeroAndFail) {
  const uint8_t block[] = {1, 2, 3};
  struct Case {
    size_t offset;
    size_t count;
  };
  for (Case c : {Case{3, 1}, Case{2, 2}, Case{0, 4}, Case{SIZE_MAX, 2}}) {
    ByteReader reader(block, sizeof block);
    EXPECT_EQ(reader.bytes(c.offset, c.count), nullptr) << c.offset << "+" << c.count;
    EXPECT_FALSE(reader.ok());
  }
  ByteReader reader(block, sizeof block);
  EXPECT_EQ(reader.u16le(2), 0);
  EXPECT_FALSE(reader.ok());
}

}  // namespace
}  // namespace kestrl
