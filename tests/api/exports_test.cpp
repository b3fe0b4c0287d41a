#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/status.h"
#include "kestrl30.h"

namespace kestrl {
namespace {

TEST(Exports, PlainAndDecoratedNamesResolveToTheSameFunction) {
  const struct {
    const char* plain;
    const char* decorated;
    void* address;
  } entries[] = {
      {"CmNew", "_A_CmNew@20", reinterpret_cast<void*>(&CmNew)},
      {"CmSetResource", "_A_CmSetResource@12", reinterpret_cast<void*>(&CmSetResource)},
      {"CmDelete", "_A_CmDelete@4", reinterpret_cast<void*>(&CmDelete)},
      {"CmGetLut", "_A_CmGetLut@4", reinterpret_cast<void*>(&CmGetLut)},
      {"HalftoneNew", "_A_HalftoneNew@20", reinterpret_cast<void*>(&HalftoneNew)},
      {"HalftoneSetResource", "_A_HalftoneSetResource@12",
       reinterpret_cast<void*>(&HalftoneSetResource)},
      {"Halftone", "_A_Halftone@44", reinterpret_cast<void*>(&Halftone)},
      {"HalftoneDelete", "_A_HalftoneDelete@4", reinterpret_cast<void*>(&HalftoneDelete)},
      {"CmSetResourceSized", "_A_CmSetResourceSized@16",
       reinterpret_cast<void*>(&CmSetResourceSized)},
      {"HalftoneSetResourceSized", "_A_HalftoneSetResourceSized@16",
       reinterpret_cast<void*>(&HalftoneSetResourceSized)},
      {"CmGetAdjustStatus", "_A_CmGetAdjustStatus@4", reinterpret_cast<void*>(&CmGetAdjustStatus)},
  };
  for (const auto& e : entries) {
    EXPECT_EQ(Kestrl30ProcAddress(e.plain), e.address) << e.plain;
    EXPECT_EQ(Kestrl30ProcAddress(e.decorated), e.address) << e.decorated;
  }
}

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
