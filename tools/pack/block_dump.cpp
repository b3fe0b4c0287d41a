#include "pack/block_dump.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>

#include "common/block_layout.h"
#include "memory/byte_reader.h"

namespace kestrl::pack {

namespace {

struct KindName {
  BlockKind kind;
  const char* name;
};
constexpr KindName kKindNames[] = {
    {BlockKind::kResourceIdList, "resource-id-list"},
    {BlockKind::kGridLevels, "grid-levels"},
    {BlockKind::kThresholdMatrix, "threshold-matrix"},
    {BlockKind::kDotSizeTable, "dot-size-table"},
    {BlockKind::kStageFourIdRecord, "stage-four-id-record"},
    {BlockKind::kDirectory, "directory"},
    {BlockKind::kColourTable, "colour-table"},
    {BlockKind::kCalibrationRecord, "calibration-record"},
    {BlockKind::kChannelMap, "channel-map"},
    {BlockKind::kNominalValues, "nominal-values"},
    {BlockKind::kCorrectionTables, "correction-tables"},
};

constexpr size_t kColourHeader = layout::colour_table::kLevels;
constexpr uint32_t kMaxGridPoints = KESTRL_MAX_GRID_POINTS;
constexpr size_t kDotTableSize = layout::dot_table::kBytes;
constexpr size_t kCorrectionTableCount = layout::correction_tables::kCount;
constexpr size_t kCorrectionBytes = layout::correction_tables::kBytes;
constexpr size_t kMaxIds = layout::id_list::kMaxIds;
constexpr size_t kMaxEntries = layout::directory::kMaxEntries;
constexpr size_t kMaxName = layout::directory::kMaxNameLength;
constexpr size_t kMaxLine = layout::directory::kMaxLineLength;
constexpr size_t kMaxMapBytes = 19;

template <typename T>
Parsed<T> fail(std::string why) {
  Parsed<T> p;
  p.error = std::move(why);
  return p;
}

bool risesFrom0To255(const std::vector<uint8_t>& levels) {
  if (levels.size() < 2 || levels.front() != 0 || levels.back() != 255) return false;
  return std::adjacent_find(levels.begin(), levels.end(), std::greater_equal<>()) == levels.end();
}

std::string join(std::span<const uint8_t> values) {
  std::string out;
  for (uint8_t v : values) {
    if (!out.empty()) out += ' ';
    out += std::to_string(v);
  }
  return out;
}

// ---- directory text ----

bool isLineEnd(char c) {
  return c == '\r' || c == '\n' || c == '\x1a';
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = i;
    while (end < text.size() && !isLineEnd(text[end])) ++end;
    if (end > i) lines.push_back(text.substr(i, end - i));
    i = end;
    while (i < text.size() && isLineEnd(text[i])) ++i;
  }
  return lines;
}

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string f; in >> f;) fields.push_back(f);
  return fields;
}

bool toNumber(const std::string& field, int32_t& value) {
  const char* end = field.data() + field.size();
  const auto [ptr, ec] = std::from_chars(field.data(), end, value);
  return ec == std::errc() && ptr == end;
}

std::string checkNames(const std::vector<std::string>& names, size_t most, const char* list) {
  if (names.size() > most) {
    return std::string(list) + " holds " + std::to_string(names.size()) + " names; at most " +
           std::to_string(most);
  }
  for (const std::string& n : names) {
    if (n.size() > kMaxName) return "name '" + n + "' is longer than 11 characters";
  }
  return {};
}

