// What the fuzz targets share around the job driver (pack/job.h): the
// default pack, print modes and colour settings decoded from fuzzed bytes,
// fuzzed blocks standing in for the pack's at chosen stages, the statuses
// each call documents, and Halftone calls with fuzzed arguments on buffers
// sized exactly for the run, checked for what the call promises.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "fuzz_input.h"
#include "kestrl30.h"
#include "pack/default_pack.h"
#include "pack/job.h"
#include "pack/pack_io.h"

namespace kestrl::fuzz {

// Made once per process.
const pack::Pack& defaultPack();

// The block of a default-pack resource (empty when the pack lacks it).
std::span<const uint8_t> defaultBlock(int32_t id);

// A job of the default pack chosen by one input byte, with a line width of
// 1 to 40000 pixels from two more.
PrintMode readJob(Input& in);

// Colour settings within the documented ranges, from 12 input bytes.
ColorSettings readSettings(Input& in);

// The blocks a job's stages get: block i for stage firstStage + i when bit
// i of `mask` is set, else the default pack's block as it is. The pack's own
// checks, padding and NUL are left out: they are the block parsers fuzzer's
// to fuzz, and they would run the library's readers a second time a stage.
pack::BlockOverride stageBlocks(std::vector<std::vector<uint8_t>> blocks = {},
                                uint32_t firstStage = 1, uint32_t mask = 0);

// Stops the run when a call answers a status it does not document.
void requireStatus(KestrlStatus status, std::initializer_list<KestrlStatus> allowed,
                   const char* call);

// The same for a job's stages: a status the library answered must be
// documented (a block the pack lacks or cannot hand over stops the stages
// without one).
void requireStages(const pack::JobFailure& failure, std::initializer_list<KestrlStatus> allowed,
                   const char* call);

// The colour table record of a default-pack job, kept for the life of the
// process (its grid and extra section outlive the halftone stages that read
// them).
const CmLut& defaultLut(const PrintMode& mode);

// Up to `calls` Halftone calls with arguments from the input on buffers
// sized for each run, some with a null context, source or destination.
// Checks: only documented statuses; 513 for a null context or a null buffer
// of a run of pixels; a refused call writes nothing; a call writes only the
// bytes of its run in each plane and keeps the leading bits of the first
// byte.
void runHalftoneCalls(HalftoneContext* context, const PrintMode& mode, Input& in, uint32_t calls);

}  // namespace kestrl::fuzz
