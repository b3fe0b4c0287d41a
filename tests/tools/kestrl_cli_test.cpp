// The kestrl command end to end: a smoke set over every input kind, the
// bounds on its work, error messages and exit codes, streaming, and pinned
// dot data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "pack/default_pack.h"
#include "tools/kestrl_command.h"

namespace {

namespace fs = std::filesystem;
using kestrl::testing::kestrl;
using kestrl::testing::pdfFile;
using kestrl::testing::pdfStream;
using kestrl::testing::readBytes;
using kestrl::testing::Result;
using kestrl::testing::run;
using kestrl::testing::saveWithVips;
using kestrl::testing::writeBytes;

uint64_t fnv1a(const std::vector<uint8_t>& bytes, uint64_t hash = 0xcbf29ce484222325ull) {
  for (uint8_t b : bytes) hash = (hash ^ b) * 0x100000001b3ull;
  return hash;
}

// The CRC of a PNG chunk.
uint32_t crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// The dots of a plane (a two-bit dot counts its code in thirds).
double dots(const fs::path& plane) {
  return kestrl::testing::readPlane(plane).sum();
}

const std::vector<std::string> kColourPlanes = {"cyan", "magenta", "yellow", "black"};
const std::vector<std::string> kBlackPlane = {"black"};

// A picture of 72 flat colours in 4 x 4 blocks (few enough for a palette;
// grey: 12 levels in diagonal steps),
// `width` x `height`, with `bands` bands: grey, RGB or RGBA (alpha `alpha`).
std::vector<uint8_t> blockPixels(uint32_t width, uint32_t height, int bands, uint8_t alpha = 255) {
  std::vector<uint8_t> p;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t r = static_cast<uint8_t>((x / 4 % 12) * 23),
                    g = static_cast<uint8_t>((y / 4 % 6) * 51);
      if (bands == 1) {
        p.push_back(static_cast<uint8_t>(255 - ((x + y) / 4 % 12) * 21));
        continue;
      }
      p.insert(p.end(), {r, g, 128});
      if (bands == 4) p.push_back(alpha);
    }
  }
  return p;
}

// A PDF of `pages` pages, each 1 x 0.5 inch with a black box whose width
// grows with the page number.
std::string pdf(int pages) {
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
  std::string kids;
  for (int p = 0; p < pages; ++p) {
    const int page = 3 + 2 * p;
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 36] /Contents " +
                      std::to_string(page + 1) + " 0 R >>");
    objects.push_back(pdfStream("0 0 0 rg 0 0 " + std::to_string(18 * (p + 1)) + " 36 re f"));
    kids += std::to_string(page) + " 0 R ";
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
  return pdfFile(objects);
}

class KestrlCommand : public kestrl::testing::FolderTest {
 protected:
  // The block picture as a binary PNM.
  std::string blockPnm(uint32_t width, uint32_t height, int bands, const std::string& name) const {
    saveWithVips(blockPixels(width, height, bands), width, height, bands, path(name));
    return path(name);
  }

  // Renders and returns the checksum of the named planes and the preview
  // (0 when a plane is missing).
  uint64_t renderChecksum(const std::string& args, const std::vector<std::string>& planes,
                          Result* result = nullptr) {
    fs::remove_all(dir_ / "out");
    const Result r = kestrl("render " + args + " -o " + path("out") + " --no-progress");
    if (result) *result = r;
    EXPECT_EQ(r.exitCode, 0) << args << "\n" << r.output;
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const std::string& ink : planes) {
      fs::path plane = dir_ / "out" / ("plane-" + ink + ".pbm");
      if (!fs::exists(plane)) plane.replace_extension(".pgm");
      if (!fs::exists(plane)) return 0;
      hash = fnv1a(readBytes(plane), hash);
    }
    return fnv1a(readBytes(dir_ / "out" / "preview.png"), hash);
  }
};

