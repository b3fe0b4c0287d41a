// kestrl: renders pictures through the library as a printer driver would,
// and builds, exports and inspects resource packs.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "kestrl/built_in_pack.h"
#include "kestrl/colour_choice.h"
#include "kestrl/demo_image.h"
#include "kestrl/image_io.h"
#include "kestrl/numbers.h"
#include "kestrl/paper.h"
#include "kestrl/proof_check.h"
#include "kestrl/render.h"
#include "pack/block_dump.h"
#include "pack/block_json.h"
#include "pack/pack_io.h"
#include "pack/staged_folder.h"

namespace kestrl::tool {
namespace {

namespace fs = std::filesystem;

// Command-line values of `render`, before they become the job's records.
struct RenderArgs {
  std::string input, outDir = "out/render", resources, calibration, curves;
  std::optional<std::string> resolution;
  std::optional<uint32_t> mode, inkSet, bits;
  uint32_t colorMethod = 0, runs = 1, previewSize = 1000, page = 1;
  std::optional<double> dpi;
  bool allPages = false;
  int32_t sourceStep = 0;
  int32_t brightness = 0, contrast = 0, saturation = 0, red = 0, green = 0, blue = 0;
  int32_t selectNumber = 0, selectName = 0, classOverride = 0, colorClass = 0, greyStyle = 0;
  std::optional<int32_t> gamma;
  double printWidth = 0;
  bool grey = false, colour = false, noProgress = false;
  ColourChoice printer;
  // Print size, paper and how the picture is read.
  double printHeight = 0;
  std::string paper, margin;
  bool noAutorotate = false, verbose = false;
};

// Dots per inch a resolution may have on either axis.
constexpr int64_t kMaxResolution = 28800;

bool parseResolution(const std::string& text, uint32_t& x, uint32_t& y) {
  const size_t sep = text.find_first_of("xX");
  if (sep == std::string::npos) return false;
  const auto xs = parseWhole(std::string_view(text).substr(0, sep), 1, kMaxResolution);
  const auto ys = parseWhole(std::string_view(text).substr(sep + 1), 1, kMaxResolution);
  if (!xs || !ys) return false;
  x = static_cast<uint32_t>(*xs);
  y = static_cast<uint32_t>(*ys);
  return true;
}

// The check of a whole-number option: strict decimal within [low, high].
// CLI11 converts the text only after it passes, so its own wider forms
// (hexadecimal, wrap-around) never reach an option.
CLI::Validator whole(int64_t low, int64_t high) {
  return CLI::Validator(
      [low, high](std::string& text) -> std::string {
        if (parseWhole(text, low, high)) return {};
        return quoteInput(text) + " is not a whole number from " + std::to_string(low) + " to " +
               std::to_string(high);
      },
      "INT in [" + std::to_string(low) + " to " + std::to_string(high) + "]");
}

// The check of a decimal option: strict decimal within [low, high].
CLI::Validator decimal(double low, double high) {
  return CLI::Validator(
      [low, high](std::string& text) -> std::string {
        if (parseDecimal(text, low, high)) return {};
        return quoteInput(text) + " is not a decimal number from " + formatNumber(low) + " to " +
               formatNumber(high);
      },
      "NUMBER in [" + formatNumber(low) + " to " + formatNumber(high) + "]");
}

constexpr int64_t kInt32Min = INT32_MIN, kInt32Max = INT32_MAX;
constexpr int64_t kMaxPage = 100000;

// "KEY:V1,V2,..." or "V1,V2,...": the tag-512 record with key 0 by default.
bool parseCalibration(const std::string& text, std::vector<uint8_t>& record, std::string& error) {
  int64_t key = 0;
  std::string values = text;
  if (const size_t colon = text.find(':'); colon != std::string::npos) {
    const auto parsed = parseWhole(std::string_view(text).substr(0, colon), 0, 253);
    if (!parsed) {
      error = "calibration key " + quoteInput(text.substr(0, colon)) + " is not from 0 to 253";
      return false;
    }
    key = *parsed;
    values = text.substr(colon + 1);
  }
  std::vector<uint8_t> bytes;
  std::stringstream in(values);
  for (std::string item; std::getline(in, item, ',');) {
    const auto v = parseWhole(item, 0, 253);
    if (!v || bytes.size() == 20) {
      error = v ? "calibration needs 1 to 20 values"
                : "calibration value " + quoteInput(item) + " is not a number from 0 to 253";
      return false;
    }
    bytes.push_back(static_cast<uint8_t>(*v));
  }
  if (bytes.empty() || values.back() == ',') {
    error = "calibration needs 1 to 20 values, separated by commas";
    return false;
  }
  record = {'C', 'W', ':', static_cast<uint8_t>(key)};
  record.insert(record.end(), bytes.begin(), bytes.end());
  record.push_back(0xFE);
  record.push_back(0xFF);
  return true;
}

int loadPack(const std::string& folder, pack::Pack& pack) {
  if (folder.empty()) {
    pack = builtInPack();
    return kExitOk;
  }
  const pack::PackResult result = pack::readPack(folder, pack);
  if (!result.ok()) {
    std::cerr << "kestrl: " << result.error << "\n";
    return kExitBadPack;
  }
  return kExitOk;
}

// Print size and paper, and how the picture is read.
void addPrintSizeOptions(CLI::App* cmd, RenderArgs& a) {
  cmd->add_option("--print-width", a.printWidth,
                  "print width in inches (default: the picture's own size when it states a "
                  "resolution and fits the paper, else fitted to the paper)")
      ->check(decimal(0.001, 1000));
  cmd->add_option("--print-height", a.printHeight,
                  "print height in inches; alone it keeps the picture's proportions like "
                  "--print-width, with it sets the other side")
      ->check(decimal(0.001, 1000));
  cmd->add_option("--paper", a.paper,
                  "A4, Letter, Legal, A3, ... or WxH in mm or in, e.g. 100x150mm (default: the "
                  "system's paper, PAPERSIZE or /etc/papersize)");
  cmd->add_option("--margin", a.margin,
                  "unprinted margin on every side of the paper, e.g. 5mm or 0.25in (default "
                  "0.25in)");
  cmd->add_flag("--no-autorotate", a.noAutorotate,
                "keep the pixels as stored instead of turning them as the EXIF orientation says");
  cmd->add_flag("--verbose", a.verbose, "show the warnings of the image libraries as they come");
}

// The print size, paper and margin the command line asks for.
int toPrintRequest(const RenderArgs& a, PrintRequest& r) {
  std::string error;
  if (!(a.paper.empty() ? systemPaper(r.paper, error) : parsePaper(a.paper, r.paper, error))) {
    std::cerr << "kestrl: " << (a.paper.empty() ? "" : "--paper: ") << error << "\n";
    return kExitUsage;
  }
  if (!a.margin.empty() && !parseLength(a.margin, r.margin)) {
    std::cerr << "kestrl: --margin '" << a.margin.substr(0, 40)
              << "' is not a length such as 5mm or 0.25in\n";
    return kExitUsage;
  }
  r.width = a.printWidth;
  r.height = a.printHeight;
  return kExitOk;
}

void addRenderOptions(CLI::App* cmd, RenderArgs& a) {
  cmd->add_option("--mode", a.mode,
                  "halftone mode: 1 error spreading (default), 3 ordered screening, 0 eight flat "
                  "colours (grey: ordered screening); 2 is refused")
      ->check(whole(0, 3));
  cmd->add_option("--color-method", a.colorMethod,
                  "colour engine choice in modes 0 and 3: 0 or 2 diffuse one ink, 1 or 3 do not")
      ->check(whole(0, 3));
  cmd->add_option(
         "--bits", a.bits,
         "bits per pixel: 1 (dot or none) or 2 (no, small, medium, large; modes 1 and 3 at "
         "1440x720 or equal resolutions); default 2 for colour in modes 1 and 3, else 1")
      ->check(whole(1, 2));
  cmd->add_option("--resolution", a.resolution,
                  "XRESxYRES in dots per inch (default: 1440x720 for colour, 720x720 for grey)");
  cmd->add_option("--source-step", a.sourceStep,
                  "0: one source value per pixel, 1: per two pixels, -1: two per pixel (one-bit "
                  "grey; elsewhere like 0); the whole picture prints at the same size")
      ->check(whole(-1, 1));
  cmd->add_option("--ink-set", a.inkSet,
                  "ink set word (default 4 for CMYK ink levels, 1 for colour input, 0 for grey)")
      ->check(whole(0, 255));
  for (auto [name, value] : {std::pair{"--brightness", &a.brightness},
                             {"--contrast", &a.contrast},
                             {"--saturation", &a.saturation},
                             {"--red-offset", &a.red},
                             {"--green-offset", &a.green},
                             {"--blue-offset", &a.blue}}) {
    cmd->add_option(name, *value, "-50 to 50")->check(whole(-50, 50));
  }
  cmd->add_option("--gamma", a.gamma,
                  "gamma of the tone curves in hundredths, 100 to 300 (library default 150)")
      ->check(whole(100, 300));
  cmd->add_option("--select-number", a.selectNumber,
                  "matched against the directory entries' select value")
      ->check(whole(kInt32Min, kInt32Max));
  cmd->add_option("--select-name", a.selectName, "matched against the directory's second name list")
      ->check(whole(kInt32Min, kInt32Max));
  cmd->add_option("--class-override", a.classOverride,
                  "1: corrected class with composite grey, 4: plain class (0 to 255)")
      ->check(whole(0, 255));
  cmd->add_option("--color-class", a.colorClass,
                  "table class (2 stands for the corrected class 4; 0 to 255)")
      ->check(whole(0, 255));
  cmd->add_option("--grey-style", a.greyStyle,
                  "with colour input, 50 prints the neutral axis with black only (0 or 50)")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            const auto v = parseWhole(text, 0, 50);
            return v && (*v == 0 || *v == 50) ? "" : quoteInput(text) + " is not 0 or 50";
          },
          "0 or 50"));
  cmd->add_option("--calibration", a.calibration,
                  "calibration record KEY:V1,V2,V3,V4 (values 30-70, key 0 if omitted)");
  cmd->add_option("--curves", a.curves,
                  "file of three 256-byte tone curves (red, green, blue) used instead of the "
                  "adjustments (sets adjustMode 1)")
      ->check(CLI::ExistingFile);
  cmd->add_option("--resources", a.resources, "resource pack folder (default: the built-in pack)")
      ->check(CLI::ExistingDirectory);
  cmd->add_option("--runs", a.runs, "Halftone calls per line (exercises run joining)")
      ->check(whole(1, 1 << 20));
  cmd->add_option("--preview-size", a.previewSize, "longest side of preview.png")
      ->check(whole(kMinPreviewSize, kMaxPreviewSize));
  cmd->add_option("--page", a.page, "page of a PDF or multi-page TIFF, 1 for the first")
      ->check(whole(1, kMaxPage));
  cmd->add_option("--dpi", a.dpi,
                  "draw a PDF page at this resolution, then scale it onto the printer grid "
                  "(default: drawn straight onto the grid)")
      ->check(decimal(1, 4800));
  cmd->add_flag("--all-pages", a.allPages,
                "render every page into numbered folders OUTDIR/page-1, OUTDIR/page-2, ...");
  cmd->add_flag("--grey", a.grey, "feed the picture as one grey channel");
  cmd->add_flag("--colour,--color", a.colour, "feed the picture as RGB colour");
  cmd->add_flag("--no-progress", a.noProgress, "never draw the progress bar");
  addPrintSizeOptions(cmd, a);
}

