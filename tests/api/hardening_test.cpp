// What a hostile but fair caller meets: the sized resource calls refuse
// blocks whose own sizes reach past them, without changing or allocating
// anything; the extra section and tag values are read only within their
// sizes; a job whose stages failed prints nothing; the swallowed failure of
// the adjustment pass can be asked for.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "colour/cm_context.h"
#include "halftone/halftone_context.h"
#include "kestrl30.h"
#include "memory/fault_injection.h"
#include "pack/default_pack.h"

namespace kestrl {
namespace {

using memory::testing::FaultPlan;
using memory::testing::Operation;
using memory::testing::ScopedFaultPlan;
namespace ids = pack::default_ids;

const pack::Pack& defaults() {
  static const pack::Pack pack = pack::makeDefaultPack();
  return pack;
}

std::vector<uint8_t> block(int32_t id) {
  return defaults().find(id)->bytes;
}

PrintMode job(uint32_t mode, bool colour, uint32_t bits, uint32_t x = 720, uint32_t y = 720) {
  return {mode, 0, colour, colour, x, y, bits, 0, 0, 64, 0};
}

// One job fed through the sized calls, stage by stage.
struct Job {
  PrintMode mode;
  ColorSettings settings{};
  CmContext* cm = nullptr;
  HalftoneContext* ht = nullptr;
  int32_t id = 0;

