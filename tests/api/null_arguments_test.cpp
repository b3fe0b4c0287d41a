// Every pointer argument of every entry point, null in turn, with the others
// live: a null the library can see is refused with 513 before anything is
// written or allocated (HalftoneNew keeps 513 and 514 for its records, a
// null resource block is bad resource data), and an empty run needs no
// source or destination.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "block_job.h"
#include "colour/cm_context.h"
#include "halftone/halftone_context.h"
#include "kestrl30.h"
#include "memory/fault_injection.h"

namespace kestrl {
namespace {

using memory::testing::FaultPlan;
using memory::testing::ScopedFaultPlan;

constexpr int32_t kUntouchedId = 99;

// Live contexts for the arguments that are not null: a colour context after
// CmNew and a one-bit colour diffusion job with every stage run.
struct Fixture {
  Fixture() {
    EXPECT_EQ(CmNew(&settings, &mode, 0, &id, &cm), kOk);
    job.colour();
    EXPECT_EQ(job.runAll(job.standardBlocks(pack::permutationMatrix16())), kOk);
    id = kUntouchedId;
  }
  ~Fixture() { CmDelete(cm); }
  Fixture(const Fixture&) = delete;
  Fixture& operator=(const Fixture&) = delete;

  ColorSettings settings{};
  PrintMode mode{1, 0, 4, 1, 720, 720, 1, 0, 0, 64, 0};
  CmContext* cm = nullptr;
  pack::BlockJob job;
  HalftoneContext* ht() { return job.context; }
  int32_t id = 0;
  CmContext* newCm = nullptr;
  HalftoneContext* newHt = nullptr;
  const uint8_t block[4] = {0, 0, 0xFF, 0xFF};
  std::vector<uint8_t> source = std::vector<uint8_t>(64 * 4, 90);
  std::vector<uint8_t> out = std::vector<uint8_t>(64, 0x5A);

