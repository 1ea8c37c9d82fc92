#include "formats/mcstructure/mcstructure_writer.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "blocks/air.h"
#include "blocks/block_tables.h"
#include "blocks/canonical_state.h"
#include "blocks/game_versions.h"
#include "blocks/version_conversion.h"
#include "common/interrupt.h"
#include "formats/mcstructure/bedrock_nbt.h"
#include "nbt/nbt_writer.h"

namespace kubic {

namespace {

constexpr const char* kVoid = "minecraft:structure_void";

void write_triple(NbtWriter& nbt, const char* name, int32_t a, int32_t b, int32_t c) {
  nbt.tag_header(TagType::List, name);
  nbt.list_header(TagType::Int, 3);
  const int32_t values[3] = {a, b, c};
  nbt.int_elements(values);
}

Tag typed_value(const BedrockValue& value) {
  if (value.type == 's') return Tag{value.value};
  int64_t number = 0;
  std::from_chars(value.value.data(), value.value.data() + value.value.size(), number);
  if (value.type == 'b') return Tag{int8_t(number)};
  return Tag{int32_t(number)};
}

// A state that is no Java state of the tables but reads as a Bedrock one
// (one a read kept because no table knew it) goes back as it came.
std::optional<BedrockState> as_bedrock(const BlockState& state) {
  if (!is_bedrock_block(state.name())) return std::nullopt;
  BedrockState bedrock{state.name(), {}};
  for (const auto& [key, value] : state.properties()) {
    const char type = bedrock_value_type(state.name(), key);
    const bool number = !value.empty() && std::all_of(value.begin(), value.end(), [](char c) {
      return (c >= '0' && c <= '9') || c == '-';
    });
    if (!type || (type != 's' && !number)) return std::nullopt;
    bedrock.values.push_back({key, type, value});
  }
  return bedrock;
}

bool waterlogged(const BlockState& state) {
  return std::any_of(state.properties().begin(), state.properties().end(),
                     [](const auto& e) { return e.first == "waterlogged" && e.second == "true"; });
}

}  // namespace

MCStructureOutputStream::MCStructureOutputStream(std::unique_ptr<ByteSink> sink, std::optional<Boundary> box,
                                                 bool refuse_missing)
    : sink_(std::move(sink)), blocks_(box), refuse_missing_(refuse_missing) {}

Status MCStructureOutputStream::set_extras(SchematicExtras extras) {
  extras_ = std::move(extras);
  return Status::Ok();
}

Status MCStructureOutputStream::write(std::span<const Block> blocks) { return blocks_.add(blocks); }

int32_t MCStructureOutputStream::palette_index(const BedrockState& state) {
  std::string key = state.name;
  for (const BedrockValue& value : state.values) key += "," + value.key + "=" + value.value;
  auto [found, added] = palette_index_.emplace(key, int32_t(palette_.size()));
  if (added) palette_.push_back(state);
  return found->second;
}

Result<MCStructureOutputStream::Layers> MCStructureOutputStream::layers_of(const StateRef& given) {
  if (auto found = layers_.find(given); found != layers_.end()) return found->second;
  Layers layers{-1, -1};
  if (given->name() != kVoid) {
    // Bedrock takes Java 1.21.1's states.
    StateRef state = canonical_state(given);
    const int bedrock_table = *block_table_of(kBedrockJavaDataVersion);
    if (source_table_ >= 0 && source_table_ != bedrock_table) {
      const ConvertedState converted = convert_state(state, source_table_, bedrock_table);
      if (converted.outcome == StateOutcome::kChanged || converted.outcome == StateOutcome::kSame) {
        state = converted.state;
      }
    }
    auto bedrock = bedrock_of_java(*state);
    if (!bedrock) bedrock = as_bedrock(*state);
    if (!bedrock) {
      if (refuse_missing_) {
        return Status::Error("Bedrock: no Bedrock state for " + state->to_string(), ErrorKind::Unwritable);
      }
      missing_[state->to_string()] = 0;
      bedrock = bedrock_of_java(*BlockState::air_rc());
    }
    layers.block = palette_index(*bedrock);
    if (waterlogged(*state)) {
      layers.liquid = palette_index(*bedrock_of_java(*BlockState::create("minecraft:water", {{"level", "0"}})));
    }
  }
  layers_.emplace(given, layers);
  return layers;
}

Status MCStructureOutputStream::serialize() {
  const Boundary bounds = blocks_.bounds();
  const Volume volume = bounds.volume();
  if (volume > Volume(INT32_MAX)) {
    return Status::Error("Bedrock: a structure of " + std::to_string(uint64_t(volume)) + " positions is too large");
  }
  auto placed = blocks_.placed();
  if (!placed.ok()) return placed.status();
  const PagedBlockStore& store = **placed;
  source_table_ = block_table_for_states(extras_.data_version);
  std::vector<int32_t> block_layer(static_cast<size_t>(volume)), liquid_layer(static_cast<size_t>(volume));
  // Positions no block was written to: voids where the source says so.
  const bool voids = extras_.fill && extras_.fill->name() == kVoid;
  auto empty = layers_of(voids ? extras_.fill : BlockState::air_rc());
  if (!empty.ok()) return empty.status();
  std::vector<std::optional<Layers>> by_cell(store.palette().size());
  size_t cell = 0;
  for (auto positions = bounds.walk(AxisOrder::XYZ); auto position = positions.next(); ++cell) {
    if (cell % kBatchSize == 0) KUBIC_RETURN_IF_ERROR(check_interrupt());
    const auto id = store.palette_id_at(*position);
    Layers layers = *empty;
    if (id) {
      if (!by_cell[*id]) {
        auto found = layers_of(store.palette()[*id]);
        if (!found.ok()) return found.status();
        by_cell[*id] = *found;
      }
      layers = *by_cell[*id];
      if (auto missing = missing_.find(canonical_state(store.palette()[*id])->to_string()); missing != missing_.end()) {
        ++missing->second;
      }
    }
    block_layer[cell] = layers.block;
    liquid_layer[cell] = layers.liquid;
  }
  const std::array<int32_t, 3> size = {bounds.d_x, bounds.d_y, bounds.d_z};
  const BlockPosition min{bounds.min_x, bounds.min_y, bounds.min_z};
  const BlockPosition world = moved(extras_.origin, min);
  UntranslatedNbt untranslated;
  NbtWriter nbt(*sink_, {}, ByteOrder::kLittleEndian);
  nbt.tag_header(TagType::Compound, "");
  nbt.tag_header(TagType::Int, "format_version");
  nbt.int_(1);
  write_triple(nbt, "size", size[0], size[1], size[2]);
  nbt.tag_header(TagType::Compound, "structure");
  nbt.tag_header(TagType::List, "block_indices");
  nbt.list_header(TagType::List, 2);
  for (const auto* layer : {&block_layer, &liquid_layer}) {
    nbt.list_header(TagType::Int, int32_t(layer->size()));
    nbt.int_elements(*layer);
  }
  nbt.tag_header(TagType::List, "entities");
  nbt.list_header(TagType::Compound, int32_t(extras_.entities.size()));
  for (const Entity& entity : extras_.entities) {
    Compound data = entity.data;
    bedrock_entity(data, untranslated);
    ListTag pos{TagType::Float, {}};
    for (int axis = 0; axis < 3; ++axis) {
      pos.items.push_back(Tag{float(entity.coordinate(axis, -int64_t(extras_.origin[axis])))});
    }
    data.put("Pos", Tag{std::move(pos)});
    nbt.payload(Tag{std::move(data)});
  }
  nbt.tag_header(TagType::Compound, "palette");
  nbt.tag_header(TagType::Compound, "default");
  nbt.tag_header(TagType::List, "block_palette");
  nbt.list_header(TagType::Compound, int32_t(palette_.size()));
  for (const BedrockState& state : palette_) {
    Compound entry, states;
    for (const BedrockValue& value : state.values) states.put(value.key, typed_value(value));
    entry.put("name", Tag{state.name});
    entry.put("states", Tag{std::move(states)});
    entry.put("version", Tag{kBedrockBlockVersion});
    nbt.payload(Tag{std::move(entry)});
  }
  nbt.tag_header(TagType::Compound, "block_position_data");
  for (const BlockEntity& block_entity : extras_.block_entities) {
    if (!bounds.contains(block_entity.position)) continue;
    const int64_t x = block_entity.position.x - min.x, y = block_entity.position.y - min.y,
                  z = block_entity.position.z - min.z;
    Compound data = block_entity.data;
    bedrock_block_entity(data, untranslated);
    data.put("x", Tag{int32_t(x + world.x)});
    data.put("y", Tag{int32_t(y + world.y)});
    data.put("z", Tag{int32_t(z + world.z)});
    Compound holder;
    holder.put("block_entity_data", Tag{std::move(data)});
    nbt.tag_header(TagType::Compound, std::to_string((x * size[1] + y) * size[2] + z));
    nbt.payload(Tag{std::move(holder)});
  }
  nbt.compound_end();  // block_position_data
  nbt.compound_end();  // default
  nbt.compound_end();  // palette
  nbt.compound_end();  // structure
  write_triple(nbt, "structure_world_origin", world.x, world.y, world.z);
  nbt.compound_end();
  for (const auto& [state, count] : missing_) {
    notes_.push_back("no Bedrock state for " + state + ": " + std::to_string(count) + " blocks written as air");
  }
  for (const auto& [what, count] : untranslated) {
    notes_.push_back("kept untranslated for Bedrock: " + what + " (" + std::to_string(count) + ")");
  }
  return nbt.finish();
}

Status MCStructureOutputStream::complete() {
  Status serialized = serialize();
  Status flushed = sink_->finish();
  if (flushed.ok()) flushed = sink_->flush();
  if (!serialized.ok()) return serialized;
  return flushed;
}

}  // namespace kubic