std::string parseEntry(const std::string& line, DirectoryEntryText& e) {
  const std::vector<std::string> f = splitFields(line);
  if (f.size() < 9) return "entry line '" + line + "' has fewer than nine fields";
  int32_t* numbers[] = {&e.id,          &e.code,        &e.xResolution,
                        &e.yResolution, &e.selectValue, &e.bitsPerPixel};
  const std::string* numberFields[] = {&f[0], &f[1], &f[4], &f[5], &f[7], &f[8]};
  for (size_t i = 0; i < 6; ++i) {
    if (!toNumber(*numberFields[i], *numbers[i])) {
      return "field '" + *numberFields[i] + "' of entry line '" + line + "' is not a number";
    }
  }
  e.modeName = f[2];
  e.selectName = f[3];
  e.className = f[6];
  for (const std::string* name : {&f[2], &f[3], &f[6]}) {
    if (name->size() > kMaxName) return "name '" + *name + "' is longer than 11 characters";
  }
  return {};
}

// ---- colour table ----

void readColourHeader(ByteReader& r, ColourTable& t) {
  namespace L = layout::colour_table;
  t.tableFlag = r.u8(L::kTableFlag);
  t.lutKind = r.u8(L::kLutKind);
  for (int i = 0; i < 3; ++i) {
    t.peakReduce[i] = r.u8(L::kPeakReduce + i);
    t.hueShift[i] = r.s8(L::kHueShift + i);
    t.pairReduce[i] = r.s8(L::kPairReduce + i);
  }
  t.saturationShift = r.s8(L::kSaturationShift);
  for (int i = 0; i < 5; ++i) t.scaleParams[i] = r.s16be(L::kScaleParams + 2 * i);
  for (int i = 0; i < 4; ++i) t.headerParams[i] = r.s16be(L::kHeaderParams + 2 * i);
  t.channelCount = r.u8(L::kChannelCount);
}

std::vector<uint8_t> take(std::span<const uint8_t> bytes, size_t offset, size_t count) {
  return {bytes.begin() + offset, bytes.begin() + offset + count};
}

// ---- text output ----

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

template <typename T, typename Dump>
std::string dumpWith(const Parsed<T>& parsed, Dump dump) {
  return parsed.ok() ? dump(parsed.value) : "cannot read block: " + parsed.error + "\n";
}

}  // namespace

const char* kindName(BlockKind kind) {
  for (const KindName& k : kKindNames) {
    if (k.kind == kind) return k.name;
  }
  return "unknown";
}

bool kindFromName(const std::string& name, BlockKind& kind) {
  for (const KindName& k : kKindNames) {
    if (name == k.name) {
      kind = k.kind;
      return true;
    }
  }
  return false;
}

bool guessKind(std::span<const uint8_t> bytes, int32_t id, bool text, BlockKind& kind) {
  const auto fits = [&](BlockKind k) {
    return checkBlock(k, bytes).empty() ? (kind = k, true) : false;
  };
  if (id == 980) return fits(BlockKind::kChannelMap);
  if (id == 990) return fits(BlockKind::kNominalValues);
  const std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 3));
  if (text || head == "CW:") {
    return fits(head == "CW:" ? BlockKind::kCalibrationRecord : BlockKind::kDirectory);
  }
  for (BlockKind k : {BlockKind::kDirectory, BlockKind::kCorrectionTables, BlockKind::kDotSizeTable,
                      BlockKind::kThresholdMatrix, BlockKind::kColourTable, BlockKind::kGridLevels,
                      BlockKind::kStageFourIdRecord, BlockKind::kResourceIdList}) {
    if (k == BlockKind::kCorrectionTables && bytes.size() != kCorrectionBytes) continue;
    if (k == BlockKind::kDotSizeTable && bytes.size() != kDotTableSize) continue;
    if (k == BlockKind::kStageFourIdRecord && bytes.size() != layout::stage_four_record::kBytes)
      continue;
    if (fits(k)) return true;
  }
  return false;
}

Parsed<std::vector<uint16_t>> parseResourceIdList(std::span<const uint8_t> bytes) {
  ByteReader r(bytes.data(), bytes.size());
  std::vector<uint16_t> ids;
  for (size_t i = 0;; ++i) {
    if (!r.require(layout::id_list::kIdBytes * i, layout::id_list::kIdBytes))
      return fail<std::vector<uint16_t>>("id list has no end marker 0xFFFF");
    const uint16_t id = r.u16le(layout::id_list::kIdBytes * i);
    if (id == layout::id_list::kEndMarker) break;
    if (ids.size() == kMaxIds) return fail<std::vector<uint16_t>>("id list holds more than 15 ids");
    ids.push_back(id);
  }
  return {ids, {}};
}

