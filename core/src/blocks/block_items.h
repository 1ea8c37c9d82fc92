#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "common/block_state.h"
#include "nbt/tag.h"

namespace kubic {

// Items by namespaced id, with how many.
using ItemCounts = std::map<std::string, uint64_t>;

// The items it takes to place one block of `state`, added to `counts` as
// many times as `blocks`: a door's lower half is the door and its upper half
// nothing, a double slab two slabs, a wall torch a torch, a water source a
// bucket, a potted plant a pot and the plant. Blocks no item places (air,
// fire, portals) add nothing. A block of another namespace is its own item.
void add_items_of_block(const BlockState& state, uint64_t blocks, ItemCounts& counts);

// The items a block entity or an entity holds: containers' "Items" (a
// shulker box among them counts with its contents), an item frame's or a
// jukebox's item, added to `counts`.
void add_held_items(const Compound& data, ItemCounts& counts);

// How many of an item make a stack: 64 for items the table does not know.
int item_stack_size(std::string_view item);

// Whether the item table (Java 1.21.11) knows the item.
bool is_known_item(std::string_view item);

}  // namespace kubic
