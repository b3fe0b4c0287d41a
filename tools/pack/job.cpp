#include "pack/job.h"

#include <algorithm>
#include <utility>

#include "common/status.h"
#include "pack/block_dump.h"

namespace kestrl::pack {

namespace {

constexpr uint32_t kTagGamma = 1;
constexpr uint32_t kTagCurves = 256;
constexpr uint32_t kTagCalibration = 512;
constexpr uint32_t kMaxStages = 8;  // the sequences have at most six stages
constexpr int32_t kNoMoreResources = -1;
constexpr uint32_t kInkLevelsInkSet = 4;

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

JobFailure packFailure(std::string message) {
  return {JobFailure::Kind::kPack, KESTRL_STATUS_OK, std::move(message), {}};
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

uint32_t sizeOf(std::span<const uint8_t> block) {
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

// Hands each stage of one side its block: the override's when it gives one,
// else the pack's, checked for the stage's reader and padded as it reads.
class StageBlocks {
 public:
  StageBlocks(const Pack& pack, bool colourSide, const PrintMode& mode,
              const BlockOverride& override)
      : pack_(pack),
        colourSide_(colourSide),
        stages_(colourSide ? std::span<const StageInfo>(kColourStages)
                           : std::span<const StageInfo>(kHalftoneStages)),
        mode_(mode),
        override_(override) {}

  // "CmSetResource stage 2 (colour table)".
  std::string call(uint32_t stage) const {
    return std::string(colourSide_ ? "CmSetResource" : "HalftoneSetResource") + " stage " +
           std::to_string(stage) + " (" +
           (stage < stages_.size() ? stages_[stage].what : "unexpected stage") + ")";
  }

  // The block of `stage`, asked for as `id`, of a table of `channels` inks.
  JobFailure block(uint32_t stage, int32_t id, uint32_t channels, std::vector<uint8_t>& block) {
    if (stage >= stages_.size())
      return packFailure(call(stage) + ": the library asks for more stages than a job has");
    if (override_) {
      if (const auto given = override_(stage, id)) {
        block.assign(given->begin(), given->end());
        return {};
      }
    }
    const Resource* resource = pack_.find(id);
    if (!resource) {
      return packFailure(call(stage) + " asks for resource " + std::to_string(id) +
                         ", which the pack does not have");
    }
    block = resource->bytes;
    const BlockKind kind = stages_[stage].kind;
    if (const std::string why = checkForStage(kind, block, channels); !why.empty()) {
      return packFailure(call(stage) + ": resource " + std::to_string(id) + " is not a usable " +
                         kindName(kind) + ": " + why);
    }
    if (kind == BlockKind::kColourTable) {
      const ColourTable table = parseColourTable(block).value;
      if (mode_.colorInput != 0 && table.channelCount != 4) {
        return packFailure(call(stage) +
                           ": colour input needs a four-channel colour table; resource " +
                           std::to_string(id) + " has " + std::to_string(table.channelCount));
      }
      block.resize(colourTableReadLength(table, block.size()), 0);
    }
    block.push_back(0);  // text blocks end at a NUL
    return {};
  }

 private:
  const Pack& pack_;
  bool colourSide_;
  std::span<const StageInfo> stages_;
  const PrintMode& mode_;
  const BlockOverride& override_;
};

}  // namespace

std::string describeStatus(KestrlStatus status) {
  const char* meaning = statusMeaning(status);
  return "status " + std::to_string(status) + " (" + (meaning ? meaning : "unknown status") + ")";
}

JobFailure libraryFailure(const std::string& call, KestrlStatus status, const std::string& hint) {
  return {JobFailure::Kind::kLibrary, status,
          call + " failed: " + describeStatus(status) + (hint.empty() ? "" : ": " + hint), call};
}

namespace {

// The failure of a call that answered `status`, if it is one.
JobFailure checked(const char* call, KestrlStatus status) {
  return status == KESTRL_STATUS_OK ? JobFailure{} : libraryFailure(call, status);
}

// The stages of a half just created, fed from the pack; on failure the
// half's context is released.
template <typename Half>
JobFailure fedOrClosed(Half& half, JobFailure created, const Pack& pack) {
  JobFailure failure = created.failed() ? created : half.feedStages(pack);
  if (failure.failed()) half.close();
  return failure;
}

}  // namespace

JobFailure ColourTableJob::create(const JobSettings& settings) {
  close();
  settings_ = settings;
  tags_.count = 0;
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
  if (tags_.count) settings_.colour.tagList = reinterpret_cast<const CmTagList*>(&tags_);
  const KestrlStatus status = CmNew(&settings_.colour, &settings_.printMode, 0, &nextId_, &cm_);
  if (status != KESTRL_STATUS_OK) cm_ = nullptr;
  return checked("CmNew", status);
}

JobFailure ColourTableJob::feedStages(const Pack& pack, const BlockOverride& override) {
  StageBlocks blocks(pack, true, settings_.printMode, override);
  for (uint32_t stage = 1; nextId_ != kNoMoreResources; ++stage) {
    if (stage > kMaxStages) return packFailure("CmSetResource: the resource sequence does not end");
    if (stage == 6 && nextId_ == 0) {
      return packFailure(
          "CmSetResource stage 5: the calibration directory has no entry for this job");
    }
    std::vector<uint8_t> block;
    if (JobFailure f = blocks.block(stage, nextId_, lut().channelCount, block); f.failed())
      return f;
    const KestrlStatus status = CmSetResourceSized(cm_, block.data(), sizeOf(block), &nextId_);
    if (status != KESTRL_STATUS_OK) {
      return libraryFailure(blocks.call(stage), status,
                            stage == 1 && status == kBadResource ? lookupKeys(settings_) : "");
    }
  }
  return {};
}

JobFailure ColourTableJob::open(const Pack& pack, const JobSettings& settings) {
  return fedOrClosed(*this, create(settings), pack);
}

JobFailure ColourTableJob::close() {
  CmContext* cm = std::exchange(cm_, nullptr);
  return cm ? checked("CmDelete", CmDelete(cm)) : JobFailure{};
}

JobFailure HalftoneJob::create(const PrintMode& mode, const CmLut& lut) {
  close();
  mode_ = mode;
  // A mode whose ink parameters disagree is refused with a context all the
  // same; it is kept so that close() releases it.
  return checked("HalftoneNew", HalftoneNew(&mode_, &lut, 0, &nextId_, &ht_));
}

JobFailure HalftoneJob::feedStages(const Pack& pack, const BlockOverride& override) {
  StageBlocks blocks(pack, false, mode_, override);
  for (uint32_t stage = 1; nextId_ != kNoMoreResources; ++stage) {
    if (stage > kMaxStages)
      return packFailure("HalftoneSetResource: the resource sequence does not end");
    std::vector<uint8_t> block;
    if (JobFailure f = blocks.block(stage, nextId_, 0, block); f.failed()) return f;
    const KestrlStatus status =
        HalftoneSetResourceSized(ht_, block.data(), sizeOf(block), &nextId_);
    if (status != KESTRL_STATUS_OK) return libraryFailure(blocks.call(stage), status);
  }
  return {};
}

JobFailure HalftoneJob::open(const Pack& pack, const PrintMode& mode, const CmLut& lut) {
  return fedOrClosed(*this, create(mode, lut), pack);
}

JobFailure HalftoneJob::close() {
  HalftoneContext* ht = std::exchange(ht_, nullptr);
  return ht ? checked("HalftoneDelete", HalftoneDelete(ht)) : JobFailure{};
}

JobFailure Job::open(const Pack& pack, const JobSettings& settings) {
  // The colour context goes once the halftone stages are done (or failed).
  ColourTableJob colour;
  if (JobFailure failure = colour.open(pack, settings); failure.failed()) return failure;
  if (const KestrlStatus adjusted = colour.adjustStatus(); adjusted != KESTRL_STATUS_OK) {
    adjustWarning_ = "the colour adjustments were not applied: CmGetAdjustStatus answered " +
                     describeStatus(adjusted);
  }
  return halftone_.open(pack, settings.printMode, colour.lut());
}

KestrlStatus openHalftoneJob(const Pack& pack, const PrintMode& mode, HalftoneContext** context) {
  *context = nullptr;
  Job job;
  const JobFailure failure = job.open(pack, JobSettings{mode, {}, {}, {}, {}});
  if (failure.failed()) return failure.libraryStatus();
  *context = job.release();
  return KESTRL_STATUS_OK;
}

uint32_t planeCount(const PrintMode& mode) {
  return mode.colorInput != 0 ? 4 : 1;
}

uint32_t bitsPerDot(const PrintMode& mode) {
  return mode.bitsPerPixel == 2 ? 2 : 1;
}

uint32_t sampleBytes(const PrintMode& mode) {
  if (mode.colorInput == 0) return 1;
  return mode.inkSet == kInkLevelsInkSet ? 4 : 3;
}

bool combinesPairs(const PrintMode& mode) {
  return mode.sourceStep == -1 && mode.colorInput == 0 && mode.bitsPerPixel != 2;
}

uint64_t sourceSamples(const PrintMode& mode, uint64_t pixels) {
  if (mode.sourceStep == 1) return (pixels + 1) / 2;
  if (combinesPairs(mode)) return 2 * pixels;
  return pixels;
}

}  // namespace kestrl::pack
