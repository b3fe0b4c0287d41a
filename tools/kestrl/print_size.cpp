#include "kestrl/print_size.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrl::tool {

bool printSize(uint32_t pixelsWide, uint32_t pixelsHigh, double ownWidth, double ownHeight,
               const PrintRequest& r, uint32_t xResolution, uint32_t yResolution, PrintSize& size,
               std::string& error) {
  // Height per width: the stated size's where there is one (a PDF page's
  // exact proportions, or pixels that are not square).
  const double aspect =
      ownWidth > 0 && ownHeight > 0 ? ownHeight / ownWidth : double(pixelsHigh) / pixelsWide;
  const double printableWidth = r.paper.widthInches - 2 * r.margin;
  const double printableHeight = r.paper.heightInches - 2 * r.margin;
  double w = 0, h = 0;
  if (r.width > 0 || r.height > 0) {
    w = r.width > 0 ? r.width : r.height / aspect;
    h = r.height > 0 ? r.height : r.width * aspect;
    size.basis = SizeBasis::kAsked;
  } else if (ownWidth > 0 && ownHeight > 0 && ownWidth <= printableWidth &&
             ownHeight <= printableHeight) {
    w = ownWidth;
    h = ownHeight;
    size.basis = SizeBasis::kOwnResolution;
  } else {
    if (printableWidth <= 0 || printableHeight <= 0) {
      char margin[64];
      std::snprintf(margin, sizeof margin, "%.2f in (%.2f mm)", r.margin,
                    r.margin * kMillimetresPerInch);
      error = std::string("margins of ") + margin + " leave nothing of " + r.paper.name +
              " to print on (see --margin)";
      return false;
    }
    // As wide as the paper allows, unless that makes it taller than the paper.
    w = std::min(printableWidth, printableHeight / aspect);
    h = w * aspect;
    size.basis = SizeBasis::kFitted;
  }
  const double gridWidth = std::round(w * xResolution), gridHeight = std::round(h * yResolution);
  if (!(gridWidth >= 1 && gridHeight >= 1 && gridWidth < 4e9 && gridHeight < 4e9)) {
    error = "a print of " + describeInches(w, h) + " at " + std::to_string(xResolution) + " x " +
            std::to_string(yResolution) + " dpi is not a page of whole printer pixels";
    return false;
  }
  size.widthInches = w;
  size.heightInches = h;
  size.width = static_cast<uint32_t>(gridWidth);
  size.height = static_cast<uint32_t>(gridHeight);
  return true;
}

std::string describeInches(double widthInches, double heightInches) {
  char text[128];
  std::snprintf(text, sizeof text, "%.2f x %.2f in (%.2f x %.2f mm)", widthInches, heightInches,
                widthInches * kMillimetresPerInch, heightInches * kMillimetresPerInch);
  return text;
}

}  // namespace kestrl::tool