// Every lossless kind, written by libvips from the same pixels, prints the
// same dots as the binary PNM; JPEG comes close.
TEST_F(KestrlCommand, EveryInputKindPrintsLikeThePnm) {
  const uint64_t colour = renderChecksum(blockPnm(48, 24, 3, "ref.ppm"), kColourPlanes);
  const uint64_t grey = renderChecksum(blockPnm(48, 24, 1, "ref.pgm"), kBlackPlane);
  const struct {
    const char* file;
    int bands;
    bool sixteenBit;
  } kinds[] = {{"a.png", 3, false},
               {"b.png", 3, true},
               {"c.png[palette,dither=0]", 3, false},
               {"d.png", 4, false},
               {"f.tif[compression=deflate]", 3, true},
               {"g.webp[lossless]", 3, false},
               {"h.ppm[ascii]", 3, false},
               {"i.png", 1, true},
               {"j.tif", 1, false},
               {"m.pgm", 1, true},
               {"k.pgm[ascii]", 1, false}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.file);
    saveWithVips(blockPixels(48, 24, k.bands), 48, 24, k.bands, path(k.file),
                 {.sixteenBit = k.sixteenBit});
    const std::string file = path(std::string(k.file).substr(0, std::string(k.file).find('[')));
    EXPECT_EQ(renderChecksum(file, k.bands == 1 ? kBlackPlane : kColourPlanes),
              k.bands == 1 ? grey : colour);
  }
  // A PGM with maxval 1000, two bytes per sample, most significant first.
  std::vector<uint8_t> wide;
  for (uint8_t v : blockPixels(48, 24, 1)) {
    const uint32_t w = (v * 1000u + 127) / 255;
    wide.insert(wide.end(), {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)});
  }
  writeBytes(dir_ / "wide.pgm", "P5\n48 24\n1000\n", wide);
  EXPECT_EQ(renderChecksum(path("wide.pgm"), kBlackPlane), grey);
  // Standard input reads like the file.
  EXPECT_EQ(renderChecksum("- < " + path("a.png"), kColourPlanes), colour);
  // JPEG is lossy: a grey one prints within 3 percent of the dots.
  saveWithVips(blockPixels(48, 24, 1), 48, 24, 1, path("l.jpg[Q=95]"));
  ASSERT_EQ(kestrl("render " + path("ref.pgm") + " -o " + path("ref")).exitCode, 0);
  renderChecksum(path("l.jpg"), kBlackPlane);
  const double want = dots(dir_ / "ref" / "plane-black.pbm");
  EXPECT_NEAR(dots(dir_ / "out" / "plane-black.pbm"), want, want * 0.03);
  EXPECT_GT(want, 100);
  // Transparency is laid over white paper: nothing is printed.
  saveWithVips(blockPixels(48, 24, 4, 0), 48, 24, 4, path("clear.png"));
  renderChecksum(path("clear.png"), kColourPlanes);
  for (const std::string& ink : kColourPlanes)
    EXPECT_EQ(dots(dir_ / "out" / ("plane-" + ink + ".pgm")), 0) << ink;
}

// The same pixels tagged with a wide-gamut profile are converted to sRGB
// first, which moves the dots, and the summary says so.
TEST_F(KestrlCommand, EmbeddedProfileIsConvertedToSrgb) {
  saveWithVips(blockPixels(48, 24, 3), 48, 24, 3, path("plain.png"));
  saveWithVips(blockPixels(48, 24, 3), 48, 24, 3, path("tagged.png"), {.profile = "p3"});
  Result plain, tagged;
  const uint64_t a = renderChecksum(path("plain.png"), kColourPlanes, &plain);
  const uint64_t b = renderChecksum(path("tagged.png"), kColourPlanes, &tagged);
  EXPECT_NE(a, b);
  EXPECT_EQ(plain.output.find("profile"), std::string::npos) << plain.output;
  EXPECT_NE(tagged.output.find("embedded colour profile converted to sRGB"), std::string::npos)
      << tagged.output;
}

