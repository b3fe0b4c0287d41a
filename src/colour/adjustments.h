// Folding the caller's colour adjustments into the colour grid: tone curves
// (brightness, contrast, gamma, per-component offsets, or the caller's own
// curves), saturation, and the complementary-colour corrections of the
// corrected table class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "colour/cm_context.h"
#include "common/status.h"

namespace kestrl::colour {

inline constexpr int32_t kAdjustLimit = 50;
inline constexpr int32_t kDefaultGamma = 150;  // hundredths
inline constexpr int32_t kMinGamma = 100;
inline constexpr int32_t kMaxGamma = 300;
inline constexpr uint32_t kGammaTag = KESTRL_TAG_GAMMA;
inline constexpr uint32_t kCurvesTag = KESTRL_TAG_CURVES;
inline constexpr size_t kCurvesBytes = 3 * 256;
// Tag 257 (1024 bytes) has no effect on the table and is never looked up.

// Three tone curves, one per input component, each entry 0..255.
struct ToneCurves {
  int32_t curve[3][256];
};

// The gamma curve G(v, g) for 0 <= v <= 255 and gamma g in hundredths.
int32_t gammaLevel(int32_t v, int32_t g);

// The identity with brightness, then contrast, applied and clamped to
// 0..255. The cubic terms (x^3 times a scale factor) are formed in 32 bits;
// a product that leaves that range wraps as two's complement (wrapMul)
// instead of being undefined, so every setting gives one defined curve.
void brightnessContrastCurve(int32_t brightness, int32_t contrast, int32_t curve[256]);

// Builds the curves from `adjusted` (or copies tag 256): kOk, kBadParameter
// (non-zero adjustMode without tag 256, or an adjustment outside -50..50),
// kBadSecondParameter (gamma outside 100..300, or a sized gamma value too
// short to hold one) or kBadResource (sized tag-256 curves shorter than
// their 768 bytes).
Status buildToneCurves(const ColorSettings& adjusted, ToneCurves& curves);

// The saturation change of one pixel (components p[0..2]) with saturation s.
void saturate(int32_t s, int32_t p[3]);

// The corrections of the corrected table class, on complementary values.
void reducePeak(const int16_t percent[3], int32_t c[3]);
void reducePair(const int16_t percent[3], int32_t c[3]);
void shiftHue(const int16_t percent[3], int32_t c[3]);

// Rebuilds the grid with the adjustments: each node's input colour is
// adjusted and looked up in the loaded grid. On any failure (kAllocFailed,
// kLockFailed, kBadParameter, kBadSecondParameter) the grid stays as it was
// and everything the pass took is released.
Status adjustGrid(CmContext& context);

}  // namespace kestrl::colour
