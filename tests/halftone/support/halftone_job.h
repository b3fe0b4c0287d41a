// Test support: the halftone jobs the tests drive through the exported
// calls, as the benchmarks do (tests/support/block_job.h), under the tests' names.
#pragma once

#include "block_job.h"
#include "halftone/halftone_context.h"

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
