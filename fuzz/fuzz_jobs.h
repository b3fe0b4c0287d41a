// Print jobs as the fuzz targets drive them: the default pack, print modes
// and colour settings from fuzzed bytes, the resource calls with the block's
// byte count, and Halftone calls with fuzzed arguments on buffers sized
// exactly for the run, checked for what the call promises.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "fuzz_input.h"
#include "kestrl30.h"
#include "pack/default_pack.h"
#include "pack/pack_io.h"

namespace kestrl::fuzz {

// Made once per process.
const pack::Pack& defaultPack();
const std::vector<pack::Combination>& combinations();

// The block of a default-pack resource (empty when the pack lacks it).
std::span<const uint8_t> defaultBlock(int32_t id);

// The print mode a driver states for a job of the default pack.
PrintMode printModeFor(const pack::Combination& job, uint32_t lineWidth);

// A job of the default pack chosen by one input byte, with a line width of
// 1 to 40000 pixels from two more.
PrintMode readJob(Input& in, pack::Combination* job = nullptr);

// Colour settings within the documented ranges, from 12 input bytes.
ColorSettings readSettings(Input& in);

// The resource calls, given the block's byte count.
KestrlStatus setColourResource(CmContext* context, std::span<const uint8_t> block, int32_t* nextId);
KestrlStatus setHalftoneResource(HalftoneContext* context, std::span<const uint8_t> block,
                                 int32_t* nextId);

// Stops the run when a call answers a status it does not document.
void requireStatus(KestrlStatus status, std::initializer_list<KestrlStatus> allowed,
                   const char* call);

// Feeds the colour stages from the pack until -1, an error or `stages`
// calls; `replace` (when non-empty) stands in for the block of stage
// `replaceStage`. Returns the last status.
KestrlStatus runColourStages(CmContext* context, std::span<const uint8_t> replace = {},
                             uint32_t replaceStage = 0);

// Feeds the halftone stages from the default pack starting at `id`; block
// `replace[s]`, when given, stands in for stage s + 1. Returns the last status.
KestrlStatus runHalftoneStages(HalftoneContext* context, int32_t id,
                               const std::vector<std::vector<uint8_t>>& replace = {},
                               uint32_t replaceMask = 0);

// A colour context of the default pack for the job, fed to the end, kept for
// the life of the process (its grid and extra section outlive the halftone
// stages that read them).
const CmLut& defaultLut(const PrintMode& mode);

// Up to `calls` Halftone calls with arguments from the input on buffers
// sized for each run, some with a null context, source or destination.
// Checks: only documented statuses; 513 for a null context or a null buffer
// of a run of pixels; a refused call writes nothing; a call writes only the
// bytes of its run in each plane and keeps the leading bits of the first
// byte.
void runHalftoneCalls(HalftoneContext* context, const PrintMode& mode, Input& in, uint32_t calls);

}  // namespace kestrl::fuzz