// The printer's colour: profile, intent, and the preview as a soft proof.
void addColourOptions(CLI::App* cmd, ColourChoice& c, bool proofOption) {
  cmd->add_option("--profile", c.profilePath,
                  "the printer's ICC output profile (CMYK, v2 or v4): colour tables and proof are "
                  "made for it (default: the built-in printer profile)")
      ->check(CLI::ExistingFile);
  cmd->add_option("--intent", c.intent,
                  "perceptual, relative (with black-point compensation), saturation or absolute")
      ->capture_default_str();
  if (proofOption)
    cmd->add_option("--proof", c.proof,
                    "on: preview.png shows the print through the profile; "
                    "off: plain ink colours")
        ->capture_default_str();
}

// The pack a job uses: the folder given, or the default pack made for the printer.
int packFor(const std::string& folder, const Printer& printer, pack::Pack& pack) {
  if (!folder.empty()) return loadPack(folder, pack);
  pack = defaultPackFor(printer);
  return kExitOk;
}

// The job a picture gets when the command line names no mode or depth.
DefaultJob defaultJob(const RenderArgs& a, PictureKind kind) {
  if (kind == PictureKind::kInks) return kInkLevelsDefault;
  const bool colour = a.colour || (!a.grey && kind == PictureKind::kColour);
  return colour ? kColourDefault : kGreyDefault;
}

