// The default pack: its generators, its determinism, its files, and every
// job it lists run through the library's exported calls as a driver would.
#include "pack/default_pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <numeric>

#include "common/status.h"
#include "kestrl30.h"
#include "memory/fault_injection.h"
#include "pack/block_dump.h"
#include "pack/pack_io.h"
#include "pack/separation.h"
#include "pack/void_and_cluster.h"

namespace kestrl::pack {
namespace {

// Every rank once; the seed matters; shapes that are not powers of two or
// hold more than 65535 cells are refused.
TEST(VoidAndCluster, EveryRankOnceAndBadShapesAreRefused) {
  for (const auto& [w, h] : {std::pair{64u, 64u}, std::pair{128u, 64u}, std::pair{8u, 3u}}) {
    const ThresholdMatrix m = voidAndCluster({w, h, 1.5, 1.5, 1});
    std::vector<uint16_t> sorted = m.cells;
    std::sort(sorted.begin(), sorted.end());
    std::vector<uint16_t> ranks(size_t{w} * h);
    std::iota(ranks.begin(), ranks.end(), 0);
    EXPECT_EQ(sorted, ranks) << w << " x " << h;
  }
  EXPECT_EQ(voidAndCluster({16, 16, 1.5, 1.5, 1}).cells,
            voidAndCluster({16, 16, 1.5, 1.5, 1}).cells);
  EXPECT_NE(voidAndCluster({16, 16, 1.5, 1.5, 1}).cells,
            voidAndCluster({16, 16, 1.5, 1.5, 2}).cells);
  EXPECT_THROW(voidAndCluster({48, 16, 1.5, 1.5, 1}), std::invalid_argument);
  EXPECT_THROW(voidAndCluster({256, 256, 1.5, 1.5, 1}), std::invalid_argument);
  EXPECT_THROW(voidAndCluster({16, 0, 1.5, 1.5, 1}), std::invalid_argument);
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

// ---- every listed job through the library ----

using memory::testing::FaultPlan;
using memory::testing::Operation;
using memory::testing::ScopedFaultPlan;

constexpr uint32_t kWidth = 256;
constexpr uint32_t kLines = 8;

// What a job left: the first refused call's status, the stages run, the
// adjustment pass's status, every line's planes and the deletes' statuses.
struct JobResult {
  uint32_t status = kOk;
  int colourStages = 0;
  int halftoneStages = 0;
  uint32_t adjustStatus = kOk;
  std::vector<uint8_t> planes;
  uint32_t halftoneDelete = kOk;
  uint32_t retriedDelete = kOk;
  // Calls of each memory operation made before and after HalftoneDelete,
  // with a fault plan installed.
  std::array<uint32_t, memory::testing::kOperationCount> beforeDelete{}, afterDelete{};
};

// A ramp from black to white across the line.
std::vector<uint8_t> rampSource(bool colour) {
  const uint32_t channels = colour ? 3 : 1;
  std::vector<uint8_t> source(kWidth * channels);
  for (uint32_t x = 0; x < kWidth; ++x) std::fill_n(&source[x * channels], channels, x);
  return source;
}

// Runs a job as a driver does, stopping at the first refused call. A
// halftone context whose stage was refused must refuse to print and write
// nothing; a delete that fails is called again, as its status invites.
JobResult runJob(const Pack& pack, const Combination& c, const ColorSettings& settings,
                 const FaultPlan* plan = nullptr) {
  PrintMode mode{c.mode, 0, c.colour, c.colour, c.xResolution, c.yResolution, c.bitsPerPixel,
                 0,      0, kWidth,   0};
  std::vector<uint8_t> block;
  auto stage = [&](int32_t& id, auto&& setResource) {
    block = pack.find(id)->bytes;
    return setResource(block.data(), static_cast<uint32_t>(block.size()), &id);
  };
  JobResult r;
  CmContext* cm = nullptr;
  HalftoneContext* ht = nullptr;
  int32_t id = 0;
  r.status = CmNew(&settings, &mode, 0, &id, &cm);
  for (; r.status == kOk && id != -1 && r.colourStages < 8; ++r.colourStages) {
    r.status = stage(id, [&](auto... a) { return CmSetResourceSized(cm, a...); });
  }
  if (r.status == kOk) r.adjustStatus = CmGetAdjustStatus(cm);
  if (r.status == kOk) r.status = HalftoneNew(&mode, CmGetLut(cm), 0, &id, &ht);
  for (; r.status == kOk && id != -1 && r.halftoneStages < 8; ++r.halftoneStages) {
    r.status = stage(id, [&](auto... a) { return HalftoneSetResourceSized(ht, a...); });
  }
  if (cm != nullptr) {
    EXPECT_EQ(CmDelete(cm), kOk);
  }
  if (ht == nullptr) return r;

  const std::vector<uint8_t> source = rampSource(c.colour);
  const uint32_t planeBytes = kWidth * c.bitsPerPixel / 8;
  std::vector<uint8_t> planes(4 * planeBytes);
  uint32_t printed = kOk;
  for (uint32_t line = 0; line < kLines && printed == kOk; ++line) {
    std::fill(planes.begin(), planes.end(), 0xA5);
    printed = Halftone(ht, source.data(), planes.data(), planeBytes, 0, kWidth, 0, 0, line, 0, 0);
    if (printed == kOk) r.planes.insert(r.planes.end(), planes.begin(), planes.end());
  }
  if (r.status != kOk) {
    EXPECT_NE(printed, kOk) << "a context with a refused stage printed";
    EXPECT_EQ(planes, std::vector<uint8_t>(planes.size(), 0xA5)) << "a refused call wrote";
  } else if (printed != kOk) {
    r.status = printed;
  }
  if (plan != nullptr) r.beforeDelete = plan->calls;
  r.halftoneDelete = HalftoneDelete(ht);
  if (plan != nullptr) r.afterDelete = plan->calls;
  if (r.halftoneDelete != kOk) r.retriedDelete = HalftoneDelete(ht);
  return r;
}

// Counts the dots of the dark and the light half of every printed line.
std::pair<uint64_t, uint64_t> darkAndLightDots(const JobResult& r, const Combination& c) {
  const uint32_t planeBytes = kWidth * c.bitsPerPixel / 8;
  uint64_t dark = 0, light = 0;
  for (size_t i = 0; i < r.planes.size(); ++i) {
    (i % planeBytes < planeBytes / 2 ? dark : light) += std::popcount(r.planes[i]);
  }
  return {dark, light};
}

std::string describe(const Combination& c) {
  return "mode " + std::to_string(c.mode) + (c.colour ? " colour " : " grey ") +
         std::to_string(c.xResolution) + "x" + std::to_string(c.yResolution) + " " +
         std::to_string(c.bitsPerPixel) + "-bit";
}

// Every listed job has an engine; mode 2 keeps no error line (grey input) or
// one where the colour diffusion engines need three, and is refused as an
// inconsistent parameter. The dark half of the ramp prints more dots.
TEST(DefaultPack, EveryListedJobRunsThroughTheLibrary) {
  const Pack pack = makeDefaultPack();
  for (const Combination& c : defaultCombinations()) {
    SCOPED_TRACE(describe(c));
    const JobResult r = runJob(pack, c, ColorSettings{});
    EXPECT_EQ(r.colourStages, 2);
    EXPECT_EQ(r.halftoneStages, c.bitsPerPixel == 2 ? 4 : 3);
    EXPECT_EQ(r.status, c.mode == 2 ? kBadParameter : kOk);
    EXPECT_EQ(r.halftoneDelete, kOk);
    if (r.status != kOk) continue;
    const auto [dark, light] = darkAndLightDots(r, c);
    EXPECT_GT(dark, light);
  }
}

// One job of each kind (mode, input, depth) with settings that make the
// adjustment pass run.
std::vector<Combination> oneJobOfEachKind() {
  std::vector<Combination> kinds;
  for (const Combination& c : defaultCombinations()) {
    const auto sameKind = [&](const Combination& k) {
      return k.mode == c.mode && k.colour == c.colour && k.bitsPerPixel == c.bitsPerPixel;
    };
    if (std::none_of(kinds.begin(), kinds.end(), sameKind)) kinds.push_back(c);
  }
  return kinds;
}

const Status kFailureStatus[] = {kAllocFailed, kLockFailed, kUnlockFailed, kFreeFailed};

// Fails the Nth allocate, lock, unlock and free of whole jobs, for every N
// the job reaches. A failed allocation or lock is reported by the call that
// met it (by CmGetAdjustStatus where the adjustment pass swallows it); a
// failed unlock or free only by HalftoneDelete, since the release of a
// temporary table, CmDelete and the unlock of the halftone context block
// itself answer nothing. Nothing leaks, and a job that
// went through prints exactly what the unfailed job prints.
TEST(DefaultPack, EveryJobKindSurvivesEveryMemoryFailure) {
  const Pack pack = makeDefaultPack();
  ColorSettings settings{};
  settings.brightness = 10;
  settings.saturation = -20;
  for (const Combination& c : oneJobOfEachKind()) {
    FaultPlan counting;
    JobResult clean;
    {
      ScopedFaultPlan scope(counting);
      clean = runJob(pack, c, settings, &counting);
    }
    ASSERT_EQ(clean.adjustStatus, kOk) << describe(c);
    for (size_t op = 0; op < memory::testing::kOperationCount; ++op) {
      for (uint32_t n = 1; n <= counting.calls[op]; ++n) {
        SCOPED_TRACE(describe(c) + ", failing call " + std::to_string(n) + " of operation " +
                     std::to_string(op));
        FaultPlan plan;
        plan.failOn(static_cast<Operation>(op), n);
        JobResult r;
        {
          ScopedFaultPlan scope(plan);
          r = runJob(pack, c, settings, &plan);
          memory::testing::releaseUnfreed(plan);
        }
        EXPECT_EQ(plan.liveAllocations, 0);
        const bool release = op >= static_cast<size_t>(Operation::kUnlock);
        const bool inDelete = n > r.beforeDelete[op] && n <= r.afterDelete[op];
        const bool contextUnlock = op == static_cast<size_t>(Operation::kUnlock) &&
                                   n == clean.afterDelete[op];  // the last, answered by nothing
        const uint32_t reported[] = {r.status, r.adjustStatus, r.halftoneDelete};
        const auto seen = std::count(std::begin(reported), std::end(reported), kFailureStatus[op]);
        EXPECT_EQ(seen, !release || (inDelete && !contextUnlock) ? 1 : 0);
        if (seen == 0) {
          EXPECT_EQ(r.status, clean.status);
        }
        EXPECT_EQ(r.retriedDelete, kOk);
        if (r.status == clean.status && r.adjustStatus == kOk) {
          EXPECT_EQ(r.planes, clean.planes);
        }
      }
    }
  }
}

}  // namespace
}  // namespace kestrl::pack
