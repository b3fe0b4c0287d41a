// The block parsers: each block goes to the library's own reader first, and
// only a block the library takes has its fields read.
#include <algorithm>
#include <memory>

#include "colour/calibration.h"
#include "colour/colour_table.h"
#include "colour/directory.h"
#include "common/block_layout.h"
#include "common/lut_record.h"
#include "memory/byte_reader.h"
#include "pack/block_dump.h"

namespace kestrl::pack {

namespace {

template <typename T>
Parsed<T> refused(const char* why) {
  Parsed<T> p;
  p.error = why;
  return p;
}

ByteReader readerOf(std::span<const uint8_t> bytes) {
  return ByteReader(bytes.data(), bytes.size());
}

std::vector<uint8_t> take(std::span<const uint8_t> bytes, size_t offset, size_t count) {
  return {bytes.begin() + offset, bytes.begin() + offset + count};
}

// ---- the halftone stages, run through the sized calls ----

constexpr PrintMode kGreyMode = {1, 0, 0, 0, 720, 720, 1, 0, 0, 64, 0};
constexpr PrintMode kGreyTwoBitMode = {1, 0, 0, 0, 720, 720, 2, 0, 0, 64, 0};
constexpr PrintMode kColourMode = {1, 0, 1, 1, 720, 720, 1, 0, 0, 64, 0};

// An id list naming resources 1 to 4 for the stages after it.
constexpr uint8_t kIdList[] = {1, 0, 2, 0, 3, 0, 4, 0, 0xFF, 0xFF};
// A 2 x 2 threshold matrix.
constexpr uint8_t kMatrix[] = {2, 2, 2, 0, 0, 0, 64, 0, 128, 0, 192, 0};
// The stage-4 id record of a two-bit job.
constexpr uint8_t kStageFourRecord[] = {1, 0, 0, 0, 1, 0, 4, 0};

// A colour table record of the kind the colour side builds: a 2-point grid
// of four channels, ink gains of 250 and 100 %, a grey ramp falling from 255
// to 0.
class ProbeLut {
 public:
  explicit ProbeLut(std::span<const uint8_t> extra) {
    CmLut& lut = lut_;
    lut.selfBlock = &lut;
    lut.channelCount = 4;
    for (int axis = 0; axis < 3; ++axis) {
      lut.gridPoints[axis] = 2;
      lut.breakpoints[axis][1] = 255;
    }
    for (int v = 0; v < 256; ++v) lut.greyRamp[v] = static_cast<uint8_t>(255 - v);
    lut.scaleParams[0] = 250;
    lut.scaleParams[1] = 100;
    lut.gridData = grid_.data();
    lut.gridBlock = grid_.data();
    // The section as the library keeps it: its byte count ahead of its bytes.
    extra_.resize(extra_section::blockBytes(static_cast<uint32_t>(extra.size())));
    uint8_t* bytes = extra_section::prepare(extra_.data(), static_cast<uint32_t>(extra.size()));
    std::copy(extra.begin(), extra.end(), bytes);
    lut.extraBlock = extra_.data();
    lut.extraData = bytes;
  }
  const CmLut& lut() const { return lut_; }

 private:
  CmLut lut_{};
  std::vector<uint8_t> extra_;
  std::array<uint8_t, 8 * 4> grid_{};
};

// A halftone context of the library, fed one block per stage.
class HalftoneStages {
 public:
  HalftoneStages(const PrintMode& mode, std::span<const uint8_t> extra) : lut_(extra) {
    int32_t firstId = 0;
    ok_ = HalftoneNew(&mode, &lut_.lut(), 0, &firstId, &context_) == KESTRL_STATUS_OK;
  }
  ~HalftoneStages() {
    if (context_ != nullptr) HalftoneDelete(context_);
  }
  HalftoneStages(const HalftoneStages&) = delete;
  HalftoneStages& operator=(const HalftoneStages&) = delete;

  // Feeds a block to the next stage; false when any stage so far failed.
  bool feed(std::span<const uint8_t> block) {
    static const uint8_t kEmpty = 0;
    const void* data = block.empty() ? &kEmpty : block.data();
    int32_t nextId = 0;
    ok_ = ok_ && HalftoneSetResourceSized(context_, data, static_cast<uint32_t>(block.size()),
                                          &nextId) == KESTRL_STATUS_OK;
    return ok_;
  }

