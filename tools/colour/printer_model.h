// What a printer profile says about a job: the separation from sRGB to ink
// amounts for an intent, and what ink on paper looks like (CMYK to CIELAB
// to sRGB), for the colour tables, the soft proof and the accuracy report.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "colour/profile.h"
#include "pack/separation.h"

namespace kestrl::colour {

struct Lab {
  double L = 0, a = 0, b = 0;
};

// Ink amounts from 0 (none) to 1 (full): cyan, magenta, yellow, black.
using Inks = std::array<double, 4>;

// CIEDE2000 colour difference.
double deltaE2000(const Lab& x, const Lab& y);

// An sRGB colour as CIELAB (D50, the profile connection space).
Lab srgbToLab(const std::array<uint8_t, 3>& rgb);

class PrinterModel {
 public:
  // Shares `profile`, which must outlive the model. Relative colorimetric
  // separations use black-point compensation.
  PrinterModel(const Profile& profile, Intent intent);
  PrinterModel(const PrinterModel&) = delete;
  PrinterModel& operator=(const PrinterModel&) = delete;
  ~PrinterModel();

  const Profile& profile() const { return profile_; }
  Intent intent() const { return intent_; }
  // "NAME (ICC v4.3, relative intent)"
  std::string describe() const;

  // The inks the profile gives an sRGB colour.
  Inks separate(const std::array<uint8_t, 3>& rgb) const;
  // Black alone for the grey level v (0 black, 255 white): the black whose
  // lightness sits where v's lies between the profile's darkest black and
  // paper white.
  double blackFor(uint8_t grey) const;

  // Ink on paper as CIELAB, relative to paper white; and as sRGB, `count`
  // cells of four ink amounts each.
  Lab inksToLab(const Inks& inks) const;
  void inksToSrgb(const double* inks, size_t count, uint8_t* rgb) const;

  // The colour table sampling: `points` even levels per axis.
  pack::Separation separation(uint32_t points) const;

 private:
  const Profile& profile_;
  Intent intent_;
  void* toInks_ = nullptr;     // sRGB to CMYK through the intent
  void* toLab_ = nullptr;      // CMYK to CIELAB, relative colorimetric
  void* toScreen_ = nullptr;   // CMYK to sRGB, relative colorimetric
  double blackLightness_ = 0;  // L* of full black alone
};

}  // namespace kestrl::colour
