#include "colour/colour_table.h"

#include <cstdint>
#include <cstring>

#include "common/arithmetic.h"
#include "common/lut_record.h"
#include "memory/memory.h"

namespace kestrl::colour {

namespace {

namespace L = table_layout;

// The parts of a block that the loader reads, located and checked.
struct TableParts {
  uint32_t points;
  uint32_t channels;
  uint32_t gridBytes;
  const uint8_t* levels;  // three rows of `points` bytes
  const uint8_t* grid;
  const uint8_t* greyLevels;      // null unless the last-channel axis is set
  const uint8_t* compositeNodes;  // null unless the grey axis is replaced
  const uint8_t* extra;           // null when the block has no extra section
  uint32_t extraSize;
};

bool rowRisesFrom0To255(const uint8_t* row, uint32_t points) {
  if (row[0] != 0 || row[points - 1] != 255) return false;
  for (uint32_t p = 1; p < points; ++p) {
    if (row[p] <= row[p - 1]) return false;
  }
  return true;
}

bool wantsLastChannelAxis(const CmLut& lut) {
  return lut.compositeGrey == 0 && (lut.lutKind == 1 || lut.lutKind == 3);
}

bool wantsGreyReplacement(const CmContext& context, const CmLut& lut, uint8_t tableFlag) {
  return context.settings.colorClass == kColorClassCorrected && lut.compositeGrey == 1 &&
         tableFlag == kGreyReplacementFlag && context.settings.classOverride == 0;
}

uint32_t compositeGreyFor(const CmContext& context) {
  uint32_t composite = 0;
  if (context.printMode.inkSet != 0) composite = context.settings.greyStyle != kPlainGreyStyle;
  if (context.settings.classOverride == kOverrideComposite) composite = 1;
  return composite;
}

uint32_t storedKind(uint8_t kind) {
  return kind == 2 ? 1 : kind;
}

// An extra section and its byte count must fit one block.
constexpr uint32_t kLargestExtraSize =
    static_cast<uint32_t>(UINT32_MAX - extra_section::kCountBytes);

// Locates every part the loader will read; false when an invariant fails or
// a part lies past the end of a block of known size.
bool locateParts(const CmContext& context, ByteReader& block, TableParts& parts) {
  const uint8_t* dims = block.bytes(L::kGridPoints, 4);
  if (dims == nullptr) return false;
  const uint32_t n = dims[0];
  if (dims[1] != n || dims[2] != n || n < kMinGridPoints || n > KESTRL_MAX_GRID_POINTS)
    return false;
  if (dims[3] == 0) return false;
  parts.points = n;
  parts.channels = dims[3];
  parts.gridBytes = n * n * n * parts.channels;
  parts.levels = block.bytes(L::kLevels, 3 * n);
  parts.grid = block.bytes(L::kLevels + 3 * n, parts.gridBytes);
  if (parts.levels == nullptr || parts.grid == nullptr) return false;
  for (uint32_t axis = 0; axis < 3; ++axis) {
    if (!rowRisesFrom0To255(parts.levels + axis * n, n)) return false;
  }

  CmLut probe{};
  probe.compositeGrey = compositeGreyFor(context);
  probe.lutKind = storedKind(block.u8(L::kLutKind));
  const size_t greyOffset = L::kLevels + 3 * n + parts.gridBytes;
  parts.greyLevels = wantsLastChannelAxis(probe) ? block.bytes(greyOffset, n) : nullptr;
  if (wantsLastChannelAxis(probe) && parts.greyLevels == nullptr) return false;
  const bool replace = wantsGreyReplacement(context, probe, block.u8(L::kTableFlag));
  parts.compositeNodes = replace ? block.bytes(greyOffset + n, n * parts.channels) : nullptr;
  if (replace && parts.compositeNodes == nullptr) return false;

  parts.extraSize = block.u32le(L::kExtraSize);
  if (parts.extraSize > kLargestExtraSize) return false;
  const uint32_t extraOffset = block.u32le(L::kExtraOffset);
  parts.extra = parts.extraSize == 0 ? nullptr : block.bytes(extraOffset, parts.extraSize);
  return block.ok();
}

void readHeader(CmContext& context, ByteReader& block, CmLut& lut) {
  const ColourTableHeader header = readColourTableHeader(block);
  lut.lutKind = storedKind(header.lutKind);
  for (int i = 0; i < 3; ++i) {
    context.peakReduce[i] = header.peakReduce[i];
    context.hueShift[i] = header.hueShift[i];
    context.pairReduce[i] = header.pairReduce[i];
  }
  context.saturationShift = header.saturationShift;
  for (int i = 0; i < 5; ++i) lut.scaleParams[i] = header.scaleParams[i];
  for (int i = 0; i < 4; ++i) lut.headerParams[i] = header.headerParams[i];
}

// Takes a zero-filled block of `size` bytes and copies `source` into it.
Status copyIntoNewBlock(const uint8_t* source, uint32_t size, uint8_t*& data, void*& owner) {
  memory::OwnedBlock<uint8_t> block;
  if (Status s = block.allocate(size, /*zeroFill=*/true); s != kOk) return s;
  std::memcpy(block.get(), source, size);
  data = block.get();
  owner = block.release();
  return kOk;
}

// Takes a block for the extra section, with its byte count ahead of it, and
// copies the section in.
Status copyExtraSection(const uint8_t* source, uint32_t size, CmLut& lut) {
  memory::OwnedBlock<uint8_t> block;
  const auto bytes = static_cast<uint32_t>(extra_section::blockBytes(size));
  if (Status s = block.allocate(bytes, /*zeroFill=*/true); s != kOk) return s;
  lut.extraData = extra_section::prepare(block.get(), size);
  std::memcpy(lut.extraData, source, size);
  lut.extraBlock = block.release();
  return kOk;
}

// Kinds 1 and 3 without composite grey print the neutral axis with the last
// channel only: the colour channels become 0 (or the grey level in mode 2).
void setLastChannelAxis(const CmContext& context, CmLut& lut, const uint8_t* greyLevels) {
  const uint32_t n = static_cast<uint32_t>(lut.gridPoints[0]);
  const uint32_t channels = lut.channelCount;
  const bool greyInColours = context.printMode.mode == 2;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t* node = lut.gridData + neutralNodeOffset(i, n, channels);
    std::memset(node, greyInColours ? greyLevels[i] : 0, channels - 1);
    node[channels - 1] = greyLevels[i];
  }
  if (lut.lutKind != 3 || context.printMode.colorInput == 0) return;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t& last = lut.gridData[neutralNodeOffset(i, n, channels) + channels - 1];
    last = inkGainCorrect(last, lut.scaleParams[0], lut.scaleParams[1]);
  }
}

