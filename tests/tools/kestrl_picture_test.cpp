// How `kestrl render` reads pictures: the print size and the picture's
// proportions on every printer grid, the paper, the EXIF orientation, PDF
// pages drawn band by band, pages of multi-page files, and the messages of
// the image libraries folded into one line.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/kestrl_command.h"

namespace {

namespace fs = std::filesystem;

using Outcome = kestrl::testing::Result;
using kestrl::testing::readBytes;

// `kestrl render` with `environment` before it (e.g. "PAPERSIZE=a4"),
// standard output and error together.
Outcome kestrl(const std::string& args, const std::string& environment = "PAPERSIZE=2x2in") {
  return kestrl::testing::run(environment + " " + KESTRL_TOOL_PATH + " render " + args +
                              " --no-progress 2>&1");
}

// The number just before `label` ("8 bands" -> 8 for " band").
double numberBefore(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return -1;
  const size_t start = text.rfind(' ', at - 1);
  return std::atof(text.c_str() + start + 1);
}

// Grid size from "..., 2160 x 540 pixels (...)".
std::pair<int, int> gridSize(const std::string& output) {
  const size_t at = output.find(" pixels (");
  const size_t cross = output.rfind(" x ", at);
  const size_t start = output.rfind(' ', cross - 1);
  return {std::atoi(output.c_str() + start + 1), std::atoi(output.c_str() + cross + 3)};
}

// Dots in the left and right halves of a one-bit plane.
std::pair<int, int> dotsByHalf(const fs::path& pbm) {
  const kestrl::testing::Plane plane = kestrl::testing::readPlane(pbm);
  std::pair<int, int> sum{0, 0};
  for (unsigned y = 0; y < plane.height; ++y) {
    for (unsigned x = 0; x < plane.width; ++x)
      (x < plane.width / 2 ? sum.first : sum.second) += int(plane.at(x, y));
  }
  return sum;
}

// The mean dots a row in rows first .. first + count of a one-bit plane.
double dotsPerRow(const kestrl::testing::Plane& plane, unsigned first, unsigned count) {
  double sum = 0;
  for (unsigned y = first; y < first + count && y < plane.height; ++y) {
    for (unsigned x = 0; x < plane.width; ++x) sum += plane.at(x, y);
  }
  return sum / count;
}

// A grey picture `width` x `height` whose upper `dark` rows are black;
// `pages` such pictures stacked for a multi-page file; saved by libvips with
// the resolution (dpi, 0 for libvips' default) and EXIF orientation given.
void saveGrey(const std::string& target, int width, int height, int dark, double dpi = 0,
              int orientation = 1, int pages = 1) {
  std::vector<uint8_t> pixels;
  for (int p = 0; p < pages; ++p) {
    for (int y = 0; y < height; ++y)
      pixels.insert(pixels.end(), size_t(width), y < dark ? 0 : uint8_t(255 - 60 * p));
  }
  kestrl::testing::saveWithVips(
      pixels, width, height * pages, 1, target,
      {.dpi = dpi, .orientation = orientation, .pageHeight = pages > 1 ? height : 0});
}

// A grey picture of pdfPage's triangle: row y black over its left y / height.
void saveTriangle(const std::string& target, int width, int height) {
  std::vector<uint8_t> pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) pixels.push_back(x < width * y / height ? 0 : 255);
  }
  kestrl::testing::saveWithVips(pixels, width, height, 1, target);
}

// A one-page PDF of `width` x `height` points holding a black triangle
// whose width grows from nothing at the top to the whole page at the
// bottom, drawn as one glyph of a font defined in the file (the text path
// of the renderer, no font files needed).
std::string pdfPage(double width, double height) {
  const std::string box = std::to_string(width) + " " + std::to_string(height);
  const std::string text = "BT /F1 1 Tf " + std::to_string(width) + " 0 0 " +
                           std::to_string(height) + " 0 0 Tm (A) Tj ET";
  const std::string glyph = "1000 0 d0 0 0 m 1000 0 l 0 1000 l f";
  using kestrl::testing::pdfStream;
  return kestrl::testing::pdfFile(
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + box +
           "] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
       pdfStream(text),
       "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 "
       "0] /CharProcs << /tri 6 0 R >> /Encoding << /Type /Encoding /Differences [65 /tri] >> "
       "/FirstChar 65 /LastChar 65 /Widths [1000] >>",
       pdfStream(glyph)});
}

