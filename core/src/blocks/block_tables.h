#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace kubic {

// One property of a block in one game version: its key and allowed values,
// the default value first.
struct BlockProperty {
  std::string_view key;
  std::vector<std::string_view> values;

  std::string_view default_value() const { return values.front(); }
  bool allows(std::string_view value) const;
};

// A block's properties in one game version, in the game's order.
struct BlockSchema {
  std::vector<BlockProperty> properties;

  const BlockProperty* find(std::string_view key) const;
};

// A block of a block table.
struct TableBlock {
  std::string_view name;  // without namespace: "oak_stairs"
  const BlockSchema* schema;
};

// The block tables of the game versions kubic knows (numbered as
// `GameVersion::block_table`, oldest first), generated from the game data.
int block_table_count();

// The properties of block `name` (without namespace) in table `table`, or
// null when that version has no such block.
const BlockSchema* find_block(int table, std::string_view name);

// Every block of table `table`, by name.
std::span<const TableBlock> table_blocks(int table);

}  // namespace kubic
