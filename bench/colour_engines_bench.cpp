// Pixels per second of the four-level colour engines and the mode-3 colour
// screening engines on letter-width RGB lines at 1440 dpi, with the tables
// the default pack gives them, line after line down a photograph-like page.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "block_job.h"
#include "kestrl30.h"
#include "pack/default_pack.h"

namespace {

constexpr uint32_t kLineWidth = 12240;
constexpr uint32_t kPageLines = 16;  // distinct source lines, cycled

// Smooth gradients in each channel with a little noise, a patch of sky-like
// light colour and some paper white, as in a photograph.
std::vector<uint8_t> photographPage() {
  std::vector<uint8_t> page(3 * kLineWidth * kPageLines);
  std::mt19937 random(7);
  for (uint32_t line = 0; line < kPageLines; ++line) {
    for (uint32_t x = 0; x < kLineWidth; ++x) {
      uint8_t* p = &page[3 * (line * kLineWidth + x)];
      const int noise = static_cast<int>(random() % 13) - 6;
      const int r = static_cast<int>(x * 255 / kLineWidth) + noise;
      const int g = 60 + static_cast<int>((x / 40 + line * 9) % 160) + noise;
      const int b = 255 - static_cast<int>(x * 180 / kLineWidth) - noise;
      p[0] = static_cast<uint8_t>(std::clamp(r, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp(b, 0, 255));
      if (x % 3000 < 150) p[0] = p[1] = p[2] = 255;
    }
  }
  return page;
}

void runColour(benchmark::State& state, uint32_t mode, uint32_t colorMethod, uint32_t x, uint32_t y,
               uint32_t bits) {
  static const kestrl::pack::Pack pack = kestrl::pack::makeDefaultPack();
  kestrl::pack::BlockJob job;
  job.mode = PrintMode{mode, colorMethod, 1, 1, x, y, bits, 0, 0, kLineWidth, 0};
  if (job.openFrom(pack) != kestrl::kOk) {
    state.SkipWithError("the default pack did not open the job");
    return;
  }
  const std::vector<uint8_t> page = photographPage();
  const uint32_t planeBytes = kLineWidth * bits / 8;
  std::vector<uint8_t> out(4 * planeBytes);
  uint32_t line = 0;
  for (auto _ : state) {
    const uint8_t* source = &page[3 * kLineWidth * (line % kPageLines)];
    if (Halftone(job.context, source, out.data(), planeBytes, 0, kLineWidth, 0, 0, line, 0, 0) !=
        KESTRL_STATUS_OK) {
      state.SkipWithError("Halftone refused the run");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    ++line;
  }
  state.SetItemsProcessed(state.iterations() * kLineWidth);
}

void BM_DiffuseFourLevel(benchmark::State& s) {
  runColour(s, 1, 0, 720, 720, 2);
}
void BM_DiffuseFourLevel1440(benchmark::State& s) {
  runColour(s, 1, 0, 1440, 720, 2);
}
void BM_ScreenColorBilevel(benchmark::State& s) {
  runColour(s, 3, 1, 720, 720, 1);
}
void BM_ScreenColorBilevelDiffused(benchmark::State& s) {
  runColour(s, 3, 0, 720, 720, 1);
}
void BM_DitherColorFourLevel(benchmark::State& s) {
  runColour(s, 3, 0, 720, 720, 2);
}

BENCHMARK(BM_DiffuseFourLevel)->MinTime(0.2);
BENCHMARK(BM_DiffuseFourLevel1440)->MinTime(0.2);
BENCHMARK(BM_ScreenColorBilevel)->MinTime(0.2);
BENCHMARK(BM_ScreenColorBilevelDiffused)->MinTime(0.2);
BENCHMARK(BM_DitherColorFourLevel)->MinTime(0.2);

}  // namespace
