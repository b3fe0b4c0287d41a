// Test support for the one-bit colour diffusion engines: a colour job, and a
// plain, slow reference of the five engines written rule by rule.
#pragma once

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>
#include <vector>

#include "halftone/kernels/colour_diffusion.h"
#include "halftone/support/corner_reference.h"
#include "halftone/support/halftone_job.h"
#include "halftone/support/test_context.h"

namespace kestrl::halftone::testing {

// A photograph-like run: smooth ramps with grain and jumps, white pixels
// and, for four-ink sources, stretches where one ink is 0.
inline std::vector<uint8_t> photoSource(std::mt19937& random, uint32_t pixels, uint32_t bytes) {
  std::vector<uint8_t> s(pixels * bytes);
  int base[4] = {40, 120, 200, 90};
  for (uint32_t i = 0; i < pixels; ++i) {
    for (uint32_t k = 0; k < bytes; ++k) {
      base[k] = std::clamp(base[k] + int(random() % 7) - 3 + (random() % 90 == 0 ? 99 : 0), 0, 255);
      s[i * bytes + k] = static_cast<uint8_t>(std::clamp(base[k] + int(random() % 9) - 4, 0, 255));
    }
    if (random() % 16 == 0) std::fill_n(&s[i * bytes], bytes, bytes == 3 ? 255 : 0);
    if (bytes == 4 && (i / 16) % 5 == 1) s[i * bytes + (i / 80) % 4] = 0;
  }
  return s;
}

// A colour job through the exported calls: a 32 x 32 scrambled matrix, a 9-point
// grid whose inks fall as their channels rise and vanish (planes go idle).
inline Status makeColourJob(Job& job, uint32_t x, uint32_t y, uint32_t inkSet, int32_t step,
                            uint32_t colorInput, uint32_t lineWidth) {
  job.mode.xResolution = x, job.mode.yResolution = y, job.mode.lineWidth = lineWidth;
  job.mode.inkSet = inkSet, job.mode.sourceStep = step, job.mode.colorInput = colorInput;
  job.setOldGrid({0, 32, 64, 96, 128, 160, 192, 224, 255});
  for (size_t n = 0; n < job.grid.size(); ++n) {
    const int r = int(n / 324), g = int(n / 36 % 9), b = int(n / 4 % 9), k = int(n % 4);
    const int ink = 250 - 36 * (k == 0 ? r : k == 1 ? g : k == 2 ? b : std::max({r, g, b}) + 1);
    job.grid[n] = static_cast<uint8_t>(std::clamp(ink + int(n * 7 % 11) - 5, 0, 255));
  }
  const Status status = job.runAll(job.standardBlocks(pack::makeThresholdMatrix(
      32, 32, [](uint32_t col, uint32_t row) { return (row * 32 + col) * 397 % 1024; })));
  if (status != kOk) return status;
  // Level 0 dots now and then (idle planes hold carries), and grid levels of
  // exactly 32, the faintest a run's last pixel keeps.
  static_cast<int16_t*>(job.context->blocks[kDiffusionThresholdBlock].data)[0] = 16;
  auto* grid = static_cast<uint8_t*>(job.context->blocks[kCurveOrGridBlock].data);
  for (size_t i = 5; i < diffusion::kColourGridBytes; i += 37) grid[i] = 32;
  prepareEngine(*job.context, true);
  return kOk;
}

// Calls one engine, in its variant for the mode, on a copy of the tables,
// ready when they were and the engine's needs are met, and prepared for it
// (whatever the mode selects).
inline Status callEngine(EngineTables tables, RunState& state, const PrintMode& mode, EngineId id,
                         const HalftoneRun& run) {
  const EngineDescriptor& engine = engineDescriptor(id);
  tables.ready = tables.ready && meetsNeeds(tables, engine.needs);
  if (tables.ready) engine.prepare(tables);
  return engine.variant(mode)(tables, state, run);
}

// Error line k of a job's tables with its margins.
inline std::span<int16_t> lineOf(const EngineTables& tables, uint32_t k) {
  return tables.errorLines[k].withMargins.first(tables.lineWidth + 2 * kErrorLineMargin);
}

// What persists between calls: lines of int32 cells (x at x + 30), run memory.
struct ColourState {
  explicit ColourState(uint32_t width) : width(width) {
    for (auto& l : lines) l.assign(width + 60, 0);
  }
  uint32_t width, lastLine = 0, lastRunEnd = 0;
  std::array<std::vector<int32_t>, 3> lines;
};

// Clears what the upkeep rule (checked on its own) names.
inline void refColourUpkeep(ColourState& s, uint32_t line, uint32_t startX, uint32_t count) {
  const auto clear = diffusion::errorCellsToClear(s.lastLine, s.lastRunEnd, line, startX, s.width);
  for (auto& l : s.lines)
    std::fill(l.begin() + 30 + clear.from, l.begin() + 30 + std::max(clear.from, clear.to), 0);
  s.lastLine = line, s.lastRunEnd = startX + count;
}

// One run of `engine` on the tables a job's stages made (upkeep by the rule
// checked on its own); returns the dots of planes 0..3, one per pixel.
using Dots = std::array<std::vector<uint32_t>, 4>;
inline Dots refColourRun(const EngineTables& t, const PrintMode& mode, EngineId engine,
                         ColourState& s, const uint8_t* source, uint32_t startX, uint32_t count,
                         uint32_t line) {
  const bool cached =
      engine == EngineId::kDiffuseBilevelCached || engine == EngineId::kDiffuseBilevelCached1440;
  const bool at1440 =
      engine == EngineId::kDiffuseBilevel1440 || engine == EngineId::kDiffuseBilevelCached1440;
  const char family = at1440 ? 'W' : engine == EngineId::kDiffuseBilevelDoubleVertical ? 'V' : 'N';
  const bool inks = !cached && mode.inkSet == 4, pairs = mode.sourceStep == 1;
  const int bytes = inks ? 4 : 3;
  refColourUpkeep(s, line, startX, count);
  Dots dots;
  int32_t carry[3] = {0, 0, 0};
  int activity[3] = {31, 31, 31}, prevNode[3] = {-2, -2, -2}, prevLevel[4] = {100, 100, 100, 100};
  const int limit[4] = {int(t.spreadLimit1), int(t.spreadLimit2), int(t.spreadLimit3),
                        int(t.spreadLimit4)};
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t x = startX + i;
    const uint8_t* px = source;
    if (engine == EngineId::kDiffuseBilevel1440) {  // by pairs
      px += (i / 2) * (pairs ? bytes : 2 * bytes) + (i % 2 == 1 && !pairs ? bytes : 0);
    } else {  // pixel by pixel: 0, bytes, 0, bytes ... or bytes each
      for (uint32_t k = 0; k < i; ++k) px += pairs && k % 2 == 0 ? 0 : bytes;
    }
    const int m = t.thresholdMatrix[(line % t.matrixHeight) * t.matrixWidth + x % t.matrixWidth];
    const bool last = count % 2 == 1 && i == count - 1;
    const int dither = last ? 128 : m & 0xFE, odd = m & 1;
    int c[4], node[3];
    for (int k = 0; k < 3; ++k)
      node[k] = t.gridIndex[2 * px[k]] + (t.gridIndex[2 * px[k] + 1] <= dither);
    for (int k = 0; k < 4; ++k)
      c[k] = inks ? px[k] : t.colorGrid[((node[0] * 32 + node[1]) * 32 + node[2]) * 4 + k];
    if (last) {  // the last pixel of an odd run
      int32_t L[4];
      for (int k = 0; k < 4; ++k) L[k] = t.levelTable[!inks && c[k] < 32 ? 0 : c[k]];
      const auto closing = cornerDots(L, m, int(t.matrixCells) - 1, true);
      for (int k = 0; k < 4; ++k) dots[k].push_back(closing[k]);
      break;
    }
    if (inks ? px[0] + px[1] + px[2] + px[3] == 0 : px[0] + px[1] + px[2] == 765) {  // white
      for (int k = 0; k < 3; ++k) s.lines[k][x + 30] = at1440 ? 0 : carry[k], carry[k] = 0;
      for (auto& d : dots) d.push_back(0);
      continue;
    }
    const int d = dither <= 7 ? 24 : dither <= 128 ? 20 : dither <= 247 ? -20 : -24;
    if (!inks) {  // smoothing with the previous pixel when the nodes are neighbours
      bool near = true;
      for (int k = 0; k < 3; ++k)
        near = near && std::abs(node[k] - prevNode[k]) <= 1, prevNode[k] = node[k];
      for (int k = 0; k < 4; ++k)
        prevLevel[k] = c[k] = near ? (prevLevel[k] + c[k] + 1 - odd) / 2 : c[k];
    }
    dots[2].push_back(m < t.levelTable[c[2]]);
    const int plane[3] = {0, 1, 3};
    for (int k = 0; k < 3; ++k) {
      const int level = c[plane[k]];
      activity[k] = (activity[k] >> 1) | (level != 0 ? 16 : 0);
      int32_t& cell = s.lines[k][x + 30];
      if (activity[k] == 0) {
        dots[plane[k]].push_back(0);
        cell = engine == EngineId::kDiffuseBilevel1440 ? 0 : carry[k];
        if (engine != EngineId::kDiffuseBilevel1440) carry[k] = 0;
        continue;
      }
      const int32_t v = level + floorDiv32(cell);
      const bool dot = t.diffusionThreshold[level] + (plane[k] == 1 ? -d : d) <= v;
      const int32_t e = dot ? v - t.dotValue[level] : v;
      const int lim4 = limit[3] - (family == 'V' || (family == 'N' && plane[k] != 1) ? odd : 0);
      int r = refRow(family, dot, level, limit, lim4);
      if (cached && level == 0) r = dot ? 6 : (at1440 ? 1 : 2);
      carry[k] = refSpread(s.lines[k], x, family, r, odd, e, carry[k]);
      dots[plane[k]].push_back(dot);
    }
  }
  return dots;
}

}  // namespace kestrl::halftone::testing
