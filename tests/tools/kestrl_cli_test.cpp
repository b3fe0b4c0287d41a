// The kestrl command end to end: renders, outputs, error messages and exit
// codes, and the pack subcommands.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "pack/default_pack.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

Result kestrl(const std::string& args) {
  Result r;
  const std::string command = std::string(KESTRL_TOOL_PATH) + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> buffer;
  for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
    r.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::vector<uint8_t> readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const fs::path& path, const std::string& header, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out << header;
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// A PNM raster after its header (the header ends after three or four
// numbers; our files have no comments).
std::vector<uint8_t> raster(const std::vector<uint8_t>& file, int headerLines) {
  size_t pos = 0;
  for (int line = 0; line < headerLines; ++line)
    pos = std::find(file.begin() + pos, file.end(), '\n') - file.begin() + 1;
  return {file.begin() + pos, file.end()};
}

class KestrlCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrl_cli_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // Eight steps of grey from white to black, 8 columns each, `lines` high.
  std::string greySteps(uint32_t lines = 32) const {
    std::vector<uint8_t> pixels;
    for (uint32_t y = 0; y < lines; ++y) {
      for (uint32_t x = 0; x < 64; ++x) pixels.push_back(static_cast<uint8_t>(255 - (x / 8) * 36));
    }
    writeBytes(dir_ / "steps.pgm", "P5\n64 " + std::to_string(lines) + "\n255\n", pixels);
    return path("steps.pgm");
  }

  // A fixed colour picture: red rises to the right, green downwards, blue
  // along the diagonal.
  std::string colourPicture(uint32_t width = 48, uint32_t height = 24) const {
    std::vector<uint8_t> pixels;
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        pixels.insert(pixels.end(), {static_cast<uint8_t>(x * 255 / (width - 1)),
                                     static_cast<uint8_t>(y * 255 / (height - 1)),
                                     static_cast<uint8_t>((x + y) * 255 / (width + height - 2))});
      }
    }
    writeBytes(dir_ / "colour.ppm",
               "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n", pixels);
    return path("colour.ppm");
  }

  fs::path dir_;
};

// Dots (or dot sizes, in thirds) in each 8-pixel step of a rendered plane.
std::vector<int> dotsPerStep(const std::vector<uint8_t>& pixels, bool twoBit) {
  std::vector<int> steps(8, 0);
  if (!twoBit) {
    for (size_t i = 0; i < pixels.size(); ++i)
      steps[i % 8] += std::popcount(pixels[i]);  // 8 bytes per row
  } else {
    for (size_t i = 0; i < pixels.size(); ++i) steps[(i % 64) / 8] += 3 - pixels[i];
  }
  return steps;
}

