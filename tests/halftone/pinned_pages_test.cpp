// Whole pages of every built engine through the exported calls, folded into
// one hash each: runs split at random places, every source step, every bit
// offset, restarts and repeated lines. The hashes were taken from the engines
// as they stood and pin their output byte for byte (statuses included); no
// Halftone call allocates.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "halftone/support/halftone_job.h"
#include "memory/fault_injection.h"

namespace kestrl::halftone::testing {
namespace {

constexpr uint32_t kLineWidth = 301;
constexpr uint32_t kLines = 40;

struct Hash {
  uint64_t value = 0xcbf29ce484222325u;
  void add(uint8_t byte) { value = (value ^ byte) * 0x100000001b3u; }
};

struct PageCase {
  const char* engine;
  uint32_t mode, bitsPerPixel, colour, xResolution, yResolution;
  uint64_t expected[3];  // source steps 0, 1, -1
};

// A 32 x 8 matrix over 0..255 in a scrambled order.
pack::ThresholdMatrix scrambledMatrix() {
  return pack::makeThresholdMatrix(
      32, 8, [](uint32_t col, uint32_t row) { return (row * 32 + col) * 77 % 256; });
}

uint64_t pageHash(const PageCase& c, int32_t sourceStep) {
  Job job;
  job.mode.mode = c.mode;
  job.mode.bitsPerPixel = c.bitsPerPixel;
  job.mode.xResolution = c.xResolution;
  job.mode.yResolution = c.yResolution;
  job.mode.sourceStep = sourceStep;
  job.mode.lineWidth = kLineWidth;
  if (c.colour != 0) job.colour();
  EXPECT_EQ(job.runAll(job.standardBlocks(scrambledMatrix())), kOk) << c.engine;
  const uint32_t perByte = c.bitsPerPixel == 2 ? 4 : 8;
  const uint32_t planes = c.colour != 0 ? 4 : 1;
  std::mt19937 random(sourceStep + 7);
  Hash hash;
  memory::testing::FaultPlan plan;  // counts the allocations: engines make none
  memory::testing::ScopedFaultPlan scope(plan);
  for (uint32_t i = 0; i < kLines; ++i) {
    const uint32_t line = i == 0 || i == 23 ? 0xFFFFFFFFu : i - (i % 7 == 3 ? 1 : 0);
    uint32_t x = random() % 5;
    while (x < kLineWidth) {
      const uint32_t count = std::min<uint32_t>(1 + random() % 140, kLineWidth - x);
      std::vector<uint8_t> source(6 * count);
      for (uint8_t& v : source) v = static_cast<uint8_t>(random() % 5 == 0 ? 255 : random());
      const uint32_t bitOffset = random() % perByte;
      const uint32_t stride = (count + bitOffset) / perByte + 2;
      std::vector<uint8_t> out(stride * planes, 0x5A);
      const Status s = job.halftone(source.data(), out.data(), count, x, line, bitOffset, stride);
      EXPECT_EQ(s, kOk) << c.engine << " line " << line << " x " << x;
      hash.add(static_cast<uint8_t>(s));
      for (uint8_t b : out) hash.add(b);
      x += count + random() % 3;
    }
  }
  EXPECT_EQ(plan.callsOf(memory::testing::Operation::kAllocate), 0u) << c.engine;
  return hash.value;
}

TEST(PinnedPages, EveryBuiltEngineAtEverySourceStep) {
  // clang-format off
  const PageCase cases[] = {
      {"DitherBilevel mode 3", 3, 1, 0, 720, 720,
       {0x19751cf7022785aeu, 0x0072b4f5943cd3a6u, 0x86dbb253d28e40c0u}},
      {"DitherBilevel mode 0", 0, 1, 0, 720, 720,
       {0xfa4d0ca2ab9522f0u, 0x20e7884e23bdfd1au, 0xf252444ca27cca53u}},
      {"DitherFourLevel", 3, 2, 0, 720, 720,
       {0xa7a13a329f7c56bcu, 0x8140d0dce699c7fcu, 0x4206fe02b8d8bf64u}},
      {"ScreenBilevel", 1, 1, 0, 720, 720,
       {0x20ecc8b9e9d79782u, 0xab43335f2e52fb85u, 0xacbc93534809ae78u}},
      {"ScreenBilevel1440", 1, 1, 0, 1440, 720,
       {0xa98bb827f978cd5fu, 0x0d3f2fd3073f2c13u, 0xd3da8839002f6139u}},
      {"ScreenBilevelDoubleVertical", 1, 1, 0, 720, 1440,
       {0x15ed65d9d2d88945u, 0x50c68aa18cf0704eu, 0x8f06e96b5de3da34u}},
      {"ScreenFourLevel", 1, 2, 0, 720, 720,
       {0xc2df226b96b828e7u, 0xefc55323e5a05b33u, 0x7a059448b25ac4e8u}},
      {"ScreenFourLevel1440", 1, 2, 0, 1440, 720,
       {0x7266b3e592444271u, 0xc4ca3527a97b91d6u, 0x5c42605700d31272u}},
      {"ScreenColorCorners", 0, 1, 1, 720, 720,
       {0x2fbd3fac2a091f46u, 0xaa30b8cfa39102a9u, 0xd0e6ebb8650052cfu}},
  };
  // clang-format on
  for (const PageCase& c : cases) {
    for (int32_t i = 0; i < 3; ++i) {
      const int32_t step = i == 2 ? -1 : i;
      EXPECT_EQ(pageHash(c, step), c.expected[i]) << c.engine << " step " << step;
    }
  }
}

}  // namespace
}  // namespace kestrl::halftone::testing
