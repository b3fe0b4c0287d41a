// One print job run through the library exactly as a printer driver runs it:
// CmNew, CmSetResource until the library hands back -1 (each id looked up in
// the resource pack), CmGetLut, HalftoneNew, HalftoneSetResource until -1,
// then Halftone per run; HalftoneDelete and CmDelete at the end. Only the
// public header is used for the library calls. Every block and tag value goes
// to the library with its size (the sized calls), so that a block shorter
// than its own header says is refused rather than read past.
//
// The one job driver: the command, the tests, the benchmarks, the fuzzers
// and the Python module all run it. A job has two halves: the colour half
// yields the colour table record (CmLut) and may outlive the halftone
// halves opened from it, as a driver keeps one colour table for several
// halftone contexts.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kestrl30.h"
#include "pack/pack_io.h"

namespace kestrl::pack {

// What the caller of a job sets: the print mode and colour settings records
// plus the optional tag-list data. With none of the three tag values given,
// a tag list the caller set in `colour.tagList` goes to CmNew as it is.
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
  std::string call;  // the call and stage that answered, for kLibrary
  bool failed() const { return kind != Kind::kNone; }
  // The library's answer, or KESTRL_STATUS_BAD_RESOURCE for a pack failure.
  KestrlStatus libraryStatus() const {
    return kind == Kind::kPack ? KestrlStatus{KESTRL_STATUS_BAD_RESOURCE} : status;
  }
};

// A block to hand the library at a stage instead of the pack's, or nothing
// to use the pack's. Given the stage (from 1) and the id the library asked
// for. A substituted block goes to the library as it is, without the pack's
// checks, padding or NUL, so that the library's own refusals are what the
// caller sees.
using BlockOverride =
    std::function<std::optional<std::span<const uint8_t>>(uint32_t stage, int32_t id)>;

// The colour half: CmNew and the colour stages. Owns the colour context,
// whose colour table record a halftone half reads while it is being opened.
class ColourTableJob {
 public:
  ColourTableJob() = default;
  ColourTableJob(const ColourTableJob&) = delete;
  ColourTableJob& operator=(const ColourTableJob&) = delete;
  ~ColourTableJob() { close(); }

  // CmNew with the settings and their tag list; the first id it hands back
  // is nextId().
  JobFailure create(const JobSettings& settings);
  // The colour stages from nextId() until the library hands back -1.
  JobFailure feedStages(const Pack& pack, const BlockOverride& override = {});
  // Both; on failure the context is released.
  JobFailure open(const Pack& pack, const JobSettings& settings);
  // Releases the colour context.
  JobFailure close();

  CmContext* context() const { return cm_; }
  const CmLut& lut() const { return *CmGetLut(cm_); }
  int32_t nextId() const { return nextId_; }
  // Why the colour adjustments were not applied (the library goes on with
  // the grid as loaded and says so only when asked), or 0.
  KestrlStatus adjustStatus() const { return CmGetAdjustStatus(cm_); }

 private:
  JobSettings settings_{};
  struct TagStorage {
    int32_t count = 0;
    CmTagPair pairs[3]{};
  } tags_;
  CmSizedValue tagValues_[3]{};
  CmContext* cm_ = nullptr;
  int32_t nextId_ = 0;
};

// The halftone half: HalftoneNew from a colour table record, the halftone
// stages, then Halftone per run. Owns the halftone context.
class HalftoneJob {
 public:
  HalftoneJob() = default;
  HalftoneJob(const HalftoneJob&) = delete;
  HalftoneJob& operator=(const HalftoneJob&) = delete;
  ~HalftoneJob() { close(); }

  // HalftoneNew; the first id it hands back is nextId(). A context it hands
  // back with a refusal stays for close() to release.
  JobFailure create(const PrintMode& mode, const CmLut& lut);
  // The halftone stages from nextId() until the library hands back -1.
  JobFailure feedStages(const Pack& pack, const BlockOverride& override = {});
  // Both; on failure the context is released.
  JobFailure open(const Pack& pack, const PrintMode& mode, const CmLut& lut);

  // One Halftone call on the open job.
  KestrlStatus run(const uint8_t* source, uint8_t* destination, uint32_t planeStride,
                   uint32_t bitOffset, uint32_t pixelCount, uint32_t startX, uint32_t line) const {
    return Halftone(ht_, source, destination, planeStride, bitOffset, pixelCount, startX, 0, line,
                    0, 0);
  }

  // Releases the halftone context.
  JobFailure close();
  // Hands the open halftone context to the caller, who deletes it.
  HalftoneContext* release() {
    HalftoneContext* context = ht_;
    ht_ = nullptr;
    return context;
  }

  HalftoneContext* context() const { return ht_; }
  const PrintMode& mode() const { return mode_; }
  int32_t nextId() const { return nextId_; }

 private:
  PrintMode mode_{};
  HalftoneContext* ht_ = nullptr;
  int32_t nextId_ = 0;
};

// A whole job: the colour half, then the halftone half opened from its
// record; the colour context goes once the halftone stages are done.
class Job {
 public:
  // Runs the colour and halftone resource stages. On failure every context
  // made so far is released.
  JobFailure open(const Pack& pack, const JobSettings& settings);

  KestrlStatus run(const uint8_t* source, uint8_t* destination, uint32_t planeStride,
                   uint32_t bitOffset, uint32_t pixelCount, uint32_t startX, uint32_t line) const {
    return halftone_.run(source, destination, planeStride, bitOffset, pixelCount, startX, line);
  }
  JobFailure close() { return halftone_.close(); }
  HalftoneContext* release() { return halftone_.release(); }

  // Why the colour adjustments were not applied, or empty.
  const std::string& adjustWarning() const { return adjustWarning_; }

 private:
  HalftoneJob halftone_;
  std::string adjustWarning_;
};

// A halftone job of `mode` opened from the pack by the job driver, with
// default colour settings: the status of the first call that fails
// (KESTRL_STATUS_BAD_RESOURCE when the pack lacks a resource or cannot hand
// it over safely), else 0 with the open halftone context in `context` for
// the caller to delete. Nothing is left open on failure.
KestrlStatus openHalftoneJob(const Pack& pack, const PrintMode& mode, HalftoneContext** context);

// The shape of a job's source and output: ink planes written (four for
// colour input), bits a dot, bytes of a source value (1 grey, 3 RGB, 4 ink
// levels) and the source values a run of `pixels` reads (one a pixel, one
// per two pixels for source step 1, two a pixel for -1 where the engine
// combines a pair into one pixel).
uint32_t planeCount(const PrintMode& mode);
uint32_t bitsPerDot(const PrintMode& mode);
uint32_t sampleBytes(const PrintMode& mode);
uint64_t sourceSamples(const PrintMode& mode, uint64_t pixels);
// True where source step -1 reads two values a pixel: the one-bit grey
// engines combine each pair into one pixel; every other engine reads one
// value a pixel at that step.
bool combinesPairs(const PrintMode& mode);

// A message for a status: "status 768 (bad resource data or wrong stage)".
std::string describeStatus(KestrlStatus status);

// The failure of a library call: "CALL failed: status N (meaning)[: hint]".
JobFailure libraryFailure(const std::string& call, KestrlStatus status,
                          const std::string& hint = "");

}  // namespace kestrl::pack
