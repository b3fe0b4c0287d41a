#include "pack/default_pack.h"

#include <algorithm>
#include <array>
#include <map>
#include <mutex>
#include <string>

#include "pack/colour_blocks.h"
#include "pack/halftone_blocks.h"
#include "pack/separation.h"
#include "pack/void_and_cluster.h"

namespace kestrl::pack {

namespace {

using namespace default_ids;

constexpr int16_t kGainAtZero = 250;  // one of the ink-gain classes the screens know
constexpr int16_t kGainAtFull = 100;
constexpr uint32_t kChannels = 4;
constexpr uint8_t kNominal = 50;
constexpr uint8_t kCalibrationKey = 0;

const std::vector<std::string> kModeNames = {"MODE0", "MODE1", "MODE2", "MODE3"};
const std::vector<std::string> kClassNames = {"PLAIN", "CLASS1", "CLASS2", "CLASS3", "CORRECTED"};
const std::string kSelectName = "PLAIN";

constexpr int32_t kEachModesTable = -1;

bool twoBitAllowed(const Resolution& r) {
  return r.x == r.y || (r.x == 1440 && r.y == 720);
}

// Entries for the modes colour management looks up (1 to 3; mode 0 arrives
// as 3) at every resolution and bit depth, for one table class; a negative
// table id stands for the colour table of each entry's mode and depth.
void addEntries(DirectoryText& d, int32_t tableId, int32_t code, int32_t tableClass) {
  for (uint32_t mode = 1; mode <= 3; ++mode) {
    for (const Resolution& r : defaultResolutions()) {
      for (uint32_t bits = 1; bits <= 2; ++bits) {
        if (bits == 2 && (mode == 2 || !twoBitAllowed(r))) continue;
        const int32_t id = tableId < 0 ? colourTableId(mode, bits) : tableId;
        d.entries.push_back({id, code, kModeNames[mode], kSelectName, static_cast<int32_t>(r.x),
                             static_cast<int32_t>(r.y), kClassNames[tableClass], 0,
                             static_cast<int32_t>(bits)});
      }
    }
  }
}

DirectoryText directoryFrame(const std::string& title) {
  DirectoryText d;
  d.title = title;
  d.modeNames = kModeNames;
  d.selectNames = {kSelectName};
  d.classNames = kClassNames;
  return d;
}

std::string colourDirectory() {
  DirectoryText d = directoryFrame("kestrl default colour tables");
  addEntries(d, kEachModesTable, kHalftoneIds, kPlainClass);
  addEntries(d, kEachModesTable, kHalftoneIds, kCorrectedClass);
  return buildDirectory(d);
}

// The calibration lookup always runs with table class 0.
std::string calibrationDirectory() {
  DirectoryText d = directoryFrame("kestrl default calibration tables");
  addEntries(d, kCorrectionTables, 0, kPlainClass);
  return buildDirectory(d);
}

// The header every colour table of the pack shares: kind 1, the ink gain
// the screens know, the id of the dot-size table for two-bit output.
ColourTable tableFrame() {
  ColourTable frame;
  frame.lutKind = 1;
  frame.scaleParams = {kGainAtZero, kGainAtFull, 0, 0, 0};
  frame.extra = buildStageFourIdRecord({1, 1, static_cast<uint16_t>(kDotSizeTable)});
  return frame;
}

std::vector<uint8_t> colourTable(const Separation& separation, uint32_t mode, uint32_t bits) {
  const ModeInkCurves& curves = defaultInkCurves(mode, bits);
  ColourTable table =
      makeCharacterisedTable(separation, curves.colour, curves.grey, kGainAtZero, kGainAtFull);
  table.extra = tableFrame().extra;
  if (bits == 2) makeTwoBitGreyRampUsable(table);
  return buildColourTable(table);
}

std::vector<uint8_t> thresholdMatrix(uint32_t width, uint32_t height, double sx, double sy) {
  return buildThresholdMatrix(voidAndCluster({width, height, sx, sy, 1}));
}

// Table t serves a calibration value (t - 10) x 2 above nominal: a printer
// that prints heavier than nominal gets 3 percent less ink per step.
uint8_t correction(int table, int x) {
  const int scaled = x * (100 - 3 * (table - 10)) / 100;
  return static_cast<uint8_t>(std::clamp(scaled, 0, 255));
}

}  // namespace

const std::vector<Resolution>& defaultResolutions() {
  static const std::vector<Resolution> kResolutions = {
      {360, 360}, {720, 720}, {1440, 720}, {720, 360}, {360, 720}};
  return kResolutions;
}

std::vector<Combination> defaultCombinations() {
  std::vector<Combination> all;
  for (uint32_t mode = 0; mode <= 3; ++mode) {
    for (bool colour : {false, true}) {
      for (const Resolution& r : defaultResolutions()) {
        for (uint32_t bits = 1; bits <= 2; ++bits) {
          const bool twoBitMode = mode == 1 || mode == 3;
          if (bits == 2 && (!twoBitMode || !twoBitAllowed(r))) continue;
          all.push_back({mode, colour, r.x, r.y, bits});
        }
      }
    }
  }
  return all;
}

std::vector<uint8_t> defaultDotSizeTable() {
  std::array<DotShares, 256> rows{};
  for (int v = 0; v < 256; ++v) {
    const auto share = [](int x) { return static_cast<uint8_t>(std::clamp(3 * x, 0, 255)); };
    if (v <= 85) {
      rows[v] = {share(v), 0, 0};
    } else if (v <= 170) {
      rows[v] = {static_cast<uint8_t>(255 - share(v - 85)), share(v - 85), 0};
    } else {
      rows[v] = {0, static_cast<uint8_t>(255 - share(v - 170)), share(v - 170)};
    }
  }
  return buildDotSizeTable(rows);
}

namespace {

// Straight ink curves.
InkCurve straight() {
  InkCurve c{};
  for (int v = 0; v < 256; ++v) c[v] = static_cast<uint8_t>(v);
  return c;
}

struct ModeDepth {
  uint32_t mode, bits;
};
constexpr ModeDepth kTableModes[] = {{1, 1}, {1, 2}, {2, 1}, {3, 1}, {3, 2}};

// Everything but the colour tables.
Pack basePack() {
  Pack pack;
  pack.putText(kColourDirectory, colourDirectory());
  const std::array<uint16_t, 4> ids = {kGridLevels, kSquareMatrix, kWideMatrix, kWideMatrix};
  pack.put(kHalftoneIds, buildResourceIdList(ids));
  pack.put(kGridLevels, buildGridLevels(evenLevels(32)));
  pack.put(kSquareMatrix, thresholdMatrix(64, 64, 1.5, 1.5));
  pack.put(kWideMatrix, thresholdMatrix(128, 64, 2.0, 1.0));
  pack.put(kDotSizeTable, defaultDotSizeTable());
  pack.putText(kCalibrationDirectory, calibrationDirectory());
  pack.put(kCorrectionTables, buildCorrectionTables(correction));
  pack.put(kChannelMap, buildChannelMapResource({{kCalibrationKey, {0, 1, 2, 3}}}));
  pack.put(kNominalValues, buildNominalValues(std::vector<uint8_t>(kChannels, kNominal)));
  return pack;
}

ModeInkCurves measureCurves(uint32_t mode, uint32_t bits) {
  ModeInkCurves curves;
  curves.grey = straight();
  curves.colour.fill(straight());
  if (mode == 2) return curves;
  Pack pack = basePack();
  const int32_t id = colourTableId(mode, bits);
  const ColourTable frame = tableFrame();
  const auto colour = measureColourResponse(pack, id, frame, {mode, bits, 1440, 720});
  for (size_t c = 0; c < 4; ++c) curves.colour[c] = inverseCurve(colour[c]);
  curves.grey = inverseCurve(measureGreyResponse(pack, id, frame, {mode, bits, 720, 720}));
  return curves;
}

}  // namespace

int32_t colourTableId(uint32_t mode, uint32_t bits) {
  return kColourTable + 2 * (static_cast<int32_t>(mode == 0 ? 3 : mode) - 1) + (bits == 2 ? 1 : 0);
}

const ModeInkCurves& defaultInkCurves(uint32_t mode, uint32_t bits) {
  static std::mutex lock;
  static std::map<int32_t, ModeInkCurves> measured;
  const std::lock_guard<std::mutex> guard(lock);
  const int32_t id = colourTableId(mode, bits);
  auto it = measured.find(id);
  if (it == measured.end()) it = measured.emplace(id, measureCurves(mode, bits)).first;
  return it->second;
}

Pack makeDefaultPack() {
  return makeDefaultPack(defaultSeparation());
}

Pack makeDefaultPack(const Separation& separation) {
  Pack pack = basePack();
  for (const ModeDepth& m : kTableModes)
    pack.put(colourTableId(m.mode, m.bits), colourTable(separation, m.mode, m.bits));
  return pack;
}

}  // namespace kestrl::pack
