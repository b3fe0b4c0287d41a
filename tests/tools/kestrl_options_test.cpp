// The command's options: numbers read strictly, every source step printing
// the whole picture, jobs the library refuses stopped before anything is
// written, and an output folder that always holds exactly one whole run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/kestrl_command.h"

namespace kestrl::testing {
namespace {

namespace fs = std::filesystem;

// Every file below a folder with its bytes, hidden ones included.
std::map<std::string, std::vector<uint8_t>> snapshot(const fs::path& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) files[fs::relative(e.path(), folder).string()] = readBytes(e.path());
  }
  return files;
}

// The share of full ink in each quarter of the page's width, over all planes
// (a one-bit dot counts 1, a two-bit dot its code in thirds).
std::vector<double> quarterCoverage(const fs::path& folder) {
  std::vector<double> sums(4, 0);
  double pixels = 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (!e.path().filename().string().starts_with("plane-")) continue;
    const Plane plane = readPlane(e.path());
    for (unsigned y = 0; y < plane.height; ++y) {
      for (unsigned x = 0; x < plane.width; ++x) sums[4 * x / plane.width] += plane.at(x, y);
    }
    pixels += double(plane.width) * plane.height / 4;
  }
  for (double& s : sums) s /= pixels;
  return sums;
}

class KestrlOptions : public kestrl::testing::FolderTest {
 protected:
  // Four stripes across the picture, from white to dark: grey, or the same
  // levels in three colours.
  std::string stripes(const std::string& name, int bands, uint32_t width = 96,
                      uint32_t height = 24) const {
    std::vector<uint8_t> pixels;
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        const auto level = static_cast<uint8_t>(255 - 80 * (4 * x / width));
        for (int b = 0; b < bands; ++b) pixels.push_back(b == 1 ? 255 - level / 2 : level);
      }
    }
    writeBytes(dir_ / name,
               std::string(bands == 1 ? "P5\n" : "P6\n") + std::to_string(width) + " " +
                   std::to_string(height) + "\n255\n",
               pixels);
    return path(name);
  }

  // A picture saved by libvips: the suffix picks the format.
  std::string saved(const std::string& name, int bands, bool cmyk = false) const {
    std::vector<uint8_t> pixels(48 * 24 * bands);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7);
    saveWithVips(pixels, 48, 24, bands, path(name), {.cmyk = cmyk});
    return path(name);
  }

  Result render(const std::string& args, const std::string& out = "out") {
    return kestrl("render " + args + " -o " + path(out) + " --no-progress");
  }
};

