#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/status.h"

namespace kubic {

// A Java release and the DataVersion files of it carry.
struct GameVersion {
  std::string_view name;  // "1.20.4"
  int32_t data_version;
  int8_t block_table;  // the number of the block table of its states; -1: none known
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

// The DataVersion of a release name ("1.20.4"), if kubic knows the release.
std::optional<int32_t> data_version_of(std::string_view release);

// The block table describing the states of `data_version`: that of the
// newest release with a table at or before it (a snapshot takes its last
// release's); none before 1.13.2.
std::optional<int> block_table_of(int32_t data_version);

// The block table to check a schematic's states against: its version's, the
// newest for a schematic of unknown version, -1 for one before 1.13.2.
int block_table_for_states(std::optional<int32_t> data_version);

// The first release described by block table `table`: where its changes came.
const GameVersion& first_release_of_table(int table);

// The DataVersion a person names, as a release ("1.20.4") or a DataVersion
// ("3700"), for converting states to or from it: fails for other text and
// for versions before 1.13.2, whose states were not yet names.
Result<int32_t> parse_game_version(std::string_view text);

}  // namespace kubic
