// The whole driver job through the exported functions: colour directory and
// table (with adjustments, with and without calibration), the halftone
// stages, dot data for a few lines, then both deletes.
#include <gtest/gtest.h>

#include <bit>
#include <map>

#include "colour_test_support.h"
#include "kestrl30.h"
#include "pack/colour_blocks.h"
#include "pack/halftone_blocks.h"

namespace kestrl::colour {
namespace {

constexpr uint32_t kLineWidth = 64;
constexpr uint32_t kPlaneStride = kLineWidth / 8;
constexpr int32_t kTableId = 17;
constexpr int32_t kHalftoneIds = 211;
constexpr int32_t kCorrectionId = 555;
constexpr int kLines = 16;

// Four bands of 16 pixels: black, white, red, blue.
struct Band {
  uint8_t r, g, b;
};
constexpr Band kBands[4] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}};

// The driver's resources, looked up by the ids the library hands back.
struct Resources {
  std::string directory;
  std::vector<uint8_t> table;
  std::vector<uint8_t> idList;
  std::vector<uint8_t> gridLevels;
  std::vector<uint8_t> matrix;
  std::vector<uint8_t> channelMap, nominal, corrections;
  std::string correctionDirectory;
  std::map<int32_t, const void*> byId;

  Resources() {
    // CmNew turns mode 0 into mode 3 with the corrected class.
    directory = pack::buildDirectory(pack::fourInkDirectory(
        {{kTableId, kHalftoneIds, "m3", "P0", 720, 720, "corrected", 0, 1}}));
    correctionDirectory = pack::buildDirectory(
        pack::fourInkDirectory({{kCorrectionId, 1, "m3", "P0", 720, 720, "plain", 0, 1}}));

    pack::ColourTable t = pack::makeColourTable(9, 4, pack::complementaryInks);
    t.scaleParams = {250, 100, 0, 0, 0};
    table = pack::buildColourTable(t);

    const uint16_t ids[] = {212, 213, 213, 213};
    idList = pack::buildResourceIdList(ids);
    std::vector<uint8_t> levels(32);
    for (int i = 0; i < 32; ++i) levels[i] = static_cast<uint8_t>(i * 255 / 31);
    gridLevels = pack::buildGridLevels(levels);
    // Every cell value 0..255 once.
    matrix = pack::buildThresholdMatrix(
        pack::makeThresholdMatrix(16, 16, [](uint32_t x, uint32_t y) { return y * 16 + x; }));

    // Channel 3 (black) 10 above nominal uses table 15, which halves the
    // ink; the others use table 10, the identity.
    channelMap = pack::buildChannelMapResource({});
    nominal = pack::buildNominalValues({50, 50, 50, 50});
    corrections = pack::buildCorrectionTables(
        [](int t, int x) { return static_cast<uint8_t>(t == 15 ? x / 2 : x); });

    byId = {{0, directory.c_str()},
            {kTableId, table.data()},
            {980, channelMap.data()},
            {990, nominal.data()},
            {900, correctionDirectory.c_str()},
            {kCorrectionId, corrections.data()},
            {kHalftoneIds, idList.data()},
            {212, gridLevels.data()},
            {213, matrix.data()}};
  }
};

struct DotCounts {
  int plane[4][4] = {};  // [band][plane]
};

// Runs the job as a driver does and counts the dots of each plane in each
// band over 16 lines (one full matrix tile per band).
DotCounts runJob(const ColorSettings& settings, std::vector<uint8_t>* lutGrid = nullptr) {
  Resources resources;
  // Mode 0 (four-corner colour screening), one bit, four inks.
  const PrintMode mode = pack::fourInkMode(0, kLineWidth);
  DotCounts counts;

  CmContext* cm = nullptr;
  int32_t id = -5;
  EXPECT_EQ(CmNew(&settings, &mode, 0, &id, &cm), kOk);
  EXPECT_EQ(id, 0);
  int colourStages = 0;
  while (id != -1 && colourStages++ < 8) {
    EXPECT_TRUE(resources.byId.count(id)) << "colour resource " << id;
    EXPECT_EQ(CmSetResource(cm, resources.byId[id], &id), kOk);
  }
  const CmLut* lut = CmGetLut(cm);
  if (lutGrid != nullptr) lutGrid->assign(lut->gridData, lut->gridData + 9 * 9 * 9 * 4);

  HalftoneContext* ht = nullptr;
  EXPECT_EQ(HalftoneNew(&mode, lut, 0, &id, &ht), kOk);
  EXPECT_EQ(id, kHalftoneIds);
  int halftoneStages = 0;
  while (id != -1 && halftoneStages++ < 5) {
    EXPECT_TRUE(resources.byId.count(id)) << "halftone resource " << id;
    EXPECT_EQ(HalftoneSetResource(ht, resources.byId[id], &id), kOk);
  }
  EXPECT_EQ(halftoneStages, 3);
  // The halftone tables are built: the colour context may go now.
  EXPECT_EQ(CmDelete(cm), kOk);

  std::vector<uint8_t> source(kLineWidth * 3);
  for (uint32_t x = 0; x < kLineWidth; ++x) {
    const Band& band = kBands[x / 16];
    source[3 * x] = band.r;
    source[3 * x + 1] = band.g;
    source[3 * x + 2] = band.b;
  }
  for (int line = 0; line < kLines; ++line) {
    std::vector<uint8_t> planes(4 * kPlaneStride, 0);
    EXPECT_EQ(Halftone(ht, source.data(), planes.data(), kPlaneStride, 0, kLineWidth, 0, 0,
                       static_cast<uint32_t>(line), 0, 0),
              kOk);
    for (int p = 0; p < 4; ++p) {
      for (int band = 0; band < 4; ++band) {
        counts.plane[band][p] += std::popcount(planes[p * kPlaneStride + 2 * band]) +
                                 std::popcount(planes[p * kPlaneStride + 2 * band + 1]);
      }
    }
  }
  EXPECT_EQ(HalftoneDelete(ht), kOk);
  return counts;
}

ColorSettings plainSettings() {
  ColorSettings settings{};
  settings.greyStyle = 50;
  return settings;
}

// Full ink prints every one of the 256 cells of a band; no ink none.
constexpr int kAll = kLines * 16;

TEST(EndToEnd, CornerColoursBecomeTheirInks) {
  const DotCounts counts = runJob(plainSettings());
  // Black is (0, 0, 0, 255), white prints nothing, red is (0, 255, 255, 0)
  // and blue (255, 255, 0, 0).
  const int expected[4][4] = {
      {0, 0, 0, kAll}, {0, 0, 0, 0}, {0, kAll, kAll, 0}, {kAll, kAll, 0, 0}};
  for (int band = 0; band < 4; ++band) {
    for (int p = 0; p < 4; ++p) EXPECT_EQ(counts.plane[band][p], expected[band][p]) << band << p;
  }
}

TEST(EndToEnd, CalibrationHalvesTheBlackInkAndTheJobLeaksNothing) {
  const std::vector<uint8_t> record = pack::buildCalibrationRecord(1, {50, 50, 50, 60});
  const testing::TagList tags(512, record.data());
  testing::withFault(testing::Operation::kAllocate, 0, [&] {
    const DotCounts counts = runJob(tags.settings(plainSettings()));
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
