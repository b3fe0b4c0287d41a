// Four-plane screening of mode-0 colour input from the colour corners.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "halftone/support/corner_reference.h"
#include "halftone/support/test_context.h"

namespace kestrl::halftone::testing {
namespace {

PrintMode cornersMode(int32_t step = 0) {
  PrintMode m{};
  m.colorInput = 1;
  m.inkSet = 4;
  m.bitsPerPixel = 1;
  m.sourceStep = step;
  m.lineWidth = 400;
  m.xResolution = m.yResolution = 720;
  return m;
}

constexpr uint32_t kStride = 20;

TEST(ScreenColorCorners, MatchesAPlainReferenceOnRandomRuns) {
  std::mt19937 random(3);
  for (auto [step, spread] : {std::pair{0, 70u}, {1, 70u}, {-1, 70u}, {0, 65536u}, {2, 200u}}) {
    // Cells and levels below `spread`: 70 puts both on either side of N = 63;
    // 65536 reaches the ends of the 16-bit range.
    const uint32_t width = 16, height = 4;
    std::vector<uint16_t> cells(width * height), level(256);
    std::vector<uint8_t> grid(32);
    for (uint16_t& c : cells) c = static_cast<uint16_t>(random() % spread);
    for (uint16_t& l : level) l = static_cast<uint16_t>(random() % spread);
    for (uint8_t& g : grid) g = static_cast<uint8_t>(random());
    const PrintMode m = cornersMode(step);
    TestContext e(m, width, height, cells, level);
    e.colorGrid = grid;
    for (int trial = 0; trial < 400; ++trial) {
      const uint32_t count = trial < 8 ? trial : random() % 100;
      const uint32_t startX = random() % 300, line = random(), offset = random() % 8;
      std::vector<uint8_t> source(6 * (count / 2 + 1));
      for (uint8_t& s : source)
        s = static_cast<uint8_t>(random() % 2 ? 128 + random() % 2 : random());
      std::vector<uint8_t> out(4 * kStride);
      for (uint8_t& b : out) b = static_cast<uint8_t>(random());
      std::vector<uint8_t> expected = out;
      const Planes planes = referenceCorners(m, cells, width, height, level, grid, source.data(),
                                             startX, count, line);
      for (int k = 0; k < 4; ++k) {
        std::vector<uint8_t> plane(out.begin() + k * kStride, out.begin() + (k + 1) * kStride);
        plane = packByHand(plane, planes[k], offset, 1);
        std::copy(plane.begin(), plane.end(), expected.begin() + k * kStride);
      }
      ASSERT_EQ(e.run(EngineId::kScreenColorCorners, source.data(), out.data(), count, startX, line,
                      offset, kStride, 99),
                kOk);
      EXPECT_EQ(out, expected) << "step " << step << " count " << count;
    }
  }
}

}  // namespace
}  // namespace kestrl::halftone::testing