int checkArgs(const RenderArgs& a, PrintMode& m) {
  if (!a.resolution) {
    // Until the picture says what it is, the resolution of the input asked
    // for: what a PDF page is drawn at by default.
    const DefaultJob& asked = a.grey ? kGreyDefault : kColourDefault;
    m.xResolution = asked.xResolution;
    m.yResolution = asked.yResolution;
  } else if (!parseResolution(*a.resolution, m.xResolution, m.yResolution)) {
    std::cerr << "kestrl: --resolution " << quoteInput(*a.resolution)
              << " is not XRESxYRES with each from 1 to " << kMaxResolution << ", e.g. 1440x720\n";
    return kExitUsage;
  }
  if (a.grey && a.colour) {
    std::cerr << "kestrl: --grey and --colour exclude each other\n";
    return kExitUsage;
  }
  if (a.allPages && a.input == "-") {
    std::cerr << "kestrl: --all-pages needs a file; standard input is read only once\n";
    return kExitUsage;
  }
  return kExitOk;
}

// Why the library would refuse this job on every run, or empty: the job is
// refused before it starts, with the combinations that work.
std::string refusal(const PrintMode& m, bool colour, bool inks, std::optional<uint32_t> inkSet) {
  constexpr const char* kWorking =
      "; what prints: mode 1 or 3, one- or two-bit (two-bit at 1440x720 or equal "
      "resolutions), or mode 0 one-bit";
  if (m.mode == 2)
    return std::string(
               "mode 2 prints nothing: the library keeps no error line for it, so every "
               "line is refused (status 513)") +
           kWorking;
  if (m.bitsPerPixel == 2 && m.mode != 1 && m.mode != 3)
    return "two-bit output exists in modes 1 and 3 only (mode " + std::to_string(m.mode) +
           " answers status 512)" + kWorking;
  const bool equal = m.xResolution == m.yResolution;
  if (m.bitsPerPixel == 2 && !equal && !(m.xResolution == 1440 && m.yResolution == 720))
    return "two-bit output needs 1440x720 or equal resolutions (" + std::to_string(m.xResolution) +
           "x" + std::to_string(m.yResolution) + " answers status 513)" + kWorking;
  if (inks && m.mode != 1)
    return "a CMYK picture prints its ink levels in mode 1 only (one- or two-bit); add --colour "
           "to print it as RGB";
  if (!inkSet) return {};
  if (*inkSet == 3 || *inkSet == 7) return "--ink-set 3 and 7 are refused by the library";
  if (colour != (*inkSet != 0))
    return colour ? "colour input needs a non-zero --ink-set" : "grey input needs --ink-set 0";
  if (inks != (*inkSet == 4))
    return inks ? "a CMYK picture's ink levels need --ink-set 4; add --colour to print it as RGB"
                : "--ink-set 4 reads four ink levels a pixel, which only a CMYK picture has";
  return {};
}

