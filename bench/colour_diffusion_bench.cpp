// Pixels per second of the one-bit colour diffusion engines on letter-width
// RGB lines at 1440 dpi (12,240 pixels), line after line down a page of a
// photograph-like picture (smooth gradients with grain and edges, a few
// white patches), through the Halftone call as a driver makes it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "kestrl30.h"
#include "pack/halftone_blocks.h"
#include "pack/separation.h"

namespace {

using namespace kestrl;

constexpr uint32_t kLineWidth = 12240;
constexpr uint32_t kLines = 32;
constexpr uint32_t kOldPoints = 17;

// A job made through the exported calls: a 17-point separation grid with
// ink gains 250 / 100, grid levels every 8, a 64 x 64 scrambled matrix.
struct ColourJob {
  ColourJob(uint32_t x, uint32_t y, uint32_t inkSet, int32_t step) {
    PrintMode mode{};
    mode.mode = 1, mode.xResolution = x, mode.yResolution = y, mode.bitsPerPixel = 1;
    mode.inkSet = inkSet, mode.colorInput = 1, mode.sourceStep = step, mode.lineWidth = kLineWidth;
    CmLut lut{};
    lut.channelCount = 4, lut.resourceCode = 1;
    lut.scaleParams[0] = 250, lut.scaleParams[1] = 100;
    for (uint32_t axis = 0; axis < 3; ++axis) {
      lut.gridPoints[axis] = kOldPoints;
      for (uint32_t i = 0; i < kOldPoints; ++i) lut.breakpoints[axis][i] = std::min(i * 16, 255u);
    }
    grid.resize(kOldPoints * kOldPoints * kOldPoints * 4);
    for (uint32_t n = 0; n < kOldPoints * kOldPoints * kOldPoints; ++n) {
      const uint32_t r = n / (kOldPoints * kOldPoints), g = n / kOldPoints % kOldPoints;
      pack::separateCmyk(lut.breakpoints[0][r], lut.breakpoints[0][g],
                         lut.breakpoints[0][n % kOldPoints], &grid[4 * n]);
    }
    lut.gridData = grid.data(), lut.gridBlock = grid.data();
    int32_t id = 0;
    HalftoneNew(&mode, &lut, 0, &id, &context);
    const uint16_t ids[] = {2, 3, 3, 3};
    std::vector<uint8_t> levels(32);
    for (uint32_t i = 0; i < 32; ++i) levels[i] = static_cast<uint8_t>(i == 31 ? 255 : 8 * i);
    const auto matrix = pack::makeThresholdMatrix(
        64, 64, [](uint32_t col, uint32_t row) { return (row * 64 + col) * 1597 % 4096; });
    for (const auto& block : {pack::buildResourceIdList(ids), pack::buildGridLevels(levels),
                              pack::buildThresholdMatrix(matrix)}) {
      status |= HalftoneSetResource(context, block.data(), &id);
    }
  }
  ~ColourJob() { HalftoneDelete(context); }
  std::vector<uint8_t> grid;
  HalftoneContext* context = nullptr;
  uint32_t status = 0;
};

// Lines of a picture: each channel a slow diagonal gradient plus a low
// wave, grain of a few levels, hard edges every few hundred pixels and an
// occasional white patch.
std::vector<std::vector<uint8_t>> photoLines() {
  std::mt19937 random(5);
  std::vector<std::vector<uint8_t>> lines(kLines, std::vector<uint8_t>(3 * kLineWidth));
  for (uint32_t y = 0; y < kLines; ++y) {
    for (uint32_t x = 0; x < kLineWidth; ++x) {
      const bool white = (x / 700 + y / 8) % 9 == 4 && x % 700 < 120;
      const int edge = (x / 389) % 3 == 1 ? 60 : 0;
      for (uint32_t c = 0; c < 3; ++c) {
        const double wave = 40 * std::sin((x + 300.0 * c) / (500.0 + 90 * c) + y / 40.0);
        const int v = static_cast<int>(30 + (x * (3 + c)) / 200 % 190 + wave) + edge +
                      static_cast<int>(random() % 9) - 4;
        lines[y][3 * x + c] = white ? 255 : static_cast<uint8_t>(std::clamp(v, 0, 254));
      }
    }
  }
  return lines;
}

void colourDiffusion(benchmark::State& state, uint32_t x, uint32_t y, uint32_t inkSet,
                     int32_t step) {
  ColourJob job(x, y, inkSet, step);
  const auto lines = photoLines();
  std::vector<uint8_t> source(4 * kLineWidth);
  std::vector<uint8_t> out(4 * (kLineWidth / 8 + 1));
  uint32_t line = 0;
  for (auto _ : state) {
    for (uint32_t i = 0; i < kLines; ++i, ++line) {
      job.status |= Halftone(job.context, lines[i].data(), out.data(), kLineWidth / 8 + 1, 0,
                             kLineWidth, 0, 0, line, 0, 0);
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (job.status != 0) state.SkipWithError("the job was refused");
  state.SetItemsProcessed(state.iterations() * kLines * kLineWidth);
}

BENCHMARK_CAPTURE(colourDiffusion, DiffuseBilevelCached, 720, 720, 1, 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(colourDiffusion, DiffuseBilevelCached1440, 1440, 720, 1, 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(colourDiffusion, DiffuseBilevel, 720, 720, 1, -1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(colourDiffusion, DiffuseBilevel1440, 1440, 720, 1, -1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(colourDiffusion, DiffuseBilevelDoubleVertical, 360, 720, 1, 0)
    ->Unit(benchmark::kMillisecond);

}  // namespace
