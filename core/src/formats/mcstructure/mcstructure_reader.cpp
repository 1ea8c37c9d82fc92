#include "formats/mcstructure/mcstructure_reader.h"

#include <algorithm>
#include <map>
#include <string>

#include "blocks/air.h"
#include "blocks/bedrock_blocks.h"
#include "common/notices.h"
#include "common/text_util.h"
#include "formats/mcstructure/bedrock_nbt.h"
#include "nbt/nbt_reader.h"

namespace kubic {

namespace {

constexpr const char* kVoid = "minecraft:structure_void";
constexpr int64_t kMaxVolume = INT32_MAX;
constexpr size_t kTrustedLayerLength = size_t(1) << 25;

// The positions of a box of `size`; nothing for a negative side or a box
// past the limit (whose product could not be formed safely).
std::optional<int64_t> volume_of(const std::array<int32_t, 3>& size) {
  if (size[0] < 0 || size[1] < 0 || size[2] < 0) return std::nullopt;
  const Volume volume = Volume(uint32_t(size[0])) * uint32_t(size[1]) * uint32_t(size[2]);
  if (volume > Volume(kMaxVolume)) return std::nullopt;
  return int64_t(volume);
}

bool is_water(const std::string& name) { return name == "minecraft:water" || name == "minecraft:flowing_water"; }

// A palette entry's "states" value as text and its NBT type.
std::optional<BedrockValue> value_of(const CompoundEntry& entry) {
  if (const std::string* text = entry.value.as<std::string>()) return BedrockValue{entry.name, 's', *text};
  if (const auto number = entry.value.int_value()) {
    return BedrockValue{entry.name, entry.value.type() == TagType::Byte ? 'b' : 'i', std::to_string(*number)};
  }
  if (const int64_t* big = entry.value.as<int64_t>()) return BedrockValue{entry.name, 'i', std::to_string(*big)};
  return std::nullopt;
}

// A Bedrock state no table knows, kept under its own name and values.
StateRef kept_as_it_is(const BedrockState& state) {
  std::vector<BlockState::Property> properties;
  for (const BedrockValue& value : state.values) properties.emplace_back(value.key, value.value);
  return BlockState::create(state.name, std::move(properties));
}

StateRef waterlogged(const StateRef& state) {
  std::vector<BlockState::Property> properties = state->properties();
  for (auto& [key, value] : properties) {
    if (key == "waterlogged") value = "true";
  }
  return BlockState::create(state->name(), std::move(properties));
}

bool can_hold_water(const BlockState& state) {
  return std::any_of(state.properties().begin(), state.properties().end(),
                     [](const auto& entry) { return entry.first == "waterlogged"; });
}

}  // namespace

MCStructureInputStream::MCStructureInputStream(std::unique_ptr<ByteSource> document)
    : parser_(std::move(document), ByteOrder::kLittleEndian) {}

Status MCStructureInputStream::error(const std::string& what) const { return Status::Error("Bedrock: " + what); }

Status MCStructureInputStream::ensure_read() {
  if (!read_) {
    read_ = true;
    read_status_ = read_document();
  }
  return read_status_;
}

Status MCStructureInputStream::read_document() {
  KUBIC_RETURN_IF_ERROR(parser_.next(event_).prefixed("Bedrock: "));
  if (event_.kind != NbtEventKind::CompoundStart) return Status::Unrecognised("Bedrock: the root is no compound");
  bool known = false;
  while (true) {
    Status status = parser_.next(event_);
    // Until a tag of its own shows, the input may be any other NBT.
    if (!status.ok()) return known ? status.prefixed("Bedrock: ") : Status::Unrecognised("Bedrock: " + status.message());
    if (event_.kind == NbtEventKind::CompoundEnd) break;
    const bool own = event_.name == "format_version" || event_.name == "size" || event_.name == "structure" ||
                     event_.name == "structure_world_origin";
    if (!own && !known && candidate_) return Status::Unrecognised("Bedrock: unexpected tag '" + event_.name + "'");
    known |= own;
    KUBIC_RETURN_IF_ERROR(read_root_entry());
  }
  return check_document();
}

Status MCStructureInputStream::read_root_entry() {
  const std::string name = event_.name;
  if (name == "format_version" && event_.kind == NbtEventKind::Value) {
    format_version_ = event_.value.int_value();
    return Status::Ok();
  }
  if (name == "size" && event_.kind == NbtEventKind::ListStart) return read_triple(size_);
  if (name == "structure_world_origin" && event_.kind == NbtEventKind::ListStart) return read_triple(origin_);
  if (name == "structure" && event_.kind == NbtEventKind::CompoundStart) return read_structure();
  auto value = parse_nbt_value(parser_, event_);
  if (!value.ok()) return value.status().prefixed("Bedrock: ");
  if (name == "format_version" || name == "size" || name == "structure_world_origin" || name == "structure") {
    return error("'" + name + "' is a " + tag_type_name(value->type()));
  }
  extras_.metadata.put(name, std::move(*value));  // another tool's own
  return Status::Ok();
}

Status MCStructureInputStream::read_triple(std::optional<std::array<int32_t, 3>>& out) {
  const std::string name = event_.name;
  if (event_.element_type != TagType::Int || event_.length != 3) return error("'" + name + "' is not three Ints");
  std::vector<int32_t> values;
  KUBIC_RETURN_IF_ERROR(parser_.load_int_list(values).prefixed("Bedrock: "));
  KUBIC_RETURN_IF_ERROR(parser_.next(event_).prefixed("Bedrock: "));  // its end
  out = std::array<int32_t, 3>{values[0], values[1], values[2]};
  return Status::Ok();
}

Status MCStructureInputStream::read_structure() {
  while (true) {
    KUBIC_RETURN_IF_ERROR(parser_.next(event_).prefixed("Bedrock: "));
    if (event_.kind == NbtEventKind::CompoundEnd) return Status::Ok();
    if (event_.name == "block_indices" && event_.kind == NbtEventKind::ListStart) {
      KUBIC_RETURN_IF_ERROR(read_layers());
      continue;
    }
    const std::string name = event_.name;
    auto value = parse_nbt_value(parser_, event_);
    if (!value.ok()) return value.status().prefixed("Bedrock: ");
    if (name == "palette") {
      palette_ = std::move(*value);
    } else if (name == "entities") {
      entities_ = std::move(*value);
    } else if (name == "block_indices") {
      return error("'block_indices' is a " + std::string(tag_type_name(value->type())));
    }
  }
}

Status MCStructureInputStream::read_layers() {
  layers_seen_ = true;
  if (event_.length > 0 && event_.element_type != TagType::List) return error("'block_indices' is not a list of lists");
  while (true) {
    KUBIC_RETURN_IF_ERROR(parser_.next(event_).prefixed("Bedrock: "));
    if (event_.kind == NbtEventKind::ListEnd) return Status::Ok();
    if (event_.length > 0 && event_.element_type != TagType::Int) return error("a layer of 'block_indices' holds no Ints");
    if (size_) {
      const auto volume = volume_of(*size_);
      if (volume && event_.length != *volume) {
        return error("a layer of " + std::to_string(event_.length) + " indices in a structure of " +
                     std::to_string(*volume) + " positions");
      }
    }
    layers_.emplace_back();
    if (event_.length > 0) KUBIC_RETURN_IF_ERROR(read_layer(layers_.back()));
    KUBIC_RETURN_IF_ERROR(parser_.next(event_).prefixed("Bedrock: "));  // the layer's end
  }
}

Status MCStructureInputStream::read_layer(Layer& layer) {
  // Room for what the list declares, up to a bound: beyond it the layer
  // grows as the numbers arrive, so a declared length alone costs little.
  layer.reserve(std::min<size_t>(size_t(event_.length), kTrustedLayerLength));
  Status outside = Status::Ok();
  Status read = parser_.visit_int_list([&](std::span<const int32_t> indices) {
    for (int32_t index : indices) {
      if (index < -1 || index >= int32_t(UINT16_MAX)) {
        return outside = error("block index " + std::to_string(index) + " outside any palette of up to 65535 states");
      }
      layer.push_back(uint16_t(index + 1));
    }
    return Status::Ok();
  });
  if (!outside.ok()) return outside;
  return read.prefixed("Bedrock: ");
}

Status MCStructureInputStream::check_document() {
  if (!size_) return error("no 'size'");
  if (!layers_seen_) return error("no 'structure' with 'block_indices'");
  const auto& size = *size_;
  if (size[0] < 0 || size[1] < 0 || size[2] < 0) return error("a negative size");
  const auto known = volume_of(size);
  if (!known) {
    return error("a structure of " + volume_string(Volume(uint32_t(size[0])) * uint32_t(size[1]) * uint32_t(size[2])) +
                 " positions");
  }
  const int64_t volume = *known;
  if (layers_.size() != 2) return error("'block_indices' has " + std::to_string(layers_.size()) + " layers, not 2");
  for (const auto& layer : layers_) {
    if (int64_t(layer.size()) != volume) {
      return error("a layer of " + std::to_string(layer.size()) + " indices in a structure of " +
                   std::to_string(volume) + " positions");
    }
  }
  return resolve_palette();
}

Status MCStructureInputStream::resolve_palette() {
  const Compound* palettes = palette_ ? palette_->as<Compound>() : nullptr;
  const Compound* chosen = palettes ? palettes->get_as<Compound>("default") : nullptr;
  const ListTag* entries = chosen ? chosen->get_as<ListTag>("block_palette") : nullptr;
  if (!entries) return error("no 'palette' with a 'default' 'block_palette'");
  std::map<std::string, uint64_t> unknown;
  for (size_t i = 0; i < entries->items.size(); ++i) {
    const Compound* entry = entries->items[i].as<Compound>();
    const std::string* name = entry ? entry->get_as<std::string>("name") : nullptr;
    if (!name) return error("palette entry " + std::to_string(i) + " has no 'name'");
    BedrockState state{*name, {}};
    if (const Compound* states = entry->get_as<Compound>("states")) {
      for (const CompoundEntry& value : states->entries()) {
        auto typed = value_of(value);
        if (!typed) return error("palette entry " + std::to_string(i) + ": state '" + value.name + "' is a " +
                                 tag_type_name(value.value.type()));
        state.values.push_back(std::move(*typed));
      }
    }
    std::sort(state.values.begin(), state.values.end(),
              [](const BedrockValue& a, const BedrockValue& b) { return a.key < b.key; });
    auto java = java_of_bedrock(state);
    if (!java) unknown[kept_as_it_is(state)->to_string()] = 0;
    java_.push_back(java ? *java : kept_as_it_is(state));
    water_.push_back(is_water(*name));
  }
  for (const Layer& layer : layers_) {
    for (uint16_t stored : layer) {
      const int32_t index = int32_t(stored) - 1;
      if (index >= int32_t(java_.size())) {
        return error("block index " + std::to_string(index) + " outside the palette of " +
                     std::to_string(java_.size()) + " states");
      }
    }
  }
  if (!unknown.empty()) {
    for (uint16_t stored : layers_[0]) {
      if (const int32_t index = int32_t(stored) - 1; index >= 0) {
        auto found = unknown.find(java_[size_t(index)]->to_string());
        if (found != unknown.end()) ++found->second;
      }
    }
  }
  emit_notice("Bedrock: " + std::to_string(java_.size() - unknown.size()) + " states mapped");
  for (const auto& [state, count] : unknown) {
    emit_notice("Bedrock: no equivalent for " + state + " (" + std::to_string(count) + " blocks)");
  }
  return Status::Ok();
}

StateRef MCStructureInputStream::state_of(int32_t block, int32_t liquid) {
  if (liquid < 0) return block < 0 ? BlockState::create(kVoid) : java_[size_t(block)];
  const uint64_t key = (uint64_t(uint32_t(block)) << 32) | uint32_t(liquid);
  auto found = pairs_.find(key);
  if (found == pairs_.end()) {
    Pair pair;
    if (block < 0 || is_plain_air(*java_[size_t(block)])) {
      pair = {java_[size_t(liquid)], false};  // the liquid alone
    } else if (water_[size_t(liquid)] && can_hold_water(*java_[size_t(block)])) {
      pair = {waterlogged(java_[size_t(block)]), false};
    } else {
      pair = {java_[size_t(block)], true};
    }
    found = pairs_.emplace(key, std::move(pair)).first;
  }
  layer_lost_ += found->second.loses_liquid;
  return found->second.state;
}

void MCStructureInputStream::note_lost_liquids() {
  if (layer_lost_) {
    emit_notice("Bedrock: kept untranslated: second-layer blocks Java cannot hold (" + std::to_string(layer_lost_) +
                ")");
  }
  layer_lost_ = 0;
}

Result<std::optional<Boundary>> MCStructureInputStream::boundary() {
  KUBIC_RETURN_IF_ERROR(ensure_read());
  return std::optional<Boundary>(Boundary(0, 0, 0, (*size_)[0], (*size_)[1], (*size_)[2]));
}

Result<ReadOutcome> MCStructureInputStream::read(std::vector<Block>& out, size_t max) {
  KUBIC_RETURN_IF_ERROR(ensure_read());
  blocks_read_ = true;
  const auto& size = *size_;
  const size_t volume = layers_[0].size();
  size_t count = 0;
  while (next_cell_ < volume && count < max) {
    const size_t cell = next_cell_++;
    StateRef state = state_of(index_at(layers_[0], cell), index_at(layers_[1], cell));
    if (is_plain_air(*state) && !keep_air_) continue;
    const int32_t z = int32_t(cell % size_t(size[2])), y = int32_t(cell / size_t(size[2]) % size_t(size[1])),
                  x = int32_t(cell / size_t(size[2]) / size_t(size[1]));
    out.push_back({{x, y, z}, std::move(state)});
    ++count;
  }
  if (count == 0) note_lost_liquids();
  return ReadOutcome{count > 0, count};
}

Status MCStructureInputStream::read_dense(const DenseAllocator& allocate, std::vector<StateRef>& palette,
                                          AxisOrder layout) {
  KUBIC_RETURN_IF_ERROR(ensure_read());
  if (blocks_read_) return error("blocks have already been read");
  blocks_read_ = true;
  const auto& size = *size_;
  uint16_t* cells = allocate(Boundary(0, 0, 0, size[0], size[1], size[2]));
  if (!cells) return error("no memory for the blocks");
  palette.assign(1, BlockState::air_rc());
  std::unordered_map<StateRef, uint16_t, StateRefHash> index_of{{BlockState::air_rc(), 0}};
  // Without water, a position's index follows from its first layer alone.
  std::vector<int32_t> alone(java_.size() + 1, -1);
  auto index = [&](int32_t block, int32_t liquid) -> Result<uint16_t> {
    if (liquid < 0 && alone[size_t(block + 1)] >= 0) return uint16_t(alone[size_t(block + 1)]);
    const StateRef state = state_of(block, liquid);
    auto [found, added] = index_of.emplace(state, uint16_t(palette.size()));
    if (added) {
      if (palette.size() > UINT16_MAX) return error("more than 65536 distinct states");
      palette.push_back(state);
    }
    if (liquid < 0) alone[size_t(block + 1)] = found->second;
    return found->second;
  };
  const int64_t sx = size[0], sy = size[1], sz = size[2];
  size_t cell = 0;
  for (int64_t x = 0; x < sx; ++x) {
    KUBIC_RETURN_IF_ERROR(check_interrupt());
    for (int64_t y = 0; y < sy; ++y) {
      for (int64_t z = 0; z < sz; ++z, ++cell) {
        auto value = index(index_at(layers_[0], cell), index_at(layers_[1], cell));
        if (!value.ok()) return value.status();
        const size_t at = layout == AxisOrder::YZX ? size_t((y * sz + z) * sx + x) : cell;
        cells[at] = *value;
      }
    }
  }
  std::vector<Layer>().swap(layers_);
  layers_.resize(2);
  note_lost_liquids();
  return Status::Ok();
}

Result<SchematicExtras> MCStructureInputStream::extras() {
  KUBIC_RETURN_IF_ERROR(ensure_read());
  SchematicExtras extras = extras_;
  extras.data_version = kBedrockJavaDataVersion;
  extras.format_version = format_version_;
  const auto origin = origin_.value_or(std::array<int32_t, 3>{0, 0, 0});
  extras.origin = {origin[0], origin[1], origin[2]};
  UntranslatedNbt untranslated;
  const Compound* palettes = palette_->as<Compound>();
  const Compound* chosen = palettes->get_as<Compound>("default");
  const int64_t sy = (*size_)[1], sz = (*size_)[2];
  if (const Compound* positions = chosen->get_as<Compound>("block_position_data")) {
    for (const CompoundEntry& entry : positions->entries()) {
      const auto cell = parse_decimal_i64(entry.name);
      const Compound* holder = entry.value.as<Compound>();
      const Compound* data = holder ? holder->get_as<Compound>("block_entity_data") : nullptr;
      if (!cell || *cell < 0 || *cell >= int64_t((*size_)[0]) * sy * sz || !data) {
        ++untranslated["block_position_data entries without a place or data"];
        continue;
      }
      Compound java = *data;
      java_block_entity(java, untranslated);
      const BlockPosition at{int32_t(*cell / sz / sy), int32_t(*cell / sz % sy), int32_t(*cell % sz)};
      extras.block_entities.push_back({at, std::move(java)});
    }
  }
  const ListTag* entities = entities_.as<ListTag>();
  for (size_t i = 0; entities && i < entities->items.size(); ++i) {
    const Compound* data = entities->items[i].as<Compound>();
    if (!data) continue;
    Entity entity{{}, *data};
    auto pos = entity.data.take("Pos");
    const ListTag* values = pos ? pos->as<ListTag>() : nullptr;
    if (!values || values->items.size() != 3) return error("entity " + std::to_string(i) + " has no 'Pos' of three");
    for (size_t axis = 0; axis < 3; ++axis) {
      const Tag& value = values->items[axis];
      entity.position[axis] = value.as<float>() ? double(*value.as<float>()) : value.as<double>() ? *value.as<double>() : 0.0;
      entity.offset[axis] = -int64_t(origin[axis]);
    }
    java_entity(entity.data, untranslated);
    extras.entities.push_back(std::move(entity));
  }
  for (const auto& [what, count] : untranslated) {
    emit_notice("Bedrock: kept untranslated: " + what + " (" + std::to_string(count) + ")");
  }
  return extras;
}

}  // namespace kubic
