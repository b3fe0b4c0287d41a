#include "pack/colour_blocks.h"

#include <algorithm>
#include <stdexcept>

#include "common/block_layout.h"

namespace kestrl::pack {

namespace {

namespace L = layout::colour_table;
constexpr size_t kHeaderSize = L::kLevels;
namespace record_layout = layout::calibration_record;
namespace map_layout = layout::channel_map;
constexpr int kCorrectionTables = layout::correction_tables::kCount;
constexpr int kCorrectionTableBytes = layout::correction_tables::kTableBytes;

void putLe32(std::vector<uint8_t>& out, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void putBe16(std::vector<uint8_t>& out, size_t offset, int16_t value) {
  const auto bits = static_cast<uint16_t>(value);
  out[offset] = static_cast<uint8_t>(bits >> 8);
  out[offset + 1] = static_cast<uint8_t>(bits);
}

void append(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::string joinLine(const std::vector<std::string>& fields, const std::string& lineEnd) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += ' ';
    line += field;
  }
  return line + lineEnd;
}

}  // namespace

std::string buildDirectory(const DirectoryText& d) {
  std::string text = d.title + d.lineEnd + "//3 colour table directory" + d.lineEnd +
                     "; id code mode name xres yres class select bits" + d.lineEnd;
  for (const DirectoryEntryText& e : d.entries) {
    text += joinLine({std::to_string(e.id), std::to_string(e.code), e.modeName, e.selectName,
                      std::to_string(e.xResolution), std::to_string(e.yResolution), e.className,
                      std::to_string(e.selectValue), std::to_string(e.bitsPerPixel)},
                     d.lineEnd);
  }
  text += "/end of entries" + d.lineEnd;
  text += joinLine(d.modeNames, d.lineEnd);
  std::vector<std::string> selects = d.selectNames;
  if (d.selectBase) selects.insert(selects.begin(), std::to_string(*d.selectBase));
  text += joinLine(selects, d.lineEnd);
  text += joinLine(d.classNames, d.lineEnd);
  return text;
}

std::vector<uint8_t> buildColourTable(const ColourTable& t) {
  std::vector<uint8_t> out(kHeaderSize, 0);
  out[L::kTableFlag] = t.tableFlag;
  out[L::kLutKind] = t.lutKind;
  for (int i = 0; i < 3; ++i) {
    out[L::kPeakReduce + i] = t.peakReduce[i];
    out[L::kHueShift + i] = static_cast<uint8_t>(t.hueShift[i]);
    out[L::kPairReduce + i] = static_cast<uint8_t>(t.pairReduce[i]);
    out[L::kGridPoints + i] = static_cast<uint8_t>(t.levels[i].size());
  }
  out[L::kSaturationShift] = static_cast<uint8_t>(t.saturationShift);
  for (int i = 0; i < 5; ++i) putBe16(out, L::kScaleParams + 2 * i, t.scaleParams[i]);
  for (int i = 0; i < 4; ++i) putBe16(out, L::kHeaderParams + 2 * i, t.headerParams[i]);
  out[L::kChannelCount] = t.channelCount;
  for (const auto& row : t.levels) append(out, row);
  append(out, t.grid);
  append(out, t.greyLevels);
  append(out, t.compositeGreyNodes);
  if (!t.extra.empty()) {
    putLe32(out, L::kExtraOffset, static_cast<uint32_t>(out.size()));
    putLe32(out, L::kExtraSize, static_cast<uint32_t>(t.extra.size()));
    append(out, t.extra);
  }
  return out;
}

std::vector<uint8_t> evenLevels(uint32_t points) {
  std::vector<uint8_t> levels(points);
  for (uint32_t i = 0; i < points; ++i) {
    levels[i] = static_cast<uint8_t>((i * 255 * 2 + (points - 1)) / (2 * (points - 1)));
  }
  return levels;
}

ColourTable makeColourTable(uint32_t points, uint8_t channelCount, const NodeFunction& node) {
  if (points < 2 || points > KESTRL_MAX_GRID_POINTS) {
    throw std::invalid_argument("a colour table needs 2 to " +
                                std::to_string(KESTRL_MAX_GRID_POINTS) + " points per axis");
  }
  ColourTable table;
  table.channelCount = channelCount;
  const std::vector<uint8_t> levels = evenLevels(points);
  table.levels = {levels, levels, levels};
  table.grid.resize(size_t{points} * points * points * channelCount);
  uint8_t* out = table.grid.data();
  for (uint8_t r : levels) {
    for (uint8_t g : levels) {
      for (uint8_t b : levels) {
        node(r, g, b, out);
        out += channelCount;
      }
    }
  }
  std::vector<uint8_t> neutral(channelCount);
  for (uint8_t v : levels) {
    node(v, v, v, neutral.data());
    table.greyLevels.push_back(neutral.back());
    append(table.compositeGreyNodes, neutral);
  }
  return table;
}

void complementaryInks(uint8_t r, uint8_t g, uint8_t b, uint8_t* out) {
  const uint8_t k = static_cast<uint8_t>(255 - std::max({r, g, b}));
  out[0] = static_cast<uint8_t>(255 - r - k);
  out[1] = static_cast<uint8_t>(255 - g - k);
  out[2] = static_cast<uint8_t>(255 - b - k);
  out[3] = k;
}

std::vector<uint8_t> buildCalibrationRecord(uint8_t key, const std::vector<uint8_t>& values) {
  std::vector<uint8_t> out;
  out.reserve(values.size() + 6);
  out.assign(std::begin(record_layout::kTag), std::end(record_layout::kTag));
  out.push_back(key);
  append(out, values);
  out.push_back(record_layout::kValuesEnd);
  out.push_back(record_layout::kRecordEnd);
  return out;
}

std::vector<uint8_t> buildChannelMapResource(const std::vector<ChannelMapRecord>& records) {
  std::vector<uint8_t> out;
  for (const ChannelMapRecord& record : records) {
    out.push_back(record.key);
    append(out, record.map);
    out.push_back(map_layout::kRecordEnd);
  }
  out.push_back(map_layout::kListEnd);
  return out;
}

std::vector<uint8_t> buildNominalValues(const std::vector<uint8_t>& values) {
  return values;
}

std::vector<uint8_t> buildCorrectionTables(const std::function<uint8_t(int table, int x)>& entry) {
  std::vector<uint8_t> out(size_t{kCorrectionTables} * kCorrectionTableBytes);
  for (int t = 0; t < kCorrectionTables; ++t) {
    for (int x = 0; x < kCorrectionTableBytes; ++x)
      out[t * kCorrectionTableBytes + x] = entry(t, x);
  }
  return out;
}

PrintMode fourInkMode(uint32_t mode, uint32_t lineWidth) {
  PrintMode printMode{};
  printMode.mode = mode;
  printMode.inkSet = 4;
  printMode.colorInput = 1;
  printMode.xResolution = 720;
  printMode.yResolution = 720;
  printMode.bitsPerPixel = 1;
  printMode.lineWidth = lineWidth;
  return printMode;
}

DirectoryText fourInkDirectory(std::vector<DirectoryEntryText> entries) {
  DirectoryText d;
  d.modeNames = {"none", "m1", "m2", "m3"};
  d.selectNames = {"P0"};
  d.classNames = {"plain", "c1", "c2", "c3", "corrected"};
  d.entries = std::move(entries);
  return d;
}

}  // namespace kestrl::pack
