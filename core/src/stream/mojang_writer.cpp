#include "stream/mojang_writer.h"

#include <cmath>

#include "common/interrupt.h"

namespace kubic {

namespace {

constexpr const char* kStructureVoid = "minecraft:structure_void";
constexpr uint32_t kVoid = UINT32_MAX;

// Properties with later duplicates folded into the first place.
std::vector<BlockState::Property> distinct_properties(const BlockState& state) {
  std::vector<BlockState::Property> out;
  for (const auto& [key, value] : state.properties()) assign_property(out, key, value);
  return out;
}

void write_position(NbtWriter& nbt, const BlockPosition& p) {
  nbt.list_header(TagType::Int, 3);
  nbt.int_(p.x);
  nbt.int_(p.y);
  nbt.int_(p.z);
}

void write_palette_entry(NbtWriter& nbt, const PaletteEntry& entry) {
  nbt.tag_header(TagType::String, "Name");
  nbt.string(entry.name);
  if (!entry.properties.empty()) {
    nbt.tag_header(TagType::Compound, "Properties");
    for (const auto& [key, value] : entry.properties) {
      nbt.tag_header(TagType::String, key);
      nbt.string(value);
    }
    nbt.compound_end();
  }
  nbt.compound_end();
}

void write_block_entry(NbtWriter& nbt, const BlockEntry& entry, const Compound* data) {
  nbt.tag_header(TagType::List, "pos");
  write_position(nbt, entry.pos);
  nbt.tag_header(TagType::Int, "state");
  nbt.int_(int32_t(entry.state));
  if (data) {
    nbt.tag_header(TagType::Compound, "nbt");
    nbt.payload(Tag{*data});
  }
  nbt.compound_end();
}

}  // namespace

MojangSchematicOutputStream::MojangSchematicOutputStream(std::unique_ptr<ByteSink> writer,
                                                         std::optional<Boundary> box)
    : writer_(std::move(writer)), box_(box) {}

Status MojangSchematicOutputStream::set_extras(SchematicExtras extras) {
  extras_ = std::move(extras);
  for (BlockEntity& entity : extras_.block_entities) block_entities_[entity.position] = &entity.data;
  return Status::Ok();
}

uint32_t MojangSchematicOutputStream::palette_idx_from_state(const StateRef& state) {
  auto found = palette_index_.find(state);
  if (found != palette_index_.end()) return found->second;
  uint32_t index = uint32_t(palette_.size());
  palette_.push_back({state->name(), distinct_properties(*state)});
  palette_index_.emplace(state, index);
  return index;
}

Status MojangSchematicOutputStream::write(std::span<const Block> blocks) {
  for (const Block& block : blocks) {
    // Structure voids are the positions a structure leaves unlisted.
    uint32_t index = block.state->name() == kStructureVoid ? kVoid : palette_idx_from_state(block.state);
    bounds_ = bounds_.expand_to_include(block.position);
    blocks_[block.position] = index;
  }
  return Status::Ok();
}

uint32_t MojangSchematicOutputStream::listed_index(const BlockPosition& position, uint32_t air_index) const {
  auto found = blocks_.find(position);
  if (found != blocks_.end()) return found->second;
  return extras_.fill && extras_.fill->name() == kStructureVoid ? kVoid : air_index;
}

void MojangSchematicOutputStream::write_entities(NbtWriter& nbt, const BlockPosition& min) {
  nbt.tag_header(TagType::List, "entities");
  nbt.list_header(TagType::Compound, int32_t(extras_.entities.size()));
  for (const Entity& entity : extras_.entities) {
    std::array<double, 3> pos;
    for (int axis = 0; axis < 3; ++axis) pos[size_t(axis)] = entity.position[size_t(axis)] - min[axis];
    const BlockPosition block = entity.cell(min);
    Tag doubles{ListTag{TagType::Double, {Tag{pos[0]}, Tag{pos[1]}, Tag{pos[2]}}}};
    Compound data = entity.data;
    shift_entity_tiles(data, {-min.x, -min.y, -min.z});
    data.put("Pos", doubles);
    nbt.tag_header(TagType::List, "pos");
    nbt.payload(doubles);
    nbt.tag_header(TagType::List, "blockPos");
    write_position(nbt, block);
    nbt.tag_header(TagType::Compound, "nbt");
    nbt.payload(Tag{std::move(data)});
    nbt.compound_end();
  }
}

Status MojangSchematicOutputStream::serialize(uint32_t air_index) {
  // Given a box, the structure is that box, positions counted from its
  // corner; otherwise the box grown around the blocks, positions as given.
  const Boundary bounds = box_.value_or(bounds_);
  const BlockPosition min = box_ ? BlockPosition{box_->min_x, box_->min_y, box_->min_z} : BlockPosition{};
  Volume volume = bounds.volume();
  if (volume > Volume(INT32_MAX)) {
    return Status::Error("structure of " + std::to_string(uint64_t(volume)) +
                         " positions does not fit one NBT list");
  }
  int32_t listed = 0;
  Volume walked = 0;
  for (auto positions = bounds.walk(AxisOrder::XYZ); auto position = positions.next(); ++walked) {
    if (walked % kBatchSize == 0) KUBIC_RETURN_IF_ERROR(check_interrupt());
    listed += listed_index(*position, air_index) != kVoid;
  }
  NbtWriter nbt(*writer_);
  nbt.tag_header(TagType::Compound, "");
  nbt.tag_header(TagType::Int, "DataVersion");
  nbt.int_(extras_.data_version.value_or(kDataVersion));
  nbt.tag_header(TagType::List, "size");
  write_position(nbt, BlockPosition{bounds.d_x, bounds.d_y, bounds.d_z});
  nbt.tag_header(TagType::List, "palette");
  nbt.list_header(TagType::Compound, int32_t(palette_.size()));
  for (const PaletteEntry& entry : palette_) write_palette_entry(nbt, entry);
  nbt.tag_header(TagType::List, "blocks");
  nbt.list_header(TagType::Compound, listed);
  for (auto positions = bounds.walk(AxisOrder::XYZ); auto position = positions.next();) {
    uint32_t index = listed_index(*position, air_index);
    if (index == kVoid) continue;
    auto data = block_entities_.find(*position);
    BlockPosition relative{position->x - min.x, position->y - min.y, position->z - min.z};
    write_block_entry(nbt, {relative, index}, data == block_entities_.end() ? nullptr : data->second);
  }
  write_entities(nbt, min);
  if (const Tag* author = extras_.metadata.get("Author"); author && author->as<std::string>()) {
    nbt.tag_header(TagType::String, "author");
    nbt.string(*author->as<std::string>());
  }
  nbt.compound_end();
  return nbt.finish();
}

Status MojangSchematicOutputStream::complete() {
  uint32_t air_index = palette_idx_from_state(BlockState::air_rc());
  Status serialized = serialize(air_index);
  Status flushed = writer_->finish();
  if (!flushed.ok()) return flushed.prefixed("Failed to flush NBT: ");
  if (!serialized.ok()) return serialized.prefixed("Failed to serialize NBT: ");
  return Status::Ok();
}

}  // namespace kubic