class KestrlPicture : public kestrl::testing::FolderTest {
 protected:
  std::string out(const std::string& name = "out") const { return " -o " + path(name); }
};

// A 300 x 200 picture keeps its 3:2 shape (and a 100 x 300 one its 1:3)
// within one printer pixel on every grid, whichever way its size is found,
// and the summary says the size.
TEST_F(KestrlPicture, AspectIsKeptOnEveryGrid) {
  saveGrey(path("plain.pgm"), 300, 200, 50);
  saveGrey(path("stated.png"), 300, 200, 50, 300);
  saveGrey(path("tall.pgm"), 100, 300, 50);
  const struct {
    std::string args, inches;
    double aspect = 2.0 / 3;
  } sizes[] = {
      {path("plain.pgm") + " --print-width 1.3", "1.30 x 0.87 in (33.02 x 22.01 mm) as asked"},
      {path("plain.pgm") + " --print-height 0.7", "1.05 x 0.70 in (26.67 x 17.78 mm) as asked"},
      {path("plain.pgm"), "1.50 x 1.00 in (38.10 x 25.40 mm) fitted to 2x2in"},
      {path("stated.png"), "1.00 x 0.67 in (25.40 x 16.93 mm) at the picture's own resolution"},
      {path("stated.png") + " --paper 1x1in", "0.50 x 0.33 in (12.70 x 8.47 mm) fitted to 1x1in"},
      {path("tall.pgm"), "0.50 x 1.50 in (12.70 x 38.10 mm) fitted to 2x2in", 3},
  };
  for (const auto& size : sizes) {
    for (const auto& [x, y] : {std::pair{720, 720}, {1440, 720}, {720, 360}}) {
      const std::string args = size.args + " --grey --mode 3 --resolution " + std::to_string(x) +
                               "x" + std::to_string(y);
      SCOPED_TRACE(args);
      const Outcome r = kestrl(args + out());
      ASSERT_EQ(r.exitCode, 0) << r.output;
      EXPECT_NE(r.output.find(size.inches), std::string::npos) << r.output;
      const auto [width, height] = gridSize(r.output);
      const double inchesWide = std::atof(r.output.c_str() + r.output.find("-> ") + 3);
      EXPECT_EQ(width, std::lround(inchesWide * x)) << r.output;
      EXPECT_LE(std::abs(height - double(width) / x * size.aspect * y), 1.0) << r.output;
    }
  }
  // Both sides given set each side.
  const Outcome both =
      kestrl(path("plain.pgm") + " --print-width 1 --print-height 1 --grey" + out());
  EXPECT_NE(both.output.find("720 x 720 pixels"), std::string::npos) << both.output;
}

// The paper comes from --paper, else from the system's setting; a paper or
// margin that leaves nothing to print on is refused before the job.
TEST_F(KestrlPicture, PaperAndMargins) {
  saveGrey(path("p.pgm"), 300, 200, 50);
  const std::string picture = path("p.pgm") + " --grey --mode 3 --resolution 360x720";
  const struct {
    std::string args, environment;
    int exitCode;
    std::string mention;
  } cases[] = {
      {picture, "PAPERSIZE=letter", 0, "8.00 x 5.33 in (203.20 x 135.47 mm) fitted to Letter"},
      {picture, "PAPERSIZE=a4", 0, "7.77 x 5.18 in (197.30 x 131.53 mm) fitted to A4"},
      {picture + " --paper A5", "PAPERSIZE=letter", 0, "fitted to A5"},
      {picture + " --paper 100x150mm --margin 0mm", "", 0, "3.94 x 2.62 in (100.00 x 66.67 mm)"},
      {picture + " --paper 4x3in --margin 0.5in", "", 0, "3.00 x 2.00 in"},
      {picture + " --paper 4x3", "", 2, "--paper"},
      {picture + " --paper 4x3in --margin 2in", "", 2, "--margin"},
      {picture + " --margin 5", "", 2, "--margin '5'"},
      {picture, "PAPERSIZE=nosuch", 2, "PAPERSIZE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.environment + " " + c.args);
    fs::remove_all(dir_ / "out");
    const Outcome r = kestrl(c.args + out(), c.environment);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.mention), std::string::npos) << r.output;
    EXPECT_EQ(fs::exists(dir_ / "out" / "plane-black.pbm"), c.exitCode == 0);
  }
}

