// Test support for the halftone engines: a context built from small synthetic
// tables, a bit-by-bit packing reference, and a deliberately plain reference
// of the screening engines written straight from the kernel tables (spans of
// offset and weight, int32 cells wrapped by hand) to hold the engines' dot
// patterns against; the colour references spread by the same patterns.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "halftone/engine.h"
#include "kestrl30.h"

namespace kestrl::halftone::testing {

// ---------------------------------------------------------------- tables

struct Tables {
  uint32_t matrixWidth = 32;
  uint32_t matrixHeight = 4;
  std::vector<uint16_t> matrix;      // matrixWidth x matrixHeight
  std::vector<uint16_t> toneCurve;   // one-bit: 256 levels
  std::vector<int16_t> dotValue;     // one-bit: 256
  std::vector<int16_t> threshold;    // diffusionThreshold, 256
  std::vector<int16_t> paddedCurve;  // two-bit: entry 0 = margin, then the curve
  std::vector<uint8_t> dotTable;     // two-bit: 256 rows of three shares
  std::vector<uint16_t> levelTable;  // two-bit: 256
  uint32_t limits[4] = {55, 22, 8, 3};
};

// Tables for the one-bit engines: levels 0 to 63 so that every kernel row is
// reached, a few zero levels, matrix cells over the whole nudge range.
inline Tables oneBitTables(uint32_t seed) {
  std::mt19937 random(seed);
  Tables t;
  t.matrix.resize(t.matrixWidth * t.matrixHeight);
  for (uint16_t& m : t.matrix) m = static_cast<uint16_t>(random() % 600);
  t.toneCurve.resize(256);
  for (int v = 0; v < 256; ++v) t.toneCurve[v] = static_cast<uint16_t>(v % 29 == 0 ? 0 : v / 4);
  t.dotValue.resize(256);
  for (int k = 0; k < 256; ++k) t.dotValue[k] = static_cast<int16_t>(140 + (k * 7) % 120);
  t.threshold.resize(256);
  for (int k = 0; k < 256; ++k) t.threshold[k] = static_cast<int16_t>(40 + (k * 37) % 90);
  return t;
}

// Tables for the two-bit engines: a padded curve of margin 6, a dot table
// whose rows give small dots only at light levels (some rows none at all),
// medium and large dots at darker ones.
inline Tables twoBitTables(uint32_t seed, uint32_t l1, uint32_t l2, uint32_t l3) {
  std::mt19937 random(seed);
  Tables t;
  t.matrix.resize(t.matrixWidth * t.matrixHeight);
  for (uint16_t& m : t.matrix) m = static_cast<uint16_t>(random() % 256);
  const int h = 3;
  t.paddedCurve.assign(2 * h + 257, 0);
  t.paddedCurve[0] = 2 * h;
  auto ramp = [](int k) { return static_cast<int16_t>(255 - k); };
  for (int k = 1; k <= h; ++k) t.paddedCurve[k] = ramp(0);
  for (int k = 0; k < 256; ++k) t.paddedCurve[h + 1 + k] = ramp(k);
  for (int k = h + 257; k <= 2 * h + 255; ++k) t.paddedCurve[k] = ramp(255);
  t.dotTable.resize(768);
  for (int level = 0; level < 256; ++level) {
    const int small = level < 40 ? level / 2 : (level < 140 ? 20 - (level - 40) / 5 : 0);
    const int medium = level < 60 ? 0 : std::min(level - 60, 90);
    const int large = level < 170 ? 0 : (level - 170) * 2;
    t.dotTable[3 * level] = static_cast<uint8_t>(level % 11 == 5 ? 0 : small);
    t.dotTable[3 * level + 1] = static_cast<uint8_t>(medium);
    t.dotTable[3 * level + 2] = static_cast<uint8_t>(large);
  }
  t.levelTable.resize(256);
  for (int k = 0; k < 256; ++k) t.levelTable[k] = static_cast<uint16_t>(k);
  t.levelTable[255] = 256;
  t.threshold.resize(256);
  for (int k = 0; k < 256; ++k) t.threshold[k] = static_cast<int16_t>(8 + (k * 13) % 30);
  t.limits[0] = l1;
  t.limits[1] = l2;
  t.limits[2] = l3;
  t.limits[3] = 0;
  return t;
}

// --------------------------------------------------------------- context

// An engine's tables built straight from vectors, its error line and its run
// state, handed to the engine as the setup would hand them.
class TestContext {
 public:
  // Ordered dither and colour corners: a threshold matrix and a level table.
  TestContext(const PrintMode& m, uint32_t width, uint32_t height, std::vector<uint16_t> cells,
              std::vector<uint16_t> levels)
      : mode(m),
        matrixWidth(width),
        matrixHeight(height),
        matrix(std::move(cells)),
        levelTable(std::move(levels)) {}

