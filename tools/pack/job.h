// One print job run through the library exactly as a printer driver runs it:
// CmNew, CmSetResource until the library hands back -1 (each id looked up in
// the resource pack), CmGetLut, HalftoneNew, HalftoneSetResource until -1,
// then Halftone per run; HalftoneDelete and CmDelete at the end. Only the
// public header is used for the library calls. Every block and tag value goes
// to the library with its size (the sized calls), so that a block shorter
// than its own header says is refused rather than read past.
//
// The one job driver: the command runs it, and so do the tests' and the
// benchmarks' jobs opened from a pack.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kestrl30.h"
#include "pack/pack_io.h"

namespace kestrl::pack {

// What the caller of a job sets: the print mode and colour settings records
// plus the optional tag-list data.
struct JobSettings {
  PrintMode printMode{};
  ColorSettings colour{};
  std::optional<int32_t> gamma;            // tag 1, in hundredths
  std::vector<uint8_t> calibrationRecord;  // tag 512 ("CW:..."), or empty
  std::vector<uint8_t> curves;             // tag 256: three 256-byte tone curves, or empty
};

// Why a job stopped: the message names the call, the stage and the status's
// meaning.
struct JobFailure {
  enum class Kind {
    kNone,
    kPack,     // a resource the library asks for is missing or cannot be read safely
    kLibrary,  // the library answered with a status
  };
  Kind kind = Kind::kNone;
  KestrlStatus status = KESTRL_STATUS_OK;  // the library's answer, for kLibrary
  std::string message;
  bool failed() const { return kind != Kind::kNone; }
};

class Job {
 public:
  Job() = default;
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
  ~Job();

  // Runs the colour and halftone resource stages. On failure every context
  // made so far is released.
  JobFailure open(const pack::Pack& pack, const JobSettings& settings);

  // One Halftone call on the open job.
  KestrlStatus run(const uint8_t* source, uint8_t* destination, uint32_t planeStride,
                   uint32_t bitOffset, uint32_t pixelCount, uint32_t startX, uint32_t line);

  // Releases the halftone context (the colour context is already gone).
  JobFailure close();

  // Hands the open halftone context to the caller, who deletes it.
  HalftoneContext* release() {
    HalftoneContext* context = ht_;
    ht_ = nullptr;
    return context;
  }

  // Resource ids fed so far, in call order, for reporting.
  const std::vector<std::string>& trace() const { return trace_; }

  // Why the colour adjustments were not applied (the library goes on with
  // the grid as loaded and says so only when asked), or empty.
  const std::string& adjustWarning() const { return adjustWarning_; }

 private:
  JobFailure colourStages(const pack::Pack& pack);
  JobFailure halftoneStages(const pack::Pack& pack, int32_t firstId);
  JobFailure feed(const pack::Pack& pack, bool colourSide, uint32_t stage, int32_t id,
                  std::vector<uint8_t>& block);

  JobSettings settings_{};
  struct TagStorage {
    int32_t count = 0;
    CmTagPair pairs[3]{};
  } tags_;
  CmSizedValue tagValues_[3]{};
  CmContext* cm_ = nullptr;
  HalftoneContext* ht_ = nullptr;
  uint32_t tableChannels_ = 0;
  std::vector<std::string> trace_;
  std::string adjustWarning_;
};

// A halftone job of `mode` opened from the pack by the job driver, with
// default colour settings: the status of the first call that fails
// (KESTRL_STATUS_BAD_RESOURCE when the pack lacks a resource or cannot hand
// it over safely), else 0 with the open halftone context in `context` for
// the caller to delete. Nothing is left open on failure.
KestrlStatus openHalftoneJob(const Pack& pack, const PrintMode& mode, HalftoneContext** context);

// A message for a status: "status 768 (bad resource data or wrong stage)".
std::string describeStatus(KestrlStatus status);

// The failure of a library call: "CALL failed: status N (meaning)[: hint]".
JobFailure libraryFailure(const std::string& call, KestrlStatus status,
                          const std::string& hint = "");

}  // namespace kestrl::pack
