// Running the kestrl command from a test, and making and reading its files.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kestrl::testing {

struct Result {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// Runs a shell command and collects what it prints.
inline Result run(const std::string& command) {
  Result r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> buffer;
  for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
    r.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// The command with these arguments, printing on a small paper of its own (a
// picture without a resolution is fitted to the paper), whatever the
// machine's paper is.
inline Result kestrl(const std::string& args) {
  return run("PAPERSIZE=2x2in " + std::string(KESTRL_TOOL_PATH) + " " + args + " 2>&1");
}

inline std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::filesystem::path& path, const std::string& header,
                       const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out << header;
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// How saveWithVips tags and writes a picture.
struct SaveOptions {
  bool sixteenBit = false;
  const char* profile = nullptr;  // embedded: a profile libvips knows by name ("p3")
  bool cmyk = false;
  double dpi = 0;       // 0: libvips' default resolution
  int orientation = 1;  // EXIF
  int pageHeight = 0;   // of each page, for a picture of stacked pages
};

// Saves 8-bit pixels (grey, RGB or RGBA, or CMYK) through libvips; the file
// name's suffix picks the format and may carry save options
// ("x.webp[lossless]").
inline void saveWithVips(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height,
                         int bands, const std::string& target, const SaveOptions& how = {}) {
  static const bool started = VIPS_INIT("tool_tests") == 0;
  ASSERT_TRUE(started);
  VipsImage* image = vips_image_new_from_memory_copy(pixels.data(), pixels.size(), int(width),
                                                     int(height), bands, VIPS_FORMAT_UCHAR);
  ASSERT_NE(image, nullptr);
  image->Type = how.cmyk    ? VIPS_INTERPRETATION_CMYK
                : bands < 3 ? VIPS_INTERPRETATION_B_W
                            : VIPS_INTERPRETATION_sRGB;
  if (how.sixteenBit) {
    VipsImage* wide = nullptr;
    ASSERT_EQ(vips_cast(image, &wide, VIPS_FORMAT_USHORT, nullptr), 0);
    VipsImage* scaled = nullptr;
    ASSERT_EQ(vips_linear1(wide, &scaled, 257.0, 0.0, "uchar", FALSE, nullptr), 0);
    g_object_unref(wide);
    g_object_unref(image);
    ASSERT_EQ(vips_cast(scaled, &image, VIPS_FORMAT_USHORT, nullptr), 0);
    g_object_unref(scaled);
    image->Type = bands < 3 ? VIPS_INTERPRETATION_GREY16 : VIPS_INTERPRETATION_RGB16;
  }
  if (how.profile) {
    VipsBlob* blob = nullptr;
    ASSERT_EQ(vips_profile_load(how.profile, &blob, nullptr), 0);
    size_t length = 0;
    const void* data = vips_blob_get(blob, &length);
    vips_image_set_blob_copy(image, VIPS_META_ICC_NAME, data, length);
    vips_area_unref(VIPS_AREA(blob));
  }
  if (how.dpi > 0) image->Xres = image->Yres = how.dpi / 25.4;
  if (how.orientation != 1) vips_image_set_int(image, VIPS_META_ORIENTATION, how.orientation);
  if (how.pageHeight > 0) vips_image_set_int(image, VIPS_META_PAGE_HEIGHT, how.pageHeight);
  ASSERT_EQ(vips_image_write_to_file(image, target.c_str(), nullptr), 0) << vips_error_buffer();
  g_object_unref(image);
}

// A PDF file of the given objects, numbered from 1 (object 1 the catalog).
inline std::string pdfFile(const std::vector<std::string>& objects) {
  const std::string count = std::to_string(objects.size() + 1);
  std::string out = "%PDF-1.4\n", xref = "xref\n0 " + count + "\n0000000000 65535 f \n";
  for (size_t i = 0; i < objects.size(); ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", out.size());
    xref += line;
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  return out + xref + "trailer\n<< /Size " + count + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(out.size()) + "\n%%EOF\n";
}

inline std::string pdfStream(const std::string& data) {
  return "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A plane the command wrote, one-bit PBM or two-bit PGM (maxval 3, 3 for no
// dot), as the ink of each pixel: 1 for a one-bit dot, a two-bit dot its
// code in thirds.
struct Plane {
  unsigned width = 0, height = 0;
  std::vector<double> ink;  // row after row

  double at(unsigned x, unsigned y) const { return ink[size_t{y} * width + x]; }
  double sum() const {
    double total = 0;
    for (double i : ink) total += i;
    return total;
  }
};

inline Plane readPlane(const std::filesystem::path& file) {
  const std::vector<uint8_t> bytes = readBytes(file);
  Plane p;
  if (bytes.size() < 3) {
    ADD_FAILURE() << file << " is not a plane";
    return p;
  }
  int used = 0;
  EXPECT_EQ(std::sscanf(reinterpret_cast<const char*>(bytes.data()), "P%*d %u %u%n", &p.width,
                        &p.height, &used),
            2)
      << file;
  const bool twoBit = bytes[1] == '5';
  size_t at = used + 1 + (twoBit ? 2 : 0);  // the newline, and "3\n" for maxval
  const size_t rowBytes = twoBit ? p.width : (p.width + 7) / 8;
  for (unsigned y = 0; y < p.height && at + rowBytes <= bytes.size(); ++y, at += rowBytes) {
    for (unsigned x = 0; x < p.width; ++x) {
      p.ink.push_back(twoBit ? (3 - bytes[at + x]) / 3.0 : (bytes[at + x / 8] >> (7 - x % 8)) & 1);
    }
  }
  EXPECT_EQ(p.ink.size(), size_t{p.width} * p.height) << file << " is cut short";
  p.ink.resize(size_t{p.width} * p.height);
  return p;
}

// A test with a folder of its own, named after the test and the process,
// removed afterwards unless KEEP is set in the environment.
class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() / (std::string(test->test_suite_name()) + "_" +
                                                     test->name() + "_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    if (!getenv("KEEP")) std::filesystem::remove_all(dir_);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

}  // namespace kestrl::testing
