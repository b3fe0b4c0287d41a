// A plain reference of the four-level colour engines and the mode-3 colour
// screening engines, pixel by pixel from the rules, reading the tables the
// engines read. Error lines, their upkeep and the spread patterns come from
// the one-bit colour reference: patterns 1 to 10 here are N1..N5, W2..W4, W1
// and N6 there.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "halftone/engine.h"
#include "halftone/support/colour_reference.h"
#include "halftone/support/corner_reference.h"

namespace kestrl::halftone::testing::colour_engines {

// Spreads e from pixel x by pattern `number`; returns the new carry.
inline int32_t spreadBy(std::vector<int32_t>& line, int64_t x, int number, bool odd, int32_t e,
                        int32_t carry) {
  return refSpread(line, x, "NNNNNWWWWN"[number - 1], "1234523416"[number - 1] - '0', odd, e,
                   carry);
}

// One run of an engine: the codes of planes 0 to 3, pixel by pixel.
inline Planes refColourRun(EngineId kind, const EngineTables& t, const PrintMode& mode,
                           ColourState& s, const uint8_t* source, uint32_t startX, uint32_t count,
                           uint32_t line) {
  const bool fourLevel =
      kind == EngineId::kDiffuseFourLevel || kind == EngineId::kDiffuseFourLevel1440;
  const bool screen =
      kind == EngineId::kScreenColorBilevel || kind == EngineId::kScreenColorBilevelDiffused;
  const bool inks = mode.inkSet == 4;
  if (fourLevel) refColourUpkeep(s, line, startX, count);
  s.lastLine = line;
  const uint32_t w = t.matrixWidth, h = t.matrixHeight, cells = t.matrixCells;
  auto A = [&](uint32_t k) { return int32_t(t.thresholdMatrix[line % h * w + k % w]); };
  auto B = [&](uint32_t k) { return int32_t(t.thresholdMatrix[(line + 24) % h * w + k % w]); };
  const int32_t l1 = t.spreadLimit1, l2 = t.spreadLimit2, l3 = t.spreadLimit3;
  const int32_t l4 = t.spreadLimit4;
  int shift = 0;
  while ((cells + 1) >> 9 >> shift) ++shift;
  auto lt = [&](int share) { return int32_t(t.levelTable[share]); };
  auto share = [&](int c, int k) { return int32_t(t.dotTable[3 * c + k]); };  // S, M, L
  auto ordered = [&](int c, int32_t th) {  // large, medium, small or none
    const int32_t large = lt(share(c, 2)), medium = large + lt(share(c, 1));
    return large > th ? 3u : medium > th ? 2u : medium + lt(share(c, 0)) > th ? 1u : 0u;
  };
  Planes out;
  int32_t carry[3] = {}, reg[3] = {31, 31, 31}, prevNode[3] = {}, prevLevel[4] = {};
  bool remembered = false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t x = startX + i;
    const uint8_t* p = source + (inks ? 4 : 3) * (mode.sourceStep == 1 ? i / 2 : i);
    int node[3], c[4];
    auto gridLevels = [&](int dither) {
      for (int a = 0; a < 3; ++a)
        node[a] = t.gridIndex[2 * p[a]] + (t.gridIndex[2 * p[a] + 1] <= dither);
      for (int k = 0; k < 4; ++k)
        c[k] = inks ? p[k] : t.colorGrid[4 * ((node[0] * 32 + node[1]) * 32 + node[2]) + k];
    };
    std::array<uint32_t, 4> code{};
    auto orderedAll = [&] {
      return std::array{ordered(c[0], A(x)), ordered(c[1], B(x + 16)), ordered(c[2], A(x + 48)),
                        ordered(c[3], B(x + 40))};
    };
    auto cornerCodes = [&](bool last) {
      const int32_t levels[4] = {lt(c[0]), lt(c[1]), lt(c[2]), lt(c[3])};
      return cornerDots(levels, A(x), (cells - 1) & 0xFFFF, last);
    };
    const bool closing = i == count - 1 && count % 2 == 1;
    const bool white = inks ? (p[0] | p[1] | p[2] | p[3]) == 0 : p[0] + p[1] + p[2] == 765;
    const int32_t u = fourLevel ? A(x + 24) : A(x);
    const int32_t dither = closing && !screen ? 128 : fourLevel ? (u >> shift) & 0xFE : u & 0xFE;
    const bool odd = fourLevel ? u % 2 == 1 : (dither & 4) == 0;  // the patterns' odd
    if (closing) {
      gridLevels(dither);
      for (int k = 0; k < 4 && !inks && !screen; ++k) c[k] = c[k] < 32 ? 0 : c[k];
      code = screen ? cornerCodes(true) : orderedAll();
    } else if (white) {
      for (int k = 0; k < (fourLevel ? 3 : kind == EngineId::kScreenColorBilevelDiffused); ++k)
        s.lines[k][x + 30] = carry[k], carry[k] = 0;
    } else {
      gridLevels(dither);
      bool near = remembered && !inks;
      for (int a = 0; a < 3; ++a) near = near && std::abs(node[a] - prevNode[a]) <= 1;
      for (int k = 0; k < 4 && near; ++k)
        if (fourLevel || k != 2) c[k] = (c[k] + prevLevel[k] + (fourLevel ? !odd : odd)) >> 1;
      std::copy(node, node + 3, prevNode), std::copy(c, c + 4, prevLevel), remembered = true;
      if (!screen) code = orderedAll();
      if (screen) code = cornerCodes(false);
      if (kind == EngineId::kScreenColorBilevelDiffused) {
        int32_t& cell = s.lines[0][x + 30];
        code[1] = 0;
        if (c[1] == 0) {
          cell = carry[0], carry[0] = 0;
        } else {
          const int32_t v = floorDiv32(cell) + c[1];
          code[1] = t.diffusionThreshold[c[1]] - refNudge(dither) <= v;
          const int32_t e = code[1] ? v - t.dotValue[c[1]] : v;
          int pattern = code[1] ? c[1] > l2 ? 3 : c[1] > l3 ? 4 : c[1] > l4 ? 5 : 10 : 2;
          carry[0] = spreadBy(s.lines[0], x, c[1] > l1 ? 1 : pattern, odd, e, carry[0]);
        }
      }
      const int planeOf[3] = {0, 1, 3};
      for (int j = 0; j < 3 && fourLevel; ++j) {
        const int k = planeOf[j];
        const int32_t S = share(c[k], 0), M = share(c[k], 1), L = share(c[k], 2);
        reg[j] = (reg[j] >> 1) | (S != 0 ? 16 : 0);
        int32_t& cell = s.lines[j][x + 30];
        code[k] = code[k] == 1 ? 0 : code[k];  // small dots are diffused
        if (reg[j] == 0) {
          cell = carry[j], carry[j] = 0;
          continue;
        }
        int32_t v = truncDiv32(cell) + S + M + L;
        const int32_t d = k == 1 ? -refNudge(dither) : refNudge(dither);
        if (code[k] == 0) code[k] = S != 0 && t.diffusionThreshold[c[k]] + d <= v;
        if (code[k] != 0) v -= 255;
        const int square = L || M || S > l1 ? 1 : !code[k] ? 2 : S > l2 ? 3 : S > l3 ? 4 : 5;
        const int at1440 = !code[k] ? 9 : L || M || S > l1 ? 6 : S > l2 ? 7 : 8;
        carry[j] = spreadBy(s.lines[j], x, kind == EngineId::kDiffuseFourLevel ? square : at1440,
                            odd, v, carry[j]);
      }
    }
    for (int k = 0; k < 4; ++k) out[k].push_back(code[k]);
  }
  return out;
}

}  // namespace kestrl::halftone::testing::colour_engines
