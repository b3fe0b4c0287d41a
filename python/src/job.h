// A print job driven through the exported calls the way a printer driver
// drives it, for the Python module: the colour stages (CmNew, then
// CmSetResourceSized until -1), HalftoneNew with the colour table record,
// the halftone stages, and Halftone per run. Every resource comes from a
// pack by the number the library asks for and goes with its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kestrl30.h"
#include "pack/pack_io.h"

namespace kestrl::python {

// A call that answered a status other than 0, or a resource the pack lacks
// (KESTRL_STATUS_BAD_RESOURCE): the status and the call, with its stage and
// resource or its line.
struct LibraryError {
  uint32_t status = 0;
  std::string call;
};

// The meaning of a status, or "unknown status".
std::string statusMeaning(uint32_t status);

// What the caller sets for a job: the two records and the tag-list values.
struct JobOptions {
  PrintMode mode{};
  ColorSettings colour{};
  std::optional<int32_t> gamma;      // tag 1, in hundredths
  std::vector<uint8_t> calibration;  // tag 512 record, or empty
  std::vector<uint8_t> curves;       // tag 256, three 256-byte curves, or empty
};

using SharedPack = std::shared_ptr<const pack::Pack>;

// Colour management for one job: the colour context after its last stage,
// holding the job's colour table record until it is destroyed.
class ColourJob {
 public:
  // Runs CmNew and every colour stage; throws LibraryError.
  ColourJob(const pack::Pack& pack, const JobOptions& options);
  ~ColourJob();
  ColourJob(const ColourJob&) = delete;
  ColourJob& operator=(const ColourJob&) = delete;

  const CmLut& lut() const { return *CmGetLut(cm_); }
  const JobOptions& options() const { return options_; }
  // Why the adjustments were not applied (CmGetAdjustStatus), 0 when they were.
  uint32_t adjustStatus() const { return CmGetAdjustStatus(cm_); }

  // Looks `count` RGB pixels (three bytes each, red first) up in the grid,
  // writing lut().channelCount bytes per pixel.
  void lookUp(const uint8_t* rgb, size_t count, uint8_t* inks) const;

 private:
  struct TagStorage {
    int32_t count = 0;
    CmTagPair pairs[3]{};
  };
  void addTag(uint32_t tag, const void* data, size_t size);

  JobOptions options_;
  TagStorage tags_;
  CmSizedValue values_[3]{};
  CmContext* cm_ = nullptr;
};

// A halftone context after its last stage, and the shape of its output.
class HalftoneJob {
 public:
  // HalftoneNew with the colour job's record and every halftone stage;
  // throws LibraryError.
  HalftoneJob(const pack::Pack& pack, const PrintMode& mode, const ColourJob& colour);
  ~HalftoneJob();
  HalftoneJob(const HalftoneJob&) = delete;
  HalftoneJob& operator=(const HalftoneJob&) = delete;

  // One Halftone call; the status it answers.
  uint32_t run(const uint8_t* source, uint8_t* destination, uint32_t planeStride,
               uint32_t bitOffset, uint32_t pixelCount, uint32_t startX, uint32_t line) const {
    return Halftone(context_, source, destination, planeStride, bitOffset, pixelCount, startX, 0,
                    line, 0, 0);
  }

  const PrintMode& mode() const { return mode_; }
  uint32_t planes() const { return mode_.colorInput != 0 ? 4 : 1; }
  uint32_t bitsPerDot() const { return mode_.bitsPerPixel == 2 ? 2 : 1; }
  uint32_t dotsPerByte() const { return 8 / bitsPerDot(); }
  // Bytes a line's source holds: samples by the source step, times the
  // bytes of a sample (1 grey, 3 RGB, 4 ink levels).
  uint32_t sampleBytes() const;
  uint64_t sourceSamples(uint64_t pixels) const;

 private:
  PrintMode mode_{};
  HalftoneContext* context_ = nullptr;
};

// Unpacks `count` dots from a packed plane row into one byte per dot.
void unpackDots(const uint8_t* packed, uint32_t bitsPerDot, uint32_t count, uint8_t* dots);

}  // namespace kestrl::python
