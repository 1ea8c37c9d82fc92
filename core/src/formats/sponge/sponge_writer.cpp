#include "formats/sponge/sponge_writer.h"

#include "formats/sponge/sponge_extras.h"
#include "formats/sponge/sponge_palette_text.h"

#include <algorithm>
#include <span>
#include <unordered_map>

#include "blocks/air.h"
#include "blocks/canonical_state.h"
#include "blocks/game_versions.h"
#include "blocks/state_text.h"
#include "common/interrupt.h"
#include "common/varint.h"
#include "nbt/nbt_writer.h"
#include "store/dense_cells.h"

namespace kubic {

namespace {


// The VarInts of a block data array, one per position: one byte each while
// indices stay below 128 (most files), the array growing when longer ones
// come.
class VarIntArray {
 public:
  explicit VarIntArray(size_t positions) : bytes_(positions), out_(data()), room_(positions) {}

  void add(int32_t index) {
    if (index < 0x80 && used_ < room_) [[likely]] {
      out_[used_++] = uint8_t(index);
      return;
    }
    if (room_ - used_ < kMaxVarIntBytes) {
      bytes_.resize(std::max(room_ + room_ / 2, used_ + kMaxVarIntBytes));
      out_ = data(), room_ = bytes_.size();
    }
    used_ += encode_var_int(index, out_ + used_);
  }

  std::vector<int8_t> finish() {
    bytes_.resize(used_);
    return std::move(bytes_);
  }

 private:
  uint8_t* data() { return reinterpret_cast<uint8_t*>(bytes_.data()); }

