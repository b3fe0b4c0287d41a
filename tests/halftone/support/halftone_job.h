// Test support: the halftone jobs the tests drive through the exported
// calls, as the benchmarks do (pack/block_job.h), under the tests' names.
#pragma once

#include "halftone/halftone_context.h"
#include "pack/block_job.h"

namespace kestrl::halftone::testing {

using pack::Block;
using pack::evenGridLevels32;
using pack::kCurveId;
using pack::kDotTableId;
using pack::kMatrixIdByClass;
using pack::permutationMatrix16;
using pack::standardIdList;
using Job = pack::BlockJob;

}  // namespace kestrl::halftone::testing
