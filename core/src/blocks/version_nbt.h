#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "nbt/tag.h"

namespace kubic {

// What a conversion between game versions did to block entities and
// entities, or left as it was: how often, by description.
using VersionNotes = std::map<std::string, uint64_t>;

// A block entity's data ("id" and the rest) from DataVersion `from` to `to`:
// the tags the game reads differently across the releases crossed are
// rewritten (sign text, 1.20); what kubic cannot rewrite is kept as it is
// and noted.
void convert_block_entity(Compound& data, int32_t from, int32_t to, VersionNotes& notes);

// An entity's data the same way (renamed ids: 1.16's zombified piglin,
// 1.21.2's boat of each wood, 1.21.5's splash and lingering potions).
void convert_entity(Compound& data, int32_t from, int32_t to, VersionNotes& notes);

}  // namespace kubic
