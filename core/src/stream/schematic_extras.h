#pragma once

#include <array>
#include <optional>
#include <vector>

#include "common/block_state.h"
#include "common/boundary.h"
#include "nbt/tag.h"

namespace kubic {

// A block entity (chest contents, sign text, spawner data): its position in
// the frame of the schematic's blocks and its own tags, "id" included when
// the file gives one, without the position tags of its format.
struct BlockEntity {
  BlockPosition position;
  Compound data;
};

// An entity (villager, armor stand, item frame): its position and its own
// tags, "id" included, without its position. Its place in the frame of the
// blocks is `position` + `offset`: the doubles as a file or caller gave
// them and the whole blocks that frames have moved them by since, kept
// apart so that a position moved into another frame and back is the same
// doubles, -0.0 included.
struct Entity {
  std::array<double, 3> position{};
  Compound data;
  std::array<int64_t, 3> offset{};

  // Its coordinate on `axis` counted from `from` in the frame of the
  // blocks: the whole blocks are summed first, so there is one rounding at
  // most, and none when they come to nothing.
  double coordinate(int axis, int64_t from = 0) const;
  std::array<double, 3> coordinates(const BlockPosition& from = {}) const;
  // The block it stands in, counted from `from`; coordinates beyond the
  // block range (or not numbers) are clamped into it.
  BlockPosition cell(const BlockPosition& from = {}) const;
};

// The box of a part measured from `position` by `size`, a negative size
// running from the position towards smaller coordinates.
Boundary box_from_corner(const BlockPosition& position, const std::array<int32_t, 3>& size);

// A named part of a schematic with its own box (a region of a format that
// has them), kept so that writing the format again keeps the parts.
// `position` is the corner the part is measured from, in the frame of the
// blocks; a negative size runs from there towards smaller coordinates.
struct SubRegion {
  std::string name;
  BlockPosition position;
  std::array<int32_t, 3> size{};
  // Scheduled block and fluid updates, as the file lists them (relative to
  // the part's minimum corner).
  Tag pending_block_ticks;
  Tag pending_fluid_ticks;

  // The part's box in the frame of the blocks.
  Boundary box() const { return box_from_corner(position, size); }
};

// Everything of a schematic beside its blocks, as its reader found it and
// as every writer takes it, so that converting loses nothing that both
// formats can hold.
struct SchematicExtras {
  std::vector<BlockEntity> block_entities;
  std::vector<Entity> entities;
  // The Minecraft data version the file's names belong to, if it says.
  std::optional<int32_t> data_version;
  // The version of the file's own layout (Sponge 1 to 3, kub 1 or 2), for
  // reports; writers choose their own.
  std::optional<int32_t> format_version;
  // The world position of the frame's (0, 0, 0): a Sponge file's "Offset".
  BlockPosition origin;
  // The format's metadata: Sponge "Metadata" entries (Name, Author, Date,
  // WEOffsetX, RequiredMods, ...), a structure's "Author", MCEdit's
  // WEOriginX/WEOffsetX and the like, by their Sponge names where they have one.
  Compound metadata;
  // What positions of the box that no block covers hold: structure voids
  // for a structure file, air (null) otherwise.
  StateRef fill;
  // The parts the blocks came in, in file order; empty for single boxes.
  std::vector<SubRegion> regions;
  // The size a file gives a box without positions (0 on an axis), where
  // its reader has no boundary to say it.
  std::optional<std::array<int32_t, 3>> empty_size;

  bool empty() const {
    return block_entities.empty() && entities.empty() && !data_version && origin == BlockPosition{} &&
           metadata.size() == 0 && !fill && regions.empty();
  }
  // Moves every position by `delta`: into another frame.
  void shift(const BlockPosition& delta);
};

// Whole-number entity tags that hold block coordinates (hanging entities'
// TileX, TileY, TileZ); they move with the entity.
constexpr std::array<const char*, 3> kEntityTileTags = {"TileX", "TileY", "TileZ"};
void shift_entity_tiles(Compound& data, const BlockPosition& delta);

}  // namespace kubic
