#pragma once

#include <functional>

#include "common/status.h"
#include "nbt/tag.h"
#include "stream/schematic_extras.h"

namespace kubic {

// The tags of a Sponge schematic compound that hold extras, moved out of it
// (the compound's "Blocks" keeps its palette and data).
Compound take_sponge_extras_tags(Compound& schematic);

// Extras from those tags: block entities ("TileEntities" in version 1,
// "BlockEntities" in 2, inside "Blocks" in 3), entities, "DataVersion",
// "Offset" as the origin and "Metadata". Entity positions are relative to
// the box; version 2 files written by WorldEdit store them in world
// coordinates, which is recognised when only that frame puts every entity
// inside the box. Malformed entries fail with a "Sponge: " message.
Result<SchematicExtras> read_sponge_extras(const Compound& tags, const Boundary& box);

// Puts extras into a schematic being written, whose box starts at the
// frame's (0, 0, 0): version 3 with block entities inside `blocks` and
// positions relative to the box; version 2 at the top, entities in world
// coordinates as WorldEdit writes them. A block entity without an "id"
// takes the name of its block (`block_name`), as the format requires one.
void put_sponge_extras(const SchematicExtras& extras, int version,
                       const std::function<std::string(const BlockPosition&)>& block_name, Compound& schematic,
                       Compound& blocks);

}  // namespace kubic
