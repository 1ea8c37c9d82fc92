#include "formats/structure/structure_reader.h"

#include <algorithm>
#include <cstring>

#include "common/interrupt.h"
#include "nbt/nbt_reader.h"
#include "stream/stored_blocks.h"

namespace kubic {

namespace {

bool is_own_root_tag(const std::string& lower_name) {
  for (const char* name : {"size", "palette", "palettes", "blocks", "entities"}) {
    if (lower_name == name) return true;
  }
  return false;
}

std::string lower_case(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : char(c); });
  return text;
}

// The bytes of a block entry's two tags, as structure files hold them.
constexpr uint8_t kPosHeader[] = {9, 0, 3, 'p', 'o', 's', 3, 0, 0, 0, 3};
constexpr uint8_t kStateHeader[] = {3, 0, 5, 's', 't', 'a', 't', 'e'};
constexpr size_t kPosTag = sizeof kPosHeader + 12;
constexpr size_t kStateTag = sizeof kStateHeader + 4;
constexpr size_t kBlockEntry = kPosTag + kStateTag + 1;

int32_t big_endian_int(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]));
}

// Before the next element of the block list: when it is an entry of the
// usual shape ({pos: [x, y, z] of Ints, state: Int}, either first, nothing
// else), reads it whole into `position` and `state` and returns true;
// otherwise reads nothing and returns false, leaving it to the events.
bool next_plain_entry(NbtStreamParser& parser, int32_t position[3], int32_t& state) {
  const uint8_t* bytes = parser.peek_next_element(kBlockEntry);
  if (!bytes || bytes[kBlockEntry - 1] != 0) return false;
  const bool pos_first = std::memcmp(bytes, kPosHeader, sizeof kPosHeader) == 0;
  const uint8_t* pos = pos_first ? bytes : bytes + kStateTag;
  const uint8_t* state_tag = pos_first ? bytes + kPosTag : bytes;
  if (std::memcmp(pos, kPosHeader, sizeof kPosHeader) != 0 ||
      std::memcmp(state_tag, kStateHeader, sizeof kStateHeader) != 0) {
    return false;
  }
  for (int axis = 0; axis < 3; ++axis) position[axis] = big_endian_int(pos + sizeof kPosHeader + 4 * axis);
  state = big_endian_int(state_tag + sizeof kStateHeader);
  parser.skip_next_element(kBlockEntry);
  return true;
}

}  // namespace

StructureSchematicInputStream::StructureSchematicInputStream(std::unique_ptr<ByteSource> reader)
    : parser_(std::move(reader)) {}

void StructureSchematicInputStream::ensure_store() {
  if (!blocks_) blocks_ = LazyPaletteBlockStoreWrapper::empty_fixed_from_size(size_[0], size_[1], size_[2]);
}

Status StructureSchematicInputStream::read_size() {
  int32_t values[3];
  for (int32_t& value : values) {
    KUBIC_RETURN_IF_ERROR(parser_.next(event_));
    const int32_t* v = event_.kind == NbtEventKind::Value ? event_.value.as<int32_t>() : nullptr;
    if (!v) return Status::Error("Expected 3 integers for Size");
    value = *v;
  }
  // Negative sizes would stand for enormous boxes; nothing sensible reads them.
  if (values[0] < 0 || values[1] < 0 || values[2] < 0) {
    return Status::Error("Mojang: Negative size [" + std::to_string(values[0]) + ", " +
                         std::to_string(values[1]) + ", " + std::to_string(values[2]) + "] in header");
  }
  std::copy(values, values + 3, size_);
  size_read_ = true;
  return Status::Ok();
}

