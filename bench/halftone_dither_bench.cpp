// Ordered-dither and mode-0 colour engines on a letter-width line at
// 1440 dpi (12,240 pixels), through the exported Halftone call.
#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

#include "block_job.h"
#include "kestrl30.h"

namespace {

constexpr uint32_t kLineWidth = 12240;

enum class Job { kBilevel, kFourLevel, kCorners };

// A job fed through all its resource stages; the colour table record is
// made by hand (a ramp, a three-point grid, a stage-4 id record).
kestrl::Status openJob(kestrl::pack::BlockJob& job, Job kind) {
  job.mode.mode = kind == Job::kCorners ? 0 : 3;
  job.mode.colorInput = kind == Job::kCorners ? 1 : 0;
  job.mode.inkSet = kind == Job::kCorners ? 4 : 0;
  job.mode.bitsPerPixel = kind == Job::kFourLevel ? 2 : 1;
  job.mode.xResolution = 1440;
  job.mode.yResolution = 1440;
  job.mode.lineWidth = kLineWidth;
  job.lut.scaleParams[0] = 350;
  job.setOldGrid({0, 128, 255});
  for (size_t i = 0; i < job.grid.size(); ++i) job.grid[i] = static_cast<uint8_t>(i * 53);
  job.extra = kestrl::pack::buildStageFourIdRecord({1, 1, 9});
  const uint16_t ids[] = {1, 2, 3, 4};
  std::mt19937 random(1);
  const auto matrix = kestrl::pack::makeThresholdMatrix(
      128, 64, [&](uint32_t, uint32_t) { return random() % 8192; });
  std::vector<kestrl::pack::Block> blocks = {
      kestrl::pack::buildResourceIdList(ids), {0}, kestrl::pack::buildThresholdMatrix(matrix)};
  if (kind == Job::kFourLevel) blocks.push_back(kestrl::pack::buildDotSizeTable(job.dotShares));
  return job.runAll(blocks);
}

void runLines(benchmark::State& state, Job job, uint32_t bytesPerPixel, uint32_t planes) {
  kestrl::pack::BlockJob bench;
  if (openJob(bench, job) != kestrl::kOk) {
    state.SkipWithError("resource stages failed");
    return;
  }
  std::mt19937 random(2);
  std::vector<uint8_t> source(bytesPerPixel * kLineWidth);
  for (uint8_t& s : source) s = static_cast<uint8_t>(random());
  const uint32_t stride = kLineWidth / 4 + 1;
  std::vector<uint8_t> out(planes * stride);
  uint32_t line = 0;
  for (auto _ : state) {
    const KestrlStatus status = Halftone(bench.context, source.data(), out.data(), stride, 0,
                                         kLineWidth, 0, 0, line++, 0, 0);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kLineWidth);
}

void DitherBilevel(benchmark::State& state) {
  runLines(state, Job::kBilevel, 1, 1);
}
void DitherFourLevel(benchmark::State& state) {
  runLines(state, Job::kFourLevel, 1, 1);
}
void ScreenColorCorners(benchmark::State& state) {
  runLines(state, Job::kCorners, 3, 4);
}

BENCHMARK(DitherBilevel);
BENCHMARK(DitherFourLevel);
BENCHMARK(ScreenColorCorners);

}  // namespace
