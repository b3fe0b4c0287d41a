// The one-bit and two-bit ordered-dither engines.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "halftone/support/test_context.h"

namespace kestrl::halftone::testing {
namespace {

PrintMode ditherMode(uint32_t mode, uint32_t bits, int32_t step) {
  PrintMode m{};
  m.mode = mode;
  m.bitsPerPixel = bits;
  m.sourceStep = step;
  m.lineWidth = 1300;
  m.xResolution = m.yResolution = 720;
  return m;
}

// A plain reference: per pixel, the source value by step, its level, the
// cell of the line's row at the absolute column, compared unsigned.
std::vector<uint32_t> referenceBilevel(const PrintMode& m, const std::vector<uint16_t>& cells,
                                       uint32_t width, uint32_t height,
                                       const std::vector<uint16_t>& level, const uint8_t* source,
                                       uint32_t startX, uint32_t count, uint32_t line) {
  std::vector<uint32_t> codes;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t v = source[i];
    if (m.sourceStep == 1) v = source[i / 2];
    if (m.sourceStep == -1) v = std::min(source[2 * i], source[2 * i + 1]);
    uint32_t l = level[v];
    if (m.mode == 0) l = v > 128 ? level[255] : level[0];
    const uint32_t cell = cells[(line % height) * width + (startX + i) % width];
    codes.push_back(l != 0 && cell < l ? 1 : 0);
  }
  return codes;
}

// A padded curve of margin h (entry 0 = 2h) and a dot table, both random.
Tables randomFourLevelTables(std::mt19937& random, int h) {
  Tables t;
  t.paddedCurve.resize(2 * h + 257);
  t.paddedCurve[0] = static_cast<int16_t>(2 * h);
  for (size_t k = 1; k < t.paddedCurve.size(); ++k)
    t.paddedCurve[k] = static_cast<int16_t>(random() % 256);
  t.dotTable.resize(768);
  for (int row = 0; row < 256; ++row) {
    const uint32_t s1 = random() % 100, s2 = random() % 100, s3 = random() % 56;
    t.dotTable[3 * row] = static_cast<uint8_t>(s1);
    t.dotTable[3 * row + 1] = static_cast<uint8_t>(s2);
    t.dotTable[3 * row + 2] = static_cast<uint8_t>(s3);
  }
  return t;
}

std::vector<uint32_t> referenceFourLevel(const PrintMode& m, const std::vector<uint16_t>& cells,
                                         uint32_t width, uint32_t height,
                                         const std::vector<uint16_t>& level, const Tables& t,
                                         const uint8_t* source, uint32_t startX, uint32_t count,
                                         uint32_t line) {
  std::vector<uint32_t> codes;
  const uint16_t* row = &cells[(line % height) * width];
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t v = m.sourceStep == 1 ? source[i / 2] : source[i];
    const uint32_t x = startX + i;
    const int32_t cell = row[x % width];
    const int32_t jitter = row[(x + 24) % width] % t.paddedCurve[0];
    const int32_t l = t.paddedCurve[v + jitter + 1];
    const int32_t a1 = level[t.dotTable[3 * l]], a2 = level[t.dotTable[3 * l + 1]];
    const int32_t a3 = level[t.dotTable[3 * l + 2]];
    uint32_t code = 0;
    if (cell < a3) {
      code = 3;
    } else if (a3 + a2 > cell) {
      code = 2;
    } else if (a3 + a2 + a1 > cell) {
      code = 1;
    }
    codes.push_back(code);
  }
  return codes;
}

// Both engines on random tables, for every mode and source step (and for
// two-bit output several curve margins): random runs at random columns, lines
// and bit offsets over random bytes.
TEST(Dither, MatchesAPlainReferenceOnRandomRuns) {
  struct Variant {
    uint32_t bits, mode;
    int32_t step;
    int margin;
  };
  std::vector<Variant> variants;
  for (uint32_t mode : {0u, 3u})
    for (int32_t step : {0, 1, -1, 2}) variants.push_back({1, mode, step, 0});
  for (int h : {1, 3, 5, 64})
    for (int32_t step : {0, 1, -1}) variants.push_back({2, 3, step, h});
  std::mt19937 random(7);
  for (const Variant& v : variants) {
    const bool twoBit = v.bits == 2;
    const uint32_t width = twoBit ? 64 : 32, height = twoBit ? 3 : 5;
    std::vector<uint16_t> cells(width * height), level(256);
    for (uint16_t& c : cells) c = static_cast<uint16_t>(random() % (twoBit ? 65536 : 70000));
    for (uint16_t& l : level) l = static_cast<uint16_t>(random() % (twoBit ? 30000 : 66000));
    const PrintMode m = ditherMode(v.mode, v.bits, v.step);
    TestContext e(m, width, height, cells, level);
    const Tables t = twoBit ? randomFourLevelTables(random, v.margin) : Tables{};
    if (twoBit) e.paddedCurve = t.paddedCurve, e.dotTable = t.dotTable;
    for (int trial = 0; trial < 20; ++trial) {
      SCOPED_TRACE(::testing::Message() << v.bits << " bits, mode " << v.mode << ", step " << v.step
                                        << ", margin " << v.margin << ", trial " << trial);
      // Long runs take the two-bit thresholds from a table built per call.
      const uint32_t count = twoBit && trial < 3 ? 700 + trial : random() % 90;
      const uint32_t startX = random() % 500, line = random(), offset = random() % (8 / v.bits);
      std::vector<uint8_t> source(2 * count + 2), out(200);
      for (uint8_t& s : source) s = static_cast<uint8_t>(random());
      for (uint8_t& b : out) b = static_cast<uint8_t>(random());
      const std::vector<uint32_t> codes =
          twoBit ? referenceFourLevel(m, cells, width, height, level, t, source.data(), startX,
                                      count, line)
                 : referenceBilevel(m, cells, width, height, level, source.data(), startX, count,
                                    line);
      const std::vector<uint8_t> expected = packByHand(out, codes, offset, v.bits);
      ASSERT_EQ(e.run(twoBit ? EngineId::kDitherFourLevel : EngineId::kDitherBilevel, source.data(),
                      out.data(), count, startX, line, offset),
                kOk);
      EXPECT_EQ(out, expected);
      EXPECT_EQ(e.state.lastLine, line);
    }
  }
}

}  // namespace
}  // namespace kestrl::halftone::testing