int toOptions(const RenderArgs& a, const PictureInfo& picture, RenderOptions& o) {
  PrintMode& m = o.job.printMode;
  if (int code = checkArgs(a, m); code != kExitOk) return code;
  o.input = a.grey ? InputKind::kGrey : a.colour ? InputKind::kColour : InputKind::kAuto;
  const DefaultJob defaults = defaultJob(a, picture.kind);
  m.mode = a.mode.value_or(defaults.mode);
  if (!a.resolution) {
    m.xResolution = defaults.xResolution;
    m.yResolution = defaults.yResolution;
  }
  m.colorMethod = a.colorMethod;
  m.bitsPerPixel = a.bits.value_or(twoBitModeExists(m.mode) ? defaults.bits : 1);
  m.sourceStep = a.sourceStep;
  const bool inks = picture.kind == PictureKind::kInks && !a.colour && !a.grey;
  const bool colour = a.colour || (!a.grey && picture.kind != PictureKind::kGrey);
  if (const std::string why = refusal(m, colour, inks, a.inkSet); !why.empty()) {
    std::cerr << "kestrl: " << why << "\n";
    return kExitUsage;
  }
  ColorSettings& c = o.job.colour;
  c = ColorSettings{0,
                    a.brightness,
                    a.contrast,
                    a.saturation,
                    a.red,
                    a.green,
                    a.blue,
                    a.selectNumber,
                    a.selectName,
                    a.classOverride,
                    a.colorClass,
                    a.greyStyle,
                    0,
                    0,
                    nullptr};
  o.job.gamma = a.gamma;
  if (!a.calibration.empty()) {
    std::string error;
    if (!parseCalibration(a.calibration, o.job.calibrationRecord, error)) {
      std::cerr << "kestrl: --calibration: " << error << "\n";
      return kExitUsage;
    }
    for (size_t i = 4; i + 2 < o.job.calibrationRecord.size(); ++i) {
      const uint8_t v = o.job.calibrationRecord[i];
      if (v < 30 || v > 70) {
        std::cerr << "kestrl: warning: calibration value " << int{v}
                  << " lies outside 30 to 70; the library ignores the record\n";
        break;
      }
    }
  }
  if (!a.curves.empty()) {
    constexpr size_t kCurveBytes = 3 * 256;
    if (!pack::readFile(a.curves, o.job.curves) || o.job.curves.size() != kCurveBytes) {
      std::cerr << "kestrl: --curves " << a.curves
                << ": needs exactly 768 bytes (three curves of 256)\n";
      return kExitBadInput;
    }
    c.adjustMode = 1;
  }
  o.inkSet = a.inkSet;
  o.outDir = a.outDir;
  if (int code = toPrintRequest(a, o.size); code != kExitOk) return code;
  o.runs = a.runs;
  o.previewSize = a.previewSize;
  o.progress = !a.noProgress && isatty(STDERR_FILENO);
  return kExitOk;
}