Result<LazyPaletteBlockStoreWrapper::Palette> StructureSchematicInputStream::read_palette() {
  ensure_store();
  LazyPaletteBlockStoreWrapper::Palette palette;
  int depth = 1;
  std::string name;
  bool has_name = false;
  // Properties in the order the file gives them, a repeated key keeping its
  // first place with the later value, so that conversions keep the order.
  std::vector<BlockState::Property> properties;
  while (depth > 0) {
    KUBIC_RETURN_IF_ERROR(parser_.next(event_));
    switch (event_.kind) {
      case NbtEventKind::CompoundStart:
      case NbtEventKind::ListStart:
        ++depth;
        break;
      case NbtEventKind::ListEnd:
        --depth;
        break;
      case NbtEventKind::CompoundEnd:
        if (--depth == 1) {
          // An entry without a name would silently take its neighbour's.
          if (!has_name) {
            return Status::Error("Mojang: Palette entry " + std::to_string(palette.size()) +
                                 " has no 'Name'");
          }
          int64_t index = int64_t(palette.size());
          palette[index] = BlockState::create(name, properties);
          properties.clear();
          has_name = false;
        }
        break;
      case NbtEventKind::Value:
        if (const auto* text = event_.value.as<std::string>(); text && event_.named) {
          if (event_.name == "Name") {
            name = *text;
            has_name = true;
          } else {
            assign_property(properties, event_.name, *text);
          }
        }
        break;
      case NbtEventKind::EndOfInput:
        return nbt_error_at("unexpected end of NBT data", parser_.offset());
    }
  }
  return palette;
}

Status StructureSchematicInputStream::read_first_of_palettes() {
  KUBIC_RETURN_IF_ERROR(parser_.next(event_));
  if (event_.kind != NbtEventKind::ListStart || event_.element_type != TagType::Compound) return Status::Ok();
  auto palette = read_palette();
  if (!palette.ok()) return palette.status();
  // Installed at once, like a "palette", so that the blocks stored before
  // a later fault stay readable; a "palette" anywhere still takes its place.
  if (!palette_read_) {
    blocks_->set_actual_palette(std::move(*palette));
    palette_read_ = true;
  }
  return Status::Ok();
}

Status StructureSchematicInputStream::read_blocks() {
  ensure_store();
  // Only tags directly inside an entry count. An entry's own three-Int list
  // is its position whichever comes first, "state" or the list, and moves
  // the running position for the entries after it; an entry with a "state"
  // and no list is stored at the running position.
  int list_depth = 1;      // 1: directly inside the block list
  int compound_depth = 0;  // 1: directly inside one entry
  int32_t position[3] = {0, 0, 0};
  int32_t entry_position[3] = {0, 0, 0};
  int filled = 0;
  bool collecting = false;
  bool has_state = false;
  int32_t state = 0;
  std::optional<Compound> entry_data;
  while (list_depth > 0) {
    // Nearly every entry has the same few bytes: read whole, without events.
    if (whole_entries_ && list_depth == 1 && compound_depth == 0 && next_plain_entry(parser_, position, state)) {
      KUBIC_RETURN_IF_ERROR(blocks_->set_unknown_block_at(position[0], position[1], position[2], state));
      if (++listed_entries_ % kBatchSize == 0) KUBIC_RETURN_IF_ERROR(check_interrupt());
      continue;
    }
    KUBIC_RETURN_IF_ERROR(parser_.next(event_));
    const bool at_entry_level = compound_depth == 1 && list_depth == 1;
    switch (event_.kind) {
      case NbtEventKind::CompoundStart:
        if (at_entry_level && event_.named && event_.name == "nbt") {
          // A block entity: kept whole, read to its end here.
          auto data = parse_nbt_value(parser_, event_);
          if (!data.ok()) return data.status();
          entry_data = std::move(*std::get_if<Compound>(&data->value));
          break;
        }
        if (++compound_depth == 1 && list_depth == 1) {
          has_state = false;
          filled = 0;
          entry_data.reset();
        }
        break;
      case NbtEventKind::CompoundEnd:
        if (at_entry_level) {
          if (filled == 3) std::copy(entry_position, entry_position + 3, position);
          if (has_state) {
            KUBIC_RETURN_IF_ERROR(blocks_->set_unknown_block_at(position[0], position[1], position[2], state));
            ++listed_entries_;
            if (entry_data) block_entities_.push_back({{position[0], position[1], position[2]}, std::move(*entry_data)});
          }
        }
        --compound_depth;
        break;
      case NbtEventKind::ListStart:
        if (at_entry_level && event_.element_type == TagType::Int && event_.length == 3) {
          collecting = true;
          filled = 0;
        }
        ++list_depth;
        break;
      case NbtEventKind::ListEnd:
        --list_depth;
        collecting = false;
        break;
      case NbtEventKind::Value:
        if (const int32_t* v = event_.value.as<int32_t>()) {
          if (collecting && !event_.named && filled < 3) {
            entry_position[filled++] = *v;
          } else if (at_entry_level && event_.named && event_.name == "state") {
            state = *v;
            has_state = true;
          }
        }
        break;
      case NbtEventKind::EndOfInput:
        return nbt_error_at("unexpected end of NBT data", parser_.offset());
    }
  }
  blocks_read_ = true;
  return Status::Ok();
}

