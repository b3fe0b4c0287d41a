// Colour through the default pack and the printer profile: the accuracy of
// every default job kind, a user's profile in place of the built-in one,
// refused profiles, and the soft proof's paper white and full black.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "colour/accuracy.h"
#include "colour/printer_model.h"
#include "pack/default_pack.h"
#include "tools/kestrl_command.h"

namespace kestrl::colour {
namespace {

namespace fs = std::filesystem;

// ---- a synthetic CMYK printer made with Little CMS ----

// Inks filter a white paper like three subtractive dyes with a grey black.
void inksToLab(const double* cmyk, cmsCIELab* lab) {
  const double k = 1 - cmyk[3] * 0.92;
  const double rgb[3] = {(1 - cmyk[0] * 0.9) * k, (1 - cmyk[1] * 0.9) * k, (1 - cmyk[2] * 0.9) * k};
  const cmsCIEXYZ xyz{0.4360 * rgb[0] + 0.3851 * rgb[1] + 0.1431 * rgb[2],
                      0.2225 * rgb[0] + 0.7169 * rgb[1] + 0.0606 * rgb[2],
                      0.0139 * rgb[0] + 0.0971 * rgb[1] + 0.7141 * rgb[2]};
  cmsXYZ2Lab(cmsD50_XYZ(), lab, &xyz);
}

int forward(const cmsUInt16Number in[], cmsUInt16Number out[], void*) {
  const double cmyk[4] = {in[0] / 65535.0, in[1] / 65535.0, in[2] / 65535.0, in[3] / 65535.0};
  cmsCIELab lab;
  inksToLab(cmyk, &lab);
  cmsFloat2LabEncoded(out, &lab);
  return 1;
}

// The inverse by search: the composite that matches lightness and hue,
// half of its grey taken by black.
int backward(const cmsUInt16Number in[], cmsUInt16Number out[], void*) {
  cmsCIELab target;
  cmsLabEncoded2Float(&target, in);
  double best[4] = {0, 0, 0, 0}, bestError = 1e9;
  for (int c = 0; c <= 20; ++c)
    for (int m = 0; m <= 20; ++m)
      for (int y = 0; y <= 20; ++y) {
        const double cmyk[4] = {c / 20.0, m / 20.0, y / 20.0, std::min({c, m, y}) / 40.0};
        cmsCIELab lab;
        inksToLab(cmyk, &lab);
        const double e = cmsDeltaE(&lab, &target);
        if (e < bestError) bestError = e, std::copy(cmyk, cmyk + 4, best);
      }
  for (int i = 0; i < 4; ++i) out[i] = static_cast<cmsUInt16Number>(std::lround(best[i] * 65535));
  return 1;
}

std::vector<uint8_t> syntheticProfile(double version) {
  cmsHPROFILE h = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(h, version);
  cmsSetDeviceClass(h, cmsSigOutputClass);
  cmsSetColorSpace(h, cmsSigCmykData);
  cmsSetPCS(h, cmsSigLabData);
  cmsMLU* text = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(text, "en", "US", "synthetic printer");
  cmsWriteTag(h, cmsSigProfileDescriptionTag, text);
  cmsWriteTag(h, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  const auto lut = [](int in, int out, cmsSAMPLER16 sampler, int points) {
    cmsPipeline* p = cmsPipelineAlloc(nullptr, in, out);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, points, in, out, nullptr);
    cmsStageSampleCLut16bit(clut, sampler, nullptr, 0);
    // Straight curves around the grid, the form both ICC versions store.
    cmsPipelineInsertStage(p, cmsAT_BEGIN, cmsStageAllocToneCurves(nullptr, in, nullptr));
    cmsPipelineInsertStage(p, cmsAT_END, clut);
    cmsPipelineInsertStage(p, cmsAT_END, cmsStageAllocToneCurves(nullptr, out, nullptr));
    return p;
  };
  cmsPipeline* a2b = lut(4, 3, forward, 9);
  cmsPipeline* b2a = lut(3, 4, backward, 11);
  for (cmsTagSignature tag : {cmsSigAToB0Tag, cmsSigAToB1Tag}) cmsWriteTag(h, tag, a2b);
  for (cmsTagSignature tag : {cmsSigBToA0Tag, cmsSigBToA1Tag}) cmsWriteTag(h, tag, b2a);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(h, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(h, bytes.data(), &size);
  cmsPipelineFree(a2b);
  cmsPipelineFree(b2a);
  cmsMLUfree(text);
  cmsCloseProfile(h);
  return bytes;
}

// ---- the command ----

using Outcome = kestrl::testing::Result;
using kestrl::testing::kestrl;

class ColourCommand : public kestrl::testing::FolderTest {
 protected:
  // A flat grey picture.
  std::string flatPgm(uint8_t grey) {
    const std::string file = path("flat" + std::to_string(grey) + ".pgm");
    kestrl::testing::writeBytes(file, "P5\n96 96\n255\n", std::vector<uint8_t>(96 * 96, grey));
    return file;
  }
  // Every pixel of an RGB PNG.
  std::vector<std::array<uint8_t, 3>> pixels(const std::string& file) {
    if (VIPS_INIT("colour_accuracy_test")) return {};
    VipsImage* image = vips_image_new_from_file(file.c_str(), nullptr);
    if (!image) return {};
    size_t size = 0;
    auto* data = static_cast<uint8_t*>(vips_image_write_to_memory(image, &size));
    std::vector<std::array<uint8_t, 3>> out(size / 3);
    std::memcpy(out.data(), data, out.size() * 3);
    g_free(data);
    g_object_unref(image);
    return out;
  }
};

// ---- tests ----

// The target through every default job kind of the default pack, against the
// built-in profile's continuous-tone proof.
TEST(ColourAccuracy, EveryDefaultJobKindMeetsTheAim) {
  const auto profile = Profile::builtIn();
  ASSERT_TRUE(profile);
  const PrinterModel model(*profile, Intent::kPerceptual);
  const pack::Pack pack = pack::makeDefaultPack();
  for (const JobKind& kind : defaultJobKinds()) {
    SCOPED_TRACE(kind.name);
    const KindResult r = measureKind(pack, model, kind);
    EXPECT_LE(r.meanContinuous, 1.0);
    EXPECT_LE(r.maxContinuous, 3.0);
    EXPECT_LE(r.neutralChroma, 1.5);
    EXPECT_TRUE(r.lightnessFalls);
  }
}

// The committed separation is what the built-in profile gives now.
TEST(ColourAccuracy, DefaultSeparationIsTheProfiles) {
  const auto profile = Profile::builtIn();
  const pack::Separation& kept = pack::defaultSeparation();
  const pack::Separation fresh =
      PrinterModel(*profile, Intent::kPerceptual).separation(kept.points);
  ASSERT_EQ(fresh.grid.size(), kept.grid.size());
  for (size_t i = 0; i < kept.grid.size(); ++i) ASSERT_NEAR(fresh.grid[i], kept.grid[i], 1) << i;
  for (size_t i = 0; i < kept.black.size(); ++i) ASSERT_NEAR(fresh.black[i], kept.black[i], 1) << i;
}

// A user's profile, ICC v2 or v4, makes a different table; intents differ too.
TEST(ColourAccuracy, UserProfileMakesItsOwnTable) {
  const auto builtIn = Profile::builtIn();
  const pack::Separation standard = PrinterModel(*builtIn, Intent::kPerceptual).separation(17);
  for (double version : {2.4, 4.3}) {
    SCOPED_TRACE(version);
    std::string error;
    const auto user = Profile::fromMemory(syntheticProfile(version), "synthetic", error);
    ASSERT_TRUE(user) << error;
    EXPECT_EQ(user->version()[0], version < 3 ? '2' : '4');
    EXPECT_EQ(user->name(), "synthetic printer");
    const pack::Separation own = PrinterModel(*user, Intent::kPerceptual).separation(17);
    double difference = 0;
    for (size_t i = 0; i < own.grid.size(); ++i)
      difference += std::abs(own.grid[i] - standard.grid[i]);
    EXPECT_GT(difference / own.grid.size(), 10.0);
    EXPECT_NE(pack::makeDefaultPack(own).find(pack::colourTableId(1, 2))->bytes,
              pack::makeDefaultPack(standard).find(pack::colourTableId(1, 2))->bytes);
  }
  const pack::Separation relative = PrinterModel(*builtIn, Intent::kRelative).separation(17);
  EXPECT_NE(relative.grid, standard.grid);
}

// A profile that cannot serve: one line, its exit code, nothing written.
TEST_F(ColourCommand, UnusableProfileIsRefusedWithOneLine) {
  const std::span<const uint8_t> good = builtInProfileBytes();
  const std::vector<uint8_t> truncated(good.begin(), good.begin() + good.size() / 3);
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(srgb, nullptr, &size);
  std::vector<uint8_t> rgb(size);
  cmsSaveProfileToMem(srgb, rgb.data(), &size);
  cmsCloseProfile(srgb);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;
  } cases[] = {{"garbage.icc", std::vector<uint8_t>(500, 'x'), "not an ICC profile"},
               {"truncated.icc", truncated, "damaged or partial profile"},
               {"srgb.icc", rgb, "not a CMYK printer profile"}};
  const std::string input = flatPgm(128);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    kestrl::testing::writeBytes(path(c.name), "", c.bytes);
    const std::string out = path(std::string("out-") + c.name);
    const Outcome r =
        kestrl("render " + input + " --no-progress -o " + out + " --profile " + path(c.name));
    EXPECT_EQ(r.exitCode, 3) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    EXPECT_NE(r.output.find(c.reason), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out));
  }
  const Outcome intent = kestrl("render " + input + " -o " + path("x") + " --intent vivid");
  EXPECT_EQ(intent.exitCode, 2) << intent.output;
  EXPECT_FALSE(fs::exists(path("x")));
}