// A message quoting the input it was given, cut to a readable length.
std::string shortened(const std::string& message) {
  constexpr size_t kLimit = 300;
  if (message.size() <= kLimit) return message;
  return message.substr(0, kLimit) + "... (" + std::to_string(message.size()) +
         " characters in all)";
}

// What a render or the demo writes: a folder holding anything else is
// never replaced.
bool isRenderOutput(const fs::directory_entry& e) {
  const std::string name = e.path().filename().string();
  if (e.is_directory())
    return name == "colour" || name == "grey" ||
           (name.starts_with("page-") && parseWhole(std::string_view(name).substr(5), 1, kMaxPage));
  const std::string ext = e.path().extension().string();
  return name == "preview.png" || name == "demo-input.png" ||
         (name.starts_with("plane-") && (ext == ".pbm" || ext == ".pgm"));
}

// Opens a page of the picture and turns the arguments into its job; the job
// is refused here, before anything is written.
int preparePage(const RenderArgs& a, const Printer& printer, const PictureRequest& request,
                std::unique_ptr<Picture>& picture, RenderOptions& options) {
  std::string error;
  picture = openPicture(request, error);
  if (!picture) {
    std::cerr << "kestrl: " << error << "\n";
    return kExitBadInput;
  }
  if (int code = toOptions(a, picture->info(), options); code != kExitOk) return code;
  options.proof = printer.proof ? printer.model.get() : nullptr;
  return kExitOk;
}

