// The whole driver job through the exported functions, run by the job
// driver: colour directory and table (with and without calibration), the
// halftone stages, dot data for a few lines, then both deletes.
#include <gtest/gtest.h>

#include <bit>

#include "colour_test_support.h"
#include "kestrl30.h"
#include "pack/colour_blocks.h"
#include "pack/halftone_blocks.h"
#include "pack/job.h"

namespace kestrl::colour {
namespace {

constexpr uint32_t kLineWidth = 64;
constexpr uint32_t kPlaneStride = kLineWidth / 8;
constexpr int32_t kTableId = 17;
constexpr int32_t kHalftoneIds = 211;
constexpr int32_t kCorrectionId = 555;
constexpr uint32_t kLines = 16;

// Four bands of 16 pixels: black, white, red, blue.
struct Band {
  uint8_t r, g, b;
};
constexpr Band kBands[4] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}};

// The driver's resources under the ids the library hands back.
pack::Pack resources() {
  const auto text = [](const std::string& t) { return std::vector<uint8_t>(t.begin(), t.end()); };
  pack::Pack p;
  // CmNew turns mode 0 into mode 3 with the corrected class.
  p.put(0,
        text(pack::buildDirectory(pack::fourInkDirectory(
            {{kTableId, kHalftoneIds, "m3", "P0", 720, 720, "corrected", 0, 1}}))),
        true);
  p.put(900,
        text(pack::buildDirectory(
            pack::fourInkDirectory({{kCorrectionId, 1, "m3", "P0", 720, 720, "plain", 0, 1}}))),
        true);
  pack::ColourTable t = pack::makeColourTable(9, 4, pack::complementaryInks);
  t.scaleParams = {250, 100, 0, 0, 0};
  p.put(kTableId, pack::buildColourTable(t));
  const uint16_t ids[] = {212, 213, 213, 213};
  p.put(kHalftoneIds, pack::buildResourceIdList(ids));
  std::vector<uint8_t> levels(32);
  for (int i = 0; i < 32; ++i) levels[i] = static_cast<uint8_t>(i * 255 / 31);
  p.put(212, pack::buildGridLevels(levels));
  // Every cell value 0..255 once.
  p.put(213, pack::buildThresholdMatrix(pack::makeThresholdMatrix(
                 16, 16, [](uint32_t x, uint32_t y) { return y * 16 + x; })));
  // Channel 3 (black) 10 above nominal uses table 15, which halves the ink;
  // the others use table 10, the identity.
  p.put(980, pack::buildChannelMapResource({}));
  p.put(990, pack::buildNominalValues({50, 50, 50, 50}));
  p.put(kCorrectionId, pack::buildCorrectionTables(
                           [](int t, int x) { return static_cast<uint8_t>(t == 15 ? x / 2 : x); }));
  return p;
}

struct DotCounts {
  int plane[4][4] = {};  // [band][plane]
};

// Runs the job as a driver does, mode 0 (four-corner colour screening), one
// bit, four inks, and counts the dots of each plane in each band over 16
// lines (one full matrix tile per band).
DotCounts runJob(const std::vector<uint8_t>& calibrationRecord = {}) {
  pack::JobSettings settings;
  settings.printMode = pack::fourInkMode(0, kLineWidth);
  settings.colour.greyStyle = 50;
  settings.calibrationRecord = calibrationRecord;
  pack::Job job;
  const pack::JobFailure opened = job.open(resources(), settings);
  EXPECT_FALSE(opened.failed()) << opened.message;

  std::vector<uint8_t> source(kLineWidth * 3);
  for (uint32_t x = 0; x < kLineWidth; ++x) {
    const Band& band = kBands[x / 16];
    source[3 * x] = band.r;
    source[3 * x + 1] = band.g;
    source[3 * x + 2] = band.b;
  }
  DotCounts counts;
  for (uint32_t line = 0; line < kLines; ++line) {
    std::vector<uint8_t> planes(4 * kPlaneStride, 0);
    EXPECT_EQ(job.run(source.data(), planes.data(), kPlaneStride, 0, kLineWidth, 0, line), kOk);
    for (int p = 0; p < 4; ++p) {
      for (int band = 0; band < 4; ++band) {
        counts.plane[band][p] += std::popcount(planes[p * kPlaneStride + 2 * band]) +
                                 std::popcount(planes[p * kPlaneStride + 2 * band + 1]);
      }
    }
  }
  EXPECT_FALSE(job.close().failed());
  return counts;
}

// Full ink prints every one of the 256 cells of a band; no ink none.
constexpr int kAll = static_cast<int>(kLines) * 16;

TEST(EndToEnd, CornerColoursBecomeTheirInks) {
  const DotCounts counts = runJob();
  // Black is (0, 0, 0, 255), white prints nothing, red is (0, 255, 255, 0)
  // and blue (255, 255, 0, 0).
  const int expected[4][4] = {
      {0, 0, 0, kAll}, {0, 0, 0, 0}, {0, kAll, kAll, 0}, {kAll, kAll, 0, 0}};
  for (int band = 0; band < 4; ++band) {
    for (int p = 0; p < 4; ++p) EXPECT_EQ(counts.plane[band][p], expected[band][p]) << band << p;
  }
}

TEST(EndToEnd, CalibrationHalvesTheBlackInkAndTheJobLeaksNothing) {
  testing::withFault(testing::Operation::kAllocate, 0, [&] {
    const DotCounts counts = runJob(pack::buildCalibrationRecord(1, {50, 50, 50, 60}));
    // Black 255 becomes 127. The halftone level of 127 with ink gains 250
    // and 100: dot value ((128^2 x 150 + 1) / 255 + 25500) / 100 = 351,
    // level 127 x 255 / 351 = 92, so 92 of the 256 matrix cells print.
    EXPECT_EQ(counts.plane[0][3], 92);
    EXPECT_EQ(counts.plane[2][1], kAll) << "the identity table keeps the other inks";
    EXPECT_EQ(counts.plane[1][3], 0);
  });
}

}  // namespace
}  // namespace kestrl::colour
