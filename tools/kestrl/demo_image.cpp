#include "kestrl/demo_image.h"

#include <algorithm>
#include <array>

namespace kestrl::tool {

namespace {

using Rgb = std::array<int, 3>;

// A fully saturated hue, h from 0 to 1535.
Rgb hue(int h) {
  const int part = h / 256, f = h % 256;
  switch (part) {
    case 0:
      return {255, f, 0};
    case 1:
      return {255 - f, 255, 0};
    case 2:
      return {0, 255, f};
    case 3:
      return {0, 255 - f, 255};
    case 4:
      return {f, 0, 255};
    default:
      return {255, 0, 255 - f};
  }
}

Rgb mix(const Rgb& a, const Rgb& b, int t, int scale) {
  Rgb out;
  for (int c = 0; c < 3; ++c) out[c] = (a[c] * (scale - t) + b[c] * t) / scale;
  return out;
}

constexpr Rgb kWhite = {255, 255, 255};
constexpr Rgb kBlack = {0, 0, 0};
constexpr Rgb kPrimaries[] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                              {0, 255, 255}, {255, 0, 255}, {255, 255, 0}};

Rgb pixelAt(int x, int y, int w, int h) {
  const int band = h / 8;
  if (y < 2 * band) {  // hue ramp, white at the top, full in the middle, black at the bottom
    const Rgb full = hue(x * 1536 / w);
    return y < band ? mix(kWhite, full, y, band) : mix(full, kBlack, y - band, band);
  }
  if (y < 4 * band) {  // six primary ramps from white to full
    const int row = (y - 2 * band) * 6 / (2 * band);
    return mix(kWhite, kPrimaries[std::min(row, 5)], x, w - 1);
  }
  if (y < 5 * band) {  // grey: 16 steps above, smooth below
    const int v = y < 4 * band + band / 2 ? 255 - (x * 16 / w) * 17 : 255 - x * 255 / (w - 1);
    return {v, v, v};
  }
  // Lower part: a blue-to-orange gradient on the left, skin tone on the right.
  const int left = w * 5 / 8;
  const int yy = y - 5 * band, hh = h - 5 * band;
  if (x < left) return mix(mix({40, 90, 200}, {250, 160, 40}, x, left), kWhite, yy, 2 * hh);
  const int cx = (left + w) / 2, cy = 5 * band + hh / 2;
  const int dx = x - cx, dy = y - cy;
  const int r2 = (dx * dx + dy * dy) * 256 / std::max(1, (hh / 2) * (hh / 2));
  return mix({241, 194, 167}, {198, 134, 103}, std::min(r2, 256), 256);
}

}  // namespace

Image makeDemoImage(uint32_t width) {
  const uint32_t height = width * 5 / 8;
  Image image{width, height, 3, std::vector<uint8_t>(size_t{width} * height * 3)};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const Rgb p = pixelAt(static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                            static_cast<int>(height));
      for (int c = 0; c < 3; ++c)
        image.pixels[(size_t{y} * width + x) * 3 + c] = static_cast<uint8_t>(p[c]);
    }
  }
  return image;
}

}  // namespace kestrl::tool