int runRender(const RenderArgs& a) {
  PrintMode checked{};
  if (int code = checkArgs(a, checked); code != kExitOk) return code;
  Printer printer;
  if (int code = openPrinter(a.printer, printer, std::cerr); code != kExitOk) return code;
  pack::Pack pack;
  if (int code = packFor(a.resources, printer, pack); code != kExitOk) return code;
  if (PrintRequest size; toPrintRequest(a, size) != kExitOk) return kExitUsage;
  PictureRequest request{a.input,           a.allPages ? 1 : a.page,
                         a.dpi.value_or(0), a.grey || a.colour,
                         !a.noAutorotate,   a.verbose};
  std::unique_ptr<Picture> picture;
  RenderOptions options;
  if (int code = preparePage(a, printer, request, picture, options); code != kExitOk) return code;
  pack::StagedFolder staged;
  std::string error;
  if (!staged.begin(a.outDir, isRenderOutput, error)) {
    std::cerr << "kestrl: " << error << "\n";
    return kExitFailure;
  }
  const uint32_t pages = a.allPages ? picture->info().pages : 1;
  for (uint32_t page = 1; page <= pages; ++page) {
    if (page > 1) {
      request.page = page;
      options = {};
      if (int code = preparePage(a, printer, request, picture, options); code != kExitOk)
        return code;
    }
    fs::path dir = staged.path();
    if (a.allPages) {
      dir /= "page-" + std::to_string(page);
      fs::create_directory(dir);
    }
    options.outDir = dir.string();
    if (int code = render(*picture, pack, options, std::cout, std::cerr); code != kExitOk)
      return code;
  }
  if (!staged.commit(error)) {
    std::cerr << "kestrl: " << error << "\n";
    return kExitFailure;
  }
  std::cout << "kestrl: outputs in " << a.outDir << "\n";
  return kExitOk;
}