  explicit Job(PrintMode m, const CmTagList* tags = nullptr) : mode(m) {
    settings.tagList = tags;
    EXPECT_EQ(CmNew(&settings, &mode, 0, &id, &cm), kOk);
  }
  ~Job() {
    if (ht) HalftoneDelete(ht);
    if (cm) CmDelete(cm);
  }
  KestrlStatus colour(const std::vector<uint8_t>& b) {
    return CmSetResourceSized(cm, b.data(), static_cast<uint32_t>(b.size()), &id);
  }
  KestrlStatus halftone(const std::vector<uint8_t>& b) {
    return HalftoneSetResourceSized(ht, b.data(), static_cast<uint32_t>(b.size()), &id);
  }
  // Feeds the default blocks until `stages` colour stages have run (then
  // opens the halftone side) and `halftoneStages` halftone stages have run.
  void feed(uint32_t colourStages, uint32_t halftoneStages) {
    for (uint32_t s = 0; s < colourStages; ++s) ASSERT_EQ(colour(block(id)), kOk) << "colour " << s;
    if (colourStages == 0 || id != -1) return;
    ASSERT_EQ(HalftoneNew(&mode, CmGetLut(cm), 0, &id, &ht), kOk);
    for (uint32_t s = 0; s < halftoneStages; ++s) ASSERT_EQ(halftone(block(id)), kOk) << s;
  }
  KestrlStatus run(std::vector<uint8_t>& out) {
    const std::vector<uint8_t> source(64 * 3, 90);
    return Halftone(ht, source.data(), out.data(), 16, 0, 64, 0, 0, 0, 0, 0);
  }
};

struct Truncated {
  const char* name;
  PrintMode mode;
  bool colourSide;
  uint32_t colourStages, halftoneStages;  // fed before the stage under test
  int32_t resource;
};

const uint8_t kRecord[] = {'C', 'W', ':', 0, 60, 50, 50, 40, 0xFE, 0xFF};

TEST(SizedCalls, BlocksReachingPastTheirEndAreRefusedWithNothingChangedOrAllocated) {
  struct {
    int32_t count = 1;
    CmTagPair pairs[1] = {{512, kRecord}};
  } calibration;
  const Truncated cases[] = {
      {"colour table", job(1, false, 1), true, 1, 0, ids::kColourTable},
      {"channel map", job(1, false, 1), true, 2, 0, ids::kChannelMap},
      {"nominal values", job(1, false, 1), true, 3, 0, ids::kNominalValues},
      {"correction tables", job(1, false, 1), true, 5, 0, ids::kCorrectionTables},
      {"halftone id list", job(1, false, 2), false, 2, 0, ids::kHalftoneIds},
      {"grid levels", job(1, true, 1), false, 2, 1, ids::kGridLevels},
      {"threshold matrix", job(1, false, 2), false, 2, 2, ids::kSquareMatrix},
      {"dot-size table", job(1, false, 2), false, 2, 3, ids::kDotSizeTable},
  };
  for (const Truncated& c : cases) {
    const std::vector<uint8_t> full = block(c.resource);
    for (size_t size : {size_t{0}, size_t{1}, full.size() / 2, full.size() - 1, full.size()}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", " << size << " of " << full.size());
      const bool calibrating = c.colourSide && c.colourStages >= 2;
      Job j(c.mode, calibrating ? reinterpret_cast<const CmTagList*>(&calibration) : nullptr);
      j.feed(c.colourStages, c.halftoneStages);
      const std::vector<uint8_t> truncated(full.begin(), full.begin() + size);
      const CmLut lutBefore = *CmGetLut(j.cm);
      std::vector<MemoryBlock> blocksBefore;
      if (j.ht) blocksBefore.assign(std::begin(j.ht->blocks), std::end(j.ht->blocks));
      FaultPlan plan;
      ScopedFaultPlan scope(plan);
      const KestrlStatus status = c.colourSide ? j.colour(truncated) : j.halftone(truncated);
      if (size == full.size()) {
        EXPECT_EQ(status, kOk);
        continue;
      }
      EXPECT_EQ(status, kBadResource);
      EXPECT_EQ(plan.callsOf(Operation::kAllocate), 0u);
      EXPECT_EQ(std::memcmp(&lutBefore, CmGetLut(j.cm), sizeof(CmLut)), 0);
      if (j.ht) {
        EXPECT_EQ(std::memcmp(blocksBefore.data(), j.ht->blocks, sizeof j.ht->blocks), 0);
      }
    }
  }
}

// The extra section is copied with the size the table states; a section too
// short for the stage-4 id record is refused at stage 3, whose failure then
// keeps Halftone from printing. A driver may hand HalftoneNew a copy of the
// record instead of the library's own pointer: the section's size still
// comes with it, so stage 3 answers the same and reads nothing past it.
TEST(ExtraSection, TooShortForTheIdRecordIsRefusedNotReadPast) {
  for (bool copied : {false, true}) {
    for (uint8_t size = 0; size <= 8; ++size) {
      SCOPED_TRACE(::testing::Message() << "extra section of " << +size << " bytes, "
                                        << (copied ? "a copied record" : "the library's record"));
      Job j(job(1, false, 2));
      j.feed(1, 0);
      std::vector<uint8_t> table = block(pack::colourTableId(1, 2));
      table[20] = size;
      ASSERT_EQ(CmSetResource(j.cm, table.data(), &j.id), kOk);  // unsized, as drivers call
      const CmLut copy = *CmGetLut(j.cm);
      ASSERT_EQ(HalftoneNew(&j.mode, copied ? &copy : CmGetLut(j.cm), 0, &j.id, &j.ht), kOk);
      EXPECT_EQ(j.ht->extraSizeKnown ? j.ht->extraSize : 0u, size);
      std::vector<uint8_t> ids = block(j.id);
      ASSERT_EQ(HalftoneSetResource(j.ht, ids.data(), &j.id), kOk);
      ASSERT_EQ(HalftoneSetResource(j.ht, ids.data(), &j.id), kOk);
      std::vector<uint8_t> matrix = block(ids::kSquareMatrix);
      const KestrlStatus stage3 = HalftoneSetResource(j.ht, matrix.data(), &j.id);
      EXPECT_EQ(stage3, size == 8 ? kOk : kBadResource);
      if (stage3 == kOk) continue;
      std::vector<uint8_t> out(64, 0x5A);
      EXPECT_EQ(j.run(out), kBadResource);
      EXPECT_EQ(out, std::vector<uint8_t>(64, 0x5A));
    }
  }
}

struct TagCase {
  const char* name;
  uint32_t tag;
  std::vector<uint8_t> value;
  uint32_t size;
  int32_t adjustMode, brightness;
  KestrlStatus adjustStatus;  // why the settings were not applied, if they were not
  int32_t idAfterTable;
};

// A tag value given with its size is read only within it; a failed adjustment
// pass keeps stage 2's status and tells why when asked.
TEST(SizedTags, ValuesAreReadOnlyWithinTheirSizeAndTheAdjustStatusTellsWhy) {
  const int32_t gamma = 200;
  std::vector<uint8_t> gammaBytes(4);
  std::memcpy(gammaBytes.data(), &gamma, 4);
  const std::vector<uint8_t> curves(768, 128);
  const std::vector<uint8_t> record(std::begin(kRecord), std::end(kRecord));
  const TagCase cases[] = {
      {"curves", 256, curves, 768, 1, 0, kOk, -1},
      {"curves one byte short", 256, curves, 767, 1, 0, kBadResource, -1},
      {"gamma", 1, gammaBytes, 4, 0, 20, kOk, -1},
      {"gamma too short", 1, gammaBytes, 3, 0, 0, kBadSecondParameter, -1},
      {"brightness out of range", 1, gammaBytes, 4, 0, 51, kBadParameter, -1},
      {"adjust mode 1 without curves", 1, gammaBytes, 4, 1, 0, kBadParameter, -1},
      {"calibration record", 512, record, 10, 0, 0, kOk, 980},
      {"calibration record cut before its end", 512, record, 9, 0, 0, kOk, -1},
  };
  for (const TagCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CmSizedValue sized{c.value.data(), c.size};
    struct {
      int32_t count = 1;
      CmTagPair pairs[1];
    } tags{1, {{c.tag | KESTRL_TAG_SIZED, &sized}}};
    Job j(job(1, false, 1), reinterpret_cast<const CmTagList*>(&tags));
    j.settings.adjustMode = c.adjustMode;
    j.settings.brightness = c.brightness;
    CmDelete(j.cm);
    ASSERT_EQ(CmNew(&j.settings, &j.mode, 0, &j.id, &j.cm), kOk);
    EXPECT_EQ(CmGetAdjustStatus(j.cm), kOk) << "before stage 2";
    for (int stage = 0; stage < 2; ++stage) ASSERT_EQ(j.colour(block(j.id)), kOk);
    EXPECT_EQ(CmGetAdjustStatus(j.cm), c.adjustStatus);
    EXPECT_EQ(j.id, c.idAfterTable);
  }
}

}  // namespace
}  // namespace kestrl
