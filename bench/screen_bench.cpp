// Pixels per second of the grey screening engines with error spreading, on
// letter-width lines at 1440 dpi, line after line so that the error line
// carries error down the page and is cleared every sixteenth line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <span>
#include <vector>

#include "halftone/engine.h"
#include "halftone/halftone_context.h"
#include "memory/memory.h"

namespace kestrl::halftone {
namespace {

constexpr uint32_t kLineWidth = 12240;
constexpr uint32_t kMatrixSide = 32;

template <typename T>
void load(HalftoneContext& context, size_t index, const std::vector<T>& values) {
  const uint32_t bytes = static_cast<uint32_t>(values.size() * sizeof(T));
  if (memory::allocateInto(context.blocks[index], memory::roundUpTo4(bytes), false) == kOk) {
    std::memcpy(context.blocks[index].data, values.data(), bytes);
  }
}

// A context with a 32 x 32 matrix and tables shaped like the stages' own:
// a falling tone curve, quadratic dot values, thresholds near 128; for
// two-bit output a padded curve and a dot table of small, medium and large
// shares.
struct BenchContext {
  BenchContext(uint32_t bitsPerPixel, uint32_t x, uint32_t y) {
    PrintMode& mode = context.printMode;
    mode.mode = 1;
    mode.bitsPerPixel = bitsPerPixel;
    mode.xResolution = x;
    mode.yResolution = y;
    mode.lineWidth = kLineWidth;
    context.matrixWidth = context.matrixHeight = kMatrixSide;
    context.matrixCells = kMatrixSide * kMatrixSide;
    const bool twoBit = bitsPerPixel == 2;
    context.spreadLimit1 = twoBit ? 15 : 55;
    context.spreadLimit2 = twoBit ? 3 : 22;
    context.spreadLimit3 = twoBit ? 1 : 8;
    context.spreadLimit4 = twoBit ? 0 : 3;
    memory::allocateInto(context.blocks[kFirstErrorLineBlock], errorLineBytes(kLineWidth),
                         true);
    context.bufferCount = 1;
    std::mt19937 random(1);
    std::vector<uint16_t> matrix(kMatrixSide * kMatrixSide);
    for (uint16_t& m : matrix) m = static_cast<uint16_t>(random() % (twoBit ? 256 : 1024));
    load(context, kThresholdMatrixBlock, matrix);
    std::vector<int16_t> threshold(256), dotValue(256);
    for (int k = 0; k < 256; ++k) {
      threshold[k] = static_cast<int16_t>(twoBit ? 20 + k % 20 : 100 + k / 8);
      dotValue[k] = static_cast<int16_t>(((255 - k) * (255 - k) * 2 + 1) / 255 + 255);
    }
    load(context, kDiffusionThresholdBlock, threshold);
    load(context, kDotValueBlock, dotValue);
    if (twoBit) {
      std::vector<int16_t> padded(6 + 257);
      padded[0] = 6;
      for (int k = 1; k < static_cast<int>(padded.size()); ++k) {
        padded[k] = static_cast<int16_t>(255 - std::clamp(k - 4, 0, 255));
      }
      std::vector<uint8_t> dotTable(768);
      for (int level = 0; level < 256; ++level) {
        dotTable[3 * level] = static_cast<uint8_t>(level < 100 ? level / 3 : 0);
        dotTable[3 * level + 1] = static_cast<uint8_t>(level < 80 ? 0 : std::min(level - 80, 100));
        dotTable[3 * level + 2] = static_cast<uint8_t>(level < 180 ? 0 : (level - 180) * 2);
      }
      std::vector<uint16_t> levels(256);
      for (int k = 0; k < 256; ++k) levels[k] = static_cast<uint16_t>(k);
      load(context, kCurveOrGridBlock, padded);
      load(context, kDotTableBlock, dotTable);
      load(context, kLevelTableBlock, levels);
    } else {
      std::vector<uint16_t> curve(256);
      for (int v = 0; v < 256; ++v) curve[v] = static_cast<uint16_t>(255 - v);
      load(context, kCurveOrGridBlock, curve);
    }
  }
  ~BenchContext() { memory::releaseAll(context.blocks); }
  HalftoneContext context{};
};

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

void runEngine(benchmark::State& state, Engine engine, uint32_t bitsPerPixel, uint32_t x,
               uint32_t y) {
  BenchContext bench(bitsPerPixel, x, y);
  const std::vector<uint8_t> source = sourceLine();
  std::vector<uint8_t> out(kLineWidth / 4 + 1);
  HalftoneRun run{source.data(), out.data(), 0, 0, kLineWidth, 0, 0, 0, 0, 0};
  prepareEngine(bench.context, /*stagesComplete=*/true);
  const EngineTables& tables = bench.context.setup.tables;
  for (auto _ : state) {
    if (engine(bench.context, tables, run) != kOk) {
      state.SkipWithError("engine refused the run");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    ++run.lineNumber;
  }
  state.SetItemsProcessed(state.iterations() * kLineWidth);
}

void BM_ScreenBilevel(benchmark::State& s) {
  runEngine(s, screenBilevel, 1, 720, 720);
}
void BM_ScreenBilevel1440(benchmark::State& s) {
  runEngine(s, screenBilevel1440, 1, 1440, 720);
}
void BM_ScreenBilevelDoubleVertical(benchmark::State& s) {
  runEngine(s, screenBilevelDoubleVertical, 1, 360, 720);
}
void BM_ScreenFourLevel(benchmark::State& s) {
  runEngine(s, screenFourLevel, 2, 720, 720);
}
void BM_ScreenFourLevel1440(benchmark::State& s) {
  runEngine(s, screenFourLevel1440, 2, 1440, 720);
}

BENCHMARK(BM_ScreenBilevel);
BENCHMARK(BM_ScreenBilevel1440);
BENCHMARK(BM_ScreenBilevelDoubleVertical);
BENCHMARK(BM_ScreenFourLevel);
BENCHMARK(BM_ScreenFourLevel1440);

}  // namespace
}  // namespace kestrl::halftone
