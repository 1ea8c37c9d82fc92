#include "formats/structure/structure_writer.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "blocks/canonical_state.h"
#include "blocks/game_versions.h"
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

void put_big_endian(uint8_t* at, int32_t value) {
  const uint32_t v = uint32_t(value);
  at[0] = uint8_t(v >> 24), at[1] = uint8_t(v >> 16), at[2] = uint8_t(v >> 8), at[3] = uint8_t(v);
}

void write_block_entry(NbtWriter& nbt, const BlockEntry& entry, const Compound* data) {
  if (!data) {
    // The usual entry, laid out at once: {pos: [x, y, z], state: n}.
    uint8_t bytes[36] = {9, 0, 3, 'p', 'o', 's', 3, 0, 0, 0, 3};
    put_big_endian(bytes + 11, entry.pos.x);
    put_big_endian(bytes + 15, entry.pos.y);
    put_big_endian(bytes + 19, entry.pos.z);
    const uint8_t state_header[8] = {3, 0, 5, 's', 't', 'a', 't', 'e'};
    std::copy(std::begin(state_header), std::end(state_header), bytes + 23);
    put_big_endian(bytes + 31, int32_t(entry.state));
    bytes[35] = 0;
    nbt.raw(bytes, sizeof bytes);
    return;
  }
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

StructureSchematicOutputStream::StructureSchematicOutputStream(std::unique_ptr<ByteSink> writer,
                                                         std::optional<Boundary> box)
    : writer_(std::move(writer)), blocks_(box) {}

Status StructureSchematicOutputStream::set_extras(SchematicExtras extras) {
  extras_ = std::move(extras);
  return Status::Ok();
}

uint32_t StructureSchematicOutputStream::palette_idx_from_state(const StateRef& state) {
  if (state.get() == last_state_) return last_index_;
  last_state_ = state.get();
  auto found = palette_index_.find(state);
  if (found != palette_index_.end()) return last_index_ = found->second;
  // States spelled another way share the entry of their canonical form.
  const StateRef canonical = canonical_state(state);
  auto entry = palette_index_.find(canonical);
  uint32_t index = entry != palette_index_.end() ? entry->second : uint32_t(palette_.size());
  if (entry == palette_index_.end()) {
    palette_.push_back({canonical->name(), distinct_properties(*canonical)});
    palette_index_.emplace(canonical, index);
  }
  palette_index_.emplace(state, index);
  return last_index_ = index;
}

Status StructureSchematicOutputStream::write(std::span<const Block> blocks) {
  for (const Block& block : blocks) {
    // Structure voids are the positions a structure leaves unlisted; every
    // other state has its place in the palette, in order of first use.
    if (block.state->name() != kStructureVoid) palette_idx_from_state(block.state);
  }
  return blocks_.add(blocks);
}

std::vector<const BlockEntity*> StructureSchematicOutputStream::walk_ordered_block_entities(const Boundary& bounds) const {
  std::vector<const BlockEntity*> ordered;
  for (const BlockEntity& entity : extras_.block_entities) {
    if (bounds.contains(entity.position)) ordered.push_back(&entity);
  }
  auto key = [](const BlockEntity* e) { return std::tuple(e->position.x, e->position.y, e->position.z); };
  std::stable_sort(ordered.begin(), ordered.end(), [&](auto* a, auto* b) { return key(a) < key(b); });
  // Of several at one position, the last given wins.
  std::vector<const BlockEntity*> kept;
  for (size_t i = 0; i < ordered.size(); ++i) {
    if (i + 1 < ordered.size() && ordered[i + 1]->position == ordered[i]->position) continue;
    kept.push_back(ordered[i]);
  }
  return kept;
}

void StructureSchematicOutputStream::write_entities(NbtWriter& nbt, const BlockPosition& min) {
  nbt.tag_header(TagType::List, "entities");
  nbt.list_header(TagType::Compound, int32_t(extras_.entities.size()));
  for (const Entity& entity : extras_.entities) {
    const auto pos = entity.coordinates(min);
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

Status StructureSchematicOutputStream::serialize(uint32_t air_index) {
  // Given a box, the structure is that box, positions counted from its
  // corner; otherwise the box grown around the blocks, positions as given.
  const Boundary bounds = blocks_.bounds();
  const auto& box = blocks_.given_box();
  const BlockPosition min = box ? BlockPosition{box->min_x, box->min_y, box->min_z} : BlockPosition{};
  Volume volume = bounds.volume();
  if (volume > Volume(INT32_MAX)) {
    return Status::Error("structure of " + std::to_string(uint64_t(volume)) +
                         " positions does not fit one NBT list");
  }
  auto placed = blocks_.placed();
  if (!placed.ok()) return placed.status();
  const PagedBlockStore& store = **placed;
  // What each stored state and an unstored position list: an index, or
  // nothing for a void.
  std::vector<uint32_t> listed_as;
  for (const StateRef& state : store.palette()) {
    listed_as.push_back(state->name() == kStructureVoid ? kVoid : palette_index_.at(state));
  }
  const uint32_t unstored = extras_.fill && extras_.fill->name() == kStructureVoid ? kVoid : air_index;
  auto listed_index = [&](uint16_t cell) { return cell ? listed_as[cell - 1] : unstored; };
  int32_t listed = 0;
  store.for_each_yzx_cell([&](uint16_t cell) { listed += listed_index(cell) != kVoid; });
  const std::vector<const BlockEntity*> block_entities = walk_ordered_block_entities(bounds);
  auto next_entity = block_entities.begin();
  NbtWriter nbt(*writer_);
  nbt.tag_header(TagType::Compound, "");
  nbt.tag_header(TagType::Int, "DataVersion");
  nbt.int_(extras_.data_version.value_or(default_data_version()));
  nbt.tag_header(TagType::List, "size");
  write_position(nbt, BlockPosition{bounds.d_x, bounds.d_y, bounds.d_z});
  nbt.tag_header(TagType::List, "palette");
  nbt.list_header(TagType::Compound, int32_t(palette_.size()));
  for (const PaletteEntry& entry : palette_) write_palette_entry(nbt, entry);
  nbt.tag_header(TagType::List, "blocks");
  nbt.list_header(TagType::Compound, listed);
  Volume walked = 0;
  for (auto positions = bounds.walk(AxisOrder::XYZ); auto position = positions.next(); ++walked) {
    if (walked % kBatchSize == 0) KUBIC_RETURN_IF_ERROR(check_interrupt());
    auto cell = store.palette_id_at(*position);
    const uint32_t index = listed_index(cell ? uint16_t(*cell + 1) : 0);
    const Compound* data = nullptr;
    if (next_entity != block_entities.end() && (*next_entity)->position == *position) data = &(*next_entity++)->data;
    if (index == kVoid) continue;
    const BlockPosition relative = wrapped_difference(*position, min);
    write_block_entry(nbt, {relative, index}, data);
  }
  write_entities(nbt, min);
  if (const Tag* author = extras_.metadata.get("Author"); author && author->as<std::string>()) {
    nbt.tag_header(TagType::String, "author");
    nbt.string(*author->as<std::string>());
  }
  nbt.compound_end();
  return nbt.finish();
}

Status StructureSchematicOutputStream::complete() {
  uint32_t air_index = palette_idx_from_state(BlockState::air_rc());
  Status serialized = serialize(air_index);
  // Finished, then flushed: a sync flush of an unfinished stream would
  // turn the compressor to streaming for the whole document.
  Status flushed = writer_->finish();
  if (flushed.ok()) flushed = writer_->flush();
  if (!flushed.ok()) return flushed.prefixed("Failed to flush NBT: ");
  if (!serialized.ok()) return serialized.prefixed("Failed to serialize NBT: ");
  return Status::Ok();
}

}  // namespace kubic
