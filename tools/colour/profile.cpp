#include "colour/profile.h"

#include <lcms2.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace kestrl::colour {

namespace {

// Little CMS reports through a log callback; the reasons are given by the
// checks below instead, one line each.
void quietLog(cmsContext, cmsUInt32Number, const char*) {}

std::string signatureText(cmsUInt32Number signature) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>(signature >> shift & 0xFF);
    if (c != ' ') s += c;
  }
  return s;
}

std::string description(cmsHPROFILE h) {
  char text[256] = {};
  if (cmsGetProfileInfoASCII(h, cmsInfoDescription, "en", "US", text, sizeof text) == 0) return {};
  return text;
}

// Why the profile cannot serve as a printer's, or empty.
std::string unusable(cmsHPROFILE h) {
  if (cmsGetColorSpace(h) != cmsSigCmykData)
    return "is a " + signatureText(cmsGetColorSpace(h)) + " profile, not a CMYK printer profile";
  if (cmsGetDeviceClass(h) != cmsSigOutputClass)
    return "is a '" + signatureText(cmsGetDeviceClass(h)) +
           "' class profile, not an output (printer) profile";
  if (!cmsIsIntentSupported(h, INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_OUTPUT) ||
      !cmsIsIntentSupported(h, INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_INPUT))
    return "has no tables from and to CIELAB";
  // Both directions, as the separation and the proof use them; a damaged
  // table shows only when a transform is made from it.
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM from = cmsCreateTransform(h, TYPE_CMYK_DBL, lab, TYPE_Lab_DBL,
                                          INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
  cmsHTRANSFORM to =
      cmsCreateTransform(lab, TYPE_Lab_DBL, h, TYPE_CMYK_DBL, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
  cmsCloseProfile(lab);
  for (cmsHTRANSFORM t : {from, to})
    if (t) cmsDeleteTransform(t);
  if (!from || !to) return "has tables Little CMS cannot use (a damaged or partial profile)";
  return {};
}

}  // namespace

bool parseIntent(const std::string& text, Intent& intent) {
  for (Intent i :
       {Intent::kPerceptual, Intent::kRelative, Intent::kSaturation, Intent::kAbsolute}) {
    if (text == intentName(i)) {
      intent = i;
      return true;
    }
  }
  return false;
}

const char* intentName(Intent intent) {
  switch (intent) {
    case Intent::kPerceptual:
      return "perceptual";
    case Intent::kRelative:
      return "relative";
    case Intent::kSaturation:
      return "saturation";
    case Intent::kAbsolute:
      return "absolute";
  }
  return "perceptual";
}

std::unique_ptr<Profile> Profile::builtIn() {
  std::string error;
  return fromMemory(builtInProfileBytes(), "built-in printer profile", error);
}

std::unique_ptr<Profile> Profile::fromFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot read the profile";
    return nullptr;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
  return fromMemory(bytes, path, error);
}

std::unique_ptr<Profile> Profile::fromMemory(std::span<const uint8_t> bytes,
                                             const std::string& label, std::string& error) {
  cmsSetLogErrorHandler(quietLog);
  cmsHPROFILE h = bytes.empty() ? nullptr
                                : cmsOpenProfileFromMem(bytes.data(),
                                                        static_cast<cmsUInt32Number>(bytes.size()));
  if (!h) {
    error = label + ": not an ICC profile";
    return nullptr;
  }
  if (const std::string why = unusable(h); !why.empty()) {
    cmsCloseProfile(h);
    error = label + ": " + why;
    return nullptr;
  }
  std::string name = description(h);
  return std::unique_ptr<Profile>(new Profile(h, name.empty() ? label : name));
}

Profile::~Profile() {
  cmsCloseProfile(handle_);
}

std::string Profile::version() const {
  const cmsUInt32Number v = cmsGetEncodedICCversion(handle_);
  return std::to_string(v >> 24) + "." + std::to_string(v >> 20 & 0xF);
}

}  // namespace kestrl::colour
