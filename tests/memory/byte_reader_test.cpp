#include "memory/byte_reader.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kestrl {
namespace {

TEST(ByteReader, ReadsBothByteOrders) {
  const uint8_t block[] = {0x12, 0x34, 0xFF, 0x9C, 0x01, 0x02, 0x03, 0x04};
  ByteReader reader(block, sizeof block);
  EXPECT_EQ(reader.u16le(0), 0x3412);
  EXPECT_EQ(reader.u16be(0), 0x1234);
  EXPECT_EQ(reader.s16be(2), -100);
  EXPECT_EQ(reader.u32le(4), 0x04030201u);
  EXPECT_EQ(reader.u32be(4), 0x01020304u);
  EXPECT_EQ(reader.s8(2), -1);
  EXPECT_TRUE(reader.ok());
}

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

TEST(ByteReader, NullBlockIsNeverOk) {
  ByteReader reader(nullptr);
  EXPECT_FALSE(reader.ok());
  EXPECT_EQ(reader.u8(0), 0);
}

TEST(ByteReader, UnknownSizeReadsAnywhere) {
  const uint8_t block[] = {7, 8};
  ByteReader reader(block);
  EXPECT_FALSE(reader.sizeKnown());
  EXPECT_EQ(reader.u8(1), 8);
  EXPECT_TRUE(reader.ok());
}

}  // namespace
}  // namespace kestrl
