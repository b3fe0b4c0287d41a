// Colour management: the adjustment rebuild of a full-size grid (68 points
// per axis, 4 channels), the whole colour table stage, and the final
// calibration pass.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "block_job.h"
#include "colour/adjustments.h"
#include "colour/calibration.h"
#include "colour/cm_context.h"
#include "kestrl30.h"
#include "pack/colour_blocks.h"

namespace {

using namespace kestrl;

constexpr uint32_t kPoints = KESTRL_MAX_GRID_POINTS;

PrintMode benchMode() {
  return pack::fourInkMode(3, 0);
}

// Every adjustment on, and the corrected class so the three colour
// corrections run too.
ColorSettings adjustedSettings() {
  ColorSettings settings{};
  settings.brightness = 20;
  settings.contrast = 30;
  settings.saturation = 25;
  settings.redOffset = 5;
  settings.greenOffset = -5;
  settings.blueOffset = 3;
  settings.colorClass = colour::kColorClassCorrected;
  settings.greyStyle = 50;
  return settings;
}

std::string benchDirectory() {
  return pack::buildDirectory(
      pack::fourInkDirectory({{17, 1, "m3", "P0", 720, 720, "corrected", 0, 1},
                              {18, 1, "m3", "P0", 720, 720, "plain", 0, 1}}));
}

std::vector<uint8_t> benchTable() {
  pack::ColourTable t = pack::makeColourTable(kPoints, 4, pack::complementaryInks);
  t.peakReduce = {20, 30, 10};
  t.pairReduce = {10, -10, 5};
  t.hueShift = {5, -5, 10};
  t.saturationShift = 5;
  return pack::buildColourTable(t);
}

// The directory and the colour table through the exported calls.
Status startJob(pack::ColourJob& job, const ColorSettings& settings) {
  return job.start(settings, benchMode(), benchDirectory(), benchTable());
}

void BM_AdjustFullGrid(benchmark::State& state) {
  pack::ColourJob job;
  if (startJob(job, adjustedSettings()) != kOk) {
    state.SkipWithError("the colour table stage failed");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(colour::adjustGrid(*job.context));
    benchmark::DoNotOptimize(job.context->lut->gridData);
  }
  state.SetItemsProcessed(state.iterations() * kPoints * kPoints * kPoints);
}
BENCHMARK(BM_AdjustFullGrid)->Unit(benchmark::kMillisecond);

// The whole colour table stage: load, adjust, grey ramp (plus CmNew, the
// directory and CmDelete).
void BM_ColourTableStage(benchmark::State& state) {
  const ColorSettings settings = adjustedSettings();
  const PrintMode mode = benchMode();
  const std::string directory = benchDirectory();
  const std::vector<uint8_t> table = benchTable();
  for (auto _ : state) {
    CmContext* context = nullptr;
    int32_t id = 0;
    CmNew(&settings, &mode, 0, &id, &context);
    CmSetResource(context, directory.c_str(), &id);
    benchmark::DoNotOptimize(CmSetResource(context, table.data(), &id));
    CmDelete(context);
  }
}
BENCHMARK(BM_ColourTableStage)->Unit(benchmark::kMillisecond);

// The final calibration pass over the full grid.
void BM_CalibrationPass(benchmark::State& state) {
  struct Tags {
    int32_t count = 1;
    CmTagPair pair{};
  } tags;
  const std::vector<uint8_t> record = pack::buildCalibrationRecord(1, {50, 50, 50, 50});
  tags.pair = {colour::kCalibrationTag, record.data()};
  ColorSettings settings = adjustedSettings();
  settings.tagList = reinterpret_cast<const CmTagList*>(&tags);
  pack::ColourJob job;
  if (startJob(job, settings) != kOk) {
    state.SkipWithError("the colour table stage failed");
    return;
  }
  const std::vector<uint8_t> map = pack::buildChannelMapResource({});
  const std::vector<uint8_t> nominal = pack::buildNominalValues({50, 50, 50, 50});
  const std::string calibrationDirectory =
      pack::buildDirectory(pack::fourInkDirectory({{555, 1, "m3", "P0", 720, 720, "plain", 0, 1}}));
  job.feed(map.data());
  job.feed(nominal.data());
  job.feed(calibrationDirectory.c_str());
  if (job.context->calibration == nullptr || job.nextId != 555) {
    state.SkipWithError("calibration sequence did not reach its last step");
    return;
  }
  for (auto _ : state) {
    colour::applyCalibration(*job.context);
    benchmark::DoNotOptimize(job.context->lut->gridData[0]);
  }
  state.SetItemsProcessed(state.iterations() * kPoints * kPoints * kPoints);
}
BENCHMARK(BM_CalibrationPass)->Unit(benchmark::kMillisecond);

}  // namespace
