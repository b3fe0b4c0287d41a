// Test support for the one-bit colour diffusion engines: a context built from
// synthetic tables shaped like the stages' own, and a plain, slow reference of
// the five engines written rule by rule (int32 cells wrapped by hand, patterns
// as maps of offset to weight, source positions counted per engine).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

#include "halftone/support/test_context.h"

namespace kestrl::halftone::testing {

enum class Colour { kPlain, kPlain1440, kCached, kCached1440, kDoubleVertical };

// ------------------------------------------------------------- the tables

struct ColourTables {
  uint32_t matrixWidth = 32, matrixHeight = 32;
  std::vector<uint16_t> matrix, levelTable;
  std::vector<int16_t> dotValue, threshold;
  std::vector<uint8_t> grid, gridIndex;
  int32_t limits[4] = {56, 22, 11, 4};
};

// A separation-like grid (each ink falls as its channel rises and vanishes
// over part of the cube, so planes go idle), stage-like per-level tables and
// a random matrix of 0 .. cells - 1.
inline ColourTables colourTables(uint32_t seed) {
  std::mt19937 random(seed);
  ColourTables t;
  const uint32_t cells = t.matrixWidth * t.matrixHeight;
  t.matrix.resize(t.matrixWidth * t.matrixHeight);
  for (uint16_t& m : t.matrix) m = static_cast<uint16_t>(random() % cells);
  for (int k = 0; k < 256; ++k) {
    const int fall = (255 - k) * (255 - k) * 150 + 1;
    t.dotValue.push_back(static_cast<int16_t>((fall / 255 + 255 * 100) / 100));
    t.threshold.push_back(static_cast<int16_t>(20 + (k * 97) % 160));
    t.levelTable.push_back(static_cast<uint16_t>(cells / 256 * k * 255 / t.dotValue[k]));
  }
  t.levelTable[255] = static_cast<uint16_t>((cells - 1) * 255 / t.dotValue[255] + 1);
  t.grid.resize(32 * 32 * 32 * 4);
  for (int r = 0; r < 32; ++r)
    for (int g = 0; g < 32; ++g)
      for (int b = 0; b < 32; ++b) {
        const int ink[3] = {250 - 10 * r, 250 - 10 * g, 250 - 10 * b};
        for (int k = 0; k < 4; ++k) {
          const int level = (k < 3 ? ink[k] : std::min({ink[0], ink[1], ink[2]}) - 40) +
                            static_cast<int>(random() % 9) - 4;
          t.grid[((r * 32 + g) * 32 + b) * 4 + k] = static_cast<uint8_t>(std::clamp(level, 0, 255));
        }
      }
  std::vector<int> p(32);  // grid levels 0, 8, ..., 240, 255
  for (int j = 0; j < 31; ++j) p[j] = 8 * j;
  p[31] = 255;
  for (int v = 0, j = 0; v < 256; ++v) {
    if (v == p[j]) {
      t.gridIndex.insert(t.gridIndex.end(), {static_cast<uint8_t>(j), 255});
      ++j;
    } else {
      const int w = (p[j] - v) * 255 / (p[j] - p[j - 1]);
      t.gridIndex.insert(t.gridIndex.end(), {static_cast<uint8_t>(j - 1), static_cast<uint8_t>(w)});
    }
  }
  return t;
}

// A context holding the tables as the stages leave them, four error lines.
class ColourContext : public TestContext {
 public:
  ColourContext(const ColourTables& t, const PrintMode& mode)
      : TestContext(mode, t.matrixWidth, t.matrixHeight, t.matrix, t.levelTable) {
    context.spreadLimit1 = static_cast<uint32_t>(t.limits[0]);
    context.spreadLimit2 = static_cast<uint32_t>(t.limits[1]);
    context.spreadLimit3 = static_cast<uint32_t>(t.limits[2]);
    context.spreadLimit4 = static_cast<uint32_t>(t.limits[3]);
    const uint32_t lineBytes = ((2 * mode.lineWidth + 119) & ~3u) + 4;
    EXPECT_EQ(memory::allocateInto(context.blocks[1], 4 * lineBytes, true), kOk);
    auto* lines = static_cast<uint8_t*>(context.blocks[1].data);
    for (uint32_t k = 1; k < 4; ++k)
      memory::makeView(context.blocks[1 + k], lines + k * lineBytes, nullptr, lineBytes);
    context.bufferCount = 4;
    load(kCurveOrGridBlock, t.grid);
    std::vector<int16_t> packed(t.dotValue);  // dot values, thresholds, grid index
    packed.insert(packed.end(), t.threshold.begin(), t.threshold.end());
    for (size_t i = 0; i < t.gridIndex.size(); i += 2)
      packed.push_back(static_cast<int16_t>(t.gridIndex[i] | t.gridIndex[i + 1] << 8));
    load(kDotValueBlock, packed);
    auto* bytes = static_cast<uint8_t*>(context.blocks[kDotValueBlock].data);
    memory::makeView(context.blocks[kDiffusionThresholdBlock], bytes + 512, nullptr, 512);
    memory::makeView(context.blocks[kGridIndexBlock], bytes + 1024, nullptr, 512);
    prepareEngine(context, true);
  }
  // Calls one engine with the tables prepared for it (whatever the mode selects).
  Status call(EngineId id, const HalftoneRun& run) {
    prepareEngine(context, true);
    const EngineDescriptor& engine = engineDescriptor(id);
    if (context.setup.tables.ready) engine.prepare(context.setup.tables);
    return engine.engine(context, context.setup.tables, run);
  }
  std::span<int16_t> line(int k) {
    return {context.errorLine(k) - kErrorLineMargin, context.printMode.lineWidth + 60};
  }
};

// ---------------------------------------------------------- the reference

// One pattern for one parity: offset -> weight of e and of h = floor(e / 2);
// own and carry amounts of e and of h.
struct Pattern {
  std::map<int, int> e, h;
  int own = 0, carry = 0, ownH = 0, carryH = 0;
  Pattern& at(int from, int to, int w) {
    for (int k = from; k <= to; ++k) e[k] += w;
    return *this;
  }
};

// N1..N6, W1..W6, V1..V6 (row 1 to 6) as the engines' tables give them.
inline Pattern pattern(char family, int row, bool odd) {
  Pattern p;
  if (family == 'N') {
    switch (row) {
      case 1:
        p.at(1, 1, 8).at(2, 2, 4).at(-2, -1, 4), p.own = 8, p.carry = 4;
        break;
      case 2:
        p.at(1, 1, 8).at(2, 2, 4).at(-2, -2, 4).at(-1, -1, 8), p.own = 8;
        break;
      case 3:
        p.at(1, 2, 4).at(3, 4, 2).at(-4, -2, 2).at(-1, -1, 4), p.own = odd ? 4 : 6, p.carry = 4;
        if (odd) p.at(5, 5, 2);
        break;
      case 4:
        p.at(1, 3, 3).at(4, 7, 1).at(-7, -6, 1).at(-5, -2, 2).at(-1, -1, 3), p.own = p.carry = 3;
        break;
      case 5:
        p.at(1, 4, 2).at(5, 9, 1).at(odd ? 10 : 11, odd ? 10 : 11, 1).at(-10, -5, 1).at(-4, -1, 2);
        p.own = p.carry = 2;
        break;
      default:
        p.at(1, 14, 1).at(odd ? -15 : -14, odd ? -15 : -14, 1).at(-13, -1, 1), p.own = p.carry = 1;
    }
  } else if (family == 'W') {
    switch (row) {
      case 1:
        p.at(1, 1, odd ? 8 : 4).at(2, 2, 4).at(-2, -2, 4).at(-1, -1, odd ? 4 : 8), p.own = 8;
        if (odd)
          p.at(-3, -3, 4);
        else
          p.at(3, 3, 4);
        break;
      case 2:
        p.at(1, 2, 4).at(3, 4, 2).at(-4, -3, 2).at(-2, -1, 4), p.own = p.carry = 4;
        break;
      case 3:
        p.at(1, 3, 3).at(4, 5, 2).at(6, 7, 1).at(-7, -6, 1).at(-5, -4, 2).at(-3, -1, 3), p.own = 2;
        break;
      case 4:
        p.at(1, 5, 2).at(6, 10, 1).at(-10, -6, 1).at(-5, -1, 2), p.own = 2;
        break;
      case 5:
        p.at(1, 1, 2).at(2, 14, 1).at(-14, -2, 1).at(-1, -1, 2), p.own = p.carry = 1;
        break;
      default:
        p.at(1, 9, 1).at(-9, -1, 1), p.ownH = p.carryH = 1;
        for (int k = 10; k <= 23; ++k) p.h[k] = 1;
        for (int k = -21; k <= -10; ++k) p.h[k] = 1;
    }
  } else {
    switch (row) {
      case 1:
        p.at(1, 2, 4).at(-1, -1, 8), p.own = 8, p.carry = 8;
        break;
      case 2:
        p.at(1, 2, 4).at(-2, -1, 4), p.own = 12, p.carry = 4;
        break;
      case 3:
        p.at(1, 2, 4).at(-2, -1, 4), p.own = 16;
        break;
      case 4:
        p.at(1, 4, 2).at(-4, -2, 2).at(-1, -1, 4), p.own = 8, p.carry = 6;
        break;
      case 5:
        p.at(1, 3, 3).at(4, 7, 1).at(-7, -6, 1).at(-5, -2, 2).at(-1, -1, 3), p.own = p.carry = 3;
        break;
      default:
        p.at(1, 4, 2).at(5, 9, 1).at(odd ? 10 : 11, odd ? 10 : 11, 1).at(-10, -5, 1).at(-4, -1, 2);
        p.own = p.carry = 2;
    }
  }
  return p;
}

// What persists between calls: three lines of int32 cells (pixel x at x + 30)
// and the last line and run end.
struct ColourState {
  explicit ColourState(uint32_t width) : width(width) {
    for (auto& l : lines) l.assign(width + 60, 0);
  }
  uint32_t width;
  std::array<std::vector<int32_t>, 3> lines;
  uint32_t lastLine = 0, lastRunEnd = 0;
  int idlesWithPendingCarry = 0;  // 1440 engines: idle pixels of a plane holding a carry
};

struct ColourJob {
  const ColourTables& t;
  Colour engine;
  uint32_t inkSet = 1, colorInput = 1;
  int32_t sourceStep = 0;
};

inline void refColourUpkeep(ColourState& s, uint32_t line, uint32_t startX, uint32_t count) {
  const uint32_t prev = s.lastLine;
  const uint32_t end = s.lastRunEnd == s.width ? 0 : s.lastRunEnd;
  s.lastLine = line;
  s.lastRunEnd = startX + count;
  uint32_t from = 0, to = 0;
  if (prev + 1 < line) {
    to = s.width;
  } else if (line == prev + 1 && line % 16 == 15 && startX != 0) {
    to = startX;
  } else if (line == prev && line % 16 == 15 && startX > end) {
    from = end, to = startX;
  } else if (line == prev + 1 && line % 16 == 0 && end != 0) {
    from = end, to = s.width;
  }
  for (auto& l : s.lines)
    for (uint32_t x = from; x < to; ++x) l[x + 30] = 0;
}

// One run; returns the dots of planes 0..3, one entry per pixel.
inline std::array<std::vector<uint32_t>, 4> refColourRun(const ColourJob& job, ColourState& s,
                                                         const uint8_t* source, uint32_t startX,
                                                         uint32_t count, uint32_t line) {
  const ColourTables& t = job.t;
  const Colour engine = job.engine;
  const bool cached = engine == Colour::kCached || engine == Colour::kCached1440;
  const bool at1440 = engine == Colour::kPlain1440 || engine == Colour::kCached1440;
  const bool inks = !cached && job.inkSet == 4;
  const int bytes = inks ? 4 : 3;
  refColourUpkeep(s, line, startX, count);
  std::array<std::vector<uint32_t>, 4> dots;
  int32_t carry[3] = {0, 0, 0};
  int activity[3] = {31, 31, 31};
  int prevNode[3] = {-2, -2, -2}, prevLevel[4] = {100, 100, 100, 100};
  const uint16_t* row = &t.matrix[(line % t.matrixHeight) * t.matrixWidth];
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t x = startX + i;
    const uint8_t* px;
    if (engine == Colour::kPlain1440) {  // by pairs
      px = source + (i / 2) * (job.sourceStep == 1 ? bytes : 2 * bytes) +
           (i % 2 == 1 && job.sourceStep != 1 ? bytes : 0);
    } else {  // pixel by pixel: 0, bytes, 0, bytes ... or bytes each
      px = source;
      for (uint32_t k = 0; k < i; ++k) px += job.sourceStep == 1 && k % 2 == 0 ? 0 : bytes;
    }
    const uint32_t m = row[x % t.matrixWidth];
    const int t8 = m & 0xFE, odd = m & 1;
    int c[4];
    int node[3];
    if (count % 2 == 1 && i == count - 1) {  // the last pixel of an odd run
      for (int k = 0; k < 3; ++k)
        node[k] = t.gridIndex[2 * px[k]] + (t.gridIndex[2 * px[k] + 1] <= 128);
      for (int k = 0; k < 4; ++k) {
        c[k] = inks ? px[k] : t.grid[((node[0] * 32 + node[1]) * 32 + node[2]) * 4 + k];
        if (!inks && c[k] < 32) c[k] = 0;
      }
      const int L[4] = {t.levelTable[c[0]], t.levelTable[c[1]], t.levelTable[c[2]],
                        t.levelTable[c[3]]};
      const int mm = static_cast<int>(m), flip = static_cast<int>(t.matrix.size()) - 1 - mm;
      dots[3].push_back(L[3] > mm);
      dots[0].push_back(L[3] <= mm && L[0] + L[3] > mm);
      dots[1].push_back(L[1] > flip);
      dots[2].push_back(L[1] <= flip && L[1] + L[2] > flip);
      break;
    }
    const bool white = inks ? px[0] + px[1] + px[2] + px[3] == 0 : px[0] + px[1] + px[2] == 765;
    if (white) {
      for (int k = 0; k < 3; ++k) {
        s.lines[k][x + 30] = at1440 ? 0 : carry[k];
        carry[k] = 0;
      }
      for (auto& d : dots) d.push_back(0);
      continue;
    }
    const int d = t8 <= 7 ? 24 : t8 <= 128 ? 20 : t8 <= 247 ? -20 : -24;
    if (inks) {
      for (int k = 0; k < 4; ++k) c[k] = px[k];
    } else {
      for (int k = 0; k < 3; ++k)
        node[k] = t.gridIndex[2 * px[k]] + (t.gridIndex[2 * px[k] + 1] <= t8);
      for (int k = 0; k < 4; ++k) c[k] = t.grid[((node[0] * 32 + node[1]) * 32 + node[2]) * 4 + k];
      bool near = true;
      for (int k = 0; k < 3; ++k) near = near && std::abs(node[k] - prevNode[k]) <= 1;
      for (int k = 0; k < 4; ++k) {
        if (near) c[k] = (prevLevel[k] + c[k] + 1 - odd) / 2;
        prevLevel[k] = c[k];
      }
      for (int k = 0; k < 3; ++k) prevNode[k] = node[k];
    }
    dots[2].push_back(m < t.levelTable[c[2]]);
    const int plane[3] = {0, 1, 3};
    for (int k = 0; k < 3; ++k) {
      const int level = c[plane[k]];
      activity[k] = (activity[k] >> 1) | (level != 0 ? 16 : 0);
      int32_t& cell = s.lines[k][x + 30];
      if (activity[k] == 0) {
        dots[plane[k]].push_back(0);
        if (engine == Colour::kPlain1440) {
          s.idlesWithPendingCarry += carry[k] != 0;
          cell = 0;
        } else {
          s.idlesWithPendingCarry += at1440 && carry[k] != 0;
          cell = carry[k];
          carry[k] = 0;
        }
        continue;
      }
      const int32_t v = level + floorDiv32(cell);
      const int32_t threshold = t.threshold[level] + (plane[k] == 1 ? -d : d);
      const bool dot = threshold <= v;
      const int32_t e = dot ? v - t.dotValue[level] : v;
      const int lim4 =
          t.limits[3] -
          ((engine == Colour::kDoubleVertical || (!at1440 && plane[k] != 1)) ? odd : 0);
      const int* l = t.limits;
      char family = at1440 ? 'W' : engine == Colour::kDoubleVertical ? 'V' : 'N';
      int r;
      if (cached && level == 0) {
        r = dot ? 6 : (at1440 ? 1 : 2);
      } else if (family == 'N') {
        r = level > l[0]   ? 1
            : !dot         ? 2
            : level > l[1] ? 3
            : level > l[2] ? 4
            : level > lim4 ? 5
                           : 6;
      } else if (family == 'W') {
        r = !dot           ? 1
            : level > l[0] ? 2
            : level > l[1] ? 3
            : level > l[2] ? 4
            : level > l[3] ? 5
                           : 6;
      } else {
        r = level > l[0]   ? 1
            : level > l[1] ? 2
            : !dot         ? 3
            : level > l[2] ? 4
            : level > lim4 ? 5
                           : 6;
      }
      const Pattern p = pattern(family, r, odd);
      const int32_t h = e >= 0 ? e / 2 : -((-e + 1) / 2);
      for (auto [k2, w] : p.e)
        s.lines[k][x + 30 + k2] = wrapTo16(s.lines[k][x + 30 + k2] + int64_t{w} * e);
      for (auto [k2, w] : p.h)
        s.lines[k][x + 30 + k2] = wrapTo16(s.lines[k][x + 30 + k2] + int64_t{w} * h);
      cell = wrapTo16(int64_t{carry[k]} + p.own * e + p.ownH * h);
      carry[k] = p.carry * e + p.carryH * h;
      dots[plane[k]].push_back(dot);
    }
  }
  return dots;
}

}  // namespace kestrl::halftone::testing
