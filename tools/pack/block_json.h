// Resource blocks to and from readable JSON descriptions: the inverse of the
// dump for building blocks by hand.
//
// A description is an object with "kind" (a block kind name such as
// "threshold-matrix"), optionally "id" (the pack id), and the kind's fields.
// Two kinds may also be generated instead of listed:
//   {"kind": "threshold-matrix", "generate": "void-and-cluster",
//    "width": 64, "height": 64, "sigmaX": 1.5, "sigmaY": 1.5, "seed": 1}
//   {"kind": "colour-table", "generate": "separation", "points": 17,
//    "scaleParams": [250, 100], "dotSizeTableId": 400}
// A pack description is {"resources": [description, ...]}, each with an id.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "pack/block_dump.h"
#include "pack/pack_io.h"

namespace kestrl::pack {

// The block as a description (kind and fields, no id). Throws
// std::invalid_argument when the block does not parse as the kind.
nlohmann::json blockToJson(BlockKind kind, std::span<const uint8_t> bytes);

// The block a description stands for. Throws std::invalid_argument (or the
// JSON library's exceptions) naming what is missing or out of range.
std::vector<uint8_t> blockFromJson(const nlohmann::json& description, BlockKind& kind);

// Every resource of a pack description, by id. Throws as above, also for a
// missing or repeated id.
Pack packFromJson(const nlohmann::json& description);

}  // namespace kestrl::pack
