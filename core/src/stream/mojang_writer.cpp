#include "stream/mojang_writer.h"

#include "nbt/nbt_writer.h"

namespace kubic {

namespace {

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

void write_block_entry(NbtWriter& nbt, const BlockEntry& entry) {
  nbt.tag_header(TagType::List, "pos");
  write_position(nbt, entry.pos);
  nbt.tag_header(TagType::Int, "state");
  nbt.int_(int32_t(entry.state));
  nbt.compound_end();
}

}  // namespace

MojangSchematicOutputStream::MojangSchematicOutputStream(std::unique_ptr<ByteSink> writer)
    : writer_(std::move(writer)) {}

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
    uint32_t index = palette_idx_from_state(block.state);
    bounds_ = bounds_.expand_to_include(block.position);
    blocks_[block.position] = index;
  }
  return Status::Ok();
}

Status MojangSchematicOutputStream::serialize(uint32_t air_index) {
  Volume volume = bounds_.volume();
  if (volume > Volume(INT32_MAX)) {
    return Status::Error("structure of " + std::to_string(uint64_t(volume)) +
                         " positions does not fit one NBT list");
  }
  NbtWriter nbt(*writer_);
  nbt.tag_header(TagType::Compound, "");
  nbt.tag_header(TagType::Int, "DataVersion");
  nbt.int_(kDataVersion);
  nbt.tag_header(TagType::List, "size");
  write_position(nbt, BlockPosition{bounds_.d_x, bounds_.d_y, bounds_.d_z});
  nbt.tag_header(TagType::List, "palette");
  nbt.list_header(TagType::Compound, int32_t(palette_.size()));
  for (const PaletteEntry& entry : palette_) write_palette_entry(nbt, entry);
  nbt.tag_header(TagType::List, "blocks");
  nbt.list_header(TagType::Compound, int32_t(volume));
  auto positions = bounds_.walk(AxisOrder::XYZ);
  while (auto position = positions.next()) {
    auto found = blocks_.find(*position);
    write_block_entry(nbt, {*position, found == blocks_.end() ? air_index : found->second});
  }
  nbt.compound_end();
  return nbt.finish();
}

Status MojangSchematicOutputStream::complete() {
  uint32_t air_index = palette_idx_from_state(BlockState::air_rc());
  Status serialized = serialize(air_index);
  Status flushed = writer_->flush();
  if (!flushed.ok()) return flushed.prefixed("Failed to flush NBT: ");
  if (!serialized.ok()) return serialized.prefixed("Failed to serialize NBT: ");
  return Status::Ok();
}

}  // namespace kubic
