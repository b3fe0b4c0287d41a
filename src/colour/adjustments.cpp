#include "colour/adjustments.h"

#include <algorithm>
#include <cstring>

#include "colour/grid_lookup.h"
#include "colour/prime_logs.h"
#include "common/arithmetic.h"
#include "memory/memory.h"

namespace kestrl::colour {

namespace {

constexpr int32_t kLog255 = 27706;          // L(255)
constexpr int32_t kGammaOffset = 63855256;  // moves the search into the 1..509 range
constexpr int32_t kCurveScale = 6553600;    // 100 x 65536

int32_t clampByte(int32_t v) {
  return std::clamp(v, 0, 255);
}

int32_t cube(int32_t x) {
  return wrapMul(wrapMul(x, x), x);
}

// x^3 x a / 6553600 with the products wrapping in 32 bits.
int32_t scaledCube(int32_t x, int32_t a) {
  return wrapMul(cube(x), a) / kCurveScale;
}

void applyBrightness(int32_t b, int32_t t[256]) {
  if (b > 0) {
    const int32_t q = 10000 / (100 - b);
    const int32_t knee = (300 - q) * 256 / (2 * q);
    const int32_t a = q * 65536 / (3 * (knee - 256) * (knee - 256));
    for (int32_t v = 0; v < 256; ++v) {
      t[v] = v < knee ? t[v] * q / 100 : wrapAdd(scaledCube(t[v] - 256, a), 256);
    }
  } else {
    const int32_t q = 10000 / (b + 100);
    const int32_t knee = (q - 100) * 768 / (2 * q);
    const int32_t a = q * 65536 / (3 * knee * knee);
    for (int32_t v = 0; v < 256; ++v) {
      t[v] = v < knee ? scaledCube(t[v], a) : ((t[v] - 256) * q + 25600) / 100;
    }
  }
  for (int32_t v = 0; v < 256; ++v) t[v] = clampByte(t[v]);
}

// The segment is chosen by the position v, the formula works on T[v].
void applyContrast(int32_t c, int32_t t[256]) {
  if (c < 0) {
    for (int32_t v = 0; v < 256; ++v) t[v] = ((t[v] - 128) * (c + 100) + 12800) / 100;
  } else {
    const int32_t q = 10000 / (100 - c);
    const int32_t knee1 = (q - 100) * 384 / (2 * q);
    const int32_t a1 = q * 65536 / (3 * knee1 * knee1);
    const int32_t knee2 = (q + 300) * 128 / (2 * q);
    const int32_t a2 = q * 65536 / (3 * (knee2 - 256) * (knee2 - 256));
    for (int32_t v = 0; v < 256; ++v) {
      if (v < knee1) {
        t[v] = scaledCube(t[v], a1);
      } else if (v >= knee2) {
        t[v] = wrapAdd(scaledCube(t[v] - 256, a2), 256);
      } else {
        t[v] = wrapAdd(wrapMul(t[v] - 128, q), 12800) / 100;
      }
    }
  }
  for (int32_t v = 0; v < 256; ++v) t[v] = clampByte(t[v]);
}

// Each entry from 1 to 253 becomes the mean of itself, its already smoothed
// left neighbour and its right neighbour.
void smooth(int32_t curve[256]) {
  for (int32_t v = 1; v <= 253; ++v) curve[v] = (curve[v - 1] + curve[v] + curve[v + 1]) / 3;
}

// The gamma of tag 1; 0 when a sized value is too short to hold it (no
// gamma, refused like one out of range).
int32_t gammaOf(const CmTagList* tags) {
  const TagValue gamma = findTagValue(tags, kGammaTag);
  if (gamma.data == nullptr) return kDefaultGamma;
  if (!gamma.holds(sizeof(int32_t))) return 0;
  int32_t value = 0;
  std::memcpy(&value, gamma.data, sizeof value);
  return value == 0 ? kDefaultGamma : value;
}

bool allWithinLimit(const ColorSettings& s) {
  const int32_t values[] = {s.brightness, s.contrast,    s.saturation,
                            s.redOffset,  s.greenOffset, s.blueOffset};
  return std::all_of(std::begin(values), std::end(values),
                     [](int32_t v) { return v >= -kAdjustLimit && v <= kAdjustLimit; });
}

// Index of the smallest of three values when it is smaller than both
// others, else -1 (two equal smallest values block the corrections).
int strictSmallest(const int32_t c[3]) {
  if (c[0] < c[1] && c[0] < c[2]) return 0;
  if (c[1] < c[2] && c[1] < c[0]) return 1;
  if (c[2] < c[1] && c[2] < c[0]) return 2;
  return -1;
}

// The two other components of each smallest one, in the order the
// corrections name them: (lowered when the hue percentage is >= 0, else).
constexpr int kOthers[3][2] = {{1, 2}, {2, 0}, {0, 1}};

// Applies saturation and curves (when `adjust`) and the class corrections
// (when `correct`) to pixel k of a row.
struct RowAdjuster {
  const CmContext& context;
  const ToneCurves& curves;
  int32_t saturation;
  bool correct;

