// The one-bit colour loop with its diffused planes in SIMD lanes, held
// against the scalar loop: same dots and same error lines after every run,
// for every engine, source step and instruction set the processor runs.
#include <gtest/gtest.h>

#include <random>

#include "halftone/engines/bilevel_colour_loop.h"
#include "halftone/support/colour_reference.h"

namespace kestrl::halftone {
namespace {

using namespace testing;
using namespace diffusion;
using enum EngineId;

// Wider than two chunks of the lane kernels, so runs cross chunk ends.
constexpr uint32_t kWidth = 1200, kStride = kWidth / 8 + 2;

TEST(ColourLanes, RunsMatchTheScalarLoop) {
  const auto kernels = runnablePlaneLaneKernels();
  if (kernels.empty()) GTEST_SKIP() << "no SIMD kernels in this build or on this processor";
  const std::tuple<EngineId, uint32_t, uint32_t, uint32_t, int32_t, uint32_t, bool> cases[] = {
      {kDiffuseBilevel, 720, 720, 4, 0, 1, false},
      {kDiffuseBilevel, 720, 360, 1, -1, 1, true},
      {kDiffuseBilevel1440, 1440, 720, 4, 0, 1, true},
      {kDiffuseBilevel1440, 1440, 720, 1, -1, 1, false},
      {kDiffuseBilevelCached, 720, 360, 1, 1, 1, true},
      {kDiffuseBilevelCached, 720, 720, 2, 0, 2, false},
      {kDiffuseBilevelCached1440, 1440, 720, 1, 0, 1, true},
      {kDiffuseBilevelCached1440, 1440, 720, 1, 1, 2, false},
      {kDiffuseBilevelDoubleVertical, 360, 720, 1, 0, 1, true},
      {kDiffuseBilevelDoubleVertical, 360, 720, 4, 1, 1, false},
  };
  for (const PlaneLaneKernels* lanes : kernels) {
    for (auto [id, x, y, inkSet, step, input, extremeErrors] : cases) {
      Job scalar, simd;
      ASSERT_EQ(makeColourJob(scalar, x, y, inkSet, step, input, kWidth), kOk);
      ASSERT_EQ(makeColourJob(simd, x, y, inkSet, step, input, kWidth), kOk);
      ASSERT_EQ(scalar.context->setup.engineId, id);
      ColourDiffusionTables& s = scalar.context->setup.tables.colourDiffusion;
      ColourDiffusionTables& v = simd.context->setup.tables.colourDiffusion;
      s.lanes = nullptr, v.lanes = lanes;
      if (extremeErrors) {  // errors past 16 bits: products and halves wrap
        for (uint32_t level = 3; level < kLevelCount; level += 5) {
          s.dotValue[level] = v.dotValue[level] = level % 2 ? 32767 : -32768;
        }
      }
      std::mt19937 random(5);
      for (const PlannedRun& r : pagePlan(kWidth)) {
        const auto src = photoSource(random, r.count + 1, inkSet == 4 ? 4 : 3);
        const uint32_t off = (r.startX + r.line) % 8;
        std::vector<uint8_t> expected(4 * kStride, 0xA5), out = expected;
        SCOPED_TRACE(::testing::Message()
                     << lanes->name << " " << engineName(id) << " " << inkSet << " " << step
                     << " line " << r.line << " at " << r.startX << " count " << r.count);
        ASSERT_EQ(
            scalar.halftone(src.data(), expected.data(), r.count, r.startX, r.line, off, kStride),
            kOk);
        ASSERT_EQ(simd.halftone(src.data(), out.data(), r.count, r.startX, r.line, off, kStride),
                  kOk);
        ASSERT_EQ(out, expected);
        for (uint32_t k = 0; k < kDiffusedPlanes; ++k) {
          ASSERT_TRUE(std::ranges::equal(lineOf(simd.context->setup.tables, k),
                                         lineOf(scalar.context->setup.tables, k)))
              << "line " << k;
        }
      }
    }
  }
}

}  // namespace
}  // namespace kestrl::halftone