// White paper proofs as paper white, full black ink as the profile's black;
// the summary names the profile, and a user's profile is used for the job.
TEST_F(ColourCommand, ProofShowsPaperWhiteAndTheProfilesBlack) {
  const auto profile = Profile::builtIn();
  const PrinterModel model(*profile, Intent::kPerceptual);
  std::array<uint8_t, 3> white{}, black{};
  const double none[4] = {0, 0, 0, 0}, full[4] = {0, 0, 0, 1};
  model.inksToSrgb(none, 1, white.data());
  model.inksToSrgb(full, 1, black.data());
  const struct {
    uint8_t grey;
    std::array<uint8_t, 3> expected;
  } cases[] = {{255, white}, {0, black}};
  for (const auto& c : cases) {
    const std::string out = path("proof" + std::to_string(c.grey));
    const Outcome r = kestrl("render " + flatPgm(c.grey) + " --no-progress -o " + out);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("soft proof through " + profile->name()), std::string::npos);
    for (const auto& p : pixels(out + "/preview.png")) ASSERT_EQ(p, c.expected);
  }
  EXPECT_EQ(white, (std::array<uint8_t, 3>{255, 255, 255}));
  EXPECT_LT(srgbToLab(black).L, model.inksToLab({0, 0, 0, 0.9}).L);
  const Outcome plain =
      kestrl("render " + flatPgm(0) + " --no-progress --proof off -o " + path("plain"));
  ASSERT_EQ(plain.exitCode, 0) << plain.output;
  EXPECT_NE(pixels(path("plain/preview.png")).front(), black);

  kestrl::testing::writeBytes(path("user.icc"), "", syntheticProfile(4.3));
  const Outcome own = kestrl("render " + flatPgm(128) + " --colour --no-progress -o " +
                             path("own") + " --profile " + path("user.icc") + " --intent relative");
  ASSERT_EQ(own.exitCode, 0) << own.output;
  EXPECT_NE(own.output.find("synthetic printer (ICC v4.3, relative intent)"), std::string::npos)
      << own.output;
  const Outcome standard =
      kestrl("render " + flatPgm(128) + " --colour --no-progress -o " + path("standard"));
  ASSERT_EQ(standard.exitCode, 0) << standard.output;
  EXPECT_NE(kestrl::testing::readBytes(path("own/plane-cyan.pgm")),
            kestrl::testing::readBytes(path("standard/plane-cyan.pgm")));
}

}  // namespace
}  // namespace kestrl::colour
