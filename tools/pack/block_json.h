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
#include <string_view>
#include <vector>

#include "pack/block_dump.h"
#include "pack/pack_io.h"

namespace kestrl::pack {

// The block as a description (kind and fields, no id). Throws
// std::invalid_argument when the block does not parse as the kind.
nlohmann::json blockToJson(BlockKind kind, std::span<const uint8_t> bytes);

// The block a description stands for. Throws std::invalid_argument (or the
// JSON library's exceptions) naming what is missing or out of range. Every
// number must fit its field's type (an id of 70000 or -1 in a list of 16-bit
// ids is an error, never wrapped); generators refuse sizes beyond their
// limits before doing any work.
std::vector<uint8_t> blockFromJson(const nlohmann::json& description, BlockKind& kind);

// Descriptions nest a few levels; deeper text is refused before parsing, so
// that no input can exhaust the parser's stack.
inline constexpr size_t kMaxDescriptionDepth = 64;

// Parses a description's JSON text. Throws std::invalid_argument for text
// nested deeper than kMaxDescriptionDepth, or the JSON library's parse error.
nlohmann::json parseDescription(std::string_view text);

// Every resource of a pack description, by id. Throws as above, also for a
// missing or repeated id.
Pack packFromJson(const nlohmann::json& description);

}  // namespace kestrl::pack
