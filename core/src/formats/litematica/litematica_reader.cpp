#include "formats/litematica/litematica_reader.h"

#include <algorithm>
#include <array>
#include <span>

#include "blocks/air.h"
#include "common/interrupt.h"
#include "nbt/nbt_reader.h"
#include "store/dense_cells.h"
#include "formats/litematica/litematica_format.h"
#include "stream/stored_blocks.h"

namespace kubic {

namespace {

constexpr int32_t kNewestVersion = 7;
constexpr Volume kMaxRegionVolume = Volume(1) << 31;

std::optional<std::array<int32_t, 3>> int_vector(const Compound& tags, const char* name) {
  const Tag* tag = tags.get(name);
  const Compound* vector = tag ? tag->as<Compound>() : nullptr;
  if (!vector) return std::nullopt;
  std::array<int32_t, 3> out{};
  const char* axes[3] = {"x", "y", "z"};
  for (int axis = 0; axis < 3; ++axis) {
    const Tag* value = vector->get(axes[axis]);
    const int32_t* number = value ? value->as<int32_t>() : nullptr;
    if (!number) return std::nullopt;
    out[size_t(axis)] = *number;
  }
  return out;
}

// A list of compounds (an empty list of any type counts), or null.
const ListTag* compound_list(const Compound& tags, const char* name, bool& present) {
  const Tag* tag = tags.get(name);
  present = tag != nullptr;
  const ListTag* list = tag ? tag->as<ListTag>() : nullptr;
  if (!list || (!list->items.empty() && list->element_type != TagType::Compound)) return nullptr;
  return list;
}

Status region_error(const std::string& region, const std::string& what) {
  return Status::Error("Litematica: Region '" + region + "' " + what);
}

// Decodes the entries of region `name` (a box) a few planes at a time, in
// file order, through `index` (palette entry to cell value), calling
// use(y0, count, values); an entry beyond the index fails, naming where it
// lies.
template <typename Use>
Status decode_planes(const std::string& name, const Boundary& box, const int64_t* words, int bits,
                     const std::vector<uint16_t>& index, Use&& use) {
  const size_t plane_size = size_t(box.d_x) * size_t(box.d_z);
  std::vector<uint16_t> planes(plane_size * size_t(std::min<int64_t>(box.d_y, kPlanesAtOnce)));
  for (int64_t y0 = 0; y0 < box.d_y; y0 += kPlanesAtOnce) {
    KUBIC_RETURN_IF_ERROR(check_interrupt());
    const int64_t count = std::min<int64_t>(kPlanesAtOnce, box.d_y - y0);
    const std::span<uint16_t> values = std::span(planes).first(plane_size * size_t(count));
    litematica_unpack(words, uint64_t(y0) * plane_size, bits, values);
    for (size_t i = 0; i < values.size(); ++i) {
      if (values[i] < index.size()) [[likely]] {
        values[i] = index[values[i]];
        continue;
      }
      const BlockPosition at{box.min_x + int32_t(i % size_t(box.d_x)), box.min_y + int32_t(y0 + int64_t(i / plane_size)),
                             box.min_z + int32_t(i / size_t(box.d_x) % size_t(box.d_z))};
      return region_error(name, "has a block state index " + std::to_string(values[i]) + " at (" +
                                    std::to_string(at.x) + ", " + std::to_string(at.y) + ", " + std::to_string(at.z) +
                                    ") that is not in its palette");
    }
    use(y0, count, values.data());
  }
  return Status::Ok();
}

}  // namespace

struct LitematicaSchematicInputStream::Region {
  std::string name;
  BlockPosition position;
  std::array<int32_t, 3> size{};
  Boundary box;
  std::vector<StateRef> palette;
  std::vector<int64_t> states;
  Compound tags;  // block entities, entities and ticks
};

LitematicaSchematicInputStream::LitematicaSchematicInputStream(std::unique_ptr<ByteSource> reader, RootTags foreign)
    : parser_(std::move(reader)), foreign_(std::move(foreign)) {}

LitematicaSchematicInputStream::~LitematicaSchematicInputStream() = default;

Status LitematicaSchematicInputStream::ensure_document() {
  if (!document_read_) {
    // Set first: a failed document is not read again.
    document_read_ = true;
    document_status_ = read_document();
  }
  return document_status_;
}

Status LitematicaSchematicInputStream::read_document() {
  NbtEvent event;
  auto next = [&]() -> Status {
    Status status = parser_.next(event);
    return status.ok() ? status : status.prefixed("Litematica: Failed to read NBT data: ");
  };
  KUBIC_RETURN_IF_ERROR(next());
  if (event.kind != NbtEventKind::CompoundStart) return Status::Unrecognised("Litematica: Root tag is not a Compound");
  std::optional<Tag> version, data_version, metadata, regions;
  for (int depth = 1;;) {
    KUBIC_RETURN_IF_ERROR(next());
    if (event.kind == NbtEventKind::EndOfInput) break;
    if (depth == 1 && event.named) {
      if (foreign_.contains(event.name)) {
        return Status::Unrecognised("Litematica: Not a Litematica file: it has a root tag '" + event.name + "'");
      }
      std::optional<Tag>* kept = event.name == "Version"                ? &version
                                 : event.name == "MinecraftDataVersion" ? &data_version
                                 : event.name == "Metadata"             ? &metadata
                                 : event.name == "Regions"              ? &regions
                                                                        : nullptr;
      if (kept) {
        auto value = parse_nbt_value(parser_, event);
        if (!value.ok()) return value.status().prefixed("Litematica: Failed to read NBT data: ");
        *kept = std::move(*value);
        continue;
      }
    }
    if (event.kind == NbtEventKind::CompoundStart || event.kind == NbtEventKind::ListStart) ++depth;
    if (event.kind == NbtEventKind::CompoundEnd || event.kind == NbtEventKind::ListEnd) --depth;
  }
  const int32_t* number = version ? version->as<int32_t>() : nullptr;
  if (!number) return Status::Error("Litematica: Missing or invalid 'Version' tag");
  if (*number < 1 || *number > kNewestVersion) {
    return Status::Error("Litematica: Unsupported version " + std::to_string(*number));
  }
  extras_.format_version = *number;
  Compound* region_tags = regions ? std::get_if<Compound>(&regions->value) : nullptr;
  if (!region_tags) return Status::Error("Litematica: Missing or invalid 'Regions' tag");
  // 0 is what files of tools that did not know the version say.
  if (const int32_t* dv = data_version ? data_version->as<int32_t>() : nullptr; dv && *dv != 0) {
    extras_.data_version = *dv;
  }
  if (const Compound* meta = metadata ? metadata->as<Compound>() : nullptr) {
    for (const CompoundEntry& entry : meta->entries()) {
      // Counts and sizes describe the file's blocks: writers compute them anew.
      if (entry.name == "EnclosingSize") extras_.empty_size = int_vector(*meta, "EnclosingSize");
      if (entry.name == "RegionCount" || entry.name == "TotalBlocks" || entry.name == "TotalVolume" ||
          entry.name == "EnclosingSize") {
        continue;
      }
      extras_.metadata.put(entry.name == "TimeCreated" ? "Date" : entry.name, entry.value);
    }
  }
  return take_regions(std::move(*region_tags));
}

Status LitematicaSchematicInputStream::take_regions(Compound regions) {
  for (const CompoundEntry& entry : regions.entries()) {
    if (selected_ && entry.name != *selected_) continue;
    const Compound* tags = entry.value.as<Compound>();
    if (!tags) return region_error(entry.name, "is not a Compound");
    auto region = parse_region(entry.name, *tags);
    if (!region.ok()) return region.status();
    regions_.push_back(std::move(*region));
  }
  if (selected_ && regions_.empty()) {
    return Status::Error("Litematica: No region named '" + *selected_ + "'", ErrorKind::Missing);
  }
  // The enclosing box of every region that holds positions.
  int64_t low[3], high[3];
  bool any = false;
  for (const Region& region : regions_) {
    if (region.box.empty()) continue;
    const int64_t min[3] = {region.box.min_x, region.box.min_y, region.box.min_z};
    const int64_t d[3] = {region.box.d_x, region.box.d_y, region.box.d_z};
    for (int axis = 0; axis < 3; ++axis) {
      low[axis] = any ? std::min(low[axis], min[axis]) : min[axis];
      high[axis] = any ? std::max(high[axis], min[axis] + d[axis]) : min[axis] + d[axis];
    }
    any = true;
  }
  if (!any) {
    // A file without positions keeps the size it was written with.
    const auto& size = extras_.empty_size;
    if (size && std::ranges::min(*size) == 0) box_ = Boundary(0, 0, 0, (*size)[0], (*size)[1], (*size)[2]);
    return Status::Ok();
  }
  extras_.empty_size.reset();
  for (int axis = 0; axis < 3; ++axis) {
    if (high[axis] - low[axis] > INT32_MAX) {
      return Status::Error("Litematica: The regions span more than 2147483647 positions on an axis");
    }
  }
  box_ = Boundary(int32_t(low[0]), int32_t(low[1]), int32_t(low[2]), int32_t(high[0] - low[0]),
                  int32_t(high[1] - low[1]), int32_t(high[2] - low[2]));
  for (const Region& region : regions_) KUBIC_RETURN_IF_ERROR(read_extras_of(region, extras_));
  return Status::Ok();
}

Result<LitematicaSchematicInputStream::Region> LitematicaSchematicInputStream::parse_region(std::string name,
                                                                                           Compound tags) {
  Region region;
  auto position = int_vector(tags, "Position");
  if (!position) return region_error(name, "has no valid 'Position'");
  auto size = int_vector(tags, "Size");
  if (!size) return region_error(name, "has no valid 'Size'");
  region.position = {(*position)[0], (*position)[1], (*position)[2]};
  region.size = *size;
  Volume volume = 1;
  for (int axis = 0; axis < 3; ++axis) {
    const int64_t s = (*size)[size_t(axis)];
    const int64_t min = int64_t(region.position[axis]) + (s < 0 ? s + 1 : 0);
    const int64_t extent = s < 0 ? -s : s;
    if (min < INT32_MIN || min + extent - 1 > INT32_MAX || extent > INT32_MAX) {
      return region_error(name, "lies outside the coordinate range");
    }
    volume *= Volume(extent);
  }
  if (volume > kMaxRegionVolume) {
    return region_error(name, "has " + volume_string(volume) + " positions, more than 2147483648");
  }
  region.name = std::move(name);
  region.box = box_from_corner(region.position, region.size);
  bool present = false;
  const ListTag* palette = compound_list(tags, "BlockStatePalette", present);
  if (!palette) return region_error(region.name, "has no 'BlockStatePalette' list of compounds");
  for (size_t i = 0; i < palette->items.size(); ++i) {
    const Compound& entry = *palette->items[i].as<Compound>();
    const Tag* state_name = entry.get("Name");
    const std::string* text = state_name ? state_name->as<std::string>() : nullptr;
    if (!text) return region_error(region.name, "has a palette entry " + std::to_string(i) + " without a 'Name'");
    std::vector<BlockState::Property> properties;
    if (const Tag* tag = entry.get("Properties")) {
      const Compound* values = tag->as<Compound>();
      if (!values) return region_error(region.name, "has a palette entry " + std::to_string(i) + " whose 'Properties' is not a Compound");
      for (const CompoundEntry& property : values->entries()) {
        const std::string* value = property.value.as<std::string>();
        if (!value) return region_error(region.name, "has a palette entry " + std::to_string(i) + " with a property that is not a String");
        assign_property(properties, property.name, *value);
      }
    }
    region.palette.push_back(BlockState::create(*text, std::move(properties)));
  }
  auto states = tags.take("BlockStates");
  tags.take("BlockStatePalette");
  region.tags = std::move(tags);
  if (volume == 0) return region;
  if (region.palette.empty()) return region_error(region.name, "has an empty 'BlockStatePalette'");
  auto* words = states ? std::get_if<std::vector<int64_t>>(&states->value) : nullptr;
  if (!words) return region_error(region.name, "has no 'BlockStates' LongArray");
  const uint64_t needed = litematica_word_count(volume, litematica_bits(region.palette.size()));
  if (words->size() < needed) {
    return region_error(region.name, "has " + std::to_string(words->size()) + " longs of 'BlockStates', " +
                                         std::to_string(needed) + " needed for its size and palette");
  }
  region.states = std::move(*words);
  return region;
}

Status LitematicaSchematicInputStream::read_extras_of(const Region& region, SchematicExtras& extras) const {
  bool present = false;
  const ListTag* block_entities = compound_list(region.tags, "TileEntities", present);
  if (present && !block_entities) return region_error(region.name, "has a 'TileEntities' that is not a list of compounds");
  for (size_t i = 0; block_entities && i < block_entities->items.size(); ++i) {
    Compound data = *block_entities->items[i].as<Compound>();
    int32_t at[3];
    const char* axes[3] = {"x", "y", "z"};
    for (int axis = 0; axis < 3; ++axis) {
      auto value = data.take(axes[axis]);
      const int32_t* number = value ? value->as<int32_t>() : nullptr;
      if (!number) return region_error(region.name, "has a block entity " + std::to_string(i) + " without x, y and z");
      at[axis] = *number;
    }
    const BlockPosition corner{region.box.min_x, region.box.min_y, region.box.min_z};
    extras.block_entities.push_back({moved({at[0], at[1], at[2]}, corner), std::move(data)});
  }
  const ListTag* entities = compound_list(region.tags, "Entities", present);
  if (present && !entities) return region_error(region.name, "has an 'Entities' that is not a list of compounds");
  for (size_t i = 0; entities && i < entities->items.size(); ++i) {
    Compound data = *entities->items[i].as<Compound>();
    auto pos = data.take("Pos");
    const ListTag* values = pos ? pos->as<ListTag>() : nullptr;
    if (!values || values->element_type != TagType::Double || values->items.size() != 3) {
      return region_error(region.name, "has an entity " + std::to_string(i) + " without a 'Pos' of three Doubles");
    }
    Entity entity;
    for (int axis = 0; axis < 3; ++axis) {
      entity.position[size_t(axis)] = *values->items[size_t(axis)].as<double>();
      entity.offset[size_t(axis)] = region.position[axis];
    }
    entity.data = std::move(data);
    extras.entities.push_back(std::move(entity));
  }
  SubRegion kept{region.name, region.position, region.size, {}, {}};
  if (const Tag* ticks = region.tags.get("PendingBlockTicks")) kept.pending_block_ticks = *ticks;
  if (const Tag* ticks = region.tags.get("PendingFluidTicks")) kept.pending_fluid_ticks = *ticks;
  extras.regions.push_back(std::move(kept));
  return Status::Ok();
}

Result<std::vector<uint16_t>> LitematicaSchematicInputStream::palette_indices(const Region& region) {
  std::vector<uint16_t> index(region.palette.size(), 0);
  for (size_t i = 0; i < region.palette.size(); ++i) {
    const StateRef& state = region.palette[i];
    if (is_plain_air(*state)) continue;
    auto number = palette_.index_of(state);
    if (!number.ok()) return number.status().prefixed("Litematica: ");
    index[i] = *number;
  }
  return index;
}

Result<std::vector<uint16_t>> LitematicaSchematicInputStream::decode_region(const Region& region) {
  auto palette_index = palette_indices(region);
  if (!palette_index.ok()) return palette_index.status();
  std::vector<uint16_t> cells(static_cast<size_t>(region.box.volume()));
  const size_t plane_size = size_t(region.box.d_x) * size_t(region.box.d_z);
  KUBIC_RETURN_IF_ERROR(decode_planes(region.name, region.box, region.states.data(),
                                      litematica_bits(region.palette.size()), *palette_index,
                                      [&](int64_t y0, int64_t count, const uint16_t* values) {
                                        std::copy_n(values, plane_size * size_t(count), cells.begin() + std::ptrdiff_t(size_t(y0) * plane_size));
                                      }));
  return cells;
}

Status LitematicaSchematicInputStream::read_dense(const DenseAllocator& allocate, std::vector<StateRef>& palette,
                                                  AxisOrder layout) {
  KUBIC_RETURN_IF_ERROR(ensure_document());
  if (!reads_dense()) return Status::Error("Litematica: Blocks have already been read");
  blocks_used_ = true;
  palette_ = StatePalette();
  uint16_t* cells = allocate(box_);
  if (!cells) return Status::Error("Litematica: no memory for the blocks");
  const Extent box_size{box_.d_x, box_.d_y, box_.d_z};
  for (const Region& region : regions_) {
    if (region.box.empty()) continue;
    auto index = palette_indices(region);
    if (!index.ok()) return index.status();
    const Extent offset{int64_t(region.box.min_x) - box_.min_x, int64_t(region.box.min_y) - box_.min_y,
                        int64_t(region.box.min_z) - box_.min_z};
    const Extent size{region.box.d_x, region.box.d_y, region.box.d_z};
    // Air leaves what earlier regions placed.
    KUBIC_RETURN_IF_ERROR(decode_planes(region.name, region.box, region.states.data(),
                                        litematica_bits(region.palette.size()), *index,
                                        [&](int64_t y0, int64_t count, const uint16_t* values) {
                                          place_planes(values, size, y0, count, cells, box_size, offset, true, layout);
                                        }));
  }
  palette = palette_.states();
  return Status::Ok();
}

Status LitematicaSchematicInputStream::fill_store() {
  store_ = PagedBlockStore::new_for_fixed_boundary(box_);
  palette_ = StatePalette();
  std::vector<int32_t> store_id;
  for (const Region& region : regions_) {
    if (region.box.empty()) continue;
    auto decoded = decode_region(region);
    if (!decoded.ok()) return decoded.status();
    store_id.resize(palette_.size(), -1);
    size_t i = 0;
    for (int32_t y = 0; y < region.box.d_y; ++y) {
      KUBIC_RETURN_IF_ERROR(check_interrupt());
      for (int32_t z = 0; z < region.box.d_z; ++z) {
        for (int32_t x = 0; x < region.box.d_x; ++x, ++i) {
          const uint16_t cell = (*decoded)[i];
          if (!cell) continue;
          if (store_id[cell] < 0) {
            auto id = store_->intern(palette_.states()[cell]);
            if (!id.ok()) return id.status();
            store_id[cell] = *id;
          }
          KUBIC_RETURN_IF_ERROR(store_->set_palette_id_at(
              {region.box.min_x + x, region.box.min_y + y, region.box.min_z + z}, uint16_t(store_id[cell])));
        }
      }
    }
  }
  return Status::Ok();
}

Result<std::optional<Boundary>> LitematicaSchematicInputStream::boundary() {
  KUBIC_RETURN_IF_ERROR(ensure_document());
  return std::optional<Boundary>(box_);
}

Result<SchematicExtras> LitematicaSchematicInputStream::extras() {
  KUBIC_RETURN_IF_ERROR(ensure_document());
  return extras_;
}

Result<ReadOutcome> LitematicaSchematicInputStream::read(std::vector<Block>& out, size_t max) {
  KUBIC_RETURN_IF_ERROR(ensure_document());
  if (blocks_used_) return ReadOutcome{false, 0};
  if (!store_) store_status_ = fill_store();
  // A store that failed to fill keeps failing: its blocks are not all there.
  KUBIC_RETURN_IF_ERROR(store_status_);
  if (max == 0) return ReadOutcome{true, 0};
  if (!scanner_) scanner_ = std::make_unique<XyzScanner>(*store_);
  auto result = read_stored_blocks(*scanner_, position_, out, max,
                                   [&](uint16_t id) -> Result<StateRef> { return store_->palette()[id]; },
                                   keep_listed_air_);
  if (!result.ok()) return result.status();
  return ReadOutcome{result->count > 0, result->count};
}

Result<std::optional<StoredCells>> LitematicaSchematicInputStream::take_stored_cells() {
  KUBIC_RETURN_IF_ERROR(ensure_document());
  if (blocks_used_ || position_ != 0) return std::optional<StoredCells>();
  if (!store_) store_status_ = fill_store();
  KUBIC_RETURN_IF_ERROR(store_status_);
  blocks_used_ = true;
  return std::optional<StoredCells>(
      StoredCells{*store_, [this](uint16_t id) -> Result<StateRef> { return store_->palette()[id]; }});
}

}  // namespace kubic