  // Grey screening: the tables of `t` and one zeroed error line.
  TestContext(const Tables& t, uint32_t lineWidth, uint32_t bitsPerPixel, uint32_t xResolution,
              uint32_t yResolution, int32_t sourceStep = 0)
      : matrixWidth(t.matrixWidth),
        matrixHeight(t.matrixHeight),
        matrix(t.matrix),
        dotValue(bitsPerPixel == 2 ? std::vector<int16_t>(256, 255) : t.dotValue),
        threshold(t.threshold),
        errorLine(errorLineBytes(lineWidth) / 2, 0) {
    mode.mode = 1;
    mode.xResolution = xResolution;
    mode.yResolution = yResolution;
    mode.bitsPerPixel = bitsPerPixel;
    mode.sourceStep = sourceStep;
    mode.lineWidth = lineWidth;
    std::copy(std::begin(t.limits), std::end(t.limits), std::begin(limits));
    if (bitsPerPixel == 2) {
      paddedCurve = t.paddedCurve;
      dotTable = t.dotTable;
      levelTable = t.levelTable;
    } else {
      toneCurve = t.toneCurve;
    }
  }

  // The error line with its margins: cell of pixel x at index x + 30.
  std::span<int16_t> wholeLine() {
    return {errorLine.data(), mode.lineWidth + 2 * kErrorLineMargin};
  }

  Status run(EngineId engine, const uint8_t* source, uint8_t* destination, uint32_t pixelCount,
             uint32_t startX, uint32_t lineNumber, uint32_t bitOffset = 0, uint32_t planeStride = 0,
             uint32_t reserved10 = 0) {
    HalftoneRun r{};
    r.source = source;
    r.destination = destination;
    r.planeStride = planeStride;
    r.bitOffset = bitOffset;
    r.pixelCount = pixelCount;
    r.startX = startX;
    r.lineNumber = lineNumber;
    r.reserved10 = reserved10;
    return call(engine, r);
  }

  // The engine's variant for the mode on tables made from the vectors as
  // they stand: ready when the stages are complete and the engine's needs
  // are met, then prepared by the engine's own Prepare.
  Status call(EngineId engine, const HalftoneRun& run, bool stagesComplete = true) {
    const EngineDescriptor& descriptor = engineDescriptor(engine);
    tables = {};
    tables.lineWidth = mode.lineWidth;
    tables.sourceStep = mode.sourceStep;
    if (!errorLine.empty()) tables.errorLines[0] = {errorLine};
    tables.toneCurve = toneCurve;
    tables.paddedCurve = paddedCurve;
    tables.colorGrid = colorGrid;
    tables.thresholdMatrix = matrix;
    tables.levelTable = levelTable;
    tables.dotValue = dotValue;
    tables.diffusionThreshold = threshold;
    tables.dotTable = dotTable;
    tables.matrixWidth = matrixWidth;
    tables.matrixHeight = matrixHeight;
    tables.matrixCells = static_cast<uint16_t>(matrixWidth * matrixHeight);
    tables.spreadLimit1 = limits[0];
    tables.spreadLimit2 = limits[1];
    tables.spreadLimit3 = limits[2];
    tables.spreadLimit4 = limits[3];
    tables.ready = stagesComplete && meetsNeeds(tables, descriptor.needs);
    if (tables.ready && descriptor.prepare != nullptr) descriptor.prepare(tables);
    return descriptor.variant(mode)(tables, state, run);
  }