  std::vector<int8_t> bytes_;
  // Written through a plain pointer kept here: a byte store may alias
  // anything reached through a reference, the vector itself included.
  uint8_t* out_;
  size_t used_ = 0, room_;
};

Tag int_tag(int32_t v) { return Tag{v}; }
Tag short_tag(int32_t v) { return Tag{int16_t(uint16_t(uint32_t(v)))}; }

}  // namespace

SpongeSchematicOutputStream::SpongeSchematicOutputStream(std::unique_ptr<ByteSink> writer,
                                                         const Boundary& boundary, int version)
    : writer_(std::move(writer)),
      store_(PagedBlockStore::new_for_fixed_boundary(boundary)),
      boundary_(boundary),
      version_(version) {}

Status SpongeSchematicOutputStream::set_extras(SchematicExtras extras) {
  extras_ = std::move(extras);
  return Status::Ok();
}

Status SpongeSchematicOutputStream::write(std::span<const Block> blocks) {
  return store_->insert(blocks);
}

Status SpongeSchematicOutputStream::complete() {
  if (!boundary_) return Status::Error("Sponge: Boundary must be set before closing");
  KUBIC_RETURN_IF_ERROR(check_volume());
  if (!(store_->boundary() == *boundary_)) {
    auto positions = boundary_->walk(AxisOrder::YZX);
    while (auto position = positions.next()) {
      if (!store_->contains(*position)) {
        return Status::Error("Sponge: BlockStore with boundary " + boundary_->debug_string() +
                             " is missing position " + position->debug_string());
      }
    }
  }
  return write_store(*store_, [&](uint16_t id) -> Result<StateRef> { return store_->palette()[id]; });
}

Status SpongeSchematicOutputStream::write_stored(const StoredCells& stored) {
  KUBIC_RETURN_IF_ERROR(check_volume());
  return write_store(stored.store, stored.state_of);
}

Status SpongeSchematicOutputStream::check_volume() const {
  // One byte or more per position in a byte array of at most 2^31 - 1
  // bytes: a larger box cannot be written, and walking it would not end.
  if (boundary_->volume() > Volume(INT32_MAX)) {
    return Status::Error("Sponge: Boundary " + boundary_->debug_string() + " has too many positions to write");
  }
  return Status::Ok();
}

Status SpongeSchematicOutputStream::write_store(const PagedBlockStore& store,
                                                const std::function<Result<StateRef>(uint16_t)>& state_of) {
  // Sponge indices by the store's own palette id, each found once: air is
  // 0, other states take the next index when first met on the walk.
  std::unordered_map<StateRef, int32_t, StateRefHash> palette;
  palette.emplace(BlockState::air_rc(), 0);
  CanonicalStates canonical;
  std::vector<int32_t> index_of(store.palette().size(), -1);
  // Positions no block covers hold the extras' fill (structure voids).
  int32_t fill_index = extras_.fill ? palette.emplace(extras_.fill, int32_t(palette.size())).first->second : 0;
  Status failure;
  VarIntArray data(size_t(boundary_->volume()));
  store.for_each_yzx_cell([&](uint16_t cell) {
    int32_t index = fill_index;
    if (cell) {
      int32_t& known = index_of[cell - 1];
      if (known < 0) [[unlikely]] {
        auto state = state_of(uint16_t(cell - 1));
        if (!state.ok() && failure.ok()) failure = state.status();
        known = state.ok() ? palette.emplace(canonical.of(*state), int32_t(palette.size())).first->second : 0;
      }
      index = known;
    }
    data.add(index);
  });
  KUBIC_RETURN_IF_ERROR(failure);
  const Boundary& stored_box = store.boundary();
  auto block_name = [&](const BlockPosition& p) {
    auto id = store.palette_id_at({p.x + stored_box.min_x, p.y + stored_box.min_y, p.z + stored_box.min_z});
    if (!id) return std::string("minecraft:air");
    auto state = state_of(*id);
    return state.ok() ? (*state)->name() : std::string("minecraft:air");
  };
  return write_document(palette, data.finish(), block_name);
}

Status SpongeSchematicOutputStream::write_dense_document(const uint16_t* cells, const std::vector<StateRef>& states,
                                                         AxisOrder layout) {
  KUBIC_RETURN_IF_ERROR(check_volume());
  const int64_t sx = boundary_->d_x, sy = boundary_->d_y, sz = boundary_->d_z;
  const Extent size{sx, sy, sz};
  // States numbered as the block-by-block road does: air 0, then as a
  // walk in file order first meets them; numbered and encoded in that same
  // walk, a few planes at a time.
  std::unordered_map<StateRef, int32_t, StateRefHash> palette;
  palette.emplace(BlockState::air_rc(), 0);
  CanonicalStates canonical;
  auto assign = [&](uint16_t id) {
    return is_plain_air(*states[id]) ? 0
                                     : palette.emplace(canonical.of(states[id]), int32_t(palette.size())).first->second;
  };
  FirstMetNumbers numbers(states.size());
  std::vector<uint16_t> planes(layout == AxisOrder::YZX ? 0 : size_t(sx * sz * std::min(sy, kPlanesAtOnce)));
  VarIntArray data(size_t(boundary_->volume()));
  for (int64_t y = 0; y < sy; y += kPlanesAtOnce) {
    KUBIC_RETURN_IF_ERROR(check_interrupt());
    const int64_t count = std::min(kPlanesAtOnce, sy - y);
    // Cells in file order are planes already.
    const uint16_t* from = cells + size_t(y * sx * sz);
    if (layout != AxisOrder::YZX) {
      gather_planes(cells, size, y, count, planes.data(), layout);
      from = planes.data();
    }
    for (uint16_t id : std::span(from, size_t(count * sx * sz))) {
      const int32_t index = numbers.of(id, assign);
      if (index < 0) return Status::Error("Sponge: block index " + std::to_string(id) + " is not in the palette");
      data.add(index);
    }
  }
  auto block_name = [&](const BlockPosition& p) {
    if (p.x < 0 || p.y < 0 || p.z < 0 || p.x >= sx || p.y >= sy || p.z >= sz) return std::string("minecraft:air");
    return states[cells[cell_index(size, layout, p.x, p.y, p.z)]]->name();
  };
  return write_document(palette, data.finish(), block_name);
}

Status SpongeSchematicOutputStream::write_document(const std::unordered_map<StateRef, int32_t, StateRefHash>& palette,
                                                   std::vector<int8_t> data,
                                                   const std::function<std::string(const BlockPosition&)>& block_name) {
  // Width, Height and Length are unsigned shorts.
  for (int axis = 0; axis < 3; ++axis) {
    if (boundary_->size_of(axis) > UINT16_MAX) {
      return Status::Error("Sponge: a side of " + std::to_string(boundary_->size_of(axis)) +
                               " is more than the 65535 a Sponge file holds",
                           ErrorKind::Unwritable);
    }
  }
  Compound palette_tag;
  std::vector<std::pair<int32_t, std::string>> ordered;
  for (const auto& [state, index] : palette) {
    // A Sponge palette names states by their text: one whose text reads
    // back as another state (or none) cannot be written.
    auto back = state_of_palette_key(stored_text(*state));
    if (!back.ok() || !(**back == *state)) {
      return Status::Error("Sponge: the state '" + stored_text(*state) +
                               "' is outside the state syntax, so a Sponge palette cannot hold it",
                           ErrorKind::Unwritable);
    }
    ordered.emplace_back(index, stored_text(*state));
  }
  std::sort(ordered.begin(), ordered.end());
  for (auto& [index, name] : ordered) palette_tag.put(std::move(name), int_tag(index));
  // The file's box starts at the frame's (0, 0, 0); the world keeps its place.
  const BlockPosition min{boundary_->min_x, boundary_->min_y, boundary_->min_z};
  SchematicExtras extras = extras_;
  extras.shift({-min.x, -min.y, -min.z});
  Compound blocks;
  Compound schematic;
  schematic.put("Version", int_tag(version_));
  schematic.put("DataVersion", int_tag(extras.data_version.value_or(default_data_version())));
  schematic.put("Width", short_tag(boundary_->d_x));
  schematic.put("Height", short_tag(boundary_->d_y));
  schematic.put("Length", short_tag(boundary_->d_z));
  schematic.put("Offset", Tag{std::vector<int32_t>{extras.origin.x, extras.origin.y, extras.origin.z}});
  if (version_ >= 3) {
    blocks.put("Palette", Tag{std::move(palette_tag)});
    blocks.put("Data", Tag{std::move(data)});
    put_sponge_extras(extras, version_, block_name, schematic, blocks);
    schematic.put("Blocks", Tag{std::move(blocks)});
  } else {
    schematic.put("PaletteMax", int_tag(int32_t(ordered.size())));
    schematic.put("Palette", Tag{std::move(palette_tag)});
    schematic.put("BlockData", Tag{std::move(data)});
    put_sponge_extras(extras, version_, block_name, schematic, blocks);
  }
  Compound root;
  if (version_ >= 3) root.put("Schematic", Tag{std::move(schematic)});

  Status status = version_ >= 3 ? encode_nbt(NamedTag{"", Tag{std::move(root)}}, *writer_)
                                : encode_nbt(NamedTag{"Schematic", Tag{std::move(schematic)}}, *writer_);
  return status.ok() ? status : status.prefixed("Sponge: NBT encoding error: ");
}

}  // namespace kubic
