// `kestrl render`: a picture through a whole job, written as ink planes and
// a preview of the printed page, band by band.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "colour/printer_model.h"
#include "kestrl/picture.h"
#include "kestrl/print_size.h"
#include "pack/job.h"
#include "pack/pack_io.h"

namespace kestrl::tool {

using pack::Job;
using pack::JobFailure;
using pack::JobSettings;

// Exit codes of the command.
enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,        // an output could not be written, or out of memory
  kExitUsage = 2,          // bad command line, or a job the library refuses
  kExitBadInput = 3,       // unreadable or malformed input picture or description
  kExitBadPack = 4,        // a resource the library asks for is missing or malformed
  kExitLibraryStatus = 5,  // the library answered with a non-zero status
};

// The exit code of a job that stopped.
inline int exitCodeOf(const JobFailure& failure) {
  return failure.kind == JobFailure::Kind::kPack ? kExitBadPack : kExitLibraryStatus;
}

enum class InputKind { kAuto, kGrey, kColour };

// The mode, depth and resolution a job runs with where the command line
// names none of them; each option given replaces its own part.
struct DefaultJob {
  uint32_t mode, bits, xResolution, yResolution;
};
// Colour pictures: the best a photograph can be printed, small, medium and
// large dots diffused in mode 1 at 1440 x 720.
inline constexpr DefaultJob kColourDefault{1, 2, 1440, 720};
inline constexpr DefaultJob kGreyDefault{1, 1, 720, 720};
// CMYK pictures fed as four ink levels (inkSet 4) need an error-spreading mode.
inline constexpr DefaultJob kInkLevelsDefault{1, 1, 720, 720};
// Two-bit output exists in modes 1 and 3 only: a mode named on the command
// line without --bits gets one-bit output elsewhere.
inline constexpr bool twoBitModeExists(uint32_t mode) {
  return mode == 1 || mode == 3;
}
inline constexpr uint32_t kInkLevelsInkSet = 4;

// Longest side of the preview: enough for any screen, bounded so that a
// small picture cannot ask for gigabytes.
inline constexpr uint32_t kMinPreviewSize = 16;
inline constexpr uint32_t kMaxPreviewSize = 4096;

struct RenderOptions {
  std::string outDir;                  // an existing folder the outputs go into
  JobSettings job;                     // lineWidth and colorInput are filled in by render
  InputKind input = InputKind::kAuto;  // how to feed the picture to the job
  std::optional<uint32_t> inkSet;      // default: 4 for CMYK ink levels, 1 colour, 0 grey
  PrintRequest size;                   // print size, paper and margin
  uint32_t runs = 1;                   // Halftone calls per line
  uint32_t previewSize = 1000;         // longest side of preview.png in pixels
  bool progress = false;               // draw a progress bar on standard error
  // The preview as a soft proof through this printer; null: plain ink colours.
  const colour::PrinterModel* proof = nullptr;
};

// What a render produced.
struct RenderSummary {
  uint32_t width = 0, height = 0, planes = 0;
  uint32_t bands = 0, largestBand = 0;  // how the page streamed
  double halftoneSeconds = 0, totalSeconds = 0;
  std::vector<std::string> outputs;  // names of the files written in the output folder
};

// Runs the job on the picture with the pack and writes the outputs into
// options.outDir, a folder the caller discards when the render fails.
// Messages go to `err`; the summary line to `out`. Returns an ExitCode.
int render(Picture& picture, const pack::Pack& pack, const RenderOptions& options,
           std::ostream& out, std::ostream& err, RenderSummary* summary = nullptr);

}  // namespace kestrl::tool
