#include "blocks/game_versions.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "common/text_util.h"

namespace kubic {

namespace {

constexpr GameVersion kVersions[] = {
#include "blocks/game_versions.inc"
};

}  // namespace

std::span<const GameVersion> game_versions() { return kVersions; }

int32_t default_data_version() {
  const auto newest = std::find_if(std::rbegin(kVersions), std::rend(kVersions),
                                   [](const GameVersion& v) { return v.block_table >= 0; });
  return newest->data_version;
}

std::optional<int32_t> data_version_of(std::string_view release) {
  const auto found = std::find_if(std::begin(kVersions), std::end(kVersions),
                                  [&](const GameVersion& v) { return v.name == release; });
  if (found == std::end(kVersions)) return std::nullopt;
  return found->data_version;
}

std::optional<int> block_table_of(int32_t data_version) {
  std::optional<int> table;
  for (const GameVersion& version : kVersions) {
    if (version.data_version > data_version) break;
    if (version.block_table >= 0) table = version.block_table;
  }
  return table;
}

Result<int32_t> parse_game_version(std::string_view text) {
  const auto named = data_version_of(text);
  const auto number = named ? named : parse_decimal_i32(text);
  const std::string oldest(kVersions[0].name), newest(std::rbegin(kVersions)->name);
  if (!number) {
    return Status::Error("unknown game version '" + std::string(text) + "': name a release from " + oldest + " to " +
                         newest + " or a DataVersion");
  }
  if (!block_table_of(*number)) {
    return Status::Error("DataVersion " + std::to_string(*number) + " is older than " + oldest + " (" +
                         std::to_string(kLegacyDataVersion) + "), the oldest version whose states kubic knows");
  }
  return *number;
}

int block_table_for_states(std::optional<int32_t> data_version) {
  return block_table_of(data_version.value_or(default_data_version())).value_or(-1);
}

const GameVersion& first_release_of_table(int table) {
  return *std::find_if(std::begin(kVersions), std::end(kVersions),
                       [&](const GameVersion& v) { return v.block_table == table; });
}

std::optional<std::string_view> release_of(int32_t data_version) {
  const auto found = std::find_if(std::begin(kVersions), std::end(kVersions),
                                  [&](const GameVersion& v) { return v.data_version == data_version; });
  if (found == std::end(kVersions)) return std::nullopt;
  return found->name;
}

}  // namespace kubic
