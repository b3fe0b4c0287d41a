#include "pack/job.h"

#include <algorithm>
#include <span>

#include "common/status.h"
#include "pack/block_dump.h"

namespace kestrl::pack {

namespace {

constexpr uint32_t kTagGamma = 1;
constexpr uint32_t kTagCurves = 256;
constexpr uint32_t kTagCalibration = 512;
constexpr uint32_t kMaxStages = 8;  // the sequences have at most six stages
constexpr int32_t kNoMoreResources = -1;

struct StageInfo {
  BlockKind kind;
  const char* what;
};

// The block each stage reads, by stage number (index 0 unused).
constexpr StageInfo kColourStages[] = {
    {BlockKind::kDirectory, ""},
    {BlockKind::kDirectory, "colour directory"},
    {BlockKind::kColourTable, "colour table"},
    {BlockKind::kChannelMap, "calibration channel map"},
    {BlockKind::kNominalValues, "calibration nominal values"},
    {BlockKind::kDirectory, "calibration directory"},
    {BlockKind::kCorrectionTables, "calibration correction tables"},
};
constexpr StageInfo kHalftoneStages[] = {
    {BlockKind::kResourceIdList, ""},
    {BlockKind::kResourceIdList, "halftone resource id list"},
    {BlockKind::kGridLevels, "colour grid levels"},
    {BlockKind::kThresholdMatrix, "threshold matrix"},
    {BlockKind::kDotSizeTable, "dot-size table"},
};

std::string stageName(bool colourSide, uint32_t stage) {
  const auto& table = colourSide ? std::span<const StageInfo>(kColourStages)
                                 : std::span<const StageInfo>(kHalftoneStages);
  return stage < table.size() ? table[stage].what : "unexpected stage";
}

JobFailure packFailure(std::string message) {
  return {JobFailure::Kind::kPack, KESTRL_STATUS_OK, std::move(message)};
}

// The keys the colour directory is searched with, for the no-entry message.
std::string lookupKeys(const JobSettings& s) {
  const PrintMode& m = s.printMode;
  return "no entry for mode " + std::to_string(m.mode == 0 ? 3 : m.mode) + " (as looked up), " +
         std::to_string(m.xResolution) + "x" + std::to_string(m.yResolution) + ", " +
         std::to_string(m.bitsPerPixel) + "-bit, colour class " +
         std::to_string(s.colour.colorClass) + ", class override " +
         std::to_string(s.colour.classOverride) + ", select number " +
         std::to_string(s.colour.selectNumber) + ", select name " +
         std::to_string(s.colour.selectName);
}

uint32_t sizeOf(const std::vector<uint8_t>& block) {
  return static_cast<uint32_t>(block.size());
}

// Checks what the library itself does not: that the block is long enough and
// consistent for the stage's reader, so that a bad pack gives a message
// rather than a read past the end of a block.
std::string checkForStage(BlockKind kind, const std::vector<uint8_t>& bytes, uint32_t channels) {
  const std::string why = checkBlock(kind, bytes);
  if (!why.empty()) return why;
  if (kind == BlockKind::kChannelMap) {
    const auto records = parseChannelMap(bytes).value;
    for (const ChannelMapRecord& r : records) {
      for (uint8_t c : r.map) {
        if (c >= channels)
          return "channel map names channel " + std::to_string(c) + " of a " +
                 std::to_string(channels) + "-channel table";
      }
    }
  }
  if (kind == BlockKind::kNominalValues && bytes.size() < channels) {
    return "nominal values block holds " + std::to_string(bytes.size()) + " values for " +
           std::to_string(channels) + " channels";
  }
  return {};
}

}  // namespace

std::string describeStatus(KestrlStatus status) {
  const char* meaning = statusMeaning(status);
  return "status " + std::to_string(status) + " (" + (meaning ? meaning : "unknown status") + ")";
}

JobFailure libraryFailure(const std::string& call, KestrlStatus status, const std::string& hint) {
  return {JobFailure::Kind::kLibrary, status,
          call + " failed: " + describeStatus(status) + (hint.empty() ? "" : ": " + hint)};
}

Job::~Job() {
  if (ht_) HalftoneDelete(ht_);
  if (cm_) CmDelete(cm_);
}

JobFailure Job::feed(const Pack& pack, bool colourSide, uint32_t stage, int32_t id,
                     std::vector<uint8_t>& block) {
  const std::string call = std::string(colourSide ? "CmSetResource" : "HalftoneSetResource") +
                           " stage " + std::to_string(stage) + " (" + stageName(colourSide, stage) +
                           ")";
  const auto& table = colourSide ? std::span<const StageInfo>(kColourStages)
                                 : std::span<const StageInfo>(kHalftoneStages);
  if (stage >= table.size())
    return packFailure(call + ": the library asks for more stages than a job has");
  const Resource* resource = pack.find(id);
  if (!resource) {
    return packFailure(call + " asks for resource " + std::to_string(id) +
                       ", which the pack does not have");
  }
  trace_.push_back(call + ": resource " + std::to_string(id));
  block = resource->bytes;
  const BlockKind kind = table[stage].kind;
  if (const std::string why = checkForStage(kind, block, tableChannels_); !why.empty()) {
    return packFailure(call + ": resource " + std::to_string(id) + " is not a usable " +
                       kindName(kind) + ": " + why);
  }
  if (kind == BlockKind::kColourTable) {
    const ColourTable table = parseColourTable(block).value;
    tableChannels_ = table.channelCount;
    if (settings_.printMode.colorInput != 0 && table.channelCount != 4) {
      return packFailure(call + ": colour input needs a four-channel colour table; resource " +
                         std::to_string(id) + " has " + std::to_string(table.channelCount));
    }
    block.resize(colourTableReadLength(table, block.size()), 0);
  }
  block.push_back(0);  // text blocks end at a NUL
  return {};
}

JobFailure Job::colourStages(const Pack& pack) {
  int32_t id = 0;
  const KestrlStatus created = CmNew(&settings_.colour, &settings_.printMode, 0, &id, &cm_);
  if (created != KESTRL_STATUS_OK) {
    cm_ = nullptr;
    return libraryFailure("CmNew", created);
  }
  for (uint32_t stage = 1; id != kNoMoreResources; ++stage) {
    if (stage > kMaxStages) return packFailure("CmSetResource: the resource sequence does not end");
    if (stage == 6 && id == 0) {
      return packFailure(
          "CmSetResource stage 5: the calibration directory has no entry for this job");
    }
    std::vector<uint8_t> block;
    if (JobFailure f = feed(pack, true, stage, id, block); f.failed()) return f;
    const KestrlStatus status = CmSetResourceSized(cm_, block.data(), sizeOf(block), &id);
    if (status != KESTRL_STATUS_OK) {
      const std::string call =
          "CmSetResource stage " + std::to_string(stage) + " (" + stageName(true, stage) + ")";
      return libraryFailure(call, status,
                            stage == 1 && status == kBadResource ? lookupKeys(settings_) : "");
    }
  }
  return {};
}

JobFailure Job::halftoneStages(const Pack& pack, int32_t firstId) {
  int32_t id = firstId;
  for (uint32_t stage = 1; id != kNoMoreResources; ++stage) {
    if (stage > kMaxStages)
      return packFailure("HalftoneSetResource: the resource sequence does not end");
    std::vector<uint8_t> block;
    if (JobFailure f = feed(pack, false, stage, id, block); f.failed()) return f;
    const KestrlStatus status = HalftoneSetResourceSized(ht_, block.data(), sizeOf(block), &id);
    if (status != KESTRL_STATUS_OK) {
      return libraryFailure("HalftoneSetResource stage " + std::to_string(stage) + " (" +
                                stageName(false, stage) + ")",
                            status);
    }
  }
  return {};
}

JobFailure Job::open(const Pack& pack, const JobSettings& settings) {
  settings_ = settings;
  const auto addTag = [this](uint32_t tag, const void* data, size_t size) {
    tagValues_[tags_.count] = {data, static_cast<uint32_t>(size)};
    tags_.pairs[tags_.count] = {tag | KESTRL_TAG_SIZED, &tagValues_[tags_.count]};
    ++tags_.count;
  };
  if (settings_.gamma) addTag(kTagGamma, &*settings_.gamma, sizeof(int32_t));
  if (!settings_.curves.empty())
    addTag(kTagCurves, settings_.curves.data(), settings_.curves.size());
  if (!settings_.calibrationRecord.empty()) {
    addTag(kTagCalibration, settings_.calibrationRecord.data(), settings_.calibrationRecord.size());
  }
  settings_.colour.tagList = tags_.count ? reinterpret_cast<const CmTagList*>(&tags_) : nullptr;
  JobFailure failure = colourStages(pack);
  if (!failure.failed()) {
    if (const KestrlStatus adjusted = CmGetAdjustStatus(cm_); adjusted != KESTRL_STATUS_OK) {
      adjustWarning_ = "the colour adjustments were not applied: CmGetAdjustStatus answered " +
                       describeStatus(adjusted);
    }
    int32_t id = 0;
    const KestrlStatus status = HalftoneNew(&settings_.printMode, CmGetLut(cm_), 0, &id, &ht_);
    if (status != KESTRL_STATUS_OK) {
      failure = libraryFailure("HalftoneNew", status);
    } else {
      failure = halftoneStages(pack, id);
    }
  }
  // The halftone stages are done (or failed): the colour context may go.
  if (cm_) CmDelete(cm_);
  cm_ = nullptr;
  if (failure.failed() && ht_) {
    HalftoneDelete(ht_);
    ht_ = nullptr;
  }
  return failure;
}

KestrlStatus Job::run(const uint8_t* source, uint8_t* destination, uint32_t planeStride,
                      uint32_t bitOffset, uint32_t pixelCount, uint32_t startX, uint32_t line) {
  return Halftone(ht_, source, destination, planeStride, bitOffset, pixelCount, startX, 0, line, 0,
                  0);
}

JobFailure Job::close() {
  if (!ht_) return {};
  const KestrlStatus status = HalftoneDelete(ht_);
  ht_ = nullptr;
  return status == KESTRL_STATUS_OK ? JobFailure{} : libraryFailure("HalftoneDelete", status);
}

KestrlStatus openHalftoneJob(const Pack& pack, const PrintMode& mode, HalftoneContext** context) {
  *context = nullptr;
  Job job;
  const JobFailure failure = job.open(pack, JobSettings{mode, {}, {}, {}, {}});
  if (failure.kind == JobFailure::Kind::kPack) return KESTRL_STATUS_BAD_RESOURCE;
  if (failure.failed()) return failure.status;
  *context = job.release();
  return KESTRL_STATUS_OK;
}

}  // namespace kestrl::pack
