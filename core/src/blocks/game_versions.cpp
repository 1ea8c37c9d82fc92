#include "blocks/game_versions.h"

#include <algorithm>
#include <iterator>

namespace kubic {

namespace {

constexpr GameVersion kVersions[] = {
#include "blocks/game_versions.inc"
};

}  // namespace

std::span<const GameVersion> game_versions() { return kVersions; }

int32_t default_data_version() {
  const auto newest = std::find_if(std::rbegin(kVersions), std::rend(kVersions),
                                   [](const GameVersion& v) { return v.has_block_table; });
  return newest->data_version;
}

std::optional<std::string_view> release_of(int32_t data_version) {
  const auto found = std::find_if(std::begin(kVersions), std::end(kVersions),
                                  [&](const GameVersion& v) { return v.data_version == data_version; });
  if (found == std::end(kVersions)) return std::nullopt;
  return found->name;
}

}  // namespace kubic
