// The default pack: its generators, its determinism, its files, and every
// job it lists run through the library's exported calls as a driver would.
#include "pack/default_pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <set>

#include "common/status.h"
#include "kestrl30.h"
#include "pack/block_dump.h"
#include "pack/pack_io.h"
#include "pack/separation.h"
#include "pack/void_and_cluster.h"

namespace kestrl::pack {
namespace {

namespace fs = std::filesystem;

TEST(VoidAndCluster, EveryRankOnce) {
  for (const auto& [w, h] : {std::pair{64u, 64u}, std::pair{128u, 64u}, std::pair{8u, 3u}}) {
    const ThresholdMatrix m = voidAndCluster({w, h, 1.5, 1.5, 1});
    std::vector<uint16_t> sorted = m.cells;
    std::sort(sorted.begin(), sorted.end());
    std::vector<uint16_t> ranks(size_t{w} * h);
    std::iota(ranks.begin(), ranks.end(), 0);
    EXPECT_EQ(sorted, ranks) << w << " x " << h;
  }
}

// Blue noise: sparse levels have no touching dots, and half coverage is even
// over the whole matrix (no clumps or holes at the scale of a few cells).
TEST(VoidAndCluster, DotsSpreadEvenly) {
  const uint32_t n = 64;
  const ThresholdMatrix m = voidAndCluster({n, n, 1.5, 1.5, 1});
  const auto on = [&](uint32_t x, uint32_t y, uint16_t level) {
    return m.cells[(y % n) * n + (x % n)] < level;
  };
  for (uint32_t y = 0; y < n; ++y) {
    for (uint32_t x = 0; x < n; ++x) {
      if (!on(x, y, n * n / 16)) continue;
      EXPECT_FALSE(on(x + 1, y, n * n / 16) || on(x, y + 1, n * n / 16)) << x << "," << y;
    }
  }
  for (uint32_t ty = 0; ty < n; ty += 8) {
    for (uint32_t tx = 0; tx < n; tx += 8) {
      int count = 0;
      for (uint32_t y = ty; y < ty + 8; ++y) {
        for (uint32_t x = tx; x < tx + 8; ++x) count += on(x, y, n * n / 2);
      }
      EXPECT_NEAR(count, 32, 6) << "tile " << tx << "," << ty;
    }
  }
}

TEST(VoidAndCluster, SeedMattersAndBadShapesAreRefused) {
  EXPECT_EQ(voidAndCluster({16, 16, 1.5, 1.5, 1}).cells,
            voidAndCluster({16, 16, 1.5, 1.5, 1}).cells);
  EXPECT_NE(voidAndCluster({16, 16, 1.5, 1.5, 1}).cells,
            voidAndCluster({16, 16, 1.5, 1.5, 2}).cells);
  EXPECT_THROW(voidAndCluster({48, 16, 1.5, 1.5, 1}), std::invalid_argument);  // not a power of two
  EXPECT_THROW(voidAndCluster({256, 256, 1.5, 1.5, 1}), std::invalid_argument);  // 65536 cells
  EXPECT_THROW(voidAndCluster({16, 0, 1.5, 1.5, 1}), std::invalid_argument);
}

// Values worked by hand: C, M, Y are the complements, the grey component g
// gives K = g * g / 255, which leaves C, M and Y.
TEST(Separation, GreyComponentReplacement) {
  const struct {
    uint8_t r, g, b;
    std::array<uint8_t, 4> cmyk;
  } cases[] = {
      {255, 255, 255, {0, 0, 0, 0}},   {0, 0, 0, {0, 0, 0, 255}},
      {255, 0, 0, {0, 255, 255, 0}},   {128, 128, 128, {64, 64, 64, 63}},
      {0, 128, 255, {255, 127, 0, 0}}, {55, 105, 155, {161, 111, 61, 39}},
  };
  for (const auto& c : cases) {
    std::array<uint8_t, 4> out{};
    separateCmyk(c.r, c.g, c.b, out.data());
    EXPECT_EQ(out, c.cmyk) << int{c.r} << "," << int{c.g} << "," << int{c.b};
  }
  const ColourTable t = makeSeparationTable(5, 250, 100);
  EXPECT_EQ(t.greyLevels, (std::vector<uint8_t>{255, 191, 127, 64, 0}));  // black alone on the axis
  EXPECT_EQ(t.lutKind, 1);
}

TEST(PackFolder, WritesAndReadsBack) {
  const fs::path dir = fs::temp_directory_path() / "kestrl_pack_folder_test";
  fs::remove_all(dir);
  const Pack pack = makeDefaultPack();
  ASSERT_TRUE(writePack(pack, dir.string()).ok());
  EXPECT_TRUE(fs::exists(dir / "0.txt"));
  EXPECT_TRUE(fs::exists(dir / "310.bin"));
  std::ofstream(dir / "README") << "not a resource";
  Pack back;
  ASSERT_TRUE(readPack(dir.string(), back).ok());
  ASSERT_EQ(back.ids().size(), pack.resources.size());
  for (const auto& [id, resource] : pack.resources) {
    EXPECT_EQ(back.find(id)->bytes, resource.bytes);
    EXPECT_EQ(back.find(id)->text, resource.text);
  }
  std::ofstream(dir / "310") << "twice";
  EXPECT_NE(readPack(dir.string(), back).error.find("two files for resource 310"),
            std::string::npos);
  EXPECT_NE(readPack((dir / "missing").string(), back).error.find("does not exist"),
            std::string::npos);
  fs::remove_all(dir);
}

// ---- every listed job through the library ----

// The status Halftone gives: every listed job has an engine; mode 2 keeps no
// error line (grey input) or one where the colour diffusion engines need
// three, and is refused as an inconsistent parameter.
uint32_t expectedHalftoneStatus(const Combination& c) {
  if (c.mode == 2) return kBadParameter;
  return kOk;
}

struct Driver {
  const Pack& pack;
  std::vector<uint8_t> block(int32_t id) {
    const Resource* r = pack.find(id);
    EXPECT_NE(r, nullptr) << "resource " << id;
    std::vector<uint8_t> bytes = r ? r->bytes : std::vector<uint8_t>{};
    bytes.resize(bytes.size() + 1024, 0);  // room for readers and a closing NUL
    return bytes;
  }
};

TEST(DefaultPack, EveryListedJobRunsThroughTheLibrary) {
  const Pack pack = makeDefaultPack();
  Driver driver{pack};
  const uint32_t width = 256;
  for (const Combination& c : defaultCombinations()) {
    SCOPED_TRACE(::testing::Message()
                 << "mode " << c.mode << (c.colour ? " colour " : " grey ") << c.xResolution << "x"
                 << c.yResolution << " " << c.bitsPerPixel << "-bit");
    PrintMode mode{c.mode,
                   0,
                   c.colour ? 1u : 0u,
                   c.colour ? 1u : 0u,
                   c.xResolution,
                   c.yResolution,
                   c.bitsPerPixel,
                   0,
                   0,
                   width,
                   0};
    ColorSettings settings{};
    CmContext* cm = nullptr;
    int32_t id = 0;
    ASSERT_EQ(CmNew(&settings, &mode, 0, &id, &cm), kOk);
    int colourStages = 0;
    while (id != -1 && colourStages < 8) {
      std::vector<uint8_t> bytes = driver.block(id);
      ASSERT_EQ(CmSetResource(cm, bytes.data(), &id), kOk);
      ++colourStages;
    }
    EXPECT_EQ(colourStages, 2);
    HalftoneContext* ht = nullptr;
    ASSERT_EQ(HalftoneNew(&mode, CmGetLut(cm), 0, &id, &ht), kOk);
    EXPECT_EQ(id, default_ids::kHalftoneIds);
    int halftoneStages = 0;
    while (id != -1 && halftoneStages < 8) {
      std::vector<uint8_t> bytes = driver.block(id);
      ASSERT_EQ(HalftoneSetResource(ht, bytes.data(), &id), kOk) << "stage " << halftoneStages + 1;
      ++halftoneStages;
    }
    EXPECT_EQ(halftoneStages, c.bitsPerPixel == 2 ? 4 : 3);
    EXPECT_EQ(CmDelete(cm), kOk);

    // A ramp from black to white: the dark half prints more than the light.
    std::vector<uint8_t> source(width * 3);
    for (uint32_t x = 0; x < width; ++x)
      std::fill_n(&source[x * (c.colour ? 3 : 1)], c.colour ? 3 : 1, x);
    const uint32_t planeBytes = width * c.bitsPerPixel / 8;
    std::vector<uint8_t> planes(4 * planeBytes, 0);
    uint64_t dark = 0, light = 0;
    uint32_t status = kOk;
    for (uint32_t line = 0; line < 8 && status == kOk; ++line) {
      std::fill(planes.begin(), planes.end(), 0);
      status = Halftone(ht, source.data(), planes.data(), planeBytes, 0, width, 0, 0, line, 0, 0);
      for (uint32_t k = 0; k < 4; ++k) {
        for (uint32_t i = 0; i < planeBytes; ++i) {
          (i < planeBytes / 2 ? dark : light) += std::popcount(planes[k * planeBytes + i]);
        }
      }
    }
    EXPECT_EQ(status, expectedHalftoneStatus(c));
    if (status == kOk) {
      EXPECT_GT(dark, light);
    }
    EXPECT_EQ(HalftoneDelete(ht), kOk);
  }
}

}  // namespace
}  // namespace kestrl::pack
