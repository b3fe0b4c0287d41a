// Test support for the halftone engines: a context built from small synthetic
// tables, a bit-by-bit packing reference, and a deliberately plain reference of the screening
// engines written straight from the kernel tables (maps of offset to weight, int32 cells wrapped by
// hand) to hold the engines' dot patterns against.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <span>
#include <vector>

#include "halftone/engine.h"
#include "halftone/halftone_context.h"
#include "kestrl30.h"
#include "memory/memory.h"

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

// A halftone context holding its tables directly in the block table, as the
// resource stages would leave them.
class TestContext {
 public:
  // Ordered dither and colour corners: a threshold matrix and a level table.
  TestContext(const PrintMode& mode, uint32_t width, uint32_t height,
              const std::vector<uint16_t>& cells, const std::vector<uint16_t>& levels) {
    context.printMode = mode;
    setMatrix(width, height);
    load(kThresholdMatrixBlock, cells);
    load(kLevelTableBlock, levels);
  }

  // Grey screening: the tables of `t` and one zeroed error line.
  TestContext(const Tables& t, uint32_t lineWidth, uint32_t bitsPerPixel, uint32_t xResolution,
              uint32_t yResolution, int32_t sourceStep = 0) {
    PrintMode& mode = context.printMode;
    mode.mode = 1;
    mode.xResolution = xResolution;
    mode.yResolution = yResolution;
    mode.bitsPerPixel = bitsPerPixel;
    mode.sourceStep = sourceStep;
    mode.lineWidth = lineWidth;
    setMatrix(t.matrixWidth, t.matrixHeight);
    context.spreadLimit1 = t.limits[0];
    context.spreadLimit2 = t.limits[1];
    context.spreadLimit3 = t.limits[2];
    context.spreadLimit4 = t.limits[3];
    const uint32_t lineBytes = errorLineBytes(lineWidth);
    EXPECT_EQ(memory::allocateInto(context.blocks[kFirstErrorLineBlock], lineBytes, true), kOk);
    context.bufferCount = 1;
    load(kThresholdMatrixBlock, t.matrix);
    loadDotValueAndThreshold(bitsPerPixel == 2 ? std::vector<int16_t>(256, 255) : t.dotValue,
                             t.threshold);
    if (bitsPerPixel == 2) {
      load(kCurveOrGridBlock, t.paddedCurve);
      load(kDotTableBlock, t.dotTable);
      load(kLevelTableBlock, t.levelTable);
    } else {
      load(kCurveOrGridBlock, t.toneCurve);
    }
  }
  ~TestContext() { memory::releaseAll(context.blocks); }
  TestContext(const TestContext&) = delete;
  TestContext& operator=(const TestContext&) = delete;

  void setMatrix(uint32_t width, uint32_t height) {
    context.matrixWidth = width;
    context.matrixHeight = height;
    context.matrixCells = static_cast<uint16_t>(width * height);
  }

  // Replaces block `index` with a copy of `values`.
  template <typename T>
  void load(size_t index, const std::vector<T>& values) {
    const auto bytes = static_cast<uint32_t>(values.size() * sizeof(T));
    MemoryBlock& block = context.blocks[index];
    if (block.allocation != nullptr) memory::free(block.allocation);
    block = {};
    ASSERT_EQ(memory::allocateInto(block, memory::roundUpTo4(bytes), false), kOk);
    std::memcpy(block.data, values.data(), bytes);
  }

  // As the stages leave them: one block holding the dot values, then the
  // thresholds, which entry 8 views.
  void loadDotValueAndThreshold(const std::vector<int16_t>& dotValue,
                                const std::vector<int16_t>& threshold) {
    const auto dotBytes = static_cast<uint32_t>(dotValue.size() * sizeof(int16_t));
    const auto thresholdBytes = static_cast<uint32_t>(threshold.size() * sizeof(int16_t));
    MemoryBlock& owner = context.blocks[kDotValueBlock];
    ASSERT_EQ(memory::allocateInto(owner, dotBytes + thresholdBytes, true), kOk);
    auto* bytes = static_cast<uint8_t*>(owner.data);
    std::memcpy(bytes, dotValue.data(), dotBytes);
    std::memcpy(bytes + dotBytes, threshold.data(), thresholdBytes);
    memory::makeView(context.blocks[kDiffusionThresholdBlock], bytes + dotBytes, nullptr,
                     thresholdBytes);
  }

