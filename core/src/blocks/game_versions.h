#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kubic {

// A Java release and the DataVersion files of it carry.
struct GameVersion {
  std::string_view name;  // "1.20.4"
  int32_t data_version;
  bool has_block_table;  // whether kubic knows its block states
};

// Every release from 1.13.2 on, oldest first.
std::span<const GameVersion> game_versions();

// The version of states converted from legacy (numeric) ids, and of Sponge
// version 1 files, which predate the DataVersion tag: Minecraft 1.13.2.
constexpr int32_t kLegacyDataVersion = 1631;

// What formats that must name a version write for states of no known one:
// the newest release whose block states kubic knows.
int32_t default_data_version();

// The release whose files carry `data_version`, if it is one.
std::optional<std::string_view> release_of(int32_t data_version);

}  // namespace kubic
