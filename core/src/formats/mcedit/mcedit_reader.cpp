#include "formats/mcedit/mcedit_reader.h"

#include <unordered_map>

#include "blocks/game_versions.h"
#include "common/interrupt.h"
#include "common/notices.h"
#include "common/text_util.h"
#include "nbt/nbt_reader.h"
#include "formats/mcedit/block_entity_states.h"
#include "formats/mcedit/legacy_ids.h"
#include "formats/mcedit/legacy_items.h"
#include "formats/mcedit/legacy_nbt_ids.h"
#include "stream/stored_blocks.h"

namespace kubic {

namespace {

using IdMapping = std::unordered_map<int32_t, std::string>;

// MCEdit writes sizes as Short; MCEdit-Unified as Int.
std::optional<int32_t> read_size(const Compound& root, const char* name) {
  if (const int16_t* size = root.get_as<int16_t>(name)) return *size;
  if (const int32_t* size = root.get_as<int32_t>(name)) return *size;
  return std::nullopt;
}

IdMapping read_id_mapping(const Compound* block_ids) {
  IdMapping mapping;
  if (!block_ids) return mapping;
  for (const CompoundEntry& entry : block_ids->entries()) {
    const auto* text = entry.value.as<std::string>();
    if (!text) continue;
    if (auto id = parse_decimal_i32(*text)) mapping[*id] = entry.name;
  }
  return mapping;
}

// Only the tags the reader looks at are built.
NbtEntryChoice needed_tag(const std::vector<std::string>& parents, const std::string& name) {
  const bool needed = !parents.empty() || name == "Width" || name == "Height" || name == "Length" ||
                      name == "Blocks" || name == "Data" || name == "AddBlocks" || name == "BlockIds" ||
                      name == "TileEntities" || name == "Entities" || name.starts_with("WEOrigin") ||
                      name.starts_with("WEOffset");
  return needed ? NbtEntryChoice::Build : NbtEntryChoice::Skip;
}


constexpr uint32_t kDoublePlant = 175;
constexpr uint8_t kUpperHalf = 8;

// The state for one (id, data) pair: the file's own id mapping, else the
// legacy conversion. Pairs the plain table does not list are reported.
Result<StateRef> resolve(uint32_t id, uint8_t data, const IdMapping& mapping) {
  if (auto found = mapping.find(int32_t(id)); found != mapping.end()) {
    return BlockState::from_string(found->second);
  }
  if (auto state = convert_legacy_data_to_modern_properties(id, data)) {
    if (!get_legacy_type(id, data)) {
      emit_notice("MCEdit: Converted legacy block ID " + std::to_string(id) + " with data " +
             std::to_string(data) + " to modern state " + (*state)->to_string());
    }
    return std::move(*state);
  }
  emit_notice("MCEdit: Warning - Unrecognized block ID " + std::to_string(id) + " with data " +
         std::to_string(data) + ", treating as air");
  return BlockState::air_rc();
}

}  // namespace

uint32_t read_block_id(const std::vector<int8_t>& blocks, size_t i, const std::vector<int8_t>* add_blocks) {
  uint32_t id = uint8_t(blocks[i]);
  if (add_blocks && i / 2 < add_blocks->size()) {
    uint8_t packed = uint8_t((*add_blocks)[i / 2]);
    id += uint32_t((i % 2 == 0) ? (packed >> 4) : (packed & 0x0F)) << 8;
  }
  return id;
}

MCEditSchematicInputStream::MCEditSchematicInputStream(std::unique_ptr<ByteSource> source, RootTags foreign)
    : source_(std::move(source)), foreign_(std::move(foreign)) {}

Status MCEditSchematicInputStream::read_nbt() {
  if (store_) return Status::Error("MCEdit: Blocks have already been read, cannot read NBT header");
  auto document = parse_nbt(*source_, candidate_ ? foreign_.refusing(needed_tag) : needed_tag);
  if (!document.ok()) return document.status().prefixed("MCEdit: Failed to read NBT data: ");
  Compound* root = std::get_if<Compound>(&document->tag.value);
  if (!root) return Status::Unrecognised("MCEdit: Root NBT tag is not a compound");
  for (const char* name : {"TileEntities", "Entities", "WEOriginX", "WEOriginY", "WEOriginZ", "WEOffsetX", "WEOffsetY",
                           "WEOffsetZ"}) {
    if (auto tag = root->take(name)) extras_tags_.put(name, std::move(*tag));
  }
  // Without a 'Blocks' tag the document is not an MCEdit schematic at all
  // (Sponge ones share its size tags): detection looks to other readers.
  const ErrorKind missing = root->get("Blocks") ? ErrorKind::Corrupt : ErrorKind::Unrecognised;
  int32_t sizes[3];
  const char* size_names[3] = {"Width", "Height", "Length"};
  for (int i = 0; i < 3; ++i) {
    auto size = read_size(*root, size_names[i]);
    if (!size) return Status::Error(std::string("MCEdit: Missing or invalid '") + size_names[i] + "' tag", missing);
    sizes[i] = *size;
  }
  const auto* blocks = root->get_as<std::vector<int8_t>>("Blocks");
  if (!blocks) return Status::Error("MCEdit: Missing or invalid 'Blocks' tag", missing);
  const auto* data = root->get_as<std::vector<int8_t>>("Data");
  if (!data) return Status::Error("MCEdit: Missing or invalid 'Data' tag");
  const auto* add_blocks = root->get_as<std::vector<int8_t>>("AddBlocks");
  IdMapping mapping = read_id_mapping(root->get_as<Compound>("BlockIds"));

  int32_t width = sizes[0], height = sizes[1], length = sizes[2];
  boundary_ = Boundary(0, 0, 0, width, height, length);
  store_ = PagedBlockStore::new_for_fixed_boundary(*boundary_);
  uint32_t volume = uint32_t(width) * uint32_t(height) * uint32_t(length);
  if (volume == 0) return Status::Error("MCEdit: Boundary volume is zero, cannot read blocks");
  if (blocks->size() != data->size()) {
    return Status::Error("MCEdit: 'Blocks' and 'Data' arrays must be the same length");
  }
  // Int sizes can multiply past 32 bits; such a box matches no array.
  const bool exact = width >= 0 && height >= 0 && length >= 0 &&
                     Volume(width) * Volume(height) * Volume(length) == Volume(volume);
  if (!exact || int64_t(blocks->size()) != int64_t(int32_t(volume))) {
    return Status::Error("MCEdit: 'Blocks' array length " + std::to_string(uint32_t(blocks->size())) +
                         " does not match expected volume " + std::to_string(volume));
  }
  std::unordered_map<uint32_t, StateRef> cache;
  auto positions = boundary_->walk(AxisOrder::YZX);
  size_t i = 0;
  for (; auto position = positions.next(); ++i) {
    if (i >= blocks->size()) {
      return Status::Error("MCEdit: Not enough block data for position " + position->debug_string() +
                           " at index " + std::to_string(i));
    }
    if (i % kBatchSize == 0) KUBIC_RETURN_IF_ERROR(check_interrupt());
    uint32_t id = read_block_id(*blocks, i, add_blocks);
    uint8_t value = uint8_t((*data)[i]) & 0x0F;
    if (id == 0) continue;
    if (id == kDoublePlant && (value & kUpperHalf) && position->y > 0) {
      // An upper half's data value says only its half (and a facing): the
      // plant is the lower half's under it, as the game reads it.
      const size_t below = i - size_t(width) * size_t(length);
      const uint8_t lower = uint8_t((*data)[below]) & 0x0F;
      if (read_block_id(*blocks, below, add_blocks) == kDoublePlant && !(lower & kUpperHalf)) {
        value = uint8_t(kUpperHalf | lower);
      }
    }
    uint32_t key = id * 16 + value;
    auto cached = cache.find(key);
    if (cached == cache.end()) {
      auto state = resolve(id, value, mapping);
      if (!state.ok()) return state.status();
      cached = cache.emplace(key, std::move(*state)).first;
    }
    KUBIC_RETURN_IF_ERROR(store_->set_block_at(*position, cached->second));
  }
  return apply_block_entities();
}

Status MCEditSchematicInputStream::apply_block_entities() {
  // 1.12 kept some of a block's state in its block entity (a pot's plant, a
  // bed's colour, ...), which 1.13 moved into the block. The block entities
  // themselves are kept.
  const Tag* tag = extras_tags_.get("TileEntities");
  const ListTag* list = tag ? tag->as<ListTag>() : nullptr;
  for (size_t i = 0; list && i < list->items.size(); ++i) {
    const Compound* entity = list->items[i].as<Compound>();
    if (!entity) continue;
    const auto *x = entity->get_as<int32_t>("x"), *y = entity->get_as<int32_t>("y"), *z = entity->get_as<int32_t>("z");
    if (!x || !y || !z || !boundary_->contains({*x, *y, *z})) continue;
    auto current = store_->block_at({*x, *y, *z});
    if (!current.ok()) return current.status();
    if (!*current) continue;
    if (auto state = state_from_block_entity(***current, *entity)) {
      KUBIC_RETURN_IF_ERROR(store_->set_block_at({*x, *y, *z}, std::move(*state)));
    }
  }
  return Status::Ok();
}

Status MCEditSchematicInputStream::name_block_entity_1_13(Compound& data, const BlockPosition& at) {
  const std::string* id = data.get_as<std::string>("id");
  if (!id) return Status::Ok();
  std::optional<StateRef> block;
  if (boundary_->contains(at)) {
    auto current = store_->block_at(at);
    if (!current.ok()) return current.status();
    block = std::move(*current);
  }
  data.put("id", Tag{block_entity_id_1_13(*id, block ? block->get() : nullptr)});
  if (*data.get_as<std::string>("id") == "minecraft:mob_spawner") rename_spawner_entities_1_13(data);
  return Status::Ok();
}

Result<SchematicExtras> MCEditSchematicInputStream::extras() {
  KUBIC_RETURN_IF_ERROR(boundary().status());
  SchematicExtras extras;
  // Legacy ids become the states of 1.13.2, the first flattened release.
  extras.data_version = kLegacyDataVersion;
  // Entity positions are absolute: WEOrigin is where the box stood.
  BlockPosition origin;
  for (int axis = 0; axis < 3; ++axis) {
    const std::string axis_name(1, char('X' + axis));
    for (const char* prefix : {"WEOrigin", "WEOffset"}) {
      const Tag* tag = extras_tags_.get(prefix + axis_name);
      if (!tag) continue;
      const int32_t* value = tag->as<int32_t>();
      if (!value) return Status::Error("MCEdit: '" + (prefix + axis_name) + "' is not an Int");
      extras.metadata.put(prefix + axis_name, *tag);
      if (std::string_view(prefix) == "WEOrigin") (axis == 0 ? origin.x : axis == 1 ? origin.y : origin.z) = *value;
    }
  }
  auto list_of = [&](const char* name) -> Result<const ListTag*> {
    const Tag* tag = extras_tags_.get(name);
    const ListTag* list = tag ? tag->as<ListTag>() : nullptr;
    if (tag && !(list && (list->items.empty() || list->element_type == TagType::Compound))) {
      return Status::Error(std::string("MCEdit: '") + name + "' is not a list of compounds");
    }
    return list;
  };
  auto tiles = list_of("TileEntities");
  if (!tiles.ok()) return tiles.status();
  for (size_t i = 0; *tiles && i < (*tiles)->items.size(); ++i) {
    Compound data = *(*tiles)->items[i].as<Compound>();
    int32_t at[3];
    for (int axis = 0; axis < 3; ++axis) {
      auto tag = data.take(std::string(1, char('x' + axis)));
      const int32_t* value = tag ? tag->as<int32_t>() : nullptr;
      if (!value) return Status::Error("MCEdit: Tile entity " + std::to_string(i) + " has no Int x, y and z");
      at[axis] = *value;
    }
    KUBIC_RETURN_IF_ERROR(name_block_entity_1_13(data, {at[0], at[1], at[2]}));
    flatten_items_of(data);
    extras.block_entities.push_back({{at[0], at[1], at[2]}, std::move(data)});
  }
  auto entities = list_of("Entities");
  if (!entities.ok()) return entities.status();
  for (size_t i = 0; *entities && i < (*entities)->items.size(); ++i) {
    Entity entity{{}, *(*entities)->items[i].as<Compound>()};
    rename_entity_1_13(entity.data);
    flatten_items_of(entity.data);
    auto pos = entity.data.take("Pos");
    const ListTag* values = pos ? pos->as<ListTag>() : nullptr;
    if (!values || values->element_type != TagType::Double || values->items.size() != 3) {
      return Status::Error("MCEdit: Entity " + std::to_string(i) + " has no 'Pos' of three Doubles");
    }
    for (size_t axis = 0; axis < 3; ++axis) {
      entity.position[axis] = *values->items[axis].as<double>();
      entity.offset[axis] = -int64_t(origin[int(axis)]);
    }
    shift_entity_tiles(entity.data, {-origin.x, -origin.y, -origin.z});
    extras.entities.push_back(std::move(entity));
  }
  return extras;
}

Result<std::optional<Boundary>> MCEditSchematicInputStream::boundary() {
  if (!header_read_) {
    KUBIC_RETURN_IF_ERROR(read_nbt());
    header_read_ = true;
  }
  return boundary_;
}

Result<ReadOutcome> MCEditSchematicInputStream::read(std::vector<Block>& out, size_t max) {
  if (!header_read_) {
    KUBIC_RETURN_IF_ERROR(read_nbt());
    header_read_ = true;
  }
  if (max == 0) return ReadOutcome{true, 0};
  if (!scanner_) scanner_ = std::make_unique<XyzScanner>(*store_);
  const auto& palette = store_->palette();
  auto result = read_stored_blocks(*scanner_, position_, out, max,
                                   [&](uint16_t id) { return Result<StateRef>(palette[id]); }, keep_listed_air_);
  if (!result.ok()) return result.status();
  return ReadOutcome{result->count > 0, result->count};
}

}  // namespace kubic