TEST_F(KestrlCommand, GreyRampGivesMoreDotsForDarkerSteps) {
  const std::string input = greySteps();
  const struct {
    const char* args;
    bool twoBit;
  } jobs[] = {{"--mode 1", false},
              {"--mode 3", false},
              {"--mode 1 --bits 2", true},
              {"--mode 3 --bits 2", true},
              {"--mode 1 --resolution 1440x720", false}};
  for (const auto& job : jobs) {
    SCOPED_TRACE(job.args);
    fs::remove_all(dir_ / "out");
    const Result r = kestrl("render " + input + " -o " + path("out") + " " + job.args);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("64 x 32 pixels"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Mpixel/s"), std::string::npos);
    const fs::path plane = dir_ / "out" / (job.twoBit ? "plane-black.pgm" : "plane-black.pbm");
    const std::vector<uint8_t> file = readBytes(plane);
    const std::string header = job.twoBit ? "P5\n64 32\n3\n" : "P4\n64 32\n";
    ASSERT_GE(file.size(), header.size());
    EXPECT_EQ(std::string(file.begin(), file.begin() + header.size()), header);
    const std::vector<uint8_t> pixels = raster(file, job.twoBit ? 3 : 2);
    ASSERT_EQ(pixels.size(), job.twoBit ? 64u * 32 : 8u * 32);
    const std::vector<int> steps = dotsPerStep(pixels, job.twoBit);
    EXPECT_EQ(steps.front(), 0);  // white paper stays white
    for (size_t k = 1; k < steps.size(); ++k) EXPECT_GE(steps[k], steps[k - 1]) << "step " << k;
    EXPECT_GT(steps.back(), steps[3]);
    EXPECT_TRUE(fs::exists(dir_ / "out" / "preview.png"));
  }
}

uint32_t pngSide(const std::vector<uint8_t>& png, size_t at) {
  return uint32_t{png[at]} << 24 | uint32_t{png[at + 1]} << 16 | uint32_t{png[at + 2]} << 8 |
         png[at + 3];
}

// Half an inch at 1440 x 720 is 720 pixels; the picture's proportions give
// a quarter inch, 180 lines. The preview keeps the paper's proportions.
TEST_F(KestrlCommand, PrintWidthResamplesOntoTheGrid) {
  const std::string input = colourPicture(40, 20);
  const Result r =
      kestrl("render " + input + " -o " + path("out") + " --resolution 1440x720 --print-width 0.5");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (const char* ink : {"cyan", "magenta", "yellow", "black"}) {
    const std::vector<uint8_t> file =
        readBytes(dir_ / "out" / (std::string("plane-") + ink + ".pbm"));
    EXPECT_EQ(std::string(file.begin(), file.begin() + 11), "P4\n720 180\n") << ink;
    EXPECT_EQ(file.size(), 11u + 90 * 180) << ink;
  }
  const std::vector<uint8_t> png = readBytes(dir_ / "out" / "preview.png");
  ASSERT_GE(png.size(), 24u);
  EXPECT_EQ(pngSide(png, 16), 360u);
  EXPECT_EQ(pngSide(png, 20), 180u);
}

// Screening that keeps no state from pixel to pixel gives the same dots
// whether a line comes in one run or in several joined runs.
TEST_F(KestrlCommand, RunsJoinSeamlesslyForStatelessScreens) {
  const std::string colour = colourPicture(60, 10);
  const std::string grey = greySteps(8);
  const struct {
    std::string input, args, runs, plane;
  } cases[] = {{colour, "--mode 0", "--runs 3", "plane-magenta.pbm"},
               {grey, "--mode 3", "--runs 5", "plane-black.pbm"},
               {grey, "--mode 3 --bits 2", "--runs 6", "plane-black.pgm"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args + " " + c.runs);
    ASSERT_EQ(kestrl("render " + c.input + " -o " + path("one") + " " + c.args).exitCode, 0);
    ASSERT_EQ(
        kestrl("render " + c.input + " -o " + path("many") + " " + c.args + " " + c.runs).exitCode,
        0);
    ASSERT_TRUE(fs::exists(dir_ / "one" / c.plane));
    EXPECT_EQ(readBytes(dir_ / "one" / c.plane), readBytes(dir_ / "many" / c.plane));
    fs::remove_all(dir_ / "one");
    fs::remove_all(dir_ / "many");
  }
}

// A calibration value above nominal (60 against 50) takes ink away from
// that channel only.
TEST_F(KestrlCommand, CalibrationRecordReachesTheColourTable) {
  const std::string input = colourPicture();
  ASSERT_EQ(kestrl("render " + input + " -o " + path("plain")).exitCode, 0);
  const Result r =
      kestrl("render " + input + " -o " + path("cal") + " --calibration 0:60,50,50,50");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto dots = [&](const char* folder, const char* ink) {
    int n = 0;
    for (uint8_t b : raster(readBytes(dir_ / folder / (std::string("plane-") + ink + ".pbm")), 2))
      n += std::popcount(b);
    return n;
  };
  EXPECT_LT(dots("cal", "cyan"), dots("plain", "cyan"));
  EXPECT_GT(dots("cal", "cyan"), 0);
  EXPECT_EQ(dots("cal", "magenta"), dots("plain", "magenta"));
}

// Tone curves from a file replace the adjustments: identity curves change
// nothing, darkening curves add dots.
TEST_F(KestrlCommand, CurvesFileReplacesTheAdjustments) {
  const std::string input = greySteps(16);
  std::vector<uint8_t> identity, darker;
  for (int c = 0; c < 3; ++c) {
    for (int v = 0; v < 256; ++v) {
      identity.push_back(static_cast<uint8_t>(v));
      darker.push_back(static_cast<uint8_t>(v * 3 / 4));
    }
  }
  writeBytes(dir_ / "identity.bin", "", identity);
  writeBytes(dir_ / "darker.bin", "", darker);
  for (const char* run : {"plain", "identity", "darker"}) {
    const std::string curves =
        std::string(run) == "plain" ? "" : " --curves " + path(std::string(run) + ".bin");
    ASSERT_EQ(kestrl("render " + input + " --mode 3 -o " + path(run) + curves).exitCode, 0) << run;
  }
  const auto dots = [&](const char* run) {
    int n = 0;
    for (uint8_t b : raster(readBytes(dir_ / run / "plane-black.pbm"), 2)) n += std::popcount(b);
    return n;
  };
  EXPECT_EQ(readBytes(dir_ / "identity" / "plane-black.pbm"),
            readBytes(dir_ / "plain" / "plane-black.pbm"));
  EXPECT_GT(dots("darker"), dots("plain"));
}

TEST_F(KestrlCommand, BadInputsGiveClearMessagesAndExitCodes) {
  const std::string grey = greySteps(8);
  const std::string colour = colourPicture();
  ASSERT_EQ(kestrl("render " + grey + " -o " + path("png")).exitCode, 0);
  std::vector<uint8_t> png = readBytes(dir_ / "png" / "preview.png");
  png.resize(png.size() / 2);
  writeBytes(dir_ / "truncated.png", "", png);
  writeBytes(dir_ / "short.pgm", "P5\n10 10\n255\n", std::vector<uint8_t>(50, 9));
  writeBytes(dir_ / "short.ppm", "P3\n2 2\n255\n1 2 3 4 5 6\n", {});
  writeBytes(dir_ / "text.txt", "hello", {});
  ASSERT_EQ(kestrl("pack export " + path("nomatrix")).exitCode, 0);
  fs::remove(dir_ / "nomatrix" / "310.bin");
  ASSERT_EQ(kestrl("pack export " + path("badmatrix")).exitCode, 0);
  writeBytes(dir_ / "badmatrix" / "310.bin", "", {3, 2, 2, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0});

  const struct {
    std::string args;
    int exitCode;
    std::vector<std::string> mentions;
  } cases[] = {
      {"render " + path("truncated.png"), 3, {"truncated.png", "truncated PNG"}},
      {"render " + path("short.pgm"), 3, {"truncated"}},
      {"render " + path("short.ppm"), 3, {"ends after 6 of 12 samples"}},
      {"render " + path("text.txt"), 3, {"not a PNG or a grey or colour PNM"}},
      {"render " + path("missing.png"), 3, {"cannot open"}},
      {"render " + grey + " --resources " + path("nomatrix"),
       4,
       {"HalftoneSetResource stage 3 (threshold matrix)", "resource 310", "does not have"}},
      {"render " + grey + " --resources " + path("badmatrix"), 4, {"resource 310", "power of two"}},
      {"render " + colour + " --mode 2", 5, {"Halftone", "status 513"}},
      {"render " + grey + " --mode 0 --bits 2", 5, {"status 512", "only in modes 1 and 3"}},
      {"render " + grey + " --mode 2", 5, {"status 513", "mode 2"}},
      {"render " + grey + " --select-number 9",
       5,
       {"CmSetResource stage 1 (colour directory)", "status 768", "bad resource data",
        "select number 9"}},
      {"render " + grey + " --resolution 720", 2, {"XRESxYRES"}},
      {"render " + grey + " --brightness 99", 2, {"--brightness"}},
      {"render " + grey + " --runs 65", 2, {"--runs"}},
      {"render " + grey + " --calibration 0:50,x", 2, {"calibration value 'x'"}},
      {"render " + grey + " --grey --colour", 2, {"exclude each other"}},
      {"render " + grey + " --curves " + path("text.txt"), 3, {"768 bytes"}},
      {"frobnicate", 2, {}},
      {"pack dump " + path("text.txt"), 3, {"not a usable directory", "'//3'"}},
      {"pack build " + path("text.txt") + " " + path("built"), 3, {"text.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const bool render = c.args.rfind("render ", 0) == 0;
    const Result r = kestrl(c.args + (render ? " -o " + path("bad") : ""));
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    for (const std::string& m : c.mentions)
      EXPECT_NE(r.output.find(m), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "bad" / "preview.png"));
  }
}

// Export, dump every file as text and as JSON, and build the JSON back into
// the same files.
TEST_F(KestrlCommand, PackExportDumpAndBuildRoundTrip) {
  ASSERT_EQ(kestrl("pack export " + path("pack")).exitCode, 0);
  nlohmann::json description = {{"resources", nlohmann::json::array()}};
  size_t files = 0;
  for (const fs::directory_entry& e : fs::directory_iterator(dir_ / "pack")) {
    SCOPED_TRACE(e.path().string());
    ++files;
    const Result text = kestrl("pack dump " + e.path().string());
    EXPECT_EQ(text.exitCode, 0) << text.output;
    const Result json = kestrl("pack dump --json " + e.path().string());
    ASSERT_EQ(json.exitCode, 0) << json.output;
    description["resources"].push_back(nlohmann::json::parse(json.output));
  }
  EXPECT_EQ(files, 11u);
  // The pack embedded at build time is the generator's pack, byte for byte.
  for (const auto& [id, resource] : kestrl::pack::makeDefaultPack().resources) {
    const fs::path file = dir_ / "pack" / (std::to_string(id) + (resource.text ? ".txt" : ".bin"));
    EXPECT_EQ(readBytes(file), resource.bytes) << file;
  }
  std::ofstream(dir_ / "pack.json") << description.dump();
  const Result built = kestrl("pack build " + path("pack.json") + " " + path("rebuilt"));
  ASSERT_EQ(built.exitCode, 0) << built.output;
  for (const fs::directory_entry& e : fs::directory_iterator(dir_ / "pack")) {
    EXPECT_EQ(readBytes(e.path()), readBytes(dir_ / "rebuilt" / e.path().filename())) << e.path();
  }
  const Result matrix = kestrl("pack dump " + path("pack/310.bin"));
  EXPECT_NE(matrix.output.find("threshold matrix: 64 x 64 cells (4096)"), std::string::npos)
      << matrix.output;
  EXPECT_NE(matrix.output.find("values 0 to 4095, all distinct"), std::string::npos);
}

TEST_F(KestrlCommand, DemoWritesPlanesAndPreviews) {
  const Result r = kestrl("demo " + path("demo") + " --no-progress");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (const char* file : {"demo-input.png", "colour/preview.png", "colour/plane-cyan.pbm",
                           "colour/plane-black.pbm", "grey/preview.png", "grey/plane-black.pgm"}) {
    EXPECT_TRUE(fs::exists(dir_ / "demo" / file)) << file;
  }
  EXPECT_NE(r.output.find(path("demo/colour/preview.png")), std::string::npos) << r.output;
}

uint64_t fnv1a(const std::vector<uint8_t>& bytes, uint64_t hash = 0xcbf29ce484222325ull) {
  for (uint8_t b : bytes) hash = (hash ^ b) * 0x100000001b3ull;
  return hash;
}

// The dot data of a fixed picture under the default pack. These values were
// recorded from this build; they cannot be worked out by hand. They guard
// against any change in the dot data: a change in an engine, a resource
// stage, the colour side, the default pack or the tool's resampling shows
// here. When such a change is intended, look at the previews and record the
// new values.
TEST_F(KestrlCommand, DotDataOfAFixedPictureIsPinned) {
  const std::string input = colourPicture();
  const struct {
    std::string args;
    std::vector<std::string> planes;
    uint64_t checksum;
  } cases[] = {
      {"--mode 0", {"cyan", "magenta", "yellow", "black"}, 0x3ef2e62cd0c20ecaull},
      {"--grey --mode 1 --bits 2 --resolution 1440x720 --print-width 0.1",
       {"black"},
       0x057dadb174952e5bull},
      {"--grey --mode 1 --resolution 360x720", {"black"}, 0xbbd05019f1470e84ull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove_all(dir_ / "out");
    const Result r = kestrl("render " + input + " -o " + path("out") + " " + c.args);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const std::string& ink : c.planes) {
      fs::path plane = dir_ / "out" / ("plane-" + ink + ".pbm");
      if (!fs::exists(plane)) plane.replace_extension(".pgm");
      hash = fnv1a(readBytes(plane), hash);
    }
    EXPECT_EQ(hash, c.checksum) << std::hex << "0x" << hash;
  }
}

}  // namespace