int runDemo(const std::string& outDir, bool noProgress) {
  const Image image = makeDemoImage();
  std::string error;
  pack::StagedFolder staged;
  if (!staged.begin(outDir, isRenderOutput, error) ||
      !writePng((staged.path() / "demo-input.png").string(), image, error)) {
    std::cerr << "kestrl: " << error << "\n";
    return kExitFailure;
  }
  const pack::Pack pack = builtInPack();
  Printer printer;
  if (int code = openPrinter({}, printer, std::cerr); code != kExitOk) return code;
  struct Part {
    const char* folder;
    const char* what;
    PrintMode mode;
    InputKind input;
  };
  // Both pages in mode 1 at 1440 x 720 with small, medium and large dots:
  // colour by four-level colour diffusion, grey by two-bit screening with
  // small-dot diffusion.
  const Part parts[] = {
      {"colour",
       "colour, mode 1, two-bit, 1440 x 720 dpi",
       {1, 0, 1, 1, 1440, 720, 2, 0, 0, 0, 0},
       InputKind::kColour},
      {"grey",
       "grey, mode 1, two-bit, 1440 x 720 dpi",
       {1, 0, 0, 0, 1440, 720, 2, 0, 0, 0, 0},
       InputKind::kGrey},
  };
  std::cout << "kestrl demo: test picture " << (fs::path(outDir) / "demo-input.png").string()
            << "\n";
  std::string written;
  for (const Part& part : parts) {
    RenderOptions o;
    o.outDir = (staged.path() / part.folder).string();
    fs::create_directory(o.outDir);
    o.job.printMode = part.mode;
    o.input = part.input;
    o.size.width = 5;
    o.proof = printer.model.get();
    o.progress = !noProgress && isatty(STDERR_FILENO);
    std::cout << "kestrl demo: " << part.what << ", 5 inches wide\n";
    RenderSummary summary;
    const std::unique_ptr<Picture> picture = pictureFromImage(image, error);
    if (!picture) {
      std::cerr << "kestrl: " << error << "\n";
      return kExitFailure;
    }
    if (int code = render(*picture, pack, o, std::cout, std::cerr, &summary); code != kExitOk)
      return code;
    for (const std::string& name : summary.outputs)
      written += (fs::path(outDir) / part.folder / name).string() + "\n";
  }
  if (!staged.commit(error)) {
    std::cerr << "kestrl: " << error << "\n";
    return kExitFailure;
  }
  std::cout << written << "kestrl demo: open "
            << (fs::path(outDir) / "colour" / "preview.png").string() << " and "
            << (fs::path(outDir) / "grey" / "preview.png").string()
            << " to see the printed pages\n";
  return kExitOk;
}

int runPackExport(const std::string& outDir) {
  const pack::PackResult result = pack::writePack(builtInPack(), outDir);
  if (!result.ok()) {
    std::cerr << "kestrl: " << result.error << "\n";
    return kExitFailure;
  }
  std::cout << "kestrl: default pack written to " << outDir << "\n";
  return kExitOk;
}

int runPackDump(const std::string& file, const std::string& kindText, bool json) {
  std::vector<uint8_t> bytes;
  if (!pack::readFile(file, bytes)) {
    std::cerr << "kestrl: " << file << ": cannot read\n";
    return kExitBadInput;
  }
  const std::string name = fs::path(file).filename().string();
  int32_t id = -1;
  if (!pack::idFromFileName(name, id)) id = -1;
  pack::BlockKind kind{};
  if (!kindText.empty()) {
    if (!pack::kindFromName(kindText, kind)) {
      std::cerr << "kestrl: unknown block kind '" << kindText << "'\n";
      return kExitUsage;
    }
  } else if (fs::path(file).extension() == ".txt") {
    kind = pack::BlockKind::kDirectory;  // text files are directories
  } else if (!pack::guessKind(bytes, id, false, kind)) {
    std::cerr << "kestrl: " << file << ": not a block of any known kind (name one with --kind)\n";
    return kExitBadInput;
  }
  if (const std::string why = pack::checkBlock(kind, bytes); !why.empty()) {
    std::cerr << "kestrl: " << file << ": not a usable " << pack::kindName(kind) << ": " << why
              << "\n";
    return kExitBadInput;
  }
  if (json) {
    nlohmann::json j = pack::blockToJson(kind, bytes);
    if (id >= 0) j["id"] = id;
    std::cout << j.dump(1) << "\n";
  } else {
    std::cout << name << " (" << bytes.size() << " bytes): " << pack::dumpBlock(kind, bytes);
  }
  return kExitOk;
}

int runPackBuild(const std::string& description, const std::string& outDir) {
  std::ifstream in(description);
  if (!in) {
    std::cerr << "kestrl: " << description << ": cannot open\n";
    return kExitBadInput;
  }
  pack::Pack pack;
  try {
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    pack = pack::packFromJson(pack::parseDescription(text));
  } catch (const std::exception& e) {
    std::cerr << "kestrl: " << description << ": " << shortened(e.what()) << "\n";
    return kExitBadInput;
  }
  const pack::PackResult result = pack::writePack(pack, outDir);
  if (!result.ok()) {
    std::cerr << "kestrl: " << result.error << "\n";
    return kExitFailure;
  }
  for (const auto& [id, resource] : pack.resources) {
    std::cout << (fs::path(outDir) / pack::resourceFileName(id, resource)).string() << "\n";
  }
  return kExitOk;
}