  // Halftone on the live context, line 0.
  KestrlStatus run(const uint8_t* from, uint8_t* to, uint32_t stride, uint32_t bitOffset,
                   uint32_t pixelCount, uint32_t startX) {
    return Halftone(ht(), from, to, stride, bitOffset, pixelCount, startX, 0, 0, 0, 0);
  }
};

struct NullCase {
  const char* call;
  std::function<KestrlStatus(Fixture&)> invoke;
  KestrlStatus expected;
  bool stageRuns = false;  // a null block is a stage that fails
};

const NullCase kCases[] = {
    {"CmNew settings", [](Fixture& f) { return CmNew(nullptr, &f.mode, 0, &f.id, &f.newCm); },
     kBadParameter},
    {"CmNew printMode", [](Fixture& f) { return CmNew(&f.settings, nullptr, 0, &f.id, &f.newCm); },
     kBadParameter},
    {"CmNew firstId", [](Fixture& f) { return CmNew(&f.settings, &f.mode, 0, nullptr, &f.newCm); },
     kBadParameter},
    {"CmNew context", [](Fixture& f) { return CmNew(&f.settings, &f.mode, 0, &f.id, nullptr); },
     kBadParameter},
    {"CmSetResource context", [](Fixture& f) { return CmSetResource(nullptr, f.block, &f.id); },
     kBadParameter},
    {"CmSetResource block", [](Fixture& f) { return CmSetResource(f.cm, nullptr, &f.id); },
     kBadResource, true},
    {"CmSetResource nextId", [](Fixture& f) { return CmSetResource(f.cm, f.block, nullptr); },
     kBadParameter},
    {"CmSetResourceSized context",
     [](Fixture& f) { return CmSetResourceSized(nullptr, f.block, 4, &f.id); }, kBadParameter},
    {"CmSetResourceSized block",
     [](Fixture& f) { return CmSetResourceSized(f.cm, nullptr, 4, &f.id); }, kBadResource, true},
    {"CmSetResourceSized nextId",
     [](Fixture& f) { return CmSetResourceSized(f.cm, f.block, 4, nullptr); }, kBadParameter},
    {"CmDelete", [](Fixture&) { return CmDelete(nullptr); }, kBadParameter},
    {"CmGetAdjustStatus", [](Fixture&) { return CmGetAdjustStatus(nullptr); }, kBadParameter},
    {"HalftoneNew printMode",
     [](Fixture& f) { return HalftoneNew(nullptr, &f.job.lut, 0, &f.id, &f.newHt); },
     kBadParameter},
    {"HalftoneNew lut",
     [](Fixture& f) { return HalftoneNew(&f.mode, nullptr, 0, &f.id, &f.newHt); },
     kBadSecondParameter},
    {"HalftoneNew firstId",
     [](Fixture& f) { return HalftoneNew(&f.mode, &f.job.lut, 0, nullptr, &f.newHt); },
     kBadParameter},
    {"HalftoneNew context",
     [](Fixture& f) { return HalftoneNew(&f.mode, &f.job.lut, 0, &f.id, nullptr); }, kBadParameter},
    {"HalftoneSetResource context",
     [](Fixture& f) { return HalftoneSetResource(nullptr, f.block, &f.id); }, kBadParameter},
    {"HalftoneSetResource block",
     [](Fixture& f) { return HalftoneSetResource(f.ht(), nullptr, &f.id); }, kBadResource, true},
    {"HalftoneSetResource nextId",
     [](Fixture& f) { return HalftoneSetResource(f.ht(), f.block, nullptr); }, kBadParameter},
    {"HalftoneSetResourceSized context",
     [](Fixture& f) { return HalftoneSetResourceSized(nullptr, f.block, 4, &f.id); },
     kBadParameter},
    {"HalftoneSetResourceSized block",
     [](Fixture& f) { return HalftoneSetResourceSized(f.ht(), nullptr, 4, &f.id); }, kBadResource,
     true},
    {"HalftoneSetResourceSized nextId",
     [](Fixture& f) { return HalftoneSetResourceSized(f.ht(), f.block, 4, nullptr); },
     kBadParameter},
    {"Halftone context",
     [](Fixture& f) {
       return Halftone(nullptr, f.source.data(), f.out.data(), 16, 0, 64, 0, 0, 0, 0, 0);
     },
     kBadParameter},
    {"Halftone source", [](Fixture& f) { return f.run(nullptr, f.out.data(), 16, 0, 64, 0); },
     kBadParameter},
    {"Halftone destination",
     [](Fixture& f) { return f.run(f.source.data(), nullptr, 16, 0, 64, 0); }, kBadParameter},
    {"Halftone source, past the line",
     [](Fixture& f) { return f.run(nullptr, f.out.data(), 16, 0, 64, 1); }, kBadParameter},
    {"Halftone source, empty run",
     [](Fixture& f) { return f.run(nullptr, f.out.data(), 16, 0, 0, 0); }, kOk},
    {"Halftone destination, empty run at a bit offset",
     [](Fixture& f) { return f.run(f.source.data(), nullptr, 16, 3, 0, 8); }, kOk},
    {"Halftone both, empty run",
     [](Fixture& f) { return f.run(nullptr, nullptr, 1u << 31, 0, 0, 64); }, kOk},
    {"HalftoneDelete", [](Fixture&) { return HalftoneDelete(nullptr); }, kBadParameter},
};

TEST(NullArguments, EveryPointerArgumentOfEveryEntryPoint) {
  for (const NullCase& c : kCases) {
    SCOPED_TRACE(c.call);
    Fixture f;
    const uint32_t cmStage = f.cm->stage, htStage = f.ht()->stage;
    FaultPlan plan;
    ScopedFaultPlan scope(plan);
    EXPECT_EQ(c.invoke(f), c.expected);
    EXPECT_EQ(plan.liveAllocations, 0);
    EXPECT_EQ(f.newCm, nullptr);
    EXPECT_EQ(f.newHt, nullptr);
    EXPECT_EQ(f.out, std::vector<uint8_t>(64, 0x5A));
    if (c.stageRuns) continue;
    EXPECT_EQ(plan.callsOf(memory::testing::Operation::kAllocate), 0u);
    EXPECT_EQ(f.id, kUntouchedId);
    EXPECT_EQ(f.cm->stage, cmStage);
    EXPECT_EQ(f.ht()->stage, htStage);
  }
  EXPECT_EQ(CmGetLut(nullptr), nullptr);
}

}  // namespace
}  // namespace kestrl