// Every number option refuses what is not a plain decimal within its range,
// naming the option; the plain forms are taken.
TEST_F(KestrlOptions, NumbersAreReadStrictly) {
  const std::string grey = stripes("grey.pgm", 1, 16, 8);
  const struct {
    std::string args;
    std::string mentions;  // empty: accepted
  } cases[] = {
      {"--print-width 0x10", "--print-width"},
      {"--print-width 1e1", "--print-width"},
      {"--print-width 1,5", "--print-width"},
      {"--print-width inf", "--print-width"},
      {"--print-width 1000.5", "--print-width"},
      {"--print-width .05", ""},
      {"--calibration 4294967346,50,50,50", "calibration value '4294967346'"},
      {"--calibration 50junk", "calibration value '50junk'"},
      {"--calibration 0:50,,50", "calibration value ''"},
      {"--calibration 254:50", "calibration key"},
      {"--calibration 3:50,50,50,50", ""},
      {"--color-method 9", "--color-method"},
      {"--grey-style 1234567", "--grey-style"},
      {"--grey-style 50", ""},
      {"--runs 0x2", "--runs"},
      {"--runs 2", ""},
      {"--mode +1", "--mode"},
      {"--mode 1.0", "--mode"},
      {"--select-number 2147483648", "--select-number"},
      {"--select-number -2147483649", "--select-number"},
      {"--dpi 1e3", "--dpi"},
      {"--page ' 1'", "--page"},
      {"--resolution 0x720x720", "--resolution"},
      {"--resolution 720x720junk", "--resolution"},
      {"--preview-size 4097", "--preview-size"},
      {"--brightness -51", "--brightness"},
      {"--brightness 51", "--brightness"},
      {"--brightness -50", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = render(grey + " " + c.args);
    EXPECT_EQ(r.exitCode, c.mentions.empty() ? 0 : 2) << r.output;
    EXPECT_NE(r.output.find(c.mentions), std::string::npos) << r.output;
  }
  // Numbers in messages are written as people write them.
  const Result wide = render(grey + " --print-width 1000 --resolution 28800x28800");
  EXPECT_NE(wide.output.find("a print of 1000.00 x 500.00 in"), std::string::npos) << wide.output;
}

// With each source step the whole picture prints at the page's size: the
// ink across the page follows the step-0 job quarter by quarter, for the
// engines that combine source pairs and for those that read one value a
// pixel (where step -1 reads like step 0).
TEST_F(KestrlOptions, EverySourceStepPrintsTheWholePicture) {
  const std::string grey = stripes("grey.pgm", 1), colour = stripes("colour.ppm", 3);
  const std::string jobs[] = {
      grey + " --mode 1",
      grey + " --mode 3",
      grey + " --mode 0",
      grey + " --mode 3 --bits 2 --resolution 720x720",
      colour + " --mode 0 --resolution 720x720",
      colour + " --mode 1",
      colour + " --mode 1 --bits 1 --resolution 720x720",
      colour + " --mode 3 --bits 1 --resolution 720x720",
  };
  for (const std::string& job : jobs) {
    ASSERT_EQ(render(job + " --source-step 0").exitCode, 0);
    const std::vector<double> reference = quarterCoverage(dir_ / "out");
    // The stripes darken across; a quarter may stray by a quarter of that.
    const double span = reference[3] - reference[0];
    EXPECT_GT(span, 0.1) << job;
    const double tolerance = std::min(0.08, span / 4);
    for (const char* step : {"1", "-1"}) {
      SCOPED_TRACE(job + " --source-step " + step);
      const Result r = render(job + " --source-step " + step);
      ASSERT_EQ(r.exitCode, 0) << r.output;
      const std::vector<double> coverage = quarterCoverage(dir_ / "out");
      for (int q = 0; q < 4; ++q)
        EXPECT_NEAR(coverage[q], reference[q], tolerance) << "quarter " << q;
    }
  }
}

// Jobs the library refuses on every run, and option values out of range,
// stop before anything is written: the previous run's outputs stay byte for
// byte, and nothing is left beside them.
TEST_F(KestrlOptions, RefusedJobsExitBeforeWritingAnything) {
  const std::string grey = stripes("grey.pgm", 1, 16, 8), colour = stripes("colour.ppm", 3, 16, 8);
  const std::string cmyk = saved("cmyk.tif", 4, true);
  ASSERT_EQ(render(colour).exitCode, 0);
  const auto before = snapshot(dir_);
  const struct {
    std::string args;
    std::vector<std::string> mentions;
  } cases[] = {
      {colour + " --mode 2", {"mode 2", "status 513", "mode 1 or 3"}},
      {grey + " --mode 2 --bits 1", {"mode 2"}},
      {cmyk + " --mode 2", {"mode 2"}},
      {grey + " --mode 0 --bits 2", {"modes 1 and 3 only", "status 512", "mode 0 one-bit"}},
      {colour + " --mode 1 --bits 2 --resolution 720x360", {"1440x720 or equal", "status 513"}},
      {cmyk + " --mode 0", {"mode 1 only", "--colour"}},
      {cmyk + " --mode 3", {"mode 1 only"}},
      {cmyk + " --ink-set 1", {"--ink-set 4"}},
      {colour + " --ink-set 4", {"CMYK"}},
      {colour + " --ink-set 0", {"non-zero --ink-set"}},
      {grey + " --ink-set 1", {"--ink-set 0"}},
      {colour + " --ink-set 3", {"3 and 7"}},
      {colour + " --ink-set 7", {"3 and 7"}},
      {grey + " --source-step 2", {"--source-step"}},
      {grey + " --grey --colour", {"exclude each other"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = render(c.args);
    EXPECT_EQ(r.exitCode, 2) << r.output;
    for (const std::string& m : c.mentions)
      EXPECT_NE(r.output.find(m), std::string::npos) << r.output;
    EXPECT_EQ(snapshot(dir_), before);
  }
}

// A run replaces the folder whole: a grey run after a colour one leaves one
// plane, a failed run leaves the previous outputs as they were, a folder of
// other files is never touched, and the pack writers work the same way.
TEST_F(KestrlOptions, AnOutputFolderHoldsExactlyOneRun) {
  const std::string colour = stripes("colour.ppm", 3, 16, 8), grey = stripes("grey.pgm", 1, 16, 8);
  ASSERT_EQ(render(colour).exitCode, 0);
  ASSERT_EQ(render(grey).exitCode, 0);
  EXPECT_EQ(snapshot(dir_ / "out").size(), 2u) << "plane-black.pbm and preview.png only";
  const std::vector<uint8_t> png = readBytes(saved("whole.png", 3));
  writeBytes(dir_ / "cut.png", "", {png.begin(), png.begin() + png.size() * 2 / 3});
  const auto before = snapshot(dir_);
  EXPECT_EQ(render(path("cut.png")).exitCode, 3);
  EXPECT_EQ(render(grey + " --all-pages --page 1 --resources " + path("missing")).exitCode, 2);
  EXPECT_EQ(snapshot(dir_), before);

  fs::create_directories(dir_ / "mine");
  writeBytes(dir_ / "mine" / "notes.txt", "keep", {});
  const Result foreign = render(grey, "mine");
  EXPECT_EQ(foreign.exitCode, 1) << foreign.output;
  EXPECT_NE(foreign.output.find("notes.txt"), std::string::npos) << foreign.output;
  EXPECT_EQ(snapshot(dir_ / "mine").size(), 1u);

  ASSERT_EQ(kestrl("pack export " + path("pack")).exitCode, 0);
  writeBytes(dir_ / "pack" / "12345.bin", "stale", {});
  const auto pack = snapshot(dir_ / "pack");
  writeBytes(dir_ / "bad.json", R"({"resources": [{"id": 5, "kind": "no-such-kind"}]})", {});
  EXPECT_EQ(kestrl("pack build " + path("bad.json") + " " + path("pack")).exitCode, 3);
  EXPECT_EQ(snapshot(dir_ / "pack"), pack);
  ASSERT_EQ(kestrl("pack export " + path("pack")).exitCode, 0);
  EXPECT_FALSE(fs::exists(dir_ / "pack" / "12345.bin"));
  EXPECT_EQ(std::count_if(fs::directory_iterator(dir_), fs::directory_iterator(),
                          [](const fs::directory_entry& e) {
                            return e.path().filename().string().starts_with(".");
                          }),
            0);
}

// A megabyte of unterminated JSON string is reported in one short line.
TEST_F(KestrlOptions, LongInputsAreNeverEchoedWhole) {
  writeBytes(dir_ / "long.json",
             R"({"resources": [{"id": 5, "kind": ")" + std::string(1 << 20, 'a'), {});
  const Result r = kestrl("pack build " + path("long.json") + " " + path("pack"));
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_LT(r.output.size(), 600u) << r.output.substr(0, 600);
  const Result calibration =
      render(stripes("g.pgm", 1, 8, 8) + " --calibration " + std::string(5000, '7'));
  EXPECT_EQ(calibration.exitCode, 2);
  EXPECT_LT(calibration.output.size(), 300u);
}

}  // namespace
}  // namespace kestrl::testing