Parsed<GridLevels> parseGridLevels(std::span<const uint8_t> bytes) {
  if (bytes.size() < 2) return fail<GridLevels>("grid levels block shorter than 2 bytes");
  GridLevels g;
  g.pointCount = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
  if (bytes.size() < 2u + g.pointCount) {
    return fail<GridLevels>("grid levels block holds " + std::to_string(bytes.size() - 2) +
                            " levels; its count says " + std::to_string(g.pointCount));
  }
  g.levels = take(bytes, layout::grid_levels::kLevels, g.pointCount);
  if (!risesFrom0To255(g.levels))
    return fail<GridLevels>("grid levels must rise strictly from 0 to 255");
  return {g, {}};
}

Parsed<ThresholdMatrix> parseThresholdMatrix(std::span<const uint8_t> bytes) {
  using P = ThresholdMatrix;
  namespace matrix_layout = layout::threshold_matrix;
  if (bytes.size() < matrix_layout::kCells) {
    return fail<P>("threshold matrix block shorter than its 4-byte header");
  }
  ThresholdMatrix m;
  const uint8_t width = bytes[matrix_layout::kWidth], height = bytes[matrix_layout::kHeight];
  m.width = width == matrix_layout::kSideOf256 ? 256 : width;
  m.height = height == matrix_layout::kSideOf256 ? 256 : height;
  m.bytesPerCell = bytes[matrix_layout::kBytesPerCell];
  if (m.width == 0 || m.height == 0) return fail<P>("threshold matrix with a side of 0 cells");
  if ((m.width & (m.width - 1)) != 0) {
    return fail<P>("threshold matrix width " + std::to_string(m.width) + " is not a power of two");
  }
  const size_t cells = size_t{m.width} * m.height;
  if (cells > matrix_layout::kMaxCells) {
    return fail<P>("threshold matrix has 65536 cells; at most 65535");
  }
  if (m.bytesPerCell != matrix_layout::kCellBytes) {
    return fail<P>("threshold matrix cells must be 2 bytes");
  }
  if (bytes.size() < matrix_layout::kCells + matrix_layout::kCellBytes * cells) {
    return fail<P>("threshold matrix block holds " + std::to_string((bytes.size() - 4) / 2) +
                   " cells; " + std::to_string(m.width) + " x " + std::to_string(m.height) +
                   " needs " + std::to_string(cells));
  }
  ByteReader r(bytes.data(), bytes.size());
  for (size_t i = 0; i < cells; ++i) {
    m.cells.push_back(r.u16le(matrix_layout::kCells + matrix_layout::kCellBytes * i));
  }
  return {m, {}};
}

Parsed<DotSizeRows> parseDotSizeTable(std::span<const uint8_t> bytes) {
  if (bytes.size() < kDotTableSize) {
    return fail<DotSizeRows>("dot-size table holds " + std::to_string(bytes.size()) +
                             " bytes; 768 needed");
  }
  DotSizeRows rows{};
  for (size_t v = 0; v < 256; ++v) rows[v] = {bytes[3 * v], bytes[3 * v + 1], bytes[3 * v + 2]};
  return {rows, {}};
}

Parsed<StageFourIdRecord> parseStageFourIdRecord(std::span<const uint8_t> bytes) {
  namespace record_layout = layout::stage_four_record;
  if (bytes.size() < record_layout::kBytes) {
    return fail<StageFourIdRecord>("stage-4 id record shorter than 8 bytes");
  }
  ByteReader r(bytes.data(), bytes.size());
  return {{r.u32le(record_layout::kPresent), r.u16le(record_layout::kVersion),
           r.u16le(record_layout::kDotTableId)},
          {}};
}