 private:
  ProbeLut lut_;
  HalftoneContext* context_ = nullptr;
  bool ok_ = false;
};

bool stageTakes(const PrintMode& mode, std::span<const uint8_t> extra,
                std::initializer_list<std::span<const uint8_t>> before,
                std::span<const uint8_t> block) {
  HalftoneStages stages(mode, extra);
  for (std::span<const uint8_t> earlier : before) stages.feed(earlier);
  return stages.feed(block);
}

// ---- the colour side ----

std::string titleOf(const std::string& text) {
  std::string title = text.substr(0, text.find("//"));
  while (!title.empty() && (title.back() == '\r' || title.back() == '\n')) title.pop_back();
  return title;
}

std::vector<std::string> namesOf(const colour::NameList& list) {
  return {list.names, list.names + list.count};
}

}  // namespace

Parsed<std::vector<uint16_t>> parseResourceIdList(std::span<const uint8_t> bytes) {
  using P = std::vector<uint16_t>;
  if (!stageTakes(kGreyMode, {}, {}, bytes)) {
    return refused<P>("not an id list the library reads: at most 15 ids, then 0xFFFF");
  }
  ByteReader r = readerOf(bytes);
  P ids;
  for (size_t at = 0; r.u16le(at) != layout::id_list::kEndMarker; at += layout::id_list::kIdBytes)
    ids.push_back(r.u16le(at));
  return {ids, {}};
}

Parsed<GridLevels> parseGridLevels(std::span<const uint8_t> bytes) {
  if (!stageTakes(kColourMode, {}, {kIdList}, bytes)) {
    return refused<GridLevels>(
        "not grid levels the library reads: a count of 32, then 32 levels rising strictly from 0 "
        "to 255");
  }
  GridLevels g;
  g.pointCount = readerOf(bytes).u16le(layout::grid_levels::kPointCount);
  g.levels = take(bytes, layout::grid_levels::kLevels, g.pointCount);
  return {g, {}};
}

Parsed<ThresholdMatrix> parseThresholdMatrix(std::span<const uint8_t> bytes) {
  namespace matrix_layout = layout::threshold_matrix;
  if (!stageTakes(kGreyMode, {}, {kIdList, {}}, bytes)) {
    return refused<ThresholdMatrix>(
        "not a threshold matrix the library reads: a power-of-two width, at most 65535 cells of "
        "2 bytes, all present");
  }
  const auto side = [](uint8_t b) {
    return b == matrix_layout::kSideOf256 ? matrix_layout::kLargestSide : uint32_t{b};
  };
  ThresholdMatrix m{side(bytes[matrix_layout::kWidth]),
                    side(bytes[matrix_layout::kHeight]),
                    {},
                    bytes[matrix_layout::kBytesPerCell]};
  ByteReader r = readerOf(bytes);
  for (size_t i = 0; i < size_t{m.width} * m.height; ++i)
    m.cells.push_back(r.u16le(matrix_layout::kCells + matrix_layout::kCellBytes * i));
  return {m, {}};
}

Parsed<DotSizeRows> parseDotSizeTable(std::span<const uint8_t> bytes) {
  if (!stageTakes(kGreyTwoBitMode, kStageFourRecord, {kIdList, {}, kMatrix}, bytes)) {
    return refused<DotSizeRows>(
        "not a dot-size table the library reads: 256 rows of three shares adding up to at most "
        "255");
  }
  DotSizeRows rows{};
  for (size_t v = 0; v < rows.size(); ++v) {
    std::copy_n(bytes.begin() + layout::dot_table::kRowBytes * v, 3, rows[v].begin());
  }
  return {rows, {}};
}

Parsed<StageFourIdRecord> parseStageFourIdRecord(std::span<const uint8_t> bytes) {
  namespace record_layout = layout::stage_four_record;
  if (!stageTakes(kGreyTwoBitMode, bytes, {kIdList, {}}, kMatrix)) {
    return refused<StageFourIdRecord>(
        "not a stage-4 id record the library reads: 8 bytes, present non-zero, version 1");
  }
  ByteReader r = readerOf(bytes);
  return {{r.u32le(record_layout::kPresent), r.u16le(record_layout::kVersion),
           r.u16le(record_layout::kDotTableId)},
          {}};
}

Parsed<DirectoryText> parseDirectory(std::span<const uint8_t> bytes) {
  auto directory = std::make_unique<colour::Directory>();
  if (colour::parseDirectory(readerOf(bytes), *directory) != kOk) {
    return refused<DirectoryText>(
        "not a directory the library reads: at most 100 entries, names of at most 11 characters, "
        "at most 12, 32 and 12 names in the three lists, lines of at most 255 characters");
  }
  const std::string text(bytes.begin(), std::find(bytes.begin(), bytes.end(), uint8_t{0}));
  DirectoryText d;
  d.lineEnd = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  d.title = titleOf(text);
  for (int32_t i = 0; i < directory->entryCount; ++i) {
    const colour::DirectoryEntry& e = directory->entries[i];
    d.entries.push_back({e.entryId, e.entryCode == -1 ? 0 : e.entryCode, e.modeName, e.selectName,
                         e.xResolution, e.yResolution, e.className, e.selectValue, e.bitsPerPixel});
  }
  d.modeNames = namesOf(directory->modes);
  d.selectNames = namesOf(directory->selects);
  d.classNames = namesOf(directory->classes);
  if (directory->selects.hasBase) d.selectBase = directory->selects.base;
  return {d, {}};
}

Parsed<ColourTable> parseColourTable(std::span<const uint8_t> bytes) {
  const CmContext defaultJob{};
  if (!colour::colourTableReadable(defaultJob, readerOf(bytes))) {
    return refused<ColourTable>(
        "not a colour table the library reads: equal point counts of 2 to 68, at least one "
        "channel, levels rising strictly from 0 to 255, the grid (and the grey levels of kinds 1 "
        "and 3) and the extra section inside the block");
  }
  ByteReader r = readerOf(bytes);
  const colour::ColourTableHeader h = colour::readColourTableHeader(r);
  ColourTable t;
  t.tableFlag = h.tableFlag;
  t.lutKind = h.lutKind;
  std::copy_n(h.peakReduce, 3, t.peakReduce.begin());
  std::copy_n(h.hueShift, 3, t.hueShift.begin());
  t.saturationShift = h.saturationShift;
  std::copy_n(h.pairReduce, 3, t.pairReduce.begin());
  std::copy_n(h.scaleParams, 5, t.scaleParams.begin());
  std::copy_n(h.headerParams, 4, t.headerParams.begin());
  t.channelCount = h.channelCount;
  const size_t n = h.gridPoints[0];
  size_t at = layout::colour_table::kLevels;
  for (auto& row : t.levels) {
    row = take(bytes, at, n);
    at += n;
  }
  t.grid = take(bytes, at, n * n * n * t.channelCount);
  at += t.grid.size();
  const size_t end = h.extraSize != 0 && h.extraOffset >= at ? h.extraOffset : bytes.size();
  if (end >= at + n) {
    t.greyLevels = take(bytes, at, n);
    at += n;
    if (end >= at + n * t.channelCount) t.compositeGreyNodes = take(bytes, at, n * t.channelCount);
  }
  if (h.extraSize != 0) t.extra = take(bytes, h.extraOffset, h.extraSize);
  return {t, {}};
}

size_t colourTableReadLength(const ColourTable& t, size_t blockSize) {
  const size_t n = t.points();
  const size_t composite =
      layout::colour_table::kLevels + 4 * n + t.grid.size() + n * t.channelCount;
  return std::max(composite, blockSize);
}

Parsed<CalibrationRecord> parseCalibrationRecord(std::span<const uint8_t> bytes) {
  namespace record_layout = layout::calibration_record;
  const colour::TagValue tag{bytes.data(), bytes.size(), true};
  for (uint32_t channels = 1; channels <= record_layout::kMaxChannels; ++channels) {
    if (colour::validCalibrationRecord(tag, channels)) {
      return {{bytes[record_layout::kKey], take(bytes, record_layout::kValues, channels)}, {}};
    }
  }
  return refused<CalibrationRecord>(
      "not a calibration record the library takes: 'CW:', a key, 1 to 20 values of 30 to 70, "
      "0xFE 0xFF");
}

Parsed<std::vector<ChannelMapRecord>> parseChannelMap(std::span<const uint8_t> bytes) {
  std::vector<ChannelMapRecord> records;
  const bool ends = colour::walkChannelMap(readerOf(bytes),
                                           [&](uint8_t key, const uint8_t* map, uint32_t length) {
                                             records.push_back({key, {map, map + length}});
                                           });
  if (!ends) {
    return refused<std::vector<ChannelMapRecord>>(
        "not a channel map the library reads: records of a key, map bytes and 0xFE, then 0xFF, "
        "all inside the block");
  }
  return {records, {}};
}

Parsed<std::vector<uint8_t>> parseNominalValues(std::span<const uint8_t> bytes) {
  if (colour::nominalValues(readerOf(bytes), 1) == nullptr) {
    return refused<std::vector<uint8_t>>("nominal values block is empty");
  }
  return {{bytes.begin(), bytes.end()}, {}};
}

Parsed<CorrectionTables> parseCorrectionTables(std::span<const uint8_t> bytes) {
  namespace correction = layout::correction_tables;
  const uint8_t* tables = colour::correctionTables(readerOf(bytes));
  if (tables == nullptr) {
    return refused<CorrectionTables>(
        "not a correction resource the library reads: 21 tables of 256 bytes");
  }
  CorrectionTables out(correction::kCount);
  for (size_t t = 0; t < out.size(); ++t)
    std::copy_n(tables + correction::kTableBytes * t, correction::kTableBytes, out[t].begin());
  return {out, {}};
}

}  // namespace kestrl::pack
