#include "formats/kub/kub_extras.h"

#include "io/memory_stream.h"
#include "nbt/nbt_reader.h"
#include "nbt/nbt_writer.h"

namespace kubic {

namespace {

Tag int_array(const BlockPosition& p) { return Tag{std::vector<int32_t>{p.x, p.y, p.z}}; }

Status malformed(const std::string& what) { return Status::Error("KUB: Malformed extras: " + what); }

// The entries of a list of compounds; an absent or empty list has none.
Result<std::vector<const Compound*>> entries_of(const Compound& root, const char* name) {
  std::vector<const Compound*> out;
  const Tag* tag = root.get(name);
  if (!tag) return out;
  const ListTag* list = tag->as<ListTag>();
  if (!list || (!list->items.empty() && list->element_type != TagType::Compound)) {
    return malformed(std::string("'") + name + "' is not a list of compounds");
  }
  for (const Tag& item : list->items) out.push_back(item.as<Compound>());
  return out;
}

}  // namespace

bool kub_needs_extras(const SchematicExtras& extras) {
  return !extras.block_entities.empty() || !extras.entities.empty() || extras.data_version ||
         !(extras.origin == BlockPosition{}) || extras.metadata.size() > 0;
}

std::vector<uint8_t> encode_kub_extras(const SchematicExtras& extras) {
  Compound root;
  if (extras.data_version) root.put("DataVersion", Tag{*extras.data_version});
  if (!(extras.origin == BlockPosition{})) root.put("Origin", int_array(extras.origin));
  if (extras.metadata.size() > 0) root.put("Metadata", Tag{extras.metadata});
  ListTag block_entities{TagType::Compound, {}};
  for (const BlockEntity& entity : extras.block_entities) {
    Compound entry;
    entry.put("Pos", int_array(entity.position));
    entry.put("Data", Tag{entity.data});
    block_entities.items.push_back(Tag{std::move(entry)});
  }
  if (!block_entities.items.empty()) root.put("BlockEntities", Tag{std::move(block_entities)});
  ListTag entities{TagType::Compound, {}};
  for (const Entity& entity : extras.entities) {
    Compound entry;
    const auto p = entity.coordinates();
    entry.put("Pos", Tag{ListTag{TagType::Double, {Tag{p[0]}, Tag{p[1]}, Tag{p[2]}}}});
    entry.put("Data", Tag{entity.data});
    entities.items.push_back(Tag{std::move(entry)});
  }
  if (!entities.items.empty()) root.put("Entities", Tag{std::move(entities)});
  auto bytes = std::make_shared<std::vector<uint8_t>>();
  MemorySink sink(bytes);
  (void)encode_nbt(NamedTag{"", Tag{std::move(root)}}, sink);  // a memory sink does not fail
  return std::move(*bytes);
}

Result<SchematicExtras> decode_kub_extras(const std::vector<uint8_t>& document) {
  MemorySource source(document);
  auto parsed = parse_nbt(source);
  if (!parsed.ok()) return parsed.status().prefixed("KUB: Malformed extras: ");
  const Compound* root = parsed->tag.as<Compound>();
  if (!root) return malformed("root is not a compound");
  SchematicExtras extras;
  if (const Tag* version = root->get("DataVersion")) {
    if (!version->as<int32_t>()) return malformed("'DataVersion' is not an Int");
    extras.data_version = *version->as<int32_t>();
  }
  if (const Tag* origin = root->get("Origin")) {
    const auto* values = origin->as<std::vector<int32_t>>();
    if (!values || values->size() != 3) return malformed("'Origin' is not an IntArray of three");
    extras.origin = {(*values)[0], (*values)[1], (*values)[2]};
  }
  if (const Tag* metadata = root->get("Metadata")) {
    if (!metadata->as<Compound>()) return malformed("'Metadata' is not a Compound");
    extras.metadata = *metadata->as<Compound>();
  }
  auto block_entities = entries_of(*root, "BlockEntities");
  if (!block_entities.ok()) return block_entities.status();
  for (const Compound* entry : *block_entities) {
    const auto* pos = entry->get_as<std::vector<int32_t>>("Pos");
    const Compound* data = entry->get_as<Compound>("Data");
    if (!pos || pos->size() != 3 || !data) return malformed("a block entity lacks its 'Pos' or 'Data'");
    extras.block_entities.push_back({{(*pos)[0], (*pos)[1], (*pos)[2]}, *data});
  }
  auto entities = entries_of(*root, "Entities");
  if (!entities.ok()) return entities.status();
  for (const Compound* entry : *entities) {
    const ListTag* pos = entry->get_as<ListTag>("Pos");
    const Compound* data = entry->get_as<Compound>("Data");
    if (!pos || pos->element_type != TagType::Double || pos->items.size() != 3 || !data) {
      return malformed("an entity lacks its 'Pos' or 'Data'");
    }
    extras.entities.push_back(
        {{*pos->items[0].as<double>(), *pos->items[1].as<double>(), *pos->items[2].as<double>()}, *data});
  }
  return extras;
}

}  // namespace kubic