Status StructureSchematicInputStream::read_header() {
  int depth = 0;  // open compounds: 1 directly inside the root
  while (true) {
    // A document cut short fails too: reading it as complete would
    // report a truncated file as a good one.
    Status status = parser_.next(event_);
    if (!status.ok()) return status.prefixed("NBT Stream Error: ");
    if (event_.kind == NbtEventKind::EndOfInput) break;
    // Its tags are lists; a schematic's "Palette" compound is not one.
    if (depth == 1 && event_.named && event_.kind == NbtEventKind::ListStart) {
      claimed_ = claimed_ || is_own_root_tag(lower_case(event_.name));
    }
    if (event_.kind == NbtEventKind::CompoundStart || event_.kind == NbtEventKind::CompoundEnd) {
      depth += event_.kind == NbtEventKind::CompoundStart ? 1 : -1;
      continue;
    }
    if (depth == 1 && event_.named) {
      if (event_.kind == NbtEventKind::Value) {
        keep_top_level_value();
        continue;
      }
      if (event_.kind == NbtEventKind::ListStart && event_.name == "entities") {
        auto entities = parse_nbt_value(parser_, event_);
        if (!entities.ok()) return entities.status().prefixed("NBT Stream Error: ");
        entities_ = std::move(*entities);
        continue;
      }
    }
    if (event_.kind != NbtEventKind::ListStart || !event_.named) continue;
    std::string name = lower_case(event_.name);
    if (name == "size" && event_.element_type == TagType::Int && event_.length == 3) {
      KUBIC_RETURN_IF_ERROR(read_size());
    } else if (name == "palette" && event_.element_type == TagType::Compound) {
      auto palette = read_palette();
      if (!palette.ok()) return palette.status();
      blocks_->set_actual_palette(std::move(*palette));
      palette_read_ = true;
    } else if (name == "palettes" && event_.element_type == TagType::List && event_.length > 0) {
      KUBIC_RETURN_IF_ERROR(read_first_of_palettes());
    } else if (name == "blocks" && event_.element_type == TagType::Compound) {
      KUBIC_RETURN_IF_ERROR(read_blocks());
    }
  }
  // A document with none of a structure's tags is not one: another
  // reader's complaint about it is the one that counts.
  if (!size_read_ && !palette_read_ && !blocks_read_) return Status::Unrecognised("Mojang: Size not found in header");
  if (!size_read_) return Status::Error("Mojang: Size not found in header");
  if (!palette_read_) return Status::Error("Mojang: Palette not found in header");
  if (!blocks_read_) return Status::Error("Mojang: Blocks not found in header");
  if (!blocks_) return Status::Error("Mojang: Blocks not initialized after header parsing");
  return Status::Ok();
}

void StructureSchematicInputStream::keep_top_level_value() {
  if (const int32_t* version = event_.value.as<int32_t>(); version && event_.name == "DataVersion") {
    data_version_ = *version;
  } else if (const std::string* author = event_.value.as<std::string>(); author && event_.name == "author") {
    author_ = *author;
  }
}