  // The error line with its margins: cell of pixel x at index x + 30.
  std::span<int16_t> wholeLine() {
    return {context.errorLine(0) - kErrorLineMargin,
            context.printMode.lineWidth + 2 * kErrorLineMargin};
  }

  Status run(Engine engine, const uint8_t* source, uint8_t* destination, uint32_t pixelCount,
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

  // The context with its engine and tables prepared from the block table as
  // it stands, as the last stage would leave them.
  HalftoneContext* prepared(bool stagesComplete = true) {
    prepareEngine(context, stagesComplete);
    return &context;
  }
  Status call(Engine engine, const HalftoneRun& run, bool stagesComplete = true) {
    return engine(*prepared(stagesComplete), context.setup.tables, run);
  }

  HalftoneContext context{};
};

// -------------------------------------------------------------- reference

// The rows of the three kernel tables, by the names of their conditions.
enum class RefTable { kGeneral, k1440, kDoubleVertical };
enum class RefRow {
  kAboveLimit1,
  kAboveLimit2,
  kAboveLimit3,
  kAboveLimit4,
  kAboveT,
  kNoDot,
  kLast
};

// One kernel row for one parity: offset -> weight of e, offset -> weight of
// h = e >> 1, and the own and carry amounts.
struct RefKernel {
  std::map<int, int> e;
  std::map<int, int> h;
  int ownE = 0, ownH = 0, carryE = 0, carryH = 0;
  void add(int from, int to, int weight) {
    for (int k = from; k <= to; ++k) e[k] += weight;
  }
  void addHalf(int from, int to) {
    for (int k = from; k <= to; ++k) h[k] += 1;
  }
};

inline RefKernel kernelThreeOne() {  // x+1..x+3: 3, x+4..x+7: 1 | ... | 3 | 3
  RefKernel k;
  k.add(1, 3, 3), k.add(4, 7, 1), k.add(-7, -6, 1), k.add(-5, -2, 2), k.add(-1, -1, 3);
  k.ownE = 3, k.carryE = 3;
  return k;
}

inline RefKernel kernelTwoOne(bool odd) {  // x+1..x+4: 2, x+5..x+9: 1, x+10 / x+11: 1 | ...
  RefKernel k;
  k.add(1, 4, 2), k.add(5, 9, 1), k.add(odd ? 11 : 10, odd ? 11 : 10, 1);
  k.add(-10, -5, 1), k.add(-4, -1, 2);
  k.ownE = 2, k.carryE = 2;
  return k;
}

inline RefKernel refGeneral(RefRow row, bool odd) {
  RefKernel k;
  switch (row) {
    case RefRow::kAboveLimit1:
      k.add(1, 1, 8), k.add(2, 2, 4), k.add(-2, -2, 4), k.add(-1, -1, 4), k.ownE = 8, k.carryE = 4;
      break;
    case RefRow::kNoDot:
      k.add(1, 1, 8), k.add(2, 2, 4), k.add(-2, -2, 4), k.add(-1, -1, 8), k.ownE = 8;
      break;
    case RefRow::kAboveLimit2:
      k.add(1, 2, 4), k.add(3, 4, 2);
      if (!odd) k.add(5, 5, 2);
      k.add(-4, -2, 2), k.add(-1, -1, 4);
      k.ownE = odd ? 6 : 4, k.carryE = 4;
      break;
    case RefRow::kAboveLimit3:
      return kernelThreeOne();
    case RefRow::kAboveT:
      return kernelTwoOne(odd);
    default:
      k.add(1, 14, 1), k.add(odd ? -14 : -15, odd ? -14 : -15, 1), k.add(-13, -1, 1);
      k.ownE = 1, k.carryE = 1;
  }
  return k;
}

inline RefKernel ref1440(RefRow row, bool odd) {
  RefKernel k;
  switch (row) {
    case RefRow::kNoDot:
      k.add(1, 1, odd ? 4 : 8), k.add(2, 2, 4);
      if (odd) k.add(3, 3, 4);
      if (!odd) k.add(-3, -3, 4);
      k.add(-2, -2, 4), k.add(-1, -1, odd ? 8 : 4);
      k.ownE = 8;
      break;
    case RefRow::kAboveLimit1:
      k.add(1, 2, 4), k.add(3, 4, 2), k.add(-4, -3, 2), k.add(-2, -1, 4), k.ownE = 4, k.carryE = 4;
      break;
    case RefRow::kAboveLimit2:
      k.add(1, 3, 3), k.add(4, 5, 2), k.add(6, 7, 1);
      k.add(-7, -6, 1), k.add(-5, -4, 2), k.add(-3, -1, 3), k.ownE = 2;
      break;
    case RefRow::kAboveLimit3:
      k.add(1, 5, 2), k.add(6, 10, 1), k.add(-10, -6, 1), k.add(-5, -1, 2), k.ownE = 2;
      break;
    case RefRow::kAboveLimit4:
      k.add(1, 1, 2), k.add(2, 14, 1), k.add(-14, -2, 1), k.add(-1, -1, 2), k.ownE = 1,
                                                                            k.carryE = 1;
      break;
    default:
      k.add(1, 9, 1), k.addHalf(10, 23), k.addHalf(-21, -10), k.add(-9, -1, 1);
      k.ownH = 1, k.carryH = 1;
  }
  return k;
}

inline RefKernel refDoubleVertical(RefRow row, bool odd) {
  RefKernel k;
  k.add(1, 2, 4);
  switch (row) {
    case RefRow::kAboveLimit1:
      k.add(-1, -1, 8), k.ownE = 8, k.carryE = 8;
      break;
    case RefRow::kAboveLimit2:
      k.add(-2, -1, 4), k.ownE = 12, k.carryE = 4;
      break;
    case RefRow::kNoDot:
      k.add(-2, -1, 4), k.ownE = 16;
      break;
    case RefRow::kAboveLimit3:
      k = RefKernel{};
      k.add(1, 4, 2), k.add(-4, -2, 2), k.add(-1, -1, 4), k.ownE = 8, k.carryE = 6;
      break;
    case RefRow::kAboveT:
      return kernelThreeOne();
    default:
      return kernelTwoOne(odd);
  }
  return k;
}

inline RefKernel refKernel(RefTable table, RefRow row, bool odd) {
  switch (table) {
    case RefTable::kGeneral:
      return refGeneral(row, odd);
    case RefTable::k1440:
      return ref1440(row, odd);
    default:
      return refDoubleVertical(row, odd);
  }
}

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

// The error line of the reference: int32 cells, pixel x at index x + 30.
struct RefLine {
  explicit RefLine(uint32_t lineWidth) : width(lineWidth), cells(lineWidth + 60, 0) {}
  int32_t& at(int64_t x) { return cells[static_cast<size_t>(x + 30)]; }
  uint32_t width;
  std::vector<int32_t> cells;
  uint32_t lastRunEnd = 0;
  uint32_t lastLine = 0;
};

// Spreads e from pixel x; returns the new carry.
inline int32_t refSpread(RefLine& line, const RefKernel& k, int64_t x, int32_t e, int32_t carry) {
  const int32_t h = e >= 0 ? e / 2 : -((-e + 1) / 2);  // floor of e / 2
  for (auto [offset, weight] : k.e)
    line.at(x + offset) = wrapTo16(line.at(x + offset) + int64_t{weight} * e);
  for (auto [offset, weight] : k.h)
    line.at(x + offset) = wrapTo16(line.at(x + offset) + int64_t{weight} * h);
  line.at(x) = wrapTo16(int64_t{carry} + int64_t{k.ownE} * e + int64_t{k.ownH} * h);
  return wrapTo16(int64_t{k.carryE} * e + int64_t{k.carryH} * h);
}

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

// One run of a one-bit engine; returns one code per pixel.
inline std::vector<uint32_t> refBilevel(RefTable table, const Tables& t, RefLine& line,
                                        const uint8_t* source, int32_t step, uint32_t startX,
                                        uint32_t count, uint32_t lineNumber) {
  refUpkeep(line, startX, count, lineNumber);
  const int32_t l1 = static_cast<int32_t>(t.limits[0]), l2 = static_cast<int32_t>(t.limits[1]);
  const int32_t l3 = static_cast<int32_t>(t.limits[2]), l4 = static_cast<int32_t>(t.limits[3]);
  std::vector<uint32_t> codes;
  int32_t carry = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t x = startX + i;
    const int32_t level = t.toneCurve[refSource(source, step, i, true)];
    if (level == 0) {
      line.at(x) = table == RefTable::k1440 ? 0 : carry;
      carry = 0;
      codes.push_back(0);
      continue;
    }
    const uint32_t m = t.matrix[(lineNumber % t.matrixHeight) * t.matrixWidth + x % t.matrixWidth];
    const bool odd = m % 2 == 1;
    const int32_t acc = floorDiv32(line.at(x)) + level;
    const bool dot = t.threshold[level] + refNudge(m) <= acc;
    const int32_t e = dot ? acc - t.dotValue[level] : acc;
    const int32_t T = odd ? l4 : l4 - 1;
    RefRow row;
    if (table == RefTable::kGeneral) {
      row = level > l1   ? RefRow::kAboveLimit1
            : !dot       ? RefRow::kNoDot
            : level > l2 ? RefRow::kAboveLimit2
            : level > l3 ? RefRow::kAboveLimit3
            : level > T  ? RefRow::kAboveT
                         : RefRow::kLast;
    } else if (table == RefTable::k1440) {
      row = !dot         ? RefRow::kNoDot
            : level > l1 ? RefRow::kAboveLimit1
            : level > l2 ? RefRow::kAboveLimit2
            : level > l3 ? RefRow::kAboveLimit3
            : level > l4 ? RefRow::kAboveLimit4
                         : RefRow::kLast;
    } else {
      row = level > l1   ? RefRow::kAboveLimit1
            : level > l2 ? RefRow::kAboveLimit2
            : !dot       ? RefRow::kNoDot
            : level > l3 ? RefRow::kAboveLimit3
            : level > T  ? RefRow::kAboveT
                         : RefRow::kLast;
    }
    carry = refSpread(line, refKernel(table, row, odd), x, e, carry);
    codes.push_back(dot ? 1 : 0);
  }
  return codes;
}

// One run of a two-bit engine (kGeneral or k1440 kernels); one code per pixel.
inline std::vector<uint32_t> refFourLevel(RefTable table, const Tables& t, RefLine& line,
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
    RefRow kernel;
    if (table == RefTable::kGeneral) {
      kernel = bigger      ? RefRow::kAboveLimit1
               : code == 0 ? RefRow::kNoDot
               : s1 > l2   ? RefRow::kAboveLimit2
               : s1 > l3   ? RefRow::kAboveLimit3
                           : RefRow::kAboveT;
    } else {
      kernel = code == 0 ? RefRow::kNoDot
               : bigger  ? RefRow::kAboveLimit1
               : s1 > l2 ? RefRow::kAboveLimit2
                         : RefRow::kAboveLimit3;
    }
    carry = refSpread(line, refKernel(table, kernel, m % 2 == 1), x, acc, carry);
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
