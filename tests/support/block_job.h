// Jobs for tests and benchmarks, driven through the exported calls: a
// colour job fed block by block, and a halftone job fed a colour table
// record built by hand and blocks from the block builders, or every
// resource from a pack.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
#include "kestrl30.h"
#include "pack/halftone_blocks.h"
#include "pack/job.h"

namespace kestrl::pack {

using Block = std::vector<uint8_t>;

// CmNew and the colour stages after it, one block at a time; owns the context.
struct ColourJob {
  ColourJob() = default;
  ColourJob(const ColourJob&) = delete;
  ColourJob& operator=(const ColourJob&) = delete;
  ~ColourJob() {
    if (context != nullptr) CmDelete(context);
  }

  // CmNew; the first id goes to nextId.
  Status begin(const ColorSettings& settings, const PrintMode& mode) {
    return static_cast<Status>(CmNew(&settings, &mode, 0, &nextId, &context));
  }
  Status feed(const void* block) {
    return static_cast<Status>(CmSetResource(context, block, &nextId));
  }
  // CmNew, the directory and the colour table; the first status that is not kOk.
  Status start(const ColorSettings& settings, const PrintMode& mode, const std::string& directory,
               const Block& table) {
    Status status = begin(settings, mode);
    if (status == kOk) status = feed(directory.c_str());
    return status == kOk ? feed(table.data()) : status;
  }

  CmContext* context = nullptr;
  int32_t nextId = 0;
};

// The resource ids every job below uses: stage 2, then stage 3 by resolution.
inline constexpr uint16_t kCurveId = 40;
inline constexpr uint16_t kMatrixIdByClass[3] = {41, 42, 43};  // other, x = 2y, 1440 x 720
inline constexpr uint16_t kDotTableId = 77;

inline Block standardIdList() {
  const uint16_t ids[] = {kCurveId, kMatrixIdByClass[0], kMatrixIdByClass[1], kMatrixIdByClass[2]};
  return buildResourceIdList(ids);
}

// A 16 x 16 matrix holding each value 0 to 255 once (a scrambled order).
inline ThresholdMatrix permutationMatrix16() {
  return makeThresholdMatrix(16, 16, [](uint32_t col, uint32_t row) {
    return (row * 16 + col) * 37 % 256;  // 37 is odd: a permutation of 0..255
  });
}

// Grid levels 0, 8, 16, ..., 240, 255 (32 of them).
inline std::vector<uint8_t> evenGridLevels32() {
  std::vector<uint8_t> levels(32);
  for (int i = 0; i < 31; ++i) levels[i] = static_cast<uint8_t>(8 * i);
  levels[31] = 255;
  return levels;
}

// A halftone job for tests and benchmarks, owning its context. Either
// made from a colour table record built here and blocks made in memory
// (runAll), or opened from a pack the way a driver opens one (openFrom).
class BlockJob {
 public:
  BlockJob() {
    mode.mode = 1;
    mode.xResolution = 720;
    mode.yResolution = 720;
    mode.bitsPerPixel = 1;
    mode.lineWidth = 64;
    lut.resourceCode = 5;
    lut.channelCount = 4;
    lut.scaleParams[0] = 250;
    lut.scaleParams[1] = 100;
    setOldGrid({0, 255});
    for (int v = 0; v < 256; ++v) lut.greyRamp[v] = static_cast<uint8_t>(255 - v);
    extra = buildStageFourIdRecord({1, 1, kDotTableId});
  }
  ~BlockJob() {
    if (context != nullptr) HalftoneDelete(context);
  }
  BlockJob(const BlockJob&) = delete;
  BlockJob& operator=(const BlockJob&) = delete;

  void colour(uint32_t inkSet = 4) {
    mode.colorInput = 1;
    mode.inkSet = inkSet;
  }