// CMYK keeps its four ink levels in mode 1 (other modes are refused with the
// reason), or prints as RGB with --colour.
TEST_F(KestrlCommand, CmykPicturesAndPdfPages) {
  saveWithVips(blockPixels(48, 24, 4, 40), 48, 24, 4, path("cmyk.tif"), {.cmyk = true});
  std::ofstream(dir_ / "two.pdf", std::ios::binary) << pdf(2);
  const struct {
    std::string args;
    int exitCode;
    std::vector<std::string> mentions, files;
  } cases[] = {
      {path("cmyk.tif"), 0, {"CMYK as ink levels"}, {"plane-black.pbm"}},
      {path("cmyk.tif") + " --bits 2", 0, {"CMYK as ink levels", "2-bit"}, {"plane-cyan.pgm"}},
      {path("cmyk.tif") + " --mode 0", 2, {"mode 1 only"}, {}},
      {path("cmyk.tif") + " --colour", 0, {"TIFF 48 x 24", "2-bit"}, {"plane-cyan.pgm"}},
      {path("two.pdf") + " --grey",
       0,
       {"PDF", "page 1 of 2", "720 x 360 pixels"},
       {"plane-black.pbm"}},
      {path("two.pdf") + " --grey --page 2 --dpi 144 --print-width 2",
       0,
       {"page 2 of 2", "1440 x 720 pixels"},
       {"plane-black.pbm"}},
      {path("two.pdf") + " --page 3", 3, {"two.pdf"}, {}},
      {"- --all-pages < " + path("two.pdf"), 2, {"standard input"}, {}},
      {path("two.pdf") + " --grey --all-pages --print-width 1",
       0,
       {"page 2 of 2"},
       {"page-1/plane-black.pbm", "page-2/preview.png"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove_all(dir_ / "out");
    const Result r = kestrl("render " + c.args + " -o " + path("out"));
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    for (const std::string& m : c.mentions)
      EXPECT_NE(r.output.find(m), std::string::npos) << r.output;
    for (const std::string& f : c.files) EXPECT_TRUE(fs::exists(dir_ / "out" / f)) << f;
  }
  // Page 1 has a box a quarter of the page wide, page 2 half of it.
  const double first = dots(dir_ / "out" / "page-1" / "plane-black.pbm");
  const double second = dots(dir_ / "out" / "page-2" / "plane-black.pbm");
  EXPECT_NEAR(second, 2 * first, first / 10);
  EXPECT_NEAR(first, 720 * 360 / 4, 720 * 360 / 40);
}

// Damaged, truncated, oversized and odd inputs and option values: one line,
// the documented exit code, no output left behind.
TEST_F(KestrlCommand, BadInputsAndOptionsGiveOneLineAndAnExitCode) {
  const std::string grey = blockPnm(64, 8, 1, "grey.pgm");
  const std::string colour = blockPnm(48, 24, 3, "colour.ppm");
  for (const char* kind : {"png", "tif", "ppm"}) {
    const std::string whole = path(std::string("whole.") + kind);
    saveWithVips(blockPixels(48, 24, 3), 48, 24, 3, whole);
    std::vector<uint8_t> bytes = readBytes(whole);
    bytes.resize(bytes.size() * 2 / 3);
    writeBytes(dir_ / (std::string("cut.") + kind), "", bytes);
  }
  std::string damagedPdf = pdf(1);
  damagedPdf.replace(9, damagedPdf.size() - 20, damagedPdf.size() - 20, '#');
  std::ofstream(dir_ / "damaged.pdf", std::ios::binary) << damagedPdf;
  // 65 bytes of PNG declaring 16,384 x 16,384 grey pixels.
  std::vector<uint8_t> bomb = readBytes(path("whole.png"));
  bomb.resize(65);
  const uint8_t header[] = {'I', 'H', 'D', 'R', 0, 0, 0x40, 0, 0, 0, 0x40, 0, 8, 0, 0, 0, 0};
  std::copy(std::begin(header), std::end(header), bomb.begin() + 12);
  const uint32_t crc = crc32(bomb.data() + 12, 17);
  for (int i = 0; i < 4; ++i) bomb[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  writeBytes(dir_ / "bomb.png", "", bomb);
  writeBytes(dir_ / "short.pgm", "P5\n10 10\n255\n", std::vector<uint8_t>(50, 9));
  writeBytes(dir_ / "text.txt", "hello", {});
  fs::create_directories(dir_ / "folder");
  ASSERT_EQ(kestrl("pack export " + path("nomatrix")).exitCode, 0);
  fs::remove(dir_ / "nomatrix" / "310.bin");

  const struct {
    std::string args;
    int exitCode;
    std::vector<std::string> mentions;
  } cases[] = {
      {path("cut.png"), 3, {"cut.png", "PNG"}},
      {path("cut.tif"), 3, {"cut.tif"}},
      {path("cut.ppm"), 3, {"cut.ppm", "truncated"}},
      {path("damaged.pdf"), 3, {"damaged.pdf"}},
      {path("bomb.png"), 3, {"16384 x 16384", "65 bytes"}},
      {path("short.pgm"), 3, {"short.pgm", "truncated PNM"}},
      {path("text.txt"), 3, {"not a picture kestrl can read"}},
      {path("missing.png"), 3, {"cannot open"}},
      {path("folder"), 3, {"is a folder"}},
      {grey + " --resources " + path("nomatrix"),
       4,
       {"HalftoneSetResource stage 3 (threshold matrix)", "resource 310", "does not have"}},
      {grey + " --select-number 9", 5, {"CmSetResource stage 1", "status 768", "select number 9"}},
      {grey + " --resolution -1x720", 2, {"--resolution '-1x720'"}},
      {grey + " --print-width nan", 2, {"--print-width"}},
      {grey + " --print-width 0.05 --runs 37", 2, {"--runs"}},
      {grey + " --page 0", 2, {"--page"}},
      {grey + " --ink-set -1", 2, {"--ink-set"}},
      {grey + " --curves " + path("text.txt"), 3, {"768 bytes"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove_all(dir_ / "bad");
    const Result r = kestrl("render " + c.args + " -o " + path("bad"));
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    for (const std::string& m : c.mentions)
      EXPECT_NE(r.output.find(m), std::string::npos) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "bad" / "preview.png"));
    EXPECT_FALSE(fs::exists(dir_ / "bad" / "plane-black.pbm"));
  }
}

// A plane that cannot be written whole (here: larger than the file size
// limit) fails the run with a message, and the previous run's outputs stay
// as they were.
TEST_F(KestrlCommand, WriteErrorsAreCaughtThroughClose) {
  const std::string picture = blockPnm(640, 64, 1, "grey.pgm");
  ASSERT_EQ(kestrl("render " + blockPnm(8, 8, 1, "small.pgm") + " -o " + path("out")).exitCode, 0);
  const std::vector<uint8_t> before = readBytes(dir_ / "out" / "plane-black.pbm");
  // A 1 KiB file size limit; the signal ignored so that the write fails instead.
  const std::string command = "sh -c 'trap \"\" XFSZ; ulimit -f 1; exec " +
                              std::string(KESTRL_TOOL_PATH) + " render " + picture + " -o " +
                              path("out") + " --no-progress' 2>&1";
  const Result r = run(command);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("plane-black.pbm: cannot write (File too large)"), std::string::npos)
      << r.output;
  EXPECT_EQ(readBytes(dir_ / "out" / "plane-black.pbm"), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3)
      << "the two pictures and the output folder, nothing left beside them";
}

// Export, dump every file as JSON and build the JSON back into the same
// files; the exported pack is the generator's, byte for byte.
TEST_F(KestrlCommand, PackExportDumpAndBuildRoundTrip) {
  ASSERT_EQ(kestrl("pack export " + path("pack")).exitCode, 0);
  nlohmann::json description = {{"resources", nlohmann::json::array()}};
  for (const auto& [id, resource] : kestrl::pack::makeDefaultPack().resources) {
    const fs::path file = dir_ / "pack" / (std::to_string(id) + (resource.text ? ".txt" : ".bin"));
    EXPECT_EQ(readBytes(file), resource.bytes) << file;
    const Result json = kestrl("pack dump --json " + file.string());
    ASSERT_EQ(json.exitCode, 0) << json.output;
    description["resources"].push_back(nlohmann::json::parse(json.output));
  }
  std::ofstream(dir_ / "pack.json") << description.dump();
  const Result built = kestrl("pack build " + path("pack.json") + " " + path("rebuilt"));
  ASSERT_EQ(built.exitCode, 0) << built.output;
  for (const fs::directory_entry& e : fs::directory_iterator(dir_ / "pack"))
    EXPECT_EQ(readBytes(e.path()), readBytes(dir_ / "rebuilt" / e.path().filename())) << e.path();
  const Result matrix = kestrl("pack dump " + path("pack/310.bin"));
  EXPECT_NE(matrix.output.find("threshold matrix: 64 x 64 cells (4096)"), std::string::npos)
      << matrix.output;
}

TEST_F(KestrlCommand, DemoWritesPlanesAndPreviews) {
  const Result r = kestrl("demo " + path("demo") + " --no-progress");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (const char* file : {"demo-input.png", "colour/preview.png", "colour/plane-cyan.pgm",
                           "colour/plane-black.pgm", "grey/preview.png", "grey/plane-black.pgm"}) {
    EXPECT_TRUE(fs::exists(dir_ / "demo" / file)) << file;
  }
}

// The dot data of a fixed picture under the built-in pack, recorded from
// this build: any change in an engine, a resource stage, the colour side,
// the pack or the resampling shows here. When a change is intended, look at
// the previews and record the new values. Colour rows move when the colour
// engines or the pack's colour tables change; the grey rows when the grey
// engines or the tables' grey levels do.
TEST_F(KestrlCommand, DotDataOfAFixedPictureIsPinned) {
  std::vector<uint8_t> curves;
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v) curves.push_back(static_cast<uint8_t>(v * 3 / 4));
  writeBytes(dir_ / "curves.bin", "", curves);
  const std::string input = blockPnm(48, 24, 3, "colour.ppm");
  const struct {
    std::string args;
    const std::vector<std::string>& planes;
    uint64_t checksum;
  } cases[] = {
      // colour
      {"", kColourPlanes, 0x93099d1f3efc023bull},
      {"--mode 0 --resolution 720x720", kColourPlanes, 0x9fa2afdaa8683ed0ull},
      {"--mode 0 --resolution 720x720 --calibration 0:60,50,50,50", kColourPlanes,
       0x1a877dc07baa27d9ull},
      {"--mode 0 --print-width 0.2 --preview-size 32", kColourPlanes, 0xbc47436d9bb7025eull},
      {"--bits 1 --resolution 720x720", kColourPlanes, 0xcad7a15679a67a15ull},
      {"--mode 3 --resolution 720x720", kColourPlanes, 0xe20784b96dffde56ull},
      // grey
      {"--grey --mode 1 --bits 2 --resolution 1440x720 --print-width 0.1", kBlackPlane,
       0x92a7745ec02e4088ull},
      {"--grey --mode 1 --resolution 360x720", kBlackPlane, 0x4ac0d6652ca06336ull},
      {"--grey --mode 3 --bits 2 --runs 5", kBlackPlane, 0x8f3ae7653e24e841ull},
      {"--grey --mode 3 --curves " + path("curves.bin"), kBlackPlane, 0xddeb73a795b03444ull},
      {"--grey --mode 1 --source-step 1", kBlackPlane, 0x6163ab1005ef9f79ull},
      {"--grey --mode 1 --source-step -1 --print-width 0.05", kBlackPlane, 0x6c2b7a71d4f089c1ull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const uint64_t hash = renderChecksum(input + " " + c.args, c.planes);
    EXPECT_EQ(hash, c.checksum) << std::hex << "0x" << hash;
  }
}

}  // namespace
