// CmNew / CmGetLut / CmDelete through the exported functions.
#include "colour/cm_context.h"

#include <gtest/gtest.h>

#include "kestrl30.h"

namespace kestrl {
namespace {

// The table class from the class override, the colour class and the inks;
// mode 0 becomes mode 3.
TEST(CmNew, TableClassFollowsClassOverrideAndInks) {
  const struct {
    const char* name;
    uint32_t mode, inkSet;
    int32_t colorClass, classOverride;
    uint32_t expectedMode;
    int32_t expectedColorClass;
    int16_t expectedTableClass;
  } cases[] = {{"mode 0 becomes mode 3, class 4", 0, 4, 0, 0, 3, 2, 4},
               {"mode 0, override 4 gives class 0", 0, 4, 0, 4, 3, 0, 0},
               {"mode 0, grey ink gives class 0", 0, 0, 0, 0, 3, 2, 0},
               {"override 4 clears the colour class", 1, 4, 3, 4, 1, 0, 0},
               {"override 1 wins over grey ink", 1, 0, 0, 1, 1, 0, 4},
               {"class 3 with inks kept", 1, 4, 3, 0, 1, 3, 3},
               {"class 2 stands for 4", 3, 4, 2, 0, 3, 2, 4},
               {"grey ink clears the class", 1, 0, 3, 0, 1, 3, 0},
               {"another override keeps the class", 1, 4, 3, 7, 1, 3, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ColorSettings settings{};
    settings.colorClass = c.colorClass;
    settings.classOverride = c.classOverride;
    PrintMode mode{};
    mode.mode = c.mode;
    mode.inkSet = c.inkSet;
    mode.colorInput = c.inkSet;
    int32_t firstId = -5;
    CmContext* context = nullptr;
    ASSERT_EQ(CmNew(&settings, &mode, 99, &firstId, &context), kOk) << "reserved is not read";
    EXPECT_EQ(firstId, 0);
    settings.colorClass = 9;  // the context keeps its own copies
    EXPECT_EQ(context->printMode.mode, c.expectedMode);
    EXPECT_EQ(context->settings.colorClass, c.expectedColorClass);
    EXPECT_EQ(context->tableClass, c.expectedTableClass);
    EXPECT_EQ(context->stage, 1u);
    EXPECT_EQ(CmDelete(context), kOk);
  }
}

TEST(CmTagList, LookupYieldsTheFirstMatchingValue) {
  int32_t a = 1, b = 2, c = 3;
  struct {
    int32_t count;
    CmTagPair pairs[3];
  } storage{3, {{1, &a}, {512, &b}, {1, &c}}};
  const auto* list = reinterpret_cast<const CmTagList*>(&storage);
  EXPECT_EQ(colour::findTag(list, 1), &a);
  EXPECT_EQ(colour::findTag(list, 512), &b);
  EXPECT_EQ(colour::findTag(list, 256), nullptr);
  storage.count = 0;
  EXPECT_EQ(colour::findTag(list, 1), nullptr);
  storage.count = -2;
  EXPECT_EQ(colour::findTag(list, 1), nullptr);
  EXPECT_EQ(colour::findTag(nullptr, 1), nullptr);
}

}  // namespace
}  // namespace kestrl