  PrintMode mode{};
  uint32_t matrixWidth = 0, matrixHeight = 0;
  uint32_t limits[4] = {};
  std::vector<uint16_t> matrix, levelTable, toneCurve;
  std::vector<int16_t> paddedCurve, dotValue, threshold;
  std::vector<uint8_t> dotTable, colorGrid;
  std::vector<int16_t> errorLine;  // empty: the mode made none
  RunState state;
  EngineTables tables;
};

// ------------------------------------------------------------ page plans

struct PlannedRun {
  uint32_t line, startX, count;
};

// The runs of a page: line -1 first; lines given whole, in two runs, as a
// run leaving both ends out, or as a short run (3 or 7 pixels) and the rest;
// on line 15 a gap between two runs and on line 31, after a whole line, a run
// not starting at 0 (the sixteenth-line clearing has cells to clear); line 20
// skipped; then empty runs, a jump back to an earlier line, runs of 1 and 3
// pixels across a line, and line -1 again.
inline std::vector<PlannedRun> pagePlan(uint32_t width) {
  std::vector<PlannedRun> plan = {{kRestartLine, 0, width}};
  for (uint32_t line = 0; line < 36; ++line) {
    if (line == 15) {
      plan.insert(plan.end(), {{line, 0, 101}, {line, 180, width - 180}});
    } else if (line == 31) {
      plan.push_back({line, 60, 100});
    } else if (line % 4 == 0 && line != 20) {
      plan.push_back({line, 20 + line, 151});
    } else if (line % 4 == 1) {
      plan.insert(plan.end(), {{line, 0, 97 + line}, {line, 97 + line, width - 97 - line}});
    } else if (line % 4 == 2) {
      plan.push_back({line, 0, width});
    } else if (line % 4 == 3) {
      plan.insert(plan.end(), {{line, 7, line % 8}, {line, 7 + line % 8, 150}});
    }
  }
  plan.insert(plan.end(), {{40, 0, 0}, {40, 3, 200}, {41, 8, 0}, {6, 0, 57}, {7, 5, 280}});
  for (uint32_t x = 0; x < width; x += 3) plan.push_back({42, x, x % 2 == 0 ? 3u : 1u});
  plan.insert(plan.end(), {{kRestartLine, 0, width}, {0, 0, width - 1}});
  return plan;
}

// -------------------------------------------------------------- reference

// Low 16 bits as a signed number, by hand.
inline int32_t wrapTo16(int64_t value) {
  const int64_t low = value & 0xFFFF;
  return static_cast<int32_t>(low >= 0x8000 ? low - 0x10000 : low);
}

inline int32_t floorDiv32(int32_t c) {
  return c >= 0 ? c / 32 : -((-c + 31) / 32);
}
inline int32_t truncDiv32(int32_t c) {
  return c >= 0 ? c / 32 : -(-c / 32);
}

// The spread patterns of the kernel tables, rows 1 to 6 of N (general), W
// (1440) and V (double vertical), with the parity as the colour engines read
// it (the grey engines read it the other way round). Cells x + from .. x + to
// get w x e (w x h, h = floor(e / 2), with half); 0 is x's next-line cell, C
// the carry; 'o' / 'e': odd / even matrix values only.
struct Span {
  int from, to, w;
  char when = 'a';
  bool half = false;
};
inline constexpr int C = 99;
using Pattern = std::vector<Span>;

// clang-format off
inline const Pattern& pattern(char family, int row) {
  static const std::vector<Pattern> n = {
      {{1, 1, 8}, {2, 2, 4}, {-2, -1, 4}, {0, 0, 8}, {C, C, 4}},
      {{1, 1, 8}, {2, 2, 4}, {-2, -2, 4}, {-1, -1, 8}, {0, 0, 8}},
      {{1, 2, 4}, {3, 4, 2}, {5, 5, 2, 'o'}, {-4, -2, 2}, {-1, -1, 4}, {0, 0, 4}, {0, 0, 2, 'e'},
       {C, C, 4}},
      {{1, 3, 3}, {4, 7, 1}, {-7, -6, 1}, {-5, -2, 2}, {-1, 0, 3}, {C, C, 3}},
      {{1, 4, 2}, {5, 9, 1}, {10, 10, 1, 'o'}, {11, 11, 1, 'e'}, {-10, -5, 1}, {-4, 0, 2}, {C, C, 2}},
      {{1, 14, 1}, {-15, -15, 1, 'o'}, {-14, -14, 1, 'e'}, {-13, 0, 1}, {C, C, 1}}};
  static const std::vector<Pattern> w = {
      {{1, 2, 4}, {1, 1, 4, 'o'}, {3, 3, 4, 'e'}, {-3, -3, 4, 'o'}, {-2, -1, 4}, {-1, -1, 4, 'e'},
       {0, 0, 8}},
      {{1, 2, 4}, {3, 4, 2}, {-4, -3, 2}, {-2, 0, 4}, {C, C, 4}},
      {{1, 3, 3}, {4, 5, 2}, {6, 7, 1}, {-7, -6, 1}, {-5, -4, 2}, {-3, -1, 3}, {0, 0, 2}},
      {{1, 5, 2}, {6, 10, 1}, {-10, -6, 1}, {-5, 0, 2}},
      {{1, 1, 2}, {2, 14, 1}, {-14, -2, 1}, {-1, -1, 2}, {0, 0, 1}, {C, C, 1}},
      {{1, 9, 1}, {10, 23, 1, 'a', true}, {-21, -10, 1, 'a', true}, {-9, -1, 1},
       {0, 0, 1, 'a', true}, {C, C, 1, 'a', true}}};
  static const std::vector<Pattern> v = {
      {{1, 2, 4}, {-1, 0, 8}, {C, C, 8}},
      {{1, 2, 4}, {-2, -1, 4}, {0, 0, 12}, {C, C, 4}},
      {{1, 2, 4}, {-2, -1, 4}, {0, 0, 16}},
      {{1, 4, 2}, {-4, -2, 2}, {-1, -1, 4}, {0, 0, 8}, {C, C, 6}},
      {{1, 3, 3}, {4, 7, 1}, {-7, -6, 1}, {-5, -2, 2}, {-1, 0, 3}, {C, C, 3}},
      {{1, 4, 2}, {5, 9, 1}, {10, 10, 1, 'o'}, {11, 11, 1, 'e'}, {-10, -5, 1}, {-4, 0, 2}, {C, C, 2}}};
  return (family == 'N' ? n : family == 'W' ? w : v)[row - 1];
}
// clang-format on

// Spreads e from pixel x of a line (x at x + 30) by a pattern row at a
// parity: sets the next-line cell of x to carry + own share, returns the new
// carry.
inline int32_t refSpread(std::vector<int32_t>& line, int64_t x, char family, int row, bool odd,
                         int32_t e, int32_t carry) {
  const int32_t h = e >= 0 ? e / 2 : -((1 - e) / 2);
  int32_t own = carry, next = 0;
  for (const Span& span : pattern(family, row)) {
    if (span.when != 'a' && (span.when == 'o') != odd) continue;
    const int32_t amount = span.w * (span.half ? h : e);
    for (int o = span.from; o <= span.to; ++o) {
      int32_t& target = o == C ? next : o == 0 ? own : line[x + 30 + o];
      target = o == C || o == 0 ? target + amount : wrapTo16(int64_t{target} + amount);
    }
  }
  line[x + 30] = wrapTo16(own);
  return wrapTo16(next);
}

// The row of a pattern family: the first rule that holds, in the family's
// order ('d' no dot, '1' to '3' a level above that limit, '4' a level above
// `last`), names it; none of them: row 6.
inline int refRow(char family, bool dot, int32_t level, const int32_t limits[3], int32_t last) {
  const char* rules = family == 'N' ? "1d234" : family == 'W' ? "d1234" : "12d34";
  int r = 1;
  while (r < 6 &&
         !(rules[r - 1] == 'd' ? !dot
                               : level > (rules[r - 1] == '4' ? last : limits[rules[r - 1] - '1'])))
    ++r;
  return r;
}

// The error line of the reference: int32 cells, pixel x at index x + 30.
struct RefLine {
  explicit RefLine(uint32_t lineWidth) : width(lineWidth), cells(lineWidth + 60, 0) {}
  int32_t& at(int64_t x) { return cells[static_cast<size_t>(x + 30)]; }
  uint32_t width;
  std::vector<int32_t> cells;
  uint32_t lastRunEnd = 0;
  uint32_t lastLine = 0;
};

inline void refUpkeep(RefLine& line, uint32_t startX, uint32_t count, uint32_t lineNumber) {
  uint32_t prev = line.lastRunEnd;
  if (prev == line.width) prev = 0;
  line.lastRunEnd = startX + count;
  line.lastLine = lineNumber;
  if (lineNumber == 0xFFFFFFFFu) {
    for (uint32_t x = 0; x < line.width; ++x) line.at(x) = 0;
  } else if (lineNumber % 16 == 15) {
    for (uint32_t x = prev; x < startX; ++x) line.at(x) = 0;
  }
}

inline int32_t refNudge(uint32_t m) {
  const uint32_t a = m % 256 / 2 * 2;
  if (a <= 7) return 24;
  if (a <= 128) return 20;
  if (a <= 247) return -20;
  return -24;
}

inline uint32_t refSource(const uint8_t* source, int32_t step, uint32_t i, bool greaterOfPair) {
  if (step == 1) return source[i / 2];
  if (step == -1 && greaterOfPair) return std::max(source[2 * i], source[2 * i + 1]);
  return source[i];
}

// One run of a one-bit engine of pattern family N, W or V; one code per pixel.
inline std::vector<uint32_t> refBilevel(char family, const Tables& t, RefLine& line,
                                        const uint8_t* source, int32_t step, uint32_t startX,
                                        uint32_t count, uint32_t lineNumber) {
  refUpkeep(line, startX, count, lineNumber);
  const int32_t limits[3] = {static_cast<int32_t>(t.limits[0]), static_cast<int32_t>(t.limits[1]),
                             static_cast<int32_t>(t.limits[2])};
  const auto l4 = static_cast<int32_t>(t.limits[3]);
  std::vector<uint32_t> codes;
  int32_t carry = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t x = startX + i;
    const int32_t level = t.toneCurve[refSource(source, step, i, true)];
    if (level == 0) {
      line.at(x) = family == 'W' ? 0 : carry;
      carry = 0;
      codes.push_back(0);
      continue;
    }
    const uint32_t m = t.matrix[(lineNumber % t.matrixHeight) * t.matrixWidth + x % t.matrixWidth];
    const bool odd = m % 2 == 1;
    const int32_t acc = floorDiv32(line.at(x)) + level;
    const bool dot = t.threshold[level] + refNudge(m) <= acc;
    const int32_t e = dot ? acc - t.dotValue[level] : acc;
    const int32_t last = family == 'W' || odd ? l4 : l4 - 1;
    carry =
        refSpread(line.cells, x, family, refRow(family, dot, level, limits, last), !odd, e, carry);
    codes.push_back(dot ? 1 : 0);
  }
  return codes;
}

