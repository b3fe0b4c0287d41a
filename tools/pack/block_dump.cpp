// Blocks as readable text: fields, tables and grid summaries.
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "pack/block_kind_parts.h"

namespace kestrl::pack {

namespace {

std::string join(std::span<const uint8_t> values) {
  std::string out;
  for (uint8_t v : values) {
    if (!out.empty()) out += ' ';
    out += std::to_string(v);
  }
  return out;
}

class Text {
 public:
  template <typename... Parts>
  Text& line(const Parts&... parts) {
    ((out_ << parts), ...);
    out_ << '\n';
    return *this;
  }
  std::string str() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

}  // namespace

std::string dumpIdList(const std::vector<uint16_t>& ids) {
  Text t;
  t.line("resource id list: ", ids.size(), " ids");
  const char* roles[] = {"curve or grid levels (stage 2)", "threshold matrix, other resolutions",
                         "threshold matrix, x twice y", "threshold matrix, 1440 x 720"};
  for (size_t i = 0; i < ids.size(); ++i) {
    t.line("  [", i, "] ", ids[i], i < 4 ? std::string("  ") + roles[i] : "");
  }
  return t.str();
}

std::string dumpGridLevels(const GridLevels& g) {
  Text t;
  t.line("colour grid levels: ", g.pointCount, " points");
  t.line("  levels: ", join(g.levels));
  return t.str();
}

std::string dumpMatrix(const ThresholdMatrix& m) {
  Text t;
  const auto [lo, hi] = std::minmax_element(m.cells.begin(), m.cells.end());
  std::vector<uint16_t> sorted = m.cells;
  std::sort(sorted.begin(), sorted.end());
  const bool distinct = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
  t.line("threshold matrix: ", m.width, " x ", m.height, " cells (", m.cells.size(), "), ",
         int{m.bytesPerCell}, " bytes per cell");
  t.line("  values ", *lo, " to ", *hi, distinct ? ", all distinct" : ", with repeats");
  const uint32_t shown = std::min<uint32_t>(8, m.width);
  t.line("  top-left corner (", shown, " x ", std::min<uint32_t>(8, m.height), "):");
  for (uint32_t y = 0; y < std::min<uint32_t>(8, m.height); ++y) {
    std::string row;
    for (uint32_t x = 0; x < shown; ++x) {
      char cell[8];
      std::snprintf(cell, sizeof cell, "%6u", m.cells[y * m.width + x]);
      row += cell;
    }
    t.line(row);
  }
  return t.str();
}

std::string dumpDotTable(const DotSizeRows& rows) {
  Text t;
  t.line("dot-size table: 256 rows of small, medium, large shares (of 255)");
  for (int v = 0; v < 256; v += 4) {
    std::string line = "  ";
    for (int k = v; k < v + 4; ++k) {
      char cell[32];
      std::snprintf(cell, sizeof cell, "%3d: %3d %3d %3d   ", k, rows[k][0], rows[k][1],
                    rows[k][2]);
      line += cell;
    }
    t.line(line);
  }
  return t.str();
}

std::string dumpStageFour(const StageFourIdRecord& r) {
  Text t;
  t.line("stage-4 id record: present ", r.present, ", version ", r.version, ", dot-size table id ",
         r.dotTableId);
  return t.str();
}

std::string dumpDirectory(const DirectoryText& d) {
  Text t;
  t.line("directory '", d.title, "': ", d.entries.size(), " entries");
  t.line("  id     code   mode        name        xres  yres  class       select bits");
  for (const DirectoryEntryText& e : d.entries) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-6d %-6d %-11s %-11s %-5d %-5d %-11s %-6d %d", e.id,
                  e.code, e.modeName.c_str(), e.selectName.c_str(), e.xResolution, e.yResolution,
                  e.className.c_str(), e.selectValue, e.bitsPerPixel);
    t.line(line);
  }
  const auto list = [](const std::vector<std::string>& names, int32_t base) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
      out += ' ';
      out += std::to_string(base + static_cast<int32_t>(i));
      out += '=';
      out += names[i];
    }
    return out;
  };
  t.line("  mode names:", list(d.modeNames, 0));
  t.line("  select names:", list(d.selectNames, d.selectBase.value_or(0)));
  t.line("  class names:", list(d.classNames, 0));
  return t.str();
}

