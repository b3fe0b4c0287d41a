#include "colour/accuracy.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

#include "pack/job.h"

namespace kestrl::colour {

namespace {

// Each patch is a band of whole lines: the first lines let an
// error-spreading engine settle from the band above, the counted lines
// cover whole tiles of every threshold matrix of the default pack.
constexpr uint32_t kWidth = 256;
constexpr uint32_t kSettleLines = 16;
constexpr uint32_t kCountedLines = 64;

constexpr double kAimMean = 1.0, kAimMax = 3.0, kAimNeutral = 1.5;

uint32_t thirds(uint8_t byte, uint32_t bits) {
  if (bits == 1) return 3 * static_cast<uint32_t>(std::popcount(byte));
  return (byte & 3u) + (byte >> 2 & 3u) + (byte >> 4 & 3u) + (byte >> 6 & 3u);
}

std::vector<Patch> makeTarget() {
  // Published sRGB values of the ColorChecker's 24 patches.
  std::vector<Patch> p = {
      {"dark skin", {115, 82, 68}, Patch::kChecker},
      {"light skin", {194, 150, 130}, Patch::kChecker},
      {"blue sky", {98, 122, 157}, Patch::kChecker},
      {"foliage", {87, 108, 67}, Patch::kChecker},
      {"blue flower", {133, 128, 177}, Patch::kChecker},
      {"bluish green", {103, 189, 170}, Patch::kChecker},
      {"orange", {214, 126, 44}, Patch::kChecker},
      {"purplish blue", {80, 91, 166}, Patch::kChecker},
      {"moderate red", {193, 90, 99}, Patch::kChecker},
      {"purple", {94, 60, 108}, Patch::kChecker},
      {"yellow green", {157, 188, 64}, Patch::kChecker},
      {"orange yellow", {224, 163, 46}, Patch::kChecker},
      {"blue", {56, 61, 150}, Patch::kChecker},
      {"green", {70, 148, 73}, Patch::kChecker},
      {"red", {175, 54, 60}, Patch::kChecker},
      {"yellow", {231, 199, 31}, Patch::kChecker},
      {"magenta", {187, 86, 149}, Patch::kChecker},
      {"cyan", {8, 133, 161}, Patch::kChecker},
      {"white 9.5", {243, 243, 242}, Patch::kChecker},
      {"neutral 8", {200, 200, 200}, Patch::kChecker},
      {"neutral 6.5", {160, 160, 160}, Patch::kChecker},
      {"neutral 5", {122, 122, 121}, Patch::kChecker},
      {"neutral 3.5", {85, 85, 85}, Patch::kChecker},
      {"black 2", {52, 52, 52}, Patch::kChecker},
  };
  for (int i = 16; i >= 0; --i) {
    const auto v = static_cast<uint8_t>(std::min(255, 16 * i));
    p.push_back({"grey " + std::to_string(v), {v, v, v}, Patch::kNeutral});
  }
  const struct {
    const char* name;
    std::array<uint8_t, 3> rgb;
  } ends[] = {{"red", {255, 0, 0}},    {"green", {0, 255, 0}},     {"blue", {0, 0, 255}},
              {"cyan", {0, 255, 255}}, {"magenta", {255, 0, 255}}, {"yellow", {255, 255, 0}}};
  for (const auto& e : ends) {
    for (int quarter = 1; quarter <= 4; ++quarter) {
      std::array<uint8_t, 3> rgb{};
      for (int c = 0; c < 3; ++c)
        rgb[c] = static_cast<uint8_t>(255 - (255 - e.rgb[c]) * quarter / 4);
      p.push_back(
          {std::string(e.name) + " " + std::to_string(25 * quarter) + "%", rgb, Patch::kRamp});
    }
  }
  return p;
}

// Mean ink of every patch, in the target's order.
std::vector<Inks> printTarget(const pack::Pack& pack, const JobKind& kind) {
  const PrintMode mode{kind.mode,
                       0,
                       kind.colour ? 1u : 0u,
                       kind.colour ? 1u : 0u,
                       kind.xResolution,
                       kind.yResolution,
                       kind.bits,
                       0,
                       0,
                       kWidth,
                       0};
  HalftoneContext* context = nullptr;
  const auto fail = [&](const std::string& what, uint32_t status) {
    if (context) HalftoneDelete(context);
    throw std::runtime_error(kind.name + ": " + what + " answered status " +
                             std::to_string(status));
  };
  if (const uint32_t s = pack::openHalftoneJob(pack, mode, &context); s != KESTRL_STATUS_OK)
    fail("opening the job", s);
  const uint32_t channels = kind.colour ? 3 : 1, planes = kind.colour ? 4 : 1;
  const size_t rowBytes = (kWidth * kind.bits + 7) / 8;
  std::vector<uint8_t> line(size_t{kWidth} * channels), dots(rowBytes * 4);
  std::vector<Inks> inks;
  uint32_t y = 0;
  for (const Patch& patch : targetPatches()) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      if (kind.colour) {
        std::copy(patch.rgb.begin(), patch.rgb.end(), &line[3 * x]);
      } else {
        line[x] = greyOf(patch.rgb);
      }
    }
    std::array<uint64_t, 4> sums{};
    for (uint32_t i = 0; i < kSettleLines + kCountedLines; ++i, ++y) {
      std::fill(dots.begin(), dots.end(), 0);
      const uint32_t s = Halftone(context, line.data(), dots.data(),
                                  static_cast<uint32_t>(rowBytes), 0, kWidth, 0, 0, y, 0, 0);
      if (s != KESTRL_STATUS_OK) fail("Halftone", s);
      if (i < kSettleLines) continue;
      for (uint32_t k = 0; k < planes; ++k)
        for (size_t b = 0; b < rowBytes; ++b) sums[k] += thirds(dots[k * rowBytes + b], kind.bits);
    }
    const double full = 3.0 * kWidth * kCountedLines;
    Inks mean{};
    if (kind.colour) {
      for (int k = 0; k < 4; ++k) mean[k] = sums[k] / full;
    } else {
      mean[3] = sums[0] / full;  // the single plane is black ink
    }
    inks.push_back(mean);
  }
  HalftoneDelete(context);
  return inks;
}

}  // namespace