  void adjust(uint8_t* pixel) const {
    int32_t p[3] = {pixel[1], pixel[2], pixel[3]};
    saturate(saturation, p);
    for (int i = 0; i < 3; ++i) pixel[1 + i] = static_cast<uint8_t>(curves.curve[i][p[i]]);
  }

  void applyCorrections(uint8_t* pixel) const {
    int32_t c[3] = {255 - pixel[1], 255 - pixel[2], 255 - pixel[3]};
    reducePeak(context.peakReduce, c);
    reducePair(context.pairReduce, c);
    shiftHue(context.hueShift, c);
    for (int i = 0; i < 3; ++i) pixel[1 + i] = static_cast<uint8_t>(255 - c[i]);
  }
};

bool correctionsOn(const ColorSettings& settings) {
  return settings.colorClass == kColorClassCorrected && settings.classOverride == 0;
}

// Writes the adjusted lookup of every node into `newGrid`, row by row along
// the third axis. The darkest and lightest nodes keep their input colour.
void rebuildRows(const CmContext& context, const RowAdjuster& adjuster, uint8_t* newGrid) {
  const CmLut& lut = *context.lut;
  const int32_t n = lut.gridPoints[0];
  const uint32_t rowBytes = static_cast<uint32_t>(n) * lut.channelCount;
  uint8_t row[KESTRL_MAX_GRID_POINTS * kPixelStride] = {};
  const GridCells cells(lut);
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = 0; j < n; ++j) {
      const int32_t first = (i == 0 && j == 0) ? 1 : 0;
      const int32_t end = (i == n - 1 && j == n - 1) ? n - 1 : n;
      for (int32_t k = 0; k < n; ++k) {
        uint8_t* pixel = row + k * kPixelStride;
        pixel[1] = lut.breakpoints[0][i];
        pixel[2] = lut.breakpoints[1][j];
        pixel[3] = lut.breakpoints[2][k];
        if (k >= first && k < end) adjuster.adjust(pixel);
        if (adjuster.correct) adjuster.applyCorrections(pixel);
      }
      lookUpPixels(context, lut, cells, n, row, newGrid);
      newGrid += rowBytes;
    }
  }
}

}  // namespace

int32_t gammaLevel(int32_t v, int32_t g) {
  if (v <= 0) return 0;
  if (v >= 255) return 255;
  const int32_t h = wrapMul(g, 2048) / 100;
  const int32_t k = wrapSub(wrapMul(kLog255, h), kGammaOffset);
  const int32_t target = wrapMul(kLogTable[v], h);
  if (k > target) return 0;
  int32_t m = 1;
  while (m <= kLogLimit && wrapAdd(wrapMul(2048, kLogTable[m]), k) <= target) m += 2;
  return clampByte((m - 1) / 2);
}

void brightnessContrastCurve(int32_t brightness, int32_t contrast, int32_t curve[256]) {
  for (int32_t v = 0; v < 256; ++v) curve[v] = v;
  if (brightness != 0) applyBrightness(brightness, curve);
  if (contrast != 0) applyContrast(contrast, curve);
}