int run(int argc, char** argv) {
  CLI::App app{"kestrl: render pictures through the Kestrl library and manage resource packs"};
  app.require_subcommand(1);
  RenderArgs renderArgs;
  CLI::App* render =
      app.add_subcommand("render", "halftone a picture or PDF page as a driver would");
  render
      ->add_option("INPUT", renderArgs.input,
                   "JPEG, PNG, TIFF, WebP, PNM or PDF file (grey, RGB or CMYK); - for standard "
                   "input")
      ->required();
  render->add_option("-o,--output", renderArgs.outDir, "output folder")->capture_default_str();
  addRenderOptions(render, renderArgs);
  addColourOptions(render, renderArgs.printer, true);

  std::string demoDir = "out/demo";
  bool demoNoProgress = false;
  CLI::App* demo =
      app.add_subcommand("demo", "render the built-in test picture with the default pack");
  demo->add_option("OUTDIR", demoDir, "output folder")->capture_default_str();
  demo->add_flag("--no-progress", demoNoProgress, "never draw the progress bar");

  std::string proofDir = "out/proof-check", proofResources;
  ColourChoice proofPrinter;
  CLI::App* proofCmd = app.add_subcommand(
      "proof-check",
      "colour accuracy of every default job kind, in CIEDE2000, with a contact sheet");
  proofCmd->add_option("OUTDIR", proofDir, "output folder")->capture_default_str();
  proofCmd->add_option("--resources", proofResources, "resource pack folder to check instead")
      ->check(CLI::ExistingDirectory);
  addColourOptions(proofCmd, proofPrinter, false);

  CLI::App* packCmd = app.add_subcommand("pack", "export, inspect and build resource packs");
  packCmd->require_subcommand(1);
  std::string exportDir, dumpFile, dumpKind, buildFile, buildDir;
  bool dumpJson = false;
  CLI::App* exportCmd = packCmd->add_subcommand("export", "write the default pack as files");
  exportCmd->add_option("OUTDIR", exportDir, "output folder")->required();
  CLI::App* dump = packCmd->add_subcommand("dump", "decode a resource block into readable text");
  dump->add_option("FILE", dumpFile, "the block file")->required();
  dump->add_option("--kind", dumpKind, "block kind, when the file name and contents do not tell");
  dump->add_flag("--json", dumpJson, "print the block as a JSON description that pack build reads");
  CLI::App* build =
      packCmd->add_subcommand("build", "make resource blocks from a JSON description");
  build->add_option("DESCRIPTION", buildFile, "JSON description")->required();
  build->add_option("OUTDIR", buildDir, "output folder")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help
    std::cerr << "kestrl: " << e.what() << " (see --help)\n";
    return kExitUsage;
  }
  if (*render) return runRender(renderArgs);
  if (*demo) return runDemo(demoDir, demoNoProgress);
  if (*proofCmd) {
    Printer printer;
    pack::Pack pack;
    if (int code = openPrinter(proofPrinter, printer, std::cerr); code != kExitOk) return code;
    if (int code = packFor(proofResources, printer, pack); code != kExitOk) return code;
    return proofCheck(pack, printer, proofDir, std::cout, std::cerr);
  }
  if (*exportCmd) return runPackExport(exportDir);
  if (*dump) return runPackDump(dumpFile, dumpKind, dumpJson);
  return runPackBuild(buildFile, buildDir);
}

}  // namespace
}  // namespace kestrl::tool

int main(int argc, char** argv) {
  try {
    return kestrl::tool::run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "kestrl: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "kestrl: " << e.what() << "\n";
  }
  return kestrl::tool::kExitFailure;
}
