#include "kestrl/proof_check.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "colour/accuracy.h"
#include "kestrl/image_io.h"
#include "kestrl/render.h"

namespace kestrl::tool {

namespace {

using colour::KindResult;
using colour::Patch;

constexpr uint32_t kCell = 24;  // contact sheet: side of a patch square
constexpr uint32_t kGap = 8;    // between job kinds

void fill(Image& image, uint32_t x0, uint32_t y0, uint32_t w, uint32_t h,
          const std::array<uint8_t, 3>& rgb) {
  for (uint32_t y = y0; y < y0 + h; ++y)
    for (uint32_t x = x0; x < x0 + w; ++x)
      std::copy(rgb.begin(), rgb.end(), &image.pixels[(size_t{y} * image.width + x) * 3]);
}

// Per job kind three rows of squares: the input, the printed proof, and the
// difference from the continuous-tone proof as a bar (green up to 1,
// amber up to 3, red above; full height at 3).
Image contactSheet(const std::vector<KindResult>& results, const colour::PrinterModel& model) {
  const auto& patches = colour::targetPatches();
  Image sheet{static_cast<uint32_t>(patches.size()) * kCell,
              static_cast<uint32_t>(results.size()) * (3 * kCell + kGap),
              3,
              {}};
  sheet.pixels.assign(size_t{sheet.width} * sheet.height * 3, 255);
  for (size_t k = 0; k < results.size(); ++k) {
    const uint32_t top = static_cast<uint32_t>(k) * (3 * kCell + kGap);
    for (size_t i = 0; i < patches.size(); ++i) {
      const colour::PatchResult& p = results[k].patches[i];
      const uint32_t x = static_cast<uint32_t>(i) * kCell;
      std::array<uint8_t, 3> input = patches[i].rgb;
      if (!results[k].kind.colour) input.fill(colour::greyOf(patches[i].rgb));
      fill(sheet, x, top, kCell, kCell, input);
      std::array<uint8_t, 3> proof{};
      model.inksToSrgb(p.inks.data(), 1, proof.data());
      fill(sheet, x, top + kCell, kCell, kCell, proof);
      const double d = p.deltaContinuous;
      const std::array<uint8_t, 3> shade = d <= 1   ? std::array<uint8_t, 3>{60, 170, 60}
                                           : d <= 3 ? std::array<uint8_t, 3>{230, 160, 20}
                                                    : std::array<uint8_t, 3>{210, 40, 40};
      const auto bar = static_cast<uint32_t>(std::min(1.0, d / 3) * (kCell - 2)) + 1;
      fill(sheet, x + 2, top + 3 * kCell - bar, kCell - 4, bar, shade);
    }
  }
  return sheet;
}

bool writeCsv(const std::string& path, const std::vector<KindResult>& results) {
  std::ofstream csv(path);
  csv << "job,patch,r,g,b,c,m,y,k,input L,input a,input b,proof L,proof a,proof b,print L,"
         "print a,print b,dE00 proof,dE00 input\n";
  const auto& patches = colour::targetPatches();
  char line[512];
  for (const KindResult& r : results) {
    for (size_t i = 0; i < patches.size(); ++i) {
      const colour::PatchResult& p = r.patches[i];
      std::snprintf(line, sizeof line,
                    "%s,%s,%d,%d,%d,%.4f,%.4f,%.4f,%.4f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,"
                    "%.2f,%.2f,%.2f\n",
                    r.kind.name.c_str(), patches[i].name.c_str(), patches[i].rgb[0],
                    patches[i].rgb[1], patches[i].rgb[2], p.inks[0], p.inks[1], p.inks[2],
                    p.inks[3], p.input.L, p.input.a, p.input.b, p.continuous.L, p.continuous.a,
                    p.continuous.b, p.print.L, p.print.a, p.print.b, p.deltaContinuous,
                    p.deltaInput);
      csv << line;
    }
  }
  csv.close();
  return static_cast<bool>(csv);
}

}  // namespace

int proofCheck(const pack::Pack& pack, const Printer& printer, const std::string& outDir,
               std::ostream& out, std::ostream& err) {
  std::vector<KindResult> results;
  try {
    for (const colour::JobKind& kind : colour::defaultJobKinds())
      results.push_back(colour::measureKind(pack, *printer.model, kind));
  } catch (const std::exception& e) {
    err << "kestrl: proof-check: " << e.what() << "\n";
    return kExitLibraryStatus;
  }
  out << "kestrl proof-check: " << colour::targetPatches().size() << " patches through "
      << printer.describe() << "\n"
      << "CIEDE2000 against the continuous-tone proof (what halftoning and the tables lose) "
         "and against the input (what printing loses, gamut included)\n\n";
  char line[256];
  std::snprintf(line, sizeof line, "%-24s %9s %9s %9s %9s %9s %8s  %s\n", "job kind", "mean(a)",
                "max(a)", "mean(b)", "max(b)", "neutral", "L* falls", "aim");
  out << line;
  for (const KindResult& r : results) {
    std::snprintf(line, sizeof line, "%-24s %9.2f %9.2f %9.2f %9.2f %9.2f %8s  %s\n",
                  r.kind.name.c_str(), r.meanContinuous, r.maxContinuous, r.meanInput, r.maxInput,
                  r.neutralChroma, r.lightnessFalls ? "yes" : "no",
                  r.meetsAim() ? "met" : "missed");
    out << line;
  }
  out << "(neutral: largest |a*| or |b*| along the printed 17-step ramp; aim: mean(a) <= 1, "
         "max(a) <= 3, neutral <= 1.5, L* falling)\n";
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  const std::string csv = (std::filesystem::path(outDir) / "proof-check.csv").string();
  const std::string sheet = (std::filesystem::path(outDir) / "contact-sheet.png").string();
  std::string error;
  if (ec || !writeCsv(csv, results)) {
    err << "kestrl: proof-check: cannot write " << csv << "\n";
    return kExitFailure;
  }
  if (!writePng(sheet, contactSheet(results, *printer.model), error)) {
    err << "kestrl: proof-check: " << error << "\n";
    return kExitFailure;
  }
  out << "kestrl: patches in " << csv << ", contact sheet " << sheet << "\n";
  return kExitOk;
}

}  // namespace kestrl::tool