const std::vector<Patch>& targetPatches() {
  static const std::vector<Patch> kTarget = makeTarget();
  return kTarget;
}

const std::vector<JobKind>& defaultJobKinds() {
  static const std::vector<JobKind> kKinds = {
      {"colour mode 1 one-bit", 1, 1, 1440, 720, true},
      {"colour mode 1 two-bit", 1, 2, 1440, 720, true},
      {"colour mode 3 one-bit", 3, 1, 1440, 720, true},
      {"colour mode 3 two-bit", 3, 2, 1440, 720, true},
      {"grey one-bit", 1, 1, 720, 720, false},
      {"grey two-bit", 1, 2, 720, 720, false},
  };
  return kKinds;
}

uint8_t greyOf(const std::array<uint8_t, 3>& rgb) {
  return static_cast<uint8_t>((77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2] + 128) >> 8);
}

bool KindResult::meetsAim() const {
  return meanContinuous <= kAimMean && maxContinuous <= kAimMax && neutralChroma <= kAimNeutral &&
         lightnessFalls;
}

KindResult measureKind(const pack::Pack& pack, const PrinterModel& model, const JobKind& kind) {
  const std::vector<Inks> printed = printTarget(pack, kind);
  KindResult r{kind, {}, 0, 0, 0, 0, 0, true};
  double lastLightness = 1e9;
  for (size_t i = 0; i < printed.size(); ++i) {
    const Patch& patch = targetPatches()[i];
    PatchResult p;
    p.inks = printed[i];
    if (kind.colour) {
      p.input = srgbToLab(patch.rgb);
      p.continuous = model.inksToLab(model.separate(patch.rgb));
    } else {
      const uint8_t g = greyOf(patch.rgb);
      p.input = srgbToLab({g, g, g});
      p.continuous = model.inksToLab({0, 0, 0, model.blackFor(g)});
    }
    p.print = model.inksToLab(p.inks);
    p.deltaContinuous = deltaE2000(p.print, p.continuous);
    p.deltaInput = deltaE2000(p.print, p.input);
    r.meanContinuous += p.deltaContinuous;
    r.meanInput += p.deltaInput;
    r.maxContinuous = std::max(r.maxContinuous, p.deltaContinuous);
    r.maxInput = std::max(r.maxInput, p.deltaInput);
    if (patch.group == Patch::kNeutral) {
      r.neutralChroma = std::max({r.neutralChroma, std::abs(p.print.a), std::abs(p.print.b)});
      r.lightnessFalls = r.lightnessFalls && p.print.L < lastLightness;
      lastLightness = p.print.L;
    }
    r.patches.push_back(p);
  }
  r.meanContinuous /= static_cast<double>(r.patches.size());
  r.meanInput /= static_cast<double>(r.patches.size());
  return r;
}

}  // namespace kestrl::colour
