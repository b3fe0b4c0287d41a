#include "colour/printer_model.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace kestrl::colour {

namespace {

cmsUInt32Number lcmsIntent(Intent intent) {
  switch (intent) {
    case Intent::kPerceptual:
      return INTENT_PERCEPTUAL;
    case Intent::kRelative:
      return INTENT_RELATIVE_COLORIMETRIC;
    case Intent::kSaturation:
      return INTENT_SATURATION;
    case Intent::kAbsolute:
      return INTENT_ABSOLUTE_COLORIMETRIC;
  }
  return INTENT_PERCEPTUAL;
}

void* transform(cmsHPROFILE from, cmsUInt32Number fromFormat, cmsHPROFILE to,
                cmsUInt32Number toFormat, cmsUInt32Number intent, cmsUInt32Number flags) {
  cmsHTRANSFORM t = cmsCreateTransform(from, fromFormat, to, toFormat, intent, flags);
  if (!t)
    throw std::runtime_error("has tables Little CMS cannot use (a damaged or partial profile)");
  return t;
}

uint8_t toByte(double amount) {
  return static_cast<uint8_t>(std::lround(std::clamp(amount, 0.0, 1.0) * 255));
}

}  // namespace

double deltaE2000(const Lab& x, const Lab& y) {
  const cmsCIELab a{x.L, x.a, x.b}, b{y.L, y.a, y.b};
  return cmsCIE2000DeltaE(&a, &b, 1, 1, 1);
}

Lab srgbToLab(const std::array<uint8_t, 3>& rgb) {
  static const struct Transform {
    Transform() {
      cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
      handle = transform(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                         cmsFLAGS_NOCACHE);
      cmsCloseProfile(srgb);
      cmsCloseProfile(lab);
    }
    void* handle;
  } kTransform;
  cmsCIELab out{};
  cmsDoTransform(kTransform.handle, rgb.data(), &out, 1);
  return {out.L, out.a, out.b};
}

PrinterModel::PrinterModel(const Profile& profile, Intent intent)
    : profile_(profile), intent_(intent) {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
  cmsHPROFILE printer = profile.handle();
  const cmsUInt32Number bpc = intent == Intent::kRelative ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0;
  try {
    toInks_ = transform(srgb, TYPE_RGB_8, printer, TYPE_CMYK_DBL, lcmsIntent(intent),
                        bpc | cmsFLAGS_NOCACHE | cmsFLAGS_HIGHRESPRECALC);
    toLab_ = transform(printer, TYPE_CMYK_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                       cmsFLAGS_NOCACHE);
    toScreen_ = transform(printer, TYPE_CMYK_DBL, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                          cmsFLAGS_NOCACHE);
  } catch (...) {
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    for (void* t : {toInks_, toLab_})
      if (t) cmsDeleteTransform(t);
    throw;
  }
  cmsCloseProfile(srgb);
  cmsCloseProfile(lab);
  blackLightness_ = inksToLab({0, 0, 0, 1}).L;
}

PrinterModel::~PrinterModel() {
  for (void* t : {toInks_, toLab_, toScreen_})
    if (t) cmsDeleteTransform(t);
}

std::string PrinterModel::describe() const {
  return profile_.name() + " (ICC v" + profile_.version() + ", " + intentName(intent_) + " intent)";
}

Inks PrinterModel::separate(const std::array<uint8_t, 3>& rgb) const {
  double cmyk[4] = {};
  cmsDoTransform(toInks_, rgb.data(), cmyk, 1);
  return {cmyk[0] / 100, cmyk[1] / 100, cmyk[2] / 100, cmyk[3] / 100};
}

double PrinterModel::blackFor(uint8_t grey) const {
  const double input = srgbToLab({grey, grey, grey}).L;
  const double target = blackLightness_ + input * (100 - blackLightness_) / 100;
  double low = 0, high = 1;  // black amounts lighter and darker than the target
  for (int i = 0; i < 30; ++i) {
    const double mid = (low + high) / 2;
    (inksToLab({0, 0, 0, mid}).L > target ? low : high) = mid;
  }
  return (low + high) / 2;
}

Lab PrinterModel::inksToLab(const Inks& inks) const {
  const double cmyk[4] = {100 * inks[0], 100 * inks[1], 100 * inks[2], 100 * inks[3]};
  cmsCIELab out{};
  cmsDoTransform(toLab_, cmyk, &out, 1);
  return {out.L, out.a, out.b};
}

void PrinterModel::inksToSrgb(const double* inks, size_t count, uint8_t* rgb) const {
  std::vector<double> percent(inks, inks + 4 * count);
  for (double& v : percent) v *= 100;
  cmsDoTransform(toScreen_, percent.data(), rgb, static_cast<cmsUInt32Number>(count));
}

pack::Separation PrinterModel::separation(uint32_t points) const {
  pack::Separation s;
  s.points = points;
  const std::vector<uint8_t> levels = pack::evenLevels(points);
  for (uint8_t r : levels) {
    for (uint8_t g : levels) {
      for (uint8_t b : levels) {
        for (double v : separate({r, g, b})) s.grid.push_back(toByte(v));
      }
    }
  }
  for (uint8_t v : levels) s.black.push_back(toByte(blackFor(v)));
  return s;
}

}  // namespace kestrl::colour
