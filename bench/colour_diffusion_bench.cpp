// Pixels per second of the one-bit colour diffusion engines on letter-width
// RGB lines at 1440 dpi (12,240 pixels), line after line down a page of a
// photograph-like picture (smooth gradients with grain and edges, a few
// white patches), through the Halftone call as a driver makes it. In a
// KESTRL_SIMD build each engine also runs with the diffused planes in SIMD
// lanes, once per instruction set the processor runs (/lanes0 the best).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "block_job.h"
#include "halftone/engines/bilevel_colour_loop.h"
#include "halftone/halftone_context.h"
#include "kestrl30.h"
#include "pack/separation.h"

namespace {

using namespace kestrl;

constexpr uint32_t kLineWidth = 12240;
constexpr uint32_t kLines = 32;
constexpr uint32_t kOldPoints = 17;

// A job made through the exported calls: a 17-point separation grid with
// ink gains 250 / 100, grid levels every 8, a 64 x 64 scrambled matrix.
Status openColourJob(pack::BlockJob& job, uint32_t x, uint32_t y, uint32_t inkSet, int32_t step) {
  job.mode.xResolution = x, job.mode.yResolution = y, job.mode.lineWidth = kLineWidth;
  job.mode.inkSet = inkSet, job.mode.colorInput = 1, job.mode.sourceStep = step;
  job.lut.resourceCode = 1;
  job.extra.clear();
  std::vector<uint8_t> points(kOldPoints);
  for (uint32_t i = 0; i < kOldPoints; ++i)
    points[i] = static_cast<uint8_t>(std::min(i * 16, 255u));
  job.setOldGrid(points, [&](int r, int g, int b, uint8_t* node) {
    pack::separateCmyk(points[r], points[g], points[b], node);
  });
  const uint16_t ids[] = {2, 3, 3, 3};
  const auto matrix = pack::makeThresholdMatrix(
      64, 64, [](uint32_t col, uint32_t row) { return (row * 64 + col) * 1597 % 4096; });
  return job.runAll({pack::buildResourceIdList(ids),
                     pack::buildGridLevels(pack::evenGridLevels32()),
                     pack::buildThresholdMatrix(matrix)});
}

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

// lanes: -1 the scalar loop, else the index of the lane kernels among those
// the processor runs.
void colourDiffusion(benchmark::State& state, uint32_t x, uint32_t y, uint32_t inkSet, int32_t step,
                     int lanes) {
  pack::BlockJob job;
  if (openColourJob(job, x, y, inkSet, step) != kOk) {
    state.SkipWithError("the job was refused");
    return;
  }
  const auto kernels = halftone::diffusion::runnablePlaneLaneKernels();
  if (lanes >= static_cast<int>(kernels.size())) {
    state.SkipWithError("no such lane kernels here");
    return;
  }
  job.context->setup.tables.colourDiffusion.lanes = lanes < 0 ? nullptr : kernels[lanes];
  if (lanes >= 0) state.SetLabel(kernels[lanes]->name);
  uint32_t status = 0;
  const auto lines = photoLines();
  std::vector<uint8_t> source(4 * kLineWidth);
  std::vector<uint8_t> out(4 * (kLineWidth / 8 + 1));
  uint32_t line = 0;
  for (auto _ : state) {
    for (uint32_t i = 0; i < kLines; ++i, ++line) {
      status |= Halftone(job.context, lines[i].data(), out.data(), kLineWidth / 8 + 1, 0,
                         kLineWidth, 0, 0, line, 0, 0);
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (status != 0) state.SkipWithError("Halftone refused a run");
  state.SetItemsProcessed(state.iterations() * kLines * kLineWidth);
}

#define KESTRL_COLOUR_DIFFUSION(name, x, y, step)                                             \
  BENCHMARK_CAPTURE(colourDiffusion, name, x, y, 1, step, -1)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(colourDiffusion, name##_lanes0, x, y, 1, step, 0)                         \
      ->Unit(benchmark::kMillisecond);                                                        \
  BENCHMARK_CAPTURE(colourDiffusion, name##_lanes1, x, y, 1, step, 1)->Unit(benchmark::kMillisecond)

KESTRL_COLOUR_DIFFUSION(DiffuseBilevelCached, 720, 720, 0);
KESTRL_COLOUR_DIFFUSION(DiffuseBilevelCached1440, 1440, 720, 0);
KESTRL_COLOUR_DIFFUSION(DiffuseBilevel, 720, 720, -1);
KESTRL_COLOUR_DIFFUSION(DiffuseBilevel1440, 1440, 720, -1);
KESTRL_COLOUR_DIFFUSION(DiffuseBilevelDoubleVertical, 360, 720, 0);

}  // namespace