  // An old grid on the given levels whose node (i1, i2, i3) channel k holds
  // nodeByte(i1, i2, i3, k).
  void setOldGrid(const std::vector<uint8_t>& levels) {
    setOldGrid(levels, [this](int i1, int i2, int i3, uint8_t* node) {
      for (uint32_t k = 0; k < lut.channelCount; ++k) node[k] = nodeByte(i1, i2, i3, k);
    });
  }
  // The same levels, node (i1, i2, i3) filled by fillNode(i1, i2, i3, node).
  template <typename FillNode>
  void setOldGrid(const std::vector<uint8_t>& levels, FillNode fillNode) {
    const int n = static_cast<int>(levels.size());
    for (int axis = 0; axis < 3; ++axis) {
      lut.gridPoints[axis] = n;
      std::copy(levels.begin(), levels.end(), lut.breakpoints[axis]);
    }
    grid.resize(static_cast<size_t>(n * n * n) * lut.channelCount);
    uint8_t* node = grid.data();
    for (int i1 = 0; i1 < n; ++i1)
      for (int i2 = 0; i2 < n; ++i2)
        for (int i3 = 0; i3 < n; ++i3, node += lut.channelCount) fillNode(i1, i2, i3, node);
  }
  static uint8_t nodeByte(int i1, int i2, int i3, uint32_t k) {
    return static_cast<uint8_t>((i1 * 71 + i2 * 29 + i3 * 13 + k * 50) % 256);
  }

  Status create() {
    lut.gridData = grid.data();
    lut.gridBlock = gridBlockPresent ? grid.data() : nullptr;
    lut.extraData = extra.empty() ? nullptr : extra.data();
    return static_cast<Status>(HalftoneNew(&mode, &lut, 0, &nextId, &context));
  }
  Status stage(const Block& block) {
    return static_cast<Status>(
        HalftoneSetResource(context, block.empty() ? nullptr : block.data(), &nextId));
  }

  // The usual blocks for this job's stages: id list, grid levels (colour
  // outside mode 0) or nothing, the matrix, and for two-bit output a dot table.
  std::vector<Block> standardBlocks(const ThresholdMatrix& matrix) const {
    std::vector<Block> blocks = {standardIdList()};
    const bool gridBlock = mode.colorInput != 0 && mode.mode != 0;
    blocks.push_back(gridBlock ? buildGridLevels(evenGridLevels32()) : Block{});
    blocks.push_back(buildThresholdMatrix(matrix));
    if (mode.bitsPerPixel == 2) blocks.push_back(buildDotSizeTable(dotShares));
    return blocks;
  }

  // Creates the context and runs every stage; the status of the first failure.
  Status runAll(const std::vector<Block>& blocks) {
    if (Status s = create(); s != kOk) return s;
    for (const Block& b : blocks) {
      if (Status s = stage(b); s != kOk) return s;
    }
    return kOk;
  }

  // The colour and halftone stages of this job's mode from the pack, run
  // by the same job driver as the command's; default colour settings.
  Status openFrom(const Pack& pack) {
    return static_cast<Status>(openHalftoneJob(pack, mode, &context));
  }

  Status halftone(const uint8_t* source, uint8_t* destination, uint32_t pixelCount, uint32_t startX,
                  uint32_t lineNumber, uint32_t bitOffset = 0, uint32_t planeStride = 0) {
    return static_cast<Status>(Halftone(context, source, destination, planeStride, bitOffset,
                                        pixelCount, startX, 0, lineNumber, 0, 0));
  }

  PrintMode mode{};
  CmLut lut{};
  std::vector<uint8_t> grid;
  std::vector<uint8_t> extra;
  bool gridBlockPresent = true;
  // Small, medium and large shares of each level: thirds of the level.
  std::array<DotShares, 256> dotShares = [] {
    std::array<DotShares, 256> rows{};
    for (int l = 0; l < 256; ++l) {
      const auto third = static_cast<uint8_t>(l / 3);
      rows[l] = {third, third, static_cast<uint8_t>(l - 2 * third)};
    }
    return rows;
  }();
  HalftoneContext* context = nullptr;
  int32_t nextId = 0;
};

}  // namespace kestrl::pack