Parsed<DirectoryText> parseDirectory(std::span<const uint8_t> bytes) {
  using P = DirectoryText;
  const auto nul = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  const std::string text(bytes.begin(), nul);
  const size_t marker = text.find("//");
  if (marker == std::string::npos || marker + 2 >= text.size() || text[marker + 2] != '3') {
    return fail<P>("directory has no '//3' marker line");
  }
  DirectoryText d;
  d.lineEnd = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  d.title = text.substr(0, marker);
  while (!d.title.empty() && isLineEnd(d.title.back())) d.title.pop_back();
  const std::vector<std::string> lines = splitLines(text.substr(marker));
  for (const std::string& line : lines) {
    if (line.size() > kMaxLine) return fail<P>("a directory line is longer than 255 characters");
  }
  size_t i = 2;  // past the marker line and the line after it
  for (; i < lines.size(); ++i) {
    const std::vector<std::string> f = splitFields(lines[i]);
    if (!f.empty() && f[0][0] == '/') break;
    DirectoryEntryText e;
    if (const std::string why = parseEntry(lines[i], e); !why.empty()) return fail<P>(why);
    if (d.entries.size() == kMaxEntries) return fail<P>("directory holds more than 100 entries");
    d.entries.push_back(e);
  }
  if (i == lines.size()) return fail<P>("directory has no closing '/' line");
  if (i + 3 >= lines.size()) return fail<P>("directory ends before its three name lists");
  d.modeNames = splitFields(lines[i + 1]);
  d.selectNames = splitFields(lines[i + 2]);
  d.classNames = splitFields(lines[i + 3]);
  if (!d.selectNames.empty() && d.selectNames[0][0] != 'P') {
    int32_t base = 0;
    if (!toNumber(d.selectNames[0], base)) {
      return fail<P>("second name list starts with '" + d.selectNames[0] +
                     "': neither a number nor a name beginning with P");
    }
    d.selectBase = base;
    d.selectNames.erase(d.selectNames.begin());
  }
  for (const std::string& why : {checkNames(d.modeNames, 12, "mode name list"),
                                 checkNames(d.selectNames, 32, "second name list"),
                                 checkNames(d.classNames, 12, "class name list")}) {
    if (!why.empty()) return fail<P>(why);
  }
  return {d, {}};
}

Parsed<ColourTable> parseColourTable(std::span<const uint8_t> bytes) {
  using P = ColourTable;
  if (bytes.size() < kColourHeader) return fail<P>("colour table shorter than its 76-byte header");
  ByteReader r(bytes.data(), bytes.size());
  ColourTable t;
  readColourHeader(r, t);
  const uint32_t n = bytes[72];
  if (bytes[73] != n || bytes[74] != n || n < 2 || n > kMaxGridPoints) {
    return fail<P>("colour table needs equal point counts of 2 to 68 on its axes; has " +
                   std::to_string(n) + ", " + std::to_string(bytes[73]) + ", " +
                   std::to_string(bytes[74]));
  }
  if (t.channelCount == 0) return fail<P>("colour table has 0 channels");
  if (t.scaleParams[0] < 1 || t.scaleParams[1] < 1) {
    return fail<P>("colour table ink-gain percentages must be at least 1");
  }
  const size_t grid = size_t{n} * n * n * t.channelCount;
  if (bytes.size() < kColourHeader + 3 * n + grid) {
    return fail<P>("colour table block ends inside its grid (" + std::to_string(bytes.size()) +
                   " bytes, grid ends at " + std::to_string(kColourHeader + 3 * n + grid) + ")");
  }
  for (uint32_t a = 0; a < 3; ++a) {
    t.levels[a] = take(bytes, kColourHeader + a * n, n);
    if (!risesFrom0To255(t.levels[a]))
      return fail<P>("colour table levels must rise strictly from 0 to 255");
  }
  size_t at = kColourHeader + 3 * n;
  t.grid = take(bytes, at, grid);
  at += grid;
  const uint32_t extraOffset = r.u32le(16), extraSize = r.u32le(20);
  if (extraSize != 0 && (extraOffset > bytes.size() || extraSize > bytes.size() - extraOffset)) {
    return fail<P>("colour table extra section lies outside the block");
  }
  const size_t end = extraSize != 0 && extraOffset >= at ? extraOffset : bytes.size();
  if (end >= at + n) {
    t.greyLevels = take(bytes, at, n);
    at += n;
    if (end >= at + size_t{n} * t.channelCount)
      t.compositeGreyNodes = take(bytes, at, size_t{n} * t.channelCount);
  }
  if (extraSize != 0) t.extra = take(bytes, extraOffset, extraSize);
  return {t, {}};
}