Status buildToneCurves(const ColorSettings& adjusted, ToneCurves& curves) {
  const TagValue curvesTag = findTagValue(adjusted.tagList, kCurvesTag);
  if (curvesTag.data != nullptr && !curvesTag.holds(kCurvesBytes)) return kBadResource;
  if (const auto* given = static_cast<const uint8_t*>(curvesTag.data)) {
    for (int i = 0; i < 3; ++i) {
      for (int v = 0; v < 256; ++v) curves.curve[i][v] = given[i * 256 + v];
    }
    return kOk;
  }
  if (adjusted.adjustMode != 0 || !allWithinLimit(adjusted)) return kBadParameter;
  const int32_t g = gammaOf(adjusted.tagList);
  if (g < kMinGamma || g > kMaxGamma) return kBadSecondParameter;

  int32_t base[256];
  brightnessContrastCurve(adjusted.brightness, adjusted.contrast, base);
  const int32_t offsets[3] = {adjusted.redOffset, adjusted.greenOffset, adjusted.blueOffset};
  for (int32_t v = 0; v < 256; ++v) {
    const int32_t d = g == kDefaultGamma ? 0 : gammaLevel(v, g) - gammaLevel(v, kDefaultGamma);
    for (int i = 0; i < 3; ++i) curves.curve[i][v] = clampByte(offsets[i] + d + base[v]);
  }
  for (auto& curve : curves.curve) smooth(curve);
  return kOk;
}

void saturate(int32_t s, int32_t p[3]) {
  if (s == 0 || (p[0] == p[1] && p[1] == p[2])) return;
  int smallest;
  if (p[1] < p[0]) {
    smallest = p[2] < p[1] ? 2 : 1;
  } else {
    smallest = p[2] < p[0] ? 2 : 0;
  }
  // The third component as the smallest gets four fifths of the change.
  const int32_t scale = smallest == 2 ? wrapAdd(100, wrapMul(s, 80) / 100) : wrapAdd(100, s);
  const int32_t low = p[smallest];
  for (int i = 0; i < 3; ++i) {
    if (i == smallest) continue;
    // Negative results need a saturation below -100, which only the
    // unchecked settings that go with tag-256 curves can hold; they are
    // kept to 0 so the curves are never indexed out of range.
    p[i] = std::clamp(wrapAdd(wrapMul(p[i] - low, scale) / 100, low), 0, 255);
  }
}

void reducePeak(const int16_t percent[3], int32_t c[3]) {
  for (int i = 0; i < 3; ++i) {
    const int32_t a = c[kOthers[i][0]];
    const int32_t b = c[kOthers[i][1]];
    if (c[i] > a && c[i] > b) {
      c[i] = std::max(0, c[i] - percent[i] * (c[i] - std::max(a, b)) / 100);
      return;
    }
  }
}

void reducePair(const int16_t percent[3], int32_t c[3]) {
  const int s = strictSmallest(c);
  if (s < 0) return;
  const int32_t e = std::min(c[kOthers[s][0]], c[kOthers[s][1]]) - c[s];
  const int32_t d = -(percent[s] * e / 100);
  c[kOthers[s][0]] += d;
  c[kOthers[s][1]] += d;
  for (int i = 0; i < 3; ++i) c[i] = std::max(0, c[i]);
}

void shiftHue(const int16_t percent[3], int32_t c[3]) {
  const int s = strictSmallest(c);
  if (s >= 0) {
    const int32_t e = std::min(c[kOthers[s][0]], c[kOthers[s][1]]) - c[s];
    const int32_t h = percent[s];
    const int32_t r = (e * (h < 0 ? -h : h) + 50) / 100;
    c[kOthers[s][h >= 0 ? 0 : 1]] -= r;
  }
  for (int i = 0; i < 3; ++i) c[i] = clampByte(c[i]);
}

Status adjustGrid(CmContext& context) {
  CmLut& lut = *context.lut;
  const uint32_t n = static_cast<uint32_t>(lut.gridPoints[0]);
  memory::OwnedBlock<uint8_t> grid;
  if (Status s = grid.allocate(n * n * n * lut.channelCount, /*zeroFill=*/true); s != kOk) {
    return s;
  }

  ColorSettings adjusted = context.settings;
  const bool correct = correctionsOn(context.settings);
  if (correct)
    adjusted.saturation =
        std::min(wrapAdd(adjusted.saturation, context.saturationShift), kAdjustLimit);

  {
    memory::OwnedBlock<ToneCurves> work;
    if (Status s = work.allocate(sizeof(ToneCurves), /*zeroFill=*/true); s != kOk) return s;
    if (Status s = buildToneCurves(adjusted, *work.get()); s != kOk) return s;
    rebuildRows(context, RowAdjuster{context, *work.get(), adjusted.saturation, correct},
                grid.get());
  }
  memory::releaseOne(lut.gridBlock);
  lut.gridData = grid.get();
  lut.gridBlock = grid.release();
  return kOk;
}

}  // namespace kestrl::colour
