#include "formats/sponge/sponge_extras.h"

#include <cmath>

#include "blocks/game_versions.h"
#include "common/clock.h"

namespace kubic {

namespace {

constexpr const char* kExtrasTags[] = {"Version", "DataVersion", "Offset", "Metadata",
                                       "BlockEntities", "TileEntities", "Entities"};

const ListTag* compound_list(const Compound& compound, std::string_view name) {
  const ListTag* list = compound.get_as<ListTag>(name);
  return list && list->element_type == TagType::Compound ? list : nullptr;
}

Status entry_error(const char* what, size_t index, const std::string& problem) {
  return Status::Error(std::string("Sponge: ") + what + " " + std::to_string(index) + " " + problem);
}

// The entity's own tags: version 3 nests them in "Data", earlier versions
// keep them beside "Pos" and "Id", and some version 3 writers do too
// (schematic4j): both places are read, "Data" winning a name in both.
// "Id" becomes the game's "id".
Compound own_tags(const Compound& entry, bool nested) {
  Compound data;
  const Compound* inner = nested ? entry.get_as<Compound>("Data") : nullptr;
  if (inner) data = *inner;
  for (const CompoundEntry& e : entry.entries()) {
    const bool placing = e.name == "Pos" || e.name == "Id" || (inner && e.name == "Data");
    if (!placing && !data.get(e.name)) data.put(e.name, e.value);
  }
  if (const std::string* id = entry.get_as<std::string>("Id"); id && !data.get("id")) data.put("id", Tag{*id});
  return data;
}

// Whether a block entity's x, y and z repeat its position, in the file's
// frame or the world's: those go; any others are the entity's own data.
bool repeats_position(const Compound& data, const BlockPosition& at, const BlockPosition& origin) {
  int32_t given[3];
  const char* axes[3] = {"x", "y", "z"};
  for (int axis = 0; axis < 3; ++axis) {
    const int32_t* value = data.get_as<int32_t>(axes[axis]);
    if (!value) return false;
    given[axis] = *value;
  }
  const BlockPosition position{given[0], given[1], given[2]};
  return position == at || position == moved(at, origin);
}

Result<std::vector<BlockEntity>> read_block_entities(const ListTag* list, bool nested, const BlockPosition& origin) {
  std::vector<BlockEntity> out;
  if (!list) return out;
  for (size_t i = 0; i < list->items.size(); ++i) {
    const Compound& entry = *list->items[i].as<Compound>();
    const auto* pos = entry.get_as<std::vector<int32_t>>("Pos");
    if (!pos || pos->size() != 3) return entry_error("Block entity", i, "has no 'Pos' of three Ints");
    BlockEntity entity{{(*pos)[0], (*pos)[1], (*pos)[2]}, own_tags(entry, nested)};
    // Version 3 data may repeat the position; the entry's own one is kept.
    if (repeats_position(entity.data, entity.position, origin)) {
      for (const char* axis : {"x", "y", "z"}) entity.data.take(axis);
    }
    out.push_back(std::move(entity));
  }
  return out;
}

Result<std::vector<Entity>> read_entities(const ListTag* list, bool nested) {
  std::vector<Entity> out;
  if (!list) return out;
  for (size_t i = 0; i < list->items.size(); ++i) {
    const Compound& entry = *list->items[i].as<Compound>();
    const ListTag* pos = entry.get_as<ListTag>("Pos");
    if (!pos || pos->element_type != TagType::Double || pos->items.size() != 3) {
      return entry_error("Entity", i, "has no 'Pos' of three Doubles");
    }
    Entity entity;
    for (size_t axis = 0; axis < 3; ++axis) entity.position[axis] = *pos->items[axis].as<double>();
    entity.data = own_tags(entry, nested);
    entity.data.take("Pos");
    out.push_back(std::move(entity));
  }
  return out;
}

bool all_inside(const std::vector<Entity>& entities, const Boundary& box, const BlockPosition& from) {
  for (const Entity& entity : entities) {
    for (int axis = 0; axis < 3; ++axis) {
      const double at = entity.coordinate(axis, from[axis]);
      if (!(at >= 0 && at <= box.size_of(axis))) return false;
    }
  }
  return true;
}

Tag position_tag(const BlockPosition& p) { return Tag{std::vector<int32_t>{p.x, p.y, p.z}}; }

Tag entity_position_tag(const std::array<double, 3>& p) {
  return Tag{ListTag{TagType::Double, {Tag{p[0]}, Tag{p[1]}, Tag{p[2]}}}};
}

std::string id_of(const Compound& data, const std::function<std::string()>& fallback) {
  if (const std::string* id = data.get_as<std::string>("id")) return *id;
  return fallback();
}

// One entry of a list in the layout of `version`.
Compound sponge_entry(Tag position, const std::string& id, const Compound& data, int version) {
  Compound entry;
  entry.put("Pos", std::move(position));
  entry.put("Id", Tag{id});
  if (version >= 3) {
    entry.put("Data", Tag{data});
  } else {
    for (const CompoundEntry& e : data.entries()) {
      if (e.name != "id") entry.put(e.name, e.value);
    }
  }
  return entry;
}

}  // namespace

Compound take_sponge_extras_tags(Compound& schematic) {
  Compound tags;
  for (const char* name : kExtrasTags) {
    if (auto tag = schematic.take(name)) tags.put(name, std::move(*tag));
  }
  if (const Tag* blocks = schematic.get("Blocks")) {
    if (const Compound* inner = blocks->as<Compound>()) {
      if (const Tag* nested = inner->get("BlockEntities")) tags.put("Blocks.BlockEntities", *nested);
    }
  }
  return tags;
}

Result<SchematicExtras> read_sponge_extras(const Compound& tags, const Boundary& box) {
  SchematicExtras extras;
  const int32_t* version = tags.get_as<int32_t>("Version");
  const bool v3 = version && *version >= 3;
  extras.format_version = version ? *version : 1;
  if (const Tag* offset = tags.get("Offset")) {
    const auto* values = offset->as<std::vector<int32_t>>();
    if (!values || values->size() != 3) return Status::Error("Sponge: 'Offset' is not an IntArray of three");
    extras.origin = {(*values)[0], (*values)[1], (*values)[2]};
  }
  if (const Tag* data_version = tags.get("DataVersion")) {
    const int32_t* value = data_version->as<int32_t>();
    if (!value) return Status::Error("Sponge: 'DataVersion' is not an Int");
    extras.data_version = *value;
  } else if (extras.format_version == 1) {
    // Version 1 predates the tag: its states are those of 1.13.2.
    extras.data_version = kLegacyDataVersion;
  }
  if (const Tag* metadata = tags.get("Metadata")) {
    const Compound* compound = metadata->as<Compound>();
    if (!compound) return Status::Error("Sponge: 'Metadata' is not a Compound");
    extras.metadata = *compound;
  }
  const char* list_name = v3 ? "Blocks.BlockEntities" : (tags.get("BlockEntities") ? "BlockEntities" : "TileEntities");
  for (const char* name : {list_name, "Entities"}) {
    const Tag* tag = tags.get(name);
    const ListTag* list = tag ? tag->as<ListTag>() : nullptr;
    if (tag && !compound_list(tags, name) && !(list && list->items.empty())) {
      return Status::Error(std::string("Sponge: '") + name + "' is not a list of compounds");
    }
  }
  auto block_entities = read_block_entities(compound_list(tags, list_name), v3, extras.origin);
  if (!block_entities.ok()) return block_entities.status();
  extras.block_entities = std::move(*block_entities);
  auto entities = read_entities(compound_list(tags, "Entities"), v3);
  if (!entities.ok()) return entities.status();
  extras.entities = std::move(*entities);
  // WorldEdit's version 2 stores entities in world coordinates.
  if (!v3 && !all_inside(extras.entities, box, {}) && all_inside(extras.entities, box, extras.origin)) {
    const BlockPosition back = wrapped_difference({}, extras.origin);
    for (Entity& entity : extras.entities) {
      for (int axis = 0; axis < 3; ++axis) entity.offset[size_t(axis)] = -int64_t(extras.origin[axis]);
      shift_entity_tiles(entity.data, back);
    }
  }
  return extras;
}

void put_sponge_extras(const SchematicExtras& extras, int version,
                       const std::function<std::string(const BlockPosition&)>& block_name, Compound& schematic,
                       Compound& blocks) {
  ListTag block_entities{TagType::Compound, {}};
  for (const BlockEntity& entity : extras.block_entities) {
    std::string id = id_of(entity.data, [&] { return block_name(entity.position); });
    block_entities.items.push_back(Tag{sponge_entry(position_tag(entity.position), id, entity.data, version)});
  }
  ListTag entities{TagType::Compound, {}};
  for (const Entity& entity : extras.entities) {
    // Version 2 counts entities from the world's (0, 0, 0).
    const bool in_world = version < 3;
    std::array<double, 3> at;
    for (int axis = 0; axis < 3; ++axis) at[size_t(axis)] = entity.coordinate(axis, in_world ? -int64_t(extras.origin[axis]) : 0);
    Compound data = entity.data;
    if (in_world) shift_entity_tiles(data, extras.origin);
    std::string id = id_of(data, [] { return std::string(); });
    entities.items.push_back(Tag{sponge_entry(entity_position_tag(at), id, data, version)});
  }
  if (block_entities.items.empty()) block_entities.element_type = TagType::End;
  if (entities.items.empty()) entities.element_type = TagType::End;
  (version >= 3 ? blocks : schematic).put("BlockEntities", Tag{std::move(block_entities)});
  // WorldEdit's version 2 files always list entities and give the copy's
  // offset from its origin; readers of version 2 (mcschematic, litemapy)
  // require them.
  if (!entities.items.empty() || version == 2) schematic.put("Entities", Tag{std::move(entities)});
  Compound metadata = extras.metadata;
  if (!metadata.get("Date")) {
    metadata.put("Date", Tag{milliseconds_since_epoch()});
  }
  for (const char* offset : {"WEOffsetX", "WEOffsetY", "WEOffsetZ"}) {
    if (version == 2 && !metadata.get(offset)) metadata.put(offset, Tag{int32_t(0)});
  }
  schematic.put("Metadata", Tag{std::move(metadata)});
}

}  // namespace kubic
