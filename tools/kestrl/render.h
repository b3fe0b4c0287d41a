// `kestrl render`: a picture through a whole job, written as ink planes and
// a preview of the printed page.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "kestrl/image_io.h"
#include "kestrl/job.h"
#include "pack/pack_io.h"

namespace kestrl::tool {

enum class InputKind { kAuto, kGrey, kColour };

struct RenderOptions {
  std::string outDir;
  JobSettings job;                     // lineWidth and colorInput are filled in by render
  InputKind input = InputKind::kAuto;  // how to feed the picture to the job
  std::optional<uint32_t> inkSet;      // default: 1 for colour input, 0 for grey
  double printWidth = 0;               // inches; 0: one picture pixel per printer pixel
  uint32_t runs = 1;                   // Halftone calls per line
  uint32_t previewSize = 1000;         // longest side of preview.png in pixels
  bool progress = false;               // draw a progress bar on standard error
};

// What a render produced.
struct RenderSummary {
  uint32_t width = 0, height = 0, planes = 0;
  double halftoneSeconds = 0, totalSeconds = 0;
  std::string outputs;  // the files written, one per line
};

// Runs the job on the picture with the pack and writes the outputs. Messages
// go to `err`; the summary line to `out`. Returns an ExitCode.
int render(const Image& image, const pack::Pack& pack, const RenderOptions& options,
           std::ostream& out, std::ostream& err, RenderSummary* summary = nullptr);

}  // namespace kestrl::tool