Status StructureSchematicInputStream::ensure_header_read() {
  if (header_read_) return Status::Ok();
  // Set first: a failed header is not read again.
  header_read_ = true;
  Status status = read_header();
  // A candidate that failed before any list of a structure's own does not
  // know the document for one: the cause is for a reader that does.
  if (!status.ok() && candidate_ && !claimed_) return Status::Unrecognised(status.message());
  return status;
}

Result<std::optional<Boundary>> StructureSchematicInputStream::boundary() {
  KUBIC_RETURN_IF_ERROR(ensure_header_read());
  if (size_[0] == 0 || size_[1] == 0 || size_[2] == 0) return std::optional<Boundary>();
  return std::optional<Boundary>(Boundary(0, 0, 0, size_[0], size_[1], size_[2]));
}

Result<ReadOutcome> StructureSchematicInputStream::read(std::vector<Block>& out, size_t max) {
  KUBIC_RETURN_IF_ERROR(ensure_header_read());
  if (!blocks_) return Status::Error("Blocks not initialized");
  if (max == 0) return ReadOutcome{false, 0};
  // A store that never got its palette fails at the first position, even
  // an empty one: the page-wise walk would otherwise report an empty success.
  if (position_ < blocks_->boundary().volume()) KUBIC_RETURN_IF_ERROR(blocks_->check_palette());
  if (!scanner_) scanner_ = std::make_unique<XyzScanner>(blocks_->inner());
  // A failed read does not move the position at all.
  Volume position = position_;
  auto result = read_stored_blocks(*scanner_, position, out, max,
                                   [&](uint16_t id) { return blocks_->resolve(id); }, keep_listed_air_);
  if (!result.ok()) return result.status();
  if (result->visited == 0) return ReadOutcome{false, 0};
  position_ = position;
  return ReadOutcome{true, result->count};
}

}  // namespace kubic

namespace kubic {

Result<SchematicExtras> StructureSchematicInputStream::extras() {
  KUBIC_RETURN_IF_ERROR(ensure_header_read());
  SchematicExtras extras;
  extras.block_entities = block_entities_;
  extras.data_version = data_version_;
  if (author_) extras.metadata.put("Author", Tag{*author_});
  // Positions the file does not list are structure voids, which only a
  // reader that also hands out listed air can tell apart; a structure that
  // lists every position has none.
  const bool positive = size_[0] > 0 && size_[1] > 0 && size_[2] > 0;
  const Volume volume = positive ? Volume(size_[0]) * Volume(size_[1]) * Volume(size_[2]) : 0;
  if (keep_listed_air_ && Volume(listed_entries_) < volume) extras.fill = BlockState::create("minecraft:structure_void");
  if (size_read_ && (size_[0] == 0 || size_[1] == 0 || size_[2] == 0)) extras.empty_size = {size_[0], size_[1], size_[2]};
  const ListTag* list = entities_.as<ListTag>();
  if (!list || list->items.empty()) return extras;
  if (list->element_type != TagType::Compound) return Status::Error("Mojang: 'entities' is not a list of compounds");
  for (size_t i = 0; i < list->items.size(); ++i) {
    const Compound& entry = *list->items[i].as<Compound>();
    const Tag* pos = entry.get("pos");
    const ListTag* values = pos ? pos->as<ListTag>() : nullptr;
    if (!values || values->element_type != TagType::Double || values->items.size() != 3) {
      return Status::Error("Mojang: Entity " + std::to_string(i) + " has no 'pos' of three Doubles");
    }
    Entity entity;
    for (size_t axis = 0; axis < 3; ++axis) entity.position[axis] = *values->items[axis].as<double>();
    if (const Tag* nbt = entry.get("nbt")) {
      const Compound* data = nbt->as<Compound>();
      if (!data) return Status::Error("Mojang: Entity " + std::to_string(i) + " has an 'nbt' that is not a Compound");
      entity.data = *data;
      entity.data.take("Pos");
    }
    extras.entities.push_back(std::move(entity));
  }
  return extras;
}

}  // namespace kubic
