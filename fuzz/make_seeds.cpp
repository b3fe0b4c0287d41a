// Writes the seed inputs of every fuzz target into <folder>/<target>/, built
// from the default pack in each target's input layout: the jobs the pack
// lists with neutral settings and its resources as the blocks.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include "fuzz_input.h"
#include "pack/block_dump.h"
#include "pack/block_json.h"
#include "pack/default_pack.h"

using namespace kestrl;
using namespace kestrl::fuzz;
namespace fs = std::filesystem;
namespace ids = pack::default_ids;

namespace {

constexpr uint16_t kLineWidth = 64;

class SeedWriter {
 public:
  explicit SeedWriter(fs::path root) : root_(std::move(root)) {}

  void write(const std::string& target, const std::vector<uint8_t>& bytes) {
    const fs::path folder = root_ / target;
    fs::create_directories(folder);
    const fs::path file = folder / ("seed-" + std::to_string(count_[target]++));
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

 private:
  fs::path root_;
  std::map<std::string, int> count_;
};

const pack::Pack& defaults() {
  static const pack::Pack pack = pack::makeDefaultPack();
  return pack;
}

const std::vector<uint8_t>& block(int32_t id) {
  return defaults().find(id)->bytes;
}

// Job byte, line width and variation (colour method 0, source step 0).
Output& job(Output& out, size_t combination) {
  return out.u8(static_cast<uint8_t>(combination)).u16(kLineWidth - 1).u8(0);
}

// Adjustment mode 0, six adjustments of 0, the default keys.
Output& neutralSettings(Output& out) {
  out.u8(0);
  for (int i = 0; i < 6; ++i) out.u8(50);
  for (int i = 0; i < 5; ++i) out.u8(0);
  return out;
}

// Two runs: the whole line as a ramp, then its second half at bit offset 3.
Output& runs(Output& out, bool colour) {
  const uint32_t channels = colour ? 3 : 1;
  out.u16(0).u16(kLineWidth).u8(0).u8(0x80).u8(0).u8(0);
  for (uint32_t i = 0; i < kLineWidth * channels; ++i) out.u8(static_cast<uint8_t>(i * 4));
  out.u16(kLineWidth / 2).u16(kLineWidth / 2).u8(3).u8(0x81).u8(1).u8(0);
  for (uint32_t i = 0; i < kLineWidth / 2 * channels; ++i) out.u8(static_cast<uint8_t>(255 - i));
  return out;
}

int32_t matrixId(const pack::Combination& c) {
  return c.xResolution == 2 * c.yResolution || (c.xResolution == 1440 && c.yResolution == 720)
             ? ids::kWideMatrix
             : ids::kSquareMatrix;
}

void jobSeeds(SeedWriter& seeds) {
  const auto all = pack::defaultCombinations();
  const std::vector<uint8_t> record = {'C', 'W', ':', 0, 60, 50, 50, 40, 0xFE, 0xFF};
  for (size_t i = 0; i < all.size(); ++i) {
    const pack::Combination& c = all[i];
    Output directory;
    neutralSettings(job(directory, i)).raw(block(ids::kColourDirectory));
    seeds.write("colour_directory_fuzz", directory.bytes());

    Output table;
    neutralSettings(job(table, i)).u8(1).chunk(block(ids::kColourTable));
    seeds.write("colour_table_fuzz", runs(table, c.colour).bytes());

    Output calibration;
    job(calibration, i).u8(0x0F).chunk(record);
    for (int32_t id : {ids::kChannelMap, ids::kNominalValues, ids::kCalibrationDirectory,
                       ids::kCorrectionTables})
      calibration.chunk(block(id));
    seeds.write("calibration_fuzz", runs(calibration, c.colour).bytes());

    Output stages;
    job(stages, i).u8(0x0F);
    for (int32_t id : {ids::kHalftoneIds, ids::kGridLevels, matrixId(c), ids::kDotSizeTable})
      stages.chunk(block(id));
    seeds.write("halftone_stages_fuzz", runs(stages, c.colour).bytes());

    Output colourJob;
    neutralSettings(job(colourJob, i)).u8(i % 8).u8(0).u16(150).chunk({}).chunk(record);
    seeds.write("colour_job_fuzz", runs(colourJob, c.colour).bytes());

    Output halftoneJob;
    const auto resolutionChoice = [](uint32_t dpi) {
      return static_cast<uint8_t>(dpi == 360 ? 0 : dpi == 720 ? 1 : 2);
    };
    halftoneJob.u8(static_cast<uint8_t>(c.mode)).u8(0).u8(c.colour).u8(c.colour);
    halftoneJob.u8(resolutionChoice(c.xResolution)).u8(resolutionChoice(c.yResolution));
    halftoneJob.u8(static_cast<uint8_t>(c.bitsPerPixel)).u8(0).u16(kLineWidth).u8(0).u8(0);
    seeds.write("halftone_job_fuzz", runs(halftoneJob, c.colour).bytes());
  }
}

void packSeeds(SeedWriter& seeds) {
  Output folder;
  folder.u8(static_cast<uint8_t>(defaults().resources.size()));
  for (const auto& [id, resource] : defaults().resources) {
    const std::string name = pack::resourceFileName(id, resource);
    folder.chunk(std::vector<uint8_t>(name.begin(), name.end())).chunk(resource.bytes).u8(0);

    pack::BlockKind kind{};
    if (!pack::guessKind(resource.bytes, id, resource.text, kind)) continue;
    Output parser;
    const auto* at =
        std::find(std::begin(pack::kAllBlockKinds), std::end(pack::kAllBlockKinds), kind);
    parser.u8(static_cast<uint8_t>(at - std::begin(pack::kAllBlockKinds))).raw(resource.bytes);
    seeds.write("block_parsers_fuzz", parser.bytes());

    nlohmann::json description = pack::blockToJson(kind, resource.bytes);
    description["id"] = id;
    const std::string text = nlohmann::json{{"resources", {description}}}.dump();
    seeds.write("pack_json_fuzz", std::vector<uint8_t>(text.begin(), text.end()));
  }
  seeds.write("pack_folder_fuzz", folder.bytes());
  for (const char* generated :
       {R"({"id": 1, "kind": "colour-table", "generate": "separation", "points": 5,
            "scaleParams": [250, 100], "dotSizeTableId": 400})",
        R"({"id": 2, "kind": "threshold-matrix", "generate": "void-and-cluster",
            "width": 8, "height": 8, "sigmaX": 1.5, "sigmaY": 1.5, "seed": 3})"}) {
    const std::string text = generated;
    seeds.write("pack_json_fuzz", std::vector<uint8_t>(text.begin(), text.end()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_seeds FOLDER\n";
    return 2;
  }
  SeedWriter seeds{fs::path(argv[1])};
  jobSeeds(seeds);
  packSeeds(seeds);
  return 0;
}
