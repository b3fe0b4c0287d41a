// Pixels per second of the grey screening engines with error spreading, on
// letter-width lines at 1440 dpi, line after line so that the error line
// carries error down the page and is cleared every sixteenth line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "block_job.h"
#include "halftone/engine.h"

namespace kestrl::halftone {
namespace {

constexpr uint32_t kLineWidth = 12240;
constexpr uint32_t kMatrixSide = 32;

// A grey job through the exported calls: the record's falling grey ramp
// and ink gains, a 32 x 32 matrix of random cells and, for two-bit output,
// a dot table of small, medium and large thirds; the stages make the tone
// curve, the thresholds, dot values and spread limits from them.
Status openGreyJob(pack::BlockJob& job, uint32_t bitsPerPixel, uint32_t x, uint32_t y) {
  job.mode.bitsPerPixel = bitsPerPixel;
  job.mode.xResolution = x;
  job.mode.yResolution = y;
  job.mode.lineWidth = kLineWidth;
  std::mt19937 random(1);
  const auto matrix = pack::makeThresholdMatrix(kMatrixSide, kMatrixSide, [&](uint32_t, uint32_t) {
    return random() % (bitsPerPixel == 2 ? 256 : 1024);
  });
  return job.runAll(job.standardBlocks(matrix));
}

// A source line: a ramp across the page with some noise, light on average.
std::vector<uint8_t> sourceLine() {
  std::vector<uint8_t> line(kLineWidth);
  std::mt19937 random(2);
  for (uint32_t x = 0; x < kLineWidth; ++x) {
    const int value =
        120 + static_cast<int>(x * 135 / kLineWidth) + static_cast<int>(random() % 9) - 4;
    line[x] = static_cast<uint8_t>(std::clamp(value, 0, 255));
  }
  return line;
}

void runEngine(benchmark::State& state, EngineId engine, uint32_t bitsPerPixel, uint32_t x,
               uint32_t y) {
  pack::BlockJob job;
  if (openGreyJob(job, bitsPerPixel, x, y) != kOk || job.context->setup.engineId != engine) {
    state.SkipWithError("the job did not open on the engine measured");
    return;
  }
  const std::vector<uint8_t> source = sourceLine();
  std::vector<uint8_t> out(kLineWidth / 4 + 1);
  uint32_t line = 0;
  for (auto _ : state) {
    if (job.halftone(source.data(), out.data(), kLineWidth, 0, line++) != kOk) {
      state.SkipWithError("Halftone refused the run");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kLineWidth);
}

void BM_ScreenBilevel(benchmark::State& s) {
  runEngine(s, EngineId::kScreenBilevel, 1, 720, 720);
}
void BM_ScreenBilevel1440(benchmark::State& s) {
  runEngine(s, EngineId::kScreenBilevel1440, 1, 1440, 720);
}
void BM_ScreenBilevelDoubleVertical(benchmark::State& s) {
  runEngine(s, EngineId::kScreenBilevelDoubleVertical, 1, 360, 720);
}
void BM_ScreenFourLevel(benchmark::State& s) {
  runEngine(s, EngineId::kScreenFourLevel, 2, 720, 720);
}
void BM_ScreenFourLevel1440(benchmark::State& s) {
  runEngine(s, EngineId::kScreenFourLevel1440, 2, 1440, 720);
}

BENCHMARK(BM_ScreenBilevel);
BENCHMARK(BM_ScreenBilevel1440);
BENCHMARK(BM_ScreenBilevelDoubleVertical);
BENCHMARK(BM_ScreenFourLevel);
BENCHMARK(BM_ScreenFourLevel1440);

}  // namespace
}  // namespace kestrl::halftone