// A JPEG stored on its side with EXIF orientation 6 (turn clockwise to
// view) prints upright: its stored top rows, black, become the right side.
TEST_F(KestrlPicture, OrientationSixPrintsUpright) {
  saveGrey(path("side.jpg"), 90, 60, 30, 0, 6);
  const Outcome upright = kestrl(path("side.jpg") + " --grey --print-width 1" + out());
  ASSERT_EQ(upright.exitCode, 0) << upright.output;
  EXPECT_NE(upright.output.find("JPEG 60 x 90, turned upright (EXIF orientation 6)"),
            std::string::npos)
      << upright.output;
  EXPECT_NE(upright.output.find("720 x 1080 pixels"), std::string::npos) << upright.output;
  const auto [left, right] = dotsByHalf(dir_ / "out" / "plane-black.pbm");
  EXPECT_GT(right, 20 * std::max(left, 1)) << left << " " << right;
  // As stored: landscape, black on top.
  const Outcome stored =
      kestrl(path("side.jpg") + " --grey --print-width 1 --no-autorotate" + out("stored"));
  EXPECT_NE(stored.output.find("JPEG 90 x 60, EXIF orientation 6 not applied"), std::string::npos)
      << stored.output;
  EXPECT_NE(stored.output.find("720 x 480 pixels"), std::string::npos) << stored.output;
  // Standard input turns too.
  const Outcome piped = kestrl("- --grey --print-width 1 < " + path("side.jpg") + out("piped"));
  EXPECT_EQ(readBytes(dir_ / "piped" / "plane-black.pbm"),
            readBytes(dir_ / "out" / "plane-black.pbm"))
      << piped.output;
}

// A page eight times taller streams in eight times as many bands of the
// same height, PDF, PNM and TIFF alike, and the process's peak memory does
// not follow the page; each band holds its own strip, also when a PDF is
// drawn at --dpi and scaled.
TEST_F(KestrlPicture, TallPagesStreamInBandsOfOneSize) {
  const bool timeTool = fs::exists("/usr/bin/time");
  for (const std::string kind : {"pdf", "pgm", "tif"}) {
    std::vector<std::array<double, 3>> runs;  // bands, largest band, peak kB
    for (const auto& [height, dpi] : {std::pair{144, ""}, {1152, ""}, {1152, " --dpi 300"}}) {
      if (kind != "pdf" && *dpi) continue;
      SCOPED_TRACE(kind + dpi);
      const std::string file = path("page" + std::to_string(height) + "." + kind);
      if (kind == "pdf") {
        std::ofstream(file, std::ios::binary) << pdfPage(144, height);
      } else {
        saveTriangle(file, 288, 2 * height);  // 2 inches at 144 pixels an inch
      }
      const std::string peak = path("peak.txt");
      const Outcome r =
          kestrl(file + " --grey --mode 3 --resolution 720x720 --print-width 2" + dpi + out(),
                 timeTool ? "/usr/bin/time -f %M -o " + peak : std::string());
      ASSERT_EQ(r.exitCode, 0) << r.output;
      const std::vector<uint8_t> kilobytes = timeTool ? readBytes(peak) : std::vector<uint8_t>{};
      runs.push_back({numberBefore(r.output, " band"), numberBefore(r.output, " lines:"),
                      std::atof(std::string(kilobytes.begin(), kilobytes.end()).c_str())});
      // A line a quarter down is a quarter black, three quarters down three
      // quarters.
      const kestrl::testing::Plane plane =
          kestrl::testing::readPlane(dir_ / "out" / "plane-black.pbm");
      ASSERT_EQ(plane.height, unsigned(height * 10));
      for (double at : {0.0, 0.25, 0.5, 0.75, 0.99}) {
        EXPECT_NEAR(dotsPerRow(plane, unsigned(at * plane.height), 10), 1440 * at, 1440 * 0.02)
            << at;
      }
    }
    EXPECT_EQ(runs[0][1], runs[1][1]);
    EXPECT_GE(runs[1][0], 7.5 * runs[0][0]);
    // A whole drawn page of the taller size would add 33 MB.
    if (timeTool) {
      EXPECT_LT(runs[1][2], runs[0][2] + 12000) << runs[0][2] << " " << runs[1][2];
    }
  }
}