size_t colourTableReadLength(const ColourTable& t, size_t blockSize) {
  const size_t n = t.points();
  const size_t composite = kColourHeader + 4 * n + t.grid.size() + n * t.channelCount;
  return std::max(composite, blockSize);
}

Parsed<CalibrationRecord> parseCalibrationRecord(std::span<const uint8_t> bytes) {
  using P = CalibrationRecord;
  if (bytes.size() < 6 || bytes[0] != 'C' || bytes[1] != 'W' || bytes[2] != ':') {
    return fail<P>("calibration record does not begin with 'CW:' and a key");
  }
  CalibrationRecord c;
  c.key = bytes[3];
  size_t i = 4;
  for (; i < bytes.size() && bytes[i] != 0xFE; ++i) c.values.push_back(bytes[i]);
  if (i + 1 >= bytes.size() || bytes[i + 1] != 0xFF) {
    return fail<P>("calibration record does not end with 0xFE 0xFF");
  }
  return {c, {}};
}

Parsed<std::vector<ChannelMapRecord>> parseChannelMap(std::span<const uint8_t> bytes) {
  using P = std::vector<ChannelMapRecord>;
  P records;
  size_t i = 0;
  while (i < bytes.size() && bytes[i] != 0xFF) {
    ChannelMapRecord record{bytes[i++], {}};
    while (i < bytes.size() && bytes[i] != 0xFE) record.map.push_back(bytes[i++]);
    if (i == bytes.size()) return fail<P>("channel map record without its 0xFE end");
    if (record.map.size() > kMaxMapBytes) return fail<P>("channel map record longer than 20 bytes");
    ++i;
    records.push_back(record);
  }
  if (i == bytes.size()) return fail<P>("channel map without its 0xFF end");
  return {records, {}};
}

Parsed<std::vector<uint8_t>> parseNominalValues(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return fail<std::vector<uint8_t>>("nominal values block is empty");
  return {{bytes.begin(), bytes.end()}, {}};
}

Parsed<CorrectionTables> parseCorrectionTables(std::span<const uint8_t> bytes) {
  if (bytes.size() < kCorrectionBytes) {
    return fail<CorrectionTables>("correction resource holds " + std::to_string(bytes.size()) +
                                  " bytes; 21 tables of 256 need 5376");
  }
  CorrectionTables tables(kCorrectionTableCount);
  for (size_t t = 0; t < kCorrectionTableCount; ++t) {
    std::copy_n(bytes.begin() + 256 * t, 256, tables[t].begin());
  }
  return {tables, {}};
}

