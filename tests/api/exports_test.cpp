#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/status.h"
#include "kestrl30.h"

namespace kestrl {
namespace {

// That every entry point resolves by both its names, to the same address,
// is checked where drivers meet it: by the loader test, on the shared
// library. Names that are near misses resolve to nothing.
TEST(Exports, OtherNamesResolveToNothing) {
  for (const char* name : {"", "cmnew", "_A_CmNew@4", "_A_CmNew", "CmNew@20", "Kestrl30ProcAddress",
                           "_A_Halftone@40"}) {
    EXPECT_EQ(Kestrl30ProcAddress(name), nullptr) << name;
  }
  EXPECT_EQ(Kestrl30ProcAddress(nullptr), nullptr);
}

TEST(Status, EveryCodeHasAMeaningAndTheGroupsFollowTheHighByte) {
  std::set<std::string> meanings;
  for (Status status : kAllStatuses) {
    const char* meaning = statusMeaning(status);
    ASSERT_NE(meaning, nullptr) << status;
    meanings.insert(meaning);
    if (status != kOk) {
      EXPECT_GE(status >> 8, 1u) << status;
    }
    EXPECT_LE(status >> 8, 3u) << status;
  }
  EXPECT_EQ(meanings.size(), std::size(kAllStatuses)) << "meanings are distinct";
  EXPECT_EQ(statusMeaning(1), nullptr);
  EXPECT_EQ(statusMeaning(769), nullptr);
}

}  // namespace
}  // namespace kestrl