// Pages of multi-page files, pages that do not exist, and damaged files
// named by their real format; the image libraries' warnings never make a
// further line unless asked for (a run that prints says what it made, how
// its preview shows the print, and where the outputs are).
TEST_F(KestrlPicture, PagesFormatsAndMessages) {
  saveGrey(path("three.gif"), 40, 20, 0, 0, 1, 3);
  saveGrey(path("one.webp[lossless]"), 40, 20, 10);
  saveGrey(path("one.png"), 40, 20, 10);
  saveGrey(path("whole.tif"), 40, 20, 10);
  saveGrey(path("whole.jpg"), 400, 200, 100);
  for (const char* name : {"whole.tif", "whole.jpg"}) {
    std::vector<uint8_t> bytes = readBytes(path(name));
    bytes.resize(name[6] == 't' ? 6 : bytes.size() / 2);
    kestrl::testing::writeBytes(path(std::string("cut") + (name + 5)), "", bytes);
  }
  std::ofstream(path("huge.pdf"), std::ios::binary) << pdfPage(2880, 2880);
  const std::string grey = " --grey --print-width 0.5";
  const struct {
    std::string args;
    int exitCode;
    std::string mention;
    int lines;
  } cases[] = {
      {path("three.gif") + " --page 2" + grey, 0, "GIF 40 x 20, page 2 of 3", 3},
      {path("three.gif") + " --page 4" + grey, 3,
       "--page 4 is past the last page of this 3-page GIF", 1},
      {path("one.webp") + " --page 7" + grey, 3, "this one-page WebP", 1},
      {path("one.png") + " --page 2" + grey, 3, "this one-page PNG", 1},
      {path("cut.tif") + grey, 3, "TIFF", 1},
      {path("cut.jpg") + grey, 3, "JPEG", 1},
      {path("huge.pdf") + " --print-width 200 --resolution 1440x720", 2, "--print-width", 1},
      {path("huge.pdf") + " --dpi 4800" + grey, 3, "--dpi", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = kestrl(c.args + out());
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.mention), std::string::npos) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), c.lines) << r.output;
  }
  // Each page of the GIF prints: page 1 white, pages 2 and 3 ever darker.
  ASSERT_EQ(kestrl(path("three.gif") + " --all-pages" + grey + out("all")).exitCode, 0);
  std::vector<int> dots;
  for (const char* page : {"page-1", "page-2", "page-3"}) {
    const auto [left, right] = dotsByHalf(dir_ / "all" / page / "plane-black.pbm");
    dots.push_back(left + right);
  }
  EXPECT_EQ(dots[0], 0);
  EXPECT_GT(dots[1], 0);
  EXPECT_GT(dots[2], dots[1] * 3 / 2);
  // --verbose shows what libvips said about the truncated JPEG.
  const Outcome verbose = kestrl(path("cut.jpg") + grey + " --verbose" + out());
  EXPECT_GT(std::count(verbose.output.begin(), verbose.output.end(), '\n'), 1) << verbose.output;
}

}  // namespace
