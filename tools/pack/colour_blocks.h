// Builders for the colour-management resources: the colour directory text,
// the colour table block and the calibration resources. Each takes a plain
// description and produces the bytes the driver would feed in.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kestrl30.h"

namespace kestrl::pack {

// One entry line of a colour directory.
struct DirectoryEntryText {
  int32_t id = 0;    // resource number of the colour table
  int32_t code = 0;  // second number (0 reads back as -1)
  std::string modeName;
  std::string selectName;
  int32_t xResolution = 0;
  int32_t yResolution = 0;
  std::string className;
  int32_t selectValue = 0;
  int32_t bitsPerPixel = 0;
};

// A whole directory: a title line, the "//3" marker line, a column line,
// the entry lines, the closing "/" line and the three name lists.
struct DirectoryText {
  std::string title = "colour tables";
  std::vector<DirectoryEntryText> entries;
  std::vector<std::string> modeNames;
  std::optional<int32_t> selectBase;  // written before the second list's names
  std::vector<std::string> selectNames;
  std::vector<std::string> classNames;
  std::string lineEnd = "\r\n";
};

// The directory as text (NUL-terminated through c_str()).
std::string buildDirectory(const DirectoryText& directory);

// A colour table: header values, the grid and the neutral-axis tables.
struct ColourTable {
  uint8_t tableFlag = 0;
  uint8_t lutKind = 0;
  std::array<uint8_t, 3> peakReduce{};
  std::array<int8_t, 3> hueShift{};
  int8_t saturationShift = 0;
  std::array<int8_t, 3> pairReduce{};
  std::array<int16_t, 5> scaleParams{100, 100, 0, 0, 0};
  std::array<int16_t, 4> headerParams{};
  uint8_t channelCount = 4;
  std::array<std::vector<uint8_t>, 3> levels;  // n levels per axis
  std::vector<uint8_t> grid;                   // n^3 x channelCount bytes, first axis slowest
  std::vector<uint8_t> greyLevels;             // n bytes, or empty
  std::vector<uint8_t> compositeGreyNodes;     // n x channelCount bytes, or empty
  std::vector<uint8_t> extra;                  // the extra section, or empty

  uint32_t points() const { return static_cast<uint32_t>(levels[0].size()); }
};

// The block layout: header, levels, grid, grey levels, composite grey
// nodes, extra section (its offset and size in the header).
std::vector<uint8_t> buildColourTable(const ColourTable& table);

// n levels spread evenly from 0 to 255 (rounded).
std::vector<uint8_t> evenLevels(uint32_t points);

// Computes the output bytes of the node at input levels (r, g, b).
using NodeFunction = std::function<void(uint8_t r, uint8_t g, uint8_t b, uint8_t* out)>;

// A table of n even levels per axis whose nodes come from `node`; its grey
// levels are the last channel and its composite grey nodes all channels of
// the neutral nodes.
ColourTable makeColourTable(uint32_t points, uint8_t channelCount, const NodeFunction& node);

// Complementary inks with grey taken out: C, M, Y = (255 - R, G, B) - K,
// K = 255 - max(R, G, B). A common node function for four-ink tables.
void complementaryInks(uint8_t r, uint8_t g, uint8_t b, uint8_t* out);

// The calibration record of the tag list: "CW:", key, values, 0xFE, 0xFF.
std::vector<uint8_t> buildCalibrationRecord(uint8_t key, const std::vector<uint8_t>& values);

// One record of the channel map resource.
struct ChannelMapRecord {
  uint8_t key = 0;
  std::vector<uint8_t> map;  // grid channel for each calibration channel
};

// The channel map resource: each record as key, map bytes, 0xFE; then 0xFF.
std::vector<uint8_t> buildChannelMapResource(const std::vector<ChannelMapRecord>& records);

// The nominal value resource: one byte per channel.
std::vector<uint8_t> buildNominalValues(const std::vector<uint8_t>& values);

// The correction resource: 21 tables of 256 bytes, byte x of table t being
// entry(t, x). Table 10 stands for no difference from nominal.
std::vector<uint8_t> buildCorrectionTables(const std::function<uint8_t(int table, int x)>& entry);

// A one-bit, four-ink, 720 x 720 dpi print mode with colour input.
PrintMode fourInkMode(uint32_t mode, uint32_t lineWidth);

// A directory with the mode names none, m1, m2, m3, the select name P0 and
// the class names plain, c1, c2, c3, corrected around the given entries.
DirectoryText fourInkDirectory(std::vector<DirectoryEntryText> entries);

}  // namespace kestrl::pack
