// What the pack side refuses before doing the work: descriptions with
// numbers out of their field's range or generators asked for too much, text
// nested too deeply, and pack files larger than their kind or never asked for.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "pack/block_dump.h"
#include "pack/block_json.h"
#include "pack/pack_io.h"

namespace kestrl::pack {
namespace {

namespace fs = std::filesystem;

struct RefusedDescription {
  const char* json;
  const char* why;  // part of the message
};

const RefusedDescription kRefused[] = {
    {R"({"kind":"colour-table","generate":"separation","points":1000})", "2 to 68 points"},
    {R"({"kind":"colour-table","generate":"separation","points":-1})", "\"points\" holds -1"},
    {R"({"kind":"colour-table","generate":"separation","points":1})", "2 to 68 points"},
    {R"({"kind":"colour-table","generate":"separation","dotSizeTableId":70000})",
     "from 0 to 65535"},
    {R"({"kind":"resource-id-list","ids":[200,70000]})", "\"ids\" holds 70000"},
    {R"({"kind":"resource-id-list","ids":[-1]})", "\"ids\" holds -1"},
    {R"({"kind":"resource-id-list","ids":[2.5]})", "not an integer"},
    {R"({"kind":"grid-levels","levels":[0,256]})", "from 0 to 255"},
    {R"({"kind":"threshold-matrix","generate":"void-and-cluster","width":256,"height":128})",
     "at most 16384 cells"},
    {R"({"kind":"threshold-matrix","generate":"void-and-cluster","sigmaX":0})", "positive"},
    {R"({"kind":"threshold-matrix","generate":"void-and-cluster","width":-8})",
     "\"width\" holds -8"},
    {R"({"kind":"stage-four-id-record","dotTableId":1e300})", "not an integer"},
    {R"({"kind":"no-such-kind"})", "unknown block kind"},
    {R"({"kind":"nominal-values","values":[1,300]})", "\"values\" holds 300"},
    {R"({"kind":"threshold-matrix","width":2,"height":2,"cells":[1,2,3]})", "needs 4"},
};

TEST(PackDescriptions, OutOfRangeIsRefusedNeverWrapped) {
  for (const RefusedDescription& c : kRefused) {
    BlockKind kind{};
    try {
      blockFromJson(parseDescription(c.json), kind);
      ADD_FAILURE() << c.json << " was accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << c.json << ": " << e.what();
    }
  }
  // An id past 32 bits, an id described twice, no id.
  for (const char* pack :
       {R"({"resources":[{"id":3000000000,"kind":"nominal-values","values":[1]}]})",
        R"({"resources":[{"id":1,"kind":"nominal-values","values":[1]},
                         {"id":1,"kind":"nominal-values","values":[2]}]})",
        R"({"kind":"grid-levels","levels":[0,255]})"}) {
    EXPECT_THROW(packFromJson(parseDescription(pack)), std::invalid_argument) << pack;
  }
}

TEST(PackDescriptions, DeepNestingIsRefusedBeforeParsing) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_THROW(parseDescription(deep), std::invalid_argument);
  const std::string quoted = R"({"title":")" + std::string(1000, '[') + R"("})";
  EXPECT_EQ(parseDescription(quoted)["title"].get<std::string>().size(), 1000u);
}

class PackFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void write(const std::string& name, size_t size) {
    std::ofstream(dir_ / name, std::ios::binary) << std::string(size, '\xff');
  }
  const fs::path dir_ = fs::temp_directory_path() / "kestrl_pack_bounds_test";
};

TEST_F(PackFiles, ReadOnlyWhenAskedAndOnlyUpToTheKindsSize) {
  write("100.bin", 6);
  write("101.bin", 5000);  // an id list holds 32 bytes
  std::ofstream(dir_ / "7.bin");
  fs::resize_file(dir_ / "7.bin", uintmax_t{1} << 30);  // sparse: a gigabyte never read
  Pack pack;
  ASSERT_TRUE(readPack(dir_.string(), pack).ok());
  EXPECT_EQ(pack.ids(), (std::vector<int32_t>{7, 100, 101}));
  EXPECT_TRUE(pack.resources.empty());

  const Resource* resource = nullptr;
  EXPECT_TRUE(pack.load(100, maxBlockBytes(BlockKind::kResourceIdList), resource).ok());
  ASSERT_NE(resource, nullptr);
  EXPECT_EQ(resource->bytes.size(), 6u);
  const PackResult big = pack.load(101, maxBlockBytes(BlockKind::kResourceIdList), resource);
  EXPECT_NE(big.error.find("at most"), std::string::npos) << big.error;
  EXPECT_NE(pack.find(101), nullptr);  // fits the limit of unknown binary blocks
  EXPECT_EQ(pack.find(7), nullptr);
  EXPECT_FALSE(loadAll(pack).ok());
}

// Files that are not resources are left alone; two files for one id and a
// missing folder are refused.
TEST_F(PackFiles, OneFileAResourceInAFolderThatExists) {
  write("README", 5);
  write("310.bin", 4);
  Pack pack;
  ASSERT_TRUE(readPack(dir_.string(), pack).ok());
  EXPECT_EQ(pack.ids(), (std::vector<int32_t>{310}));
  write("310", 4);
  EXPECT_NE(readPack(dir_.string(), pack).error.find("two files for resource 310"),
            std::string::npos);
  EXPECT_NE(readPack((dir_ / "missing").string(), pack).error.find("does not exist"),
            std::string::npos);
}

TEST(PackWrites, FailuresThroughCloseAreReported) {
  EXPECT_FALSE(writeFile("/dev/full", std::vector<uint8_t>(100, 1)));
  EXPECT_FALSE(writeFile("/nonexistent-folder/x.bin", {1}));
}

}  // namespace
}  // namespace kestrl::pack