void replaceGreyAxis(CmLut& lut, const uint8_t* compositeNodes) {
  const uint32_t n = static_cast<uint32_t>(lut.gridPoints[0]);
  const uint32_t channels = lut.channelCount;
  for (uint32_t i = 0; i < n; ++i) {
    std::memcpy(lut.gridData + neutralNodeOffset(i, n, channels), compositeNodes + i * channels,
                channels);
  }
}

}  // namespace

ColourTableHeader readColourTableHeader(ByteReader& block) {
  ColourTableHeader header{};
  header.tableFlag = block.u8(L::kTableFlag);
  header.lutKind = block.u8(L::kLutKind);
  for (int i = 0; i < 3; ++i) {
    header.peakReduce[i] = block.u8(L::kPeakReduce + i);
    header.hueShift[i] = block.s8(L::kHueShift + i);
    header.pairReduce[i] = block.s8(L::kPairReduce + i);
    header.gridPoints[i] = block.u8(L::kGridPoints + i);
  }
  header.saturationShift = block.s8(L::kSaturationShift);
  for (int i = 0; i < 5; ++i) header.scaleParams[i] = block.s16be(L::kScaleParams + 2 * i);
  for (int i = 0; i < 4; ++i) header.headerParams[i] = block.s16be(L::kHeaderParams + 2 * i);
  header.extraOffset = block.u32le(L::kExtraOffset);
  header.extraSize = block.u32le(L::kExtraSize);
  header.channelCount = block.u8(L::kChannelCount);
  return header;
}

bool colourTableReadable(const CmContext& context, ByteReader block) {
  TableParts parts{};
  return locateParts(context, block, parts);
}

uint8_t inkGainCorrect(uint8_t x, int32_t p0, int32_t p1) {
  const int32_t light = 255 - x;
  const int32_t t = wrapAdd(wrapMul(light * light, wrapSub(p0, p1)), 1) / 255;
  const int32_t d = wrapAdd(t, wrapMul(255, p1)) / 100;
  if (d <= 0) return x;
  return static_cast<uint8_t>((255 * x + d / 2) / d);
}

void inkGainCorrectGrid(CmLut& lut) {
  const uint32_t n = static_cast<uint32_t>(lut.gridPoints[0]);
  const uint32_t size = n * n * n * lut.channelCount;
  for (uint32_t i = 0; i < size; ++i) {
    lut.gridData[i] = inkGainCorrect(lut.gridData[i], lut.scaleParams[0], lut.scaleParams[1]);
  }
}

Status loadColourTable(CmContext& context, ByteReader block) {
  TableParts parts{};
  if (!locateParts(context, block, parts)) return kBadResource;
  CmLut& lut = *context.lut;

  lut.resourceId = static_cast<uint32_t>(context.entryId);
  lut.resourceCode = context.entryCode;
  context.tableFlag = block.u8(L::kTableFlag);
  if (parts.extra != nullptr) {
    if (Status s = copyExtraSection(parts.extra, parts.extraSize, lut); s != kOk) return s;
  } else {
    lut.extraBlock = nullptr;
  }
  readHeader(context, block, lut);
  for (int axis = 0; axis < 3; ++axis) {
    lut.gridPoints[axis] = static_cast<int32_t>(parts.points);
    std::memcpy(lut.breakpoints[axis], parts.levels + axis * parts.points, parts.points);
  }
  lut.channelCount = parts.channels;
  lut.compositeGrey = compositeGreyFor(context);

  const Status status = copyIntoNewBlock(parts.grid, parts.gridBytes, lut.gridData, lut.gridBlock);
  if (status != kOk) return status;
  if (parts.greyLevels != nullptr) setLastChannelAxis(context, lut, parts.greyLevels);
  if (parts.compositeNodes != nullptr) replaceGreyAxis(lut, parts.compositeNodes);
  return kOk;
}

}  // namespace kestrl::colour