std::string dumpColourTable(const ColourTable& c) {
  Text t;
  const uint32_t n = c.points();
  t.line("colour table: ", n, " x ", n, " x ", n, " points, ", int{c.channelCount},
         " channels, kind ", int{c.lutKind}, ", flag ", int{c.tableFlag});
  t.line("  ink gain (scale) ", c.scaleParams[0], " ", c.scaleParams[1], " ", c.scaleParams[2], " ",
         c.scaleParams[3], " ", c.scaleParams[4], "; header ", c.headerParams[0], " ",
         c.headerParams[1], " ", c.headerParams[2], " ", c.headerParams[3]);
  t.line("  peak reduce ", int{c.peakReduce[0]}, " ", int{c.peakReduce[1]}, " ",
         int{c.peakReduce[2]}, "; hue shift ", int{c.hueShift[0]}, " ", int{c.hueShift[1]}, " ",
         int{c.hueShift[2]}, "; saturation shift ", int{c.saturationShift}, "; pair reduce ",
         int{c.pairReduce[0]}, " ", int{c.pairReduce[1]}, " ", int{c.pairReduce[2]});
  for (int a = 0; a < 3; ++a) t.line("  levels axis ", a + 1, ": ", join(c.levels[a]));
  const auto node = [&](uint32_t i, uint32_t j, uint32_t k) {
    const size_t at = ((size_t{i} * n + j) * n + k) * c.channelCount;
    return join(std::span(c.grid).subspan(at, c.channelCount));
  };
  t.line("  corner nodes (input -> channels):");
  for (uint32_t corner = 0; corner < 8; ++corner) {
    const uint32_t i = corner & 4 ? n - 1 : 0, j = corner & 2 ? n - 1 : 0,
                   k = corner & 1 ? n - 1 : 0;
    t.line("    (", int{c.levels[0][i]}, ",", int{c.levels[1][j]}, ",", int{c.levels[2][k]},
           ") -> ", node(i, j, k));
  }
  t.line("  neutral axis (v,v,v) -> channels:");
  for (uint32_t i = 0; i < n; ++i) t.line("    ", int{c.levels[0][i]}, " -> ", node(i, i, i));
  if (!c.greyLevels.empty()) t.line("  grey levels: ", join(c.greyLevels));
  if (!c.compositeGreyNodes.empty()) {
    t.line("  composite grey nodes: ", c.compositeGreyNodes.size() / c.channelCount, " nodes");
  }
  if (c.extra.empty()) {
    t.line("  no extra section");
  } else {
    t.line("  extra section: ", c.extra.size(), " bytes: ", join(c.extra));
    const Parsed<StageFourIdRecord> r = parseStageFourIdRecord(c.extra);
    if (r.ok()) t.line("    read as ", dumpStageFour(r.value));
  }
  return t.str();
}

std::string dumpCalibrationRecord(const CalibrationRecord& r) {
  Text t;
  t.line("calibration record: key ", int{r.key}, ", ", r.values.size(),
         " values: ", join(r.values));
  return t.str();
}

std::string dumpChannelMap(const std::vector<ChannelMapRecord>& records) {
  Text t;
  t.line("channel map: ", records.size(), " records");
  for (const ChannelMapRecord& r : records) t.line("  key ", int{r.key}, ": ", join(r.map));
  return t.str();
}

std::string dumpNominal(const std::vector<uint8_t>& values) {
  Text t;
  t.line("nominal values: ", values.size(), " bytes: ", join(values));
  return t.str();
}

std::string dumpCorrection(const CorrectionTables& tables) {
  Text t;
  t.line("correction tables: ", tables.size(), " tables of 256 (table 10: no difference)");
  for (size_t i = 0; i < tables.size(); ++i) {
    const auto& tab = tables[i];
    t.line("  table ", i, ": 0->", int{tab[0]}, " 64->", int{tab[64]}, " 128->", int{tab[128]},
           " 192->", int{tab[192]}, " 255->", int{tab[255]});
  }
  return t.str();
}

}  // namespace kestrl::pack