size_t maxBlockBytes(BlockKind kind) {
  constexpr size_t kPadding = 4096;
  constexpr size_t kMaxChannels = 255;
  constexpr size_t kMaxExtraSection = 65536;
  constexpr size_t kMaxDirectoryText = 65536;
  constexpr size_t kMaxCalibrationChannels = 20;
  constexpr size_t kMaxMapRecords = 256;
  constexpr size_t n = kMaxGridPoints;
  size_t largest = 0;
  switch (kind) {
    case BlockKind::kResourceIdList:
      largest = 2 * (kMaxIds + 1);
      break;
    case BlockKind::kGridLevels:
      largest = 2 + 256;
      break;
    case BlockKind::kThresholdMatrix:
      largest = 4 + 2 * 65535;
      break;
    case BlockKind::kDotSizeTable:
      largest = kDotTableSize;
      break;
    case BlockKind::kStageFourIdRecord:
      largest = 8;
      break;
    case BlockKind::kDirectory:
      largest = kMaxDirectoryText;
      break;
    case BlockKind::kColourTable:
      largest = kColourHeader + 4 * n + (n * n * n + n) * kMaxChannels + kMaxExtraSection;
      break;
    case BlockKind::kCalibrationRecord:
      largest = 4 + kMaxCalibrationChannels + 2;
      break;
    case BlockKind::kChannelMap:
      largest = kMaxMapRecords * (kMaxMapBytes + 2) + 1;
      break;
    case BlockKind::kNominalValues:
      largest = kMaxCalibrationChannels;
      break;
    case BlockKind::kCorrectionTables:
      largest = kCorrectionBytes;
      break;
  }
  return largest + kPadding;
}

size_t maxBlockBytes(bool text) {
  size_t largest = 0;
  for (BlockKind kind : kAllBlockKinds) {
    if ((kind == BlockKind::kDirectory) == text) largest = std::max(largest, maxBlockBytes(kind));
  }
  return largest;
}

std::string checkBlock(BlockKind kind, std::span<const uint8_t> b) {
  switch (kind) {
    case BlockKind::kResourceIdList:
      return parseResourceIdList(b).error;
    case BlockKind::kGridLevels:
      return parseGridLevels(b).error;
    case BlockKind::kThresholdMatrix:
      return parseThresholdMatrix(b).error;
    case BlockKind::kDotSizeTable:
      return parseDotSizeTable(b).error;
    case BlockKind::kStageFourIdRecord:
      return parseStageFourIdRecord(b).error;
    case BlockKind::kDirectory:
      return parseDirectory(b).error;
    case BlockKind::kColourTable:
      return parseColourTable(b).error;
    case BlockKind::kCalibrationRecord:
      return parseCalibrationRecord(b).error;
    case BlockKind::kChannelMap:
      return parseChannelMap(b).error;
    case BlockKind::kNominalValues:
      return parseNominalValues(b).error;
    case BlockKind::kCorrectionTables:
      return parseCorrectionTables(b).error;
  }
  return "unknown block kind";
}

std::string dumpBlock(BlockKind kind, std::span<const uint8_t> b) {
  switch (kind) {
    case BlockKind::kResourceIdList:
      return dumpWith(parseResourceIdList(b), dumpIdList);
    case BlockKind::kGridLevels:
      return dumpWith(parseGridLevels(b), dumpGridLevels);
    case BlockKind::kThresholdMatrix:
      return dumpWith(parseThresholdMatrix(b), dumpMatrix);
    case BlockKind::kDotSizeTable:
      return dumpWith(parseDotSizeTable(b), dumpDotTable);
    case BlockKind::kStageFourIdRecord:
      return dumpWith(parseStageFourIdRecord(b), dumpStageFour);
    case BlockKind::kDirectory:
      return dumpWith(parseDirectory(b), dumpDirectory);
    case BlockKind::kColourTable:
      return dumpWith(parseColourTable(b), dumpColourTable);
    case BlockKind::kCalibrationRecord:
      return dumpWith(parseCalibrationRecord(b), dumpCalibrationRecord);
    case BlockKind::kChannelMap:
      return dumpWith(parseChannelMap(b), dumpChannelMap);
    case BlockKind::kNominalValues:
      return dumpWith(parseNominalValues(b), dumpNominal);
    case BlockKind::kCorrectionTables:
      return dumpWith(parseCorrectionTables(b), dumpCorrection);
  }
  return "unknown block kind\n";
}

}  // namespace kestrl::pack