// One run of a two-bit engine (family N or W); one code per pixel.
inline std::vector<uint32_t> refFourLevel(char family, const Tables& t, RefLine& line,
                                          const uint8_t* source, int32_t step, uint32_t startX,
                                          uint32_t count, uint32_t lineNumber) {
  refUpkeep(line, startX, count, lineNumber);
  const int32_t l1 = static_cast<int32_t>(t.limits[0]), l2 = static_cast<int32_t>(t.limits[1]);
  const int32_t l3 = static_cast<int32_t>(t.limits[2]);
  std::vector<uint32_t> codes;
  int32_t carry = 0;
  const uint16_t* row = &t.matrix[(lineNumber % t.matrixHeight) * t.matrixWidth];
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t x = startX + i;
    const uint32_t v = refSource(source, step, i, false);
    if (v == 255) {
      line.at(x) = carry;
      carry = 0;
      codes.push_back(0);
      continue;
    }
    const uint32_t m = row[x % t.matrixWidth];
    const uint32_t m2 = row[(x + 24) % t.matrixWidth];
    const int32_t margin = t.paddedCurve[0];
    const int32_t level = t.paddedCurve[v + (margin == 0 ? 0 : m2 % margin) + 1];
    const int32_t s1 = t.dotTable[3 * level], s2 = t.dotTable[3 * level + 1];
    const int32_t s3 = t.dotTable[3 * level + 2];
    int32_t acc = truncDiv32(line.at(x)) + s1 + s2 + s3;
    const int32_t a3 = t.levelTable[s3], a2 = t.levelTable[s2];
    uint32_t code = 0;
    if (static_cast<int32_t>(m) < a3)
      code = 3;
    else if (a3 + a2 > static_cast<int32_t>(m))
      code = 2;
    else if (s1 != 0 && t.threshold[level] + refNudge(m) <= acc)
      code = 1;
    if (code != 0) acc -= 255;
    const bool bigger = s3 != 0 || s2 != 0 || s1 > l1;
    const int pattern = family == 'N' ? (bigger      ? 1
                                         : code == 0 ? 2
                                         : s1 > l2   ? 3
                                         : s1 > l3   ? 4
                                                     : 5)
                                      : (code == 0 ? 1
                                         : bigger  ? 2
                                         : s1 > l2 ? 3
                                                   : 4);
    carry = refSpread(line.cells, x, family, pattern, m % 2 == 0, acc, carry);
    codes.push_back(code);
  }
  return codes;
}

// Bit by bit: pixel p of the run goes to the bits counted from the most
// significant end, starting bitOffset pixels into the first byte; the bits
// before it stay, the rest of every touched byte is rewritten.
inline std::vector<uint8_t> packByHand(std::vector<uint8_t> bytes,
                                       const std::vector<uint32_t>& codes, uint32_t bitOffset,
                                       uint32_t bitsPerPixel) {
  const size_t first = bitOffset * bitsPerPixel;
  const size_t end = first + codes.size() * bitsPerPixel;
  for (size_t bit = first; bit < (end + 7) / 8 * 8; ++bit) {
    const size_t pixel = (bit - first) / bitsPerPixel;
    const size_t within = (bit - first) % bitsPerPixel;
    const bool set = pixel < codes.size() && ((codes[pixel] >> (bitsPerPixel - 1 - within)) & 1);
    const auto mask = static_cast<uint8_t>(0x80 >> (bit % 8));
    bytes[bit / 8] = static_cast<uint8_t>(set ? (bytes[bit / 8] | mask) : (bytes[bit / 8] & ~mask));
  }
  return bytes;
}

}  // namespace kestrl::halftone::testing
