// Ordered-dither and mode-0 colour engines on a letter-width line at
// 1440 dpi (12,240 pixels), through the exported Halftone call.
#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

#include "kestrl30.h"
#include "pack/halftone_blocks.h"

namespace {

constexpr uint32_t kLineWidth = 12240;

enum class Job { kBilevel, kFourLevel, kCorners };

// A job fed through all its resource stages; the colour table record is
// made by hand (a ramp, a three-point grid, a stage-4 id record).
class BenchJob {
 public:
  explicit BenchJob(Job job)
      : grid_(27 * 4), extra_(kestrl::pack::buildStageFourIdRecord({1, 1, 9})) {
    PrintMode mode{};
    mode.mode = job == Job::kCorners ? 0 : 3;
    mode.colorInput = job == Job::kCorners ? 1 : 0;
    mode.inkSet = job == Job::kCorners ? 4 : 0;
    mode.bitsPerPixel = job == Job::kFourLevel ? 2 : 1;
    mode.xResolution = 1440;
    mode.yResolution = 1440;
    mode.lineWidth = kLineWidth;
    CmLut lut{};
    lut.channelCount = 4;
    lut.scaleParams[0] = 350;
    lut.scaleParams[1] = 100;
    const uint8_t levels[] = {0, 128, 255};
    for (int axis = 0; axis < 3; ++axis) {
      lut.gridPoints[axis] = 3;
      std::copy(levels, levels + 3, lut.breakpoints[axis]);
    }
    for (int v = 0; v < 256; ++v) lut.greyRamp[v] = static_cast<uint8_t>(255 - v);
    for (size_t i = 0; i < grid_.size(); ++i) grid_[i] = static_cast<uint8_t>(i * 53);
    lut.gridData = grid_.data();
    lut.gridBlock = grid_.data();
    lut.extraData = extra_.data();
    int32_t id = 0;
    ok_ = HalftoneNew(&mode, &lut, 0, &id, &context_) == KESTRL_STATUS_OK;
    std::vector<std::vector<uint8_t>> blocks = resourceBlocks(mode.bitsPerPixel == 2);
    for (const auto& block : blocks) {
      ok_ = ok_ && HalftoneSetResource(context_, block.data(), &id) == KESTRL_STATUS_OK;
    }
  }
  ~BenchJob() {
    if (context_ != nullptr) HalftoneDelete(context_);
  }
  bool ok() const { return ok_; }
  HalftoneContext* context() const { return context_; }

 private:
  static std::vector<std::vector<uint8_t>> resourceBlocks(bool twoBit) {
    const uint16_t ids[] = {1, 2, 3, 4};
    std::mt19937 random(1);
    const auto matrix = kestrl::pack::makeThresholdMatrix(
        128, 64, [&](uint32_t, uint32_t) { return random() % 8192; });
    std::vector<std::vector<uint8_t>> blocks = {
        kestrl::pack::buildResourceIdList(ids), {0}, kestrl::pack::buildThresholdMatrix(matrix)};
    if (twoBit) {
      std::array<kestrl::pack::DotShares, 256> rows{};
      for (int l = 0; l < 256; ++l) {
        rows[l] = {static_cast<uint8_t>(l / 3), static_cast<uint8_t>(l / 3),
                   static_cast<uint8_t>(l - 2 * (l / 3))};
      }
      blocks.push_back(kestrl::pack::buildDotSizeTable(rows));
    }
    return blocks;
  }

  std::vector<uint8_t> grid_;
  std::vector<uint8_t> extra_;
  HalftoneContext* context_ = nullptr;
  bool ok_ = false;
};

void runLines(benchmark::State& state, Job job, uint32_t bytesPerPixel, uint32_t planes) {
  BenchJob bench(job);
  if (!bench.ok()) {
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
    const KestrlStatus status = Halftone(bench.context(), source.data(), out.data(), stride, 0,
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
