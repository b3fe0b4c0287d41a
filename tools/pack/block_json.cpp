#include "pack/block_json.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <type_traits>

#include "common/block_layout.h"
#include "pack/block_kind_parts.h"
#include "pack/separation.h"
#include "pack/void_and_cluster.h"

namespace kestrl::pack {

namespace {

using nlohmann::json;

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {};

[[noreturn]] void outOfRange(const std::string& name, const json& v, const std::string& range) {
  throw std::invalid_argument("\"" + name + "\" holds " + v.dump() + ", not " + range);
}

// A number of type T: an integer within T's range, or for floating-point T
// any finite number. Nothing is wrapped or truncated.
template <typename T>
T number(const json& v, const std::string& name) {
  if constexpr (std::is_floating_point_v<T>) {
    if (!v.is_number() || !std::isfinite(v.get<double>())) outOfRange(name, v, "a number");
    return v.get<T>();
  } else {
    using Limits = std::numeric_limits<T>;
    const std::string range =
        "an integer from " + std::to_string(Limits::min()) + " to " + std::to_string(Limits::max());
    if (v.is_number_unsigned()) {
      if (v.get<uint64_t>() > uint64_t{Limits::max()}) outOfRange(name, v, range);
    } else if (v.is_number_integer()) {
      const int64_t x = v.get<int64_t>();
      if (x < int64_t{Limits::min()} || (x > 0 && uint64_t(x) > uint64_t{Limits::max()}))
        outOfRange(name, v, range);
    } else {
      outOfRange(name, v, range);
    }
    return v.get<T>();
  }
}

// A value of type T: numbers and lists of numbers checked as above.
template <typename T>
T valueAs(const json& v, const std::string& name) {
  if constexpr (std::is_arithmetic_v<T>) {
    return number<T>(v, name);
  } else if constexpr (IsVector<T>::value) {
    if (!v.is_array()) outOfRange(name, v, "a list");
    T out;
    out.reserve(v.size());
    for (const json& item : v) out.push_back(valueAs<typename T::value_type>(item, name));
    return out;
  } else {
    return v.get<T>();
  }
}

template <typename T>
T field(const json& j, const char* name) {
  if (!j.contains(name))
    throw std::invalid_argument(std::string("description lacks \"") + name + "\"");
  return valueAs<T>(j.at(name), name);
}

template <typename T>
T fieldOr(const json& j, const char* name, T fallback) {
  return j.contains(name) ? valueAs<T>(j.at(name), name) : fallback;
}

// A list of small numbers that must fit in bytes.
std::vector<uint8_t> bytesField(const json& j, const char* name) {
  return j.contains(name) ? valueAs<std::vector<uint8_t>>(j.at(name), name)
                          : std::vector<uint8_t>{};
}

}  // namespace

json directoryToJson(const DirectoryText& d) {
  json entries = json::array();
  for (const DirectoryEntryText& e : d.entries) {
    entries.push_back({{"id", e.id},
                       {"code", e.code},
                       {"mode", e.modeName},
                       {"name", e.selectName},
                       {"xResolution", e.xResolution},
                       {"yResolution", e.yResolution},
                       {"class", e.className},
                       {"select", e.selectValue},
                       {"bits", e.bitsPerPixel}});
  }
  json j = {{"title", d.title},           {"entries", entries},
            {"modeNames", d.modeNames},   {"selectNames", d.selectNames},
            {"classNames", d.classNames}, {"lineEnd", d.lineEnd == "\r\n" ? "crlf" : "lf"}};
  if (d.selectBase) j["selectBase"] = *d.selectBase;
  return j;
}

DirectoryText directoryFromJson(const json& j) {
  DirectoryText d;
  d.title = fieldOr<std::string>(j, "title", d.title);
  for (const json& e : j.at("entries")) {
    d.entries.push_back({field<int32_t>(e, "id"), fieldOr<int32_t>(e, "code", 0),
                         field<std::string>(e, "mode"), field<std::string>(e, "name"),
                         field<int32_t>(e, "xResolution"), field<int32_t>(e, "yResolution"),
                         field<std::string>(e, "class"), fieldOr<int32_t>(e, "select", 0),
                         field<int32_t>(e, "bits")});
  }
  d.modeNames = field<std::vector<std::string>>(j, "modeNames");
  d.selectNames = field<std::vector<std::string>>(j, "selectNames");
  d.classNames = field<std::vector<std::string>>(j, "classNames");
  if (j.contains("selectBase")) d.selectBase = field<int32_t>(j, "selectBase");
  d.lineEnd = fieldOr<std::string>(j, "lineEnd", "crlf") == "lf" ? "\n" : "\r\n";
  return d;
}

json colourTableToJson(const ColourTable& t) {
  return {{"tableFlag", t.tableFlag},
          {"lutKind", t.lutKind},
          {"peakReduce", t.peakReduce},
          {"hueShift", t.hueShift},
          {"saturationShift", t.saturationShift},
          {"pairReduce", t.pairReduce},
          {"scaleParams", t.scaleParams},
          {"headerParams", t.headerParams},
          {"channelCount", t.channelCount},
          {"levels", t.levels},
          {"grid", t.grid},
          {"greyLevels", t.greyLevels},
          {"compositeGreyNodes", t.compositeGreyNodes},
          {"extra", t.extra}};
}

template <typename T, size_t N>
std::array<T, N> arrayOr(const json& j, const char* name, std::array<T, N> fallback) {
  if (!j.contains(name)) return fallback;
  const auto values = valueAs<std::vector<T>>(j.at(name), name);
  if (values.size() > N)
    throw std::invalid_argument(std::string("\"") + name + "\" has too many values");
  std::copy(values.begin(), values.end(), fallback.begin());
  return fallback;
}

ColourTable colourTableFromJson(const json& j) {
  ColourTable t;
  if (fieldOr<std::string>(j, "generate", "") == "separation") {
    const auto gains = arrayOr<int16_t, 2>(j, "scaleParams", {250, 100});
    t = makeSeparationTable(fieldOr<uint32_t>(j, "points", 17), gains[0], gains[1]);
    if (j.contains("dotSizeTableId")) {
      t.extra = buildStageFourIdRecord({1, 1, field<uint16_t>(j, "dotSizeTableId")});
    }
    return t;
  }
  t.tableFlag = fieldOr<uint8_t>(j, "tableFlag", 0);
  t.lutKind = fieldOr<uint8_t>(j, "lutKind", 0);
  t.peakReduce = arrayOr<uint8_t, 3>(j, "peakReduce", {});
  t.hueShift = arrayOr<int8_t, 3>(j, "hueShift", {});
  t.saturationShift = fieldOr<int8_t>(j, "saturationShift", 0);
  t.pairReduce = arrayOr<int8_t, 3>(j, "pairReduce", {});
  t.scaleParams = arrayOr<int16_t, 5>(j, "scaleParams", t.scaleParams);
  t.headerParams = arrayOr<int16_t, 4>(j, "headerParams", {});
  t.channelCount = field<uint8_t>(j, "channelCount");
  const json& levels = j.at("levels");
  if (!levels.is_array() || levels.size() != 3)
    throw std::invalid_argument("\"levels\" needs three rows");
  for (size_t a = 0; a < 3; ++a) t.levels[a] = valueAs<std::vector<uint8_t>>(levels[a], "levels");
  t.grid = bytesField(j, "grid");
  t.greyLevels = bytesField(j, "greyLevels");
  t.compositeGreyNodes = bytesField(j, "compositeGreyNodes");
  t.extra = bytesField(j, "extra");
  return t;
}

ThresholdMatrix matrixFromJson(const json& j) {
  if (fieldOr<std::string>(j, "generate", "") == "void-and-cluster") {
    VoidAndClusterOptions o;
    o.width = fieldOr(j, "width", o.width);
    o.height = fieldOr(j, "height", o.height);
    o.sigmaX = fieldOr(j, "sigmaX", o.sigmaX);
    o.sigmaY = fieldOr(j, "sigmaY", o.sigmaY);
    o.seed = fieldOr(j, "seed", o.seed);
    return voidAndCluster(o);
  }
  ThresholdMatrix m{field<uint32_t>(j, "width"), field<uint32_t>(j, "height"),
                    field<std::vector<uint16_t>>(j, "cells"),
                    fieldOr<uint8_t>(j, "bytesPerCell", 2)};
  constexpr uint32_t kLargestSide = layout::threshold_matrix::kLargestSide;
  if (m.width < 1 || m.width > kLargestSide || m.height < 1 || m.height > kLargestSide) {
    throw std::invalid_argument("matrix sides must be 1 to 256");
  }
  if (m.cells.size() != size_t{m.width} * m.height) {
    throw std::invalid_argument("matrix has " + std::to_string(m.cells.size()) + " cells; " +
                                std::to_string(m.width) + " x " + std::to_string(m.height) +
                                " needs " + std::to_string(size_t{m.width} * m.height));
  }
  return m;
}

std::vector<uint8_t> dotTableFromJson(const json& j) {
  const auto rows = field<std::vector<std::vector<uint8_t>>>(j, "rows");
  if (rows.size() != layout::dot_table::kRows) {
    throw std::invalid_argument("dot-size table needs 256 rows");
  }
  std::array<DotShares, layout::dot_table::kRows> out{};
  for (size_t v = 0; v < out.size(); ++v) {
    if (rows[v].size() != 3) throw std::invalid_argument("each dot-size row holds three shares");
    std::copy(rows[v].begin(), rows[v].end(), out[v].begin());
  }
  return buildDotSizeTable(out);
}

std::vector<uint8_t> correctionFromJson(const json& j) {
  const auto tables = field<std::vector<std::vector<uint8_t>>>(j, "tables");
  namespace correction = layout::correction_tables;
  if (tables.size() != correction::kCount) {
    throw std::invalid_argument("correction resource needs 21 tables");
  }
  for (const auto& t : tables) {
    if (t.size() != correction::kTableBytes) {
      throw std::invalid_argument("each correction table needs 256 entries");
    }
  }
  return buildCorrectionTables([&](int t, int x) { return tables[t][x]; });
}

json idListToJson(const std::vector<uint16_t>& ids) {
  return {{"ids", ids}};
}
std::vector<uint8_t> idListFromJson(const json& d) {
  return buildResourceIdList(field<std::vector<uint16_t>>(d, "ids"));
}

json gridLevelsToJson(const GridLevels& g) {
  return {{"pointCount", g.pointCount}, {"levels", g.levels}};
}
std::vector<uint8_t> gridLevelsFromJson(const json& d) {
  const std::vector<uint8_t> levels = bytesField(d, "levels");
  return buildGridLevels(fieldOr<uint16_t>(d, "pointCount", static_cast<uint16_t>(levels.size())),
                         levels);
}

json matrixToJson(const ThresholdMatrix& m) {
  return {{"width", m.width},
          {"height", m.height},
          {"bytesPerCell", m.bytesPerCell},
          {"cells", m.cells}};
}
std::vector<uint8_t> matrixBlockFromJson(const json& d) {
  return buildThresholdMatrix(matrixFromJson(d));
}

json dotTableToJson(const DotSizeRows& rows) {
  return {{"rows", rows}};
}

json stageFourToJson(const StageFourIdRecord& r) {
  return {{"present", r.present}, {"version", r.version}, {"dotTableId", r.dotTableId}};
}
std::vector<uint8_t> stageFourFromJson(const json& d) {
  return buildStageFourIdRecord({fieldOr<uint32_t>(d, "present", 1),
                                 fieldOr<uint16_t>(d, "version", 1),
                                 field<uint16_t>(d, "dotTableId")});
}

std::vector<uint8_t> directoryBlockFromJson(const json& d) {
  const std::string text = buildDirectory(directoryFromJson(d));
  return {text.begin(), text.end()};
}

std::vector<uint8_t> colourTableBlockFromJson(const json& d) {
  return buildColourTable(colourTableFromJson(d));
}

json calibrationRecordToJson(const CalibrationRecord& c) {
  return {{"key", c.key}, {"values", c.values}};
}
std::vector<uint8_t> calibrationRecordFromJson(const json& d) {
  return buildCalibrationRecord(field<uint8_t>(d, "key"), bytesField(d, "values"));
}

json channelMapToJson(const std::vector<ChannelMapRecord>& map) {
  json records = json::array();
  for (const ChannelMapRecord& r : map) records.push_back({{"key", r.key}, {"map", r.map}});
  return {{"records", records}};
}
std::vector<uint8_t> channelMapFromJson(const json& d) {
  std::vector<ChannelMapRecord> records;
  for (const json& r : d.at("records"))
    records.push_back({field<uint8_t>(r, "key"), bytesField(r, "map")});
  return buildChannelMapResource(records);
}

json nominalToJson(const std::vector<uint8_t>& values) {
  return {{"values", values}};
}
std::vector<uint8_t> nominalFromJson(const json& d) {
  return buildNominalValues(bytesField(d, "values"));
}

json correctionToJson(const CorrectionTables& tables) {
  return {{"tables", tables}};
}

json blockToJson(BlockKind kind, std::span<const uint8_t> b) {
  json j = kindInfo(kind).toJson(b);
  j["kind"] = kindName(kind);
  return j;
}

std::vector<uint8_t> blockFromJson(const json& d, BlockKind& kind) {
  if (!kindFromName(field<std::string>(d, "kind"), kind)) {
    throw std::invalid_argument("unknown block kind \"" + d.at("kind").get<std::string>() + "\"");
  }
  return kindInfo(kind).fromJson(d);
}

json parseDescription(std::string_view text) {
  size_t depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDescriptionDepth)
        throw std::invalid_argument("description nested deeper than " +
                                    std::to_string(kMaxDescriptionDepth) + " levels");
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return json::parse(text);
}

Pack packFromJson(const json& description) {
  const json& list =
      description.contains("resources") ? description.at("resources") : json::array({description});
  Pack pack;
  for (const json& d : list) {
    const int32_t id = field<int32_t>(d, "id");
    if (pack.find(id))
      throw std::invalid_argument("resource " + std::to_string(id) + " is described twice");
    BlockKind kind{};
    std::vector<uint8_t> bytes = blockFromJson(d, kind);
    const std::string why = checkBlock(kind, bytes);
    if (!why.empty()) throw std::invalid_argument("resource " + std::to_string(id) + ": " + why);
    pack.put(id, std::move(bytes), kind == BlockKind::kDirectory);
  }
  return pack;
}

}  // namespace kestrl::pack
