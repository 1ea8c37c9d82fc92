#include "formats/sponge/sponge_reader.h"

#include <algorithm>

#include "blocks/air.h"
#include "common/interrupt.h"
#include "common/text_util.h"
#include "io/memory_stream.h"
#include "nbt/nbt_reader.h"
#include "store/dense_cells.h"
#include "formats/sponge/sponge_extras.h"
#include "formats/sponge/sponge_palette_text.h"
#include "formats/sponge/sponge_format.h"
#include "stream/stored_blocks.h"

namespace kubic {

namespace {

// Width, Height and Length are unsigned 16-bit sizes in the Sponge format
// (and our writer stores their low 16 bits): read as signed, every box wider
// than 32767 would come back negative.
std::optional<int32_t> read_size(const Compound& schematic, const char* name) {
  const Tag* tag = schematic.get(name);
  const int16_t* value = tag ? tag->as<int16_t>() : nullptr;
  if (!value) return std::nullopt;
  return int32_t(uint16_t(*value));
}

// The compound that holds palette and block data: "Blocks" if present.
Result<const Compound*> data_container(const Compound& schematic) {
  const Tag* blocks = schematic.get("Blocks");
  if (!blocks) return &schematic;
  const Compound* compound = blocks->as<Compound>();
  // A byte array there is an MCEdit schematic's block ids: not a Sponge file.
  const ErrorKind kind = blocks->as<std::vector<int8_t>>() ? ErrorKind::Unrecognised : ErrorKind::Corrupt;
  if (!compound) return Status::Error("Sponge: 'Blocks' tag is not a Compound", kind);
  return compound;
}

// Only the tags the reader looks at are built; block entities, entities,
// metadata and, under detection, other formats' bulk stay unbuilt.
bool needed(const std::vector<std::string>& parents, const std::string& name) {
  if (parents.empty() || (parents.size() == 1 && parents[0] == "Schematic")) {
    return name == "Schematic" || name == "Width" || name == "Height" || name == "Length" ||
           name == "Blocks" || name == "Palette" || name == "BlockData" || name == "Version" ||
           name == "DataVersion" || name == "Offset" || name == "Metadata" || name == "BlockEntities" ||
           name == "TileEntities" || name == "Entities";
  }
  if (parents.back() == "Blocks" && parents.size() <= 2 && (parents.size() == 1 || parents[0] == "Schematic")) {
    return name == "Palette" || name == "Data" || name == "BlockEntities";
  }
  return true;
}

NbtEntryChoice needed_tag(const std::vector<std::string>& parents, const std::string& name) {
  return needed(parents, name) ? NbtEntryChoice::Build : NbtEntryChoice::Skip;
}


// Palettes of at most 128 states store one byte per position: when every
// byte is such an index and names a state, the bytes are placed straight
// into the cells. False (nothing placed) for anything else, which the
// general decoding then reads or reports.
bool place_one_byte_indices(const std::vector<int8_t>& data, const std::vector<int32_t>& dense, uint16_t* cells,
                            const Extent& size, AxisOrder layout) {
  if (Volume(data.size()) != Volume(size[0]) * Volume(size[1]) * Volume(size[2])) return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  bool seen[256] = {};
  uint8_t high = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    high |= bytes[i];
    seen[bytes[i]] = true;
  }
  if (high & 0x80) return false;
  uint16_t index_of[128] = {};
  for (int value = 0; value < 128; ++value) {
    if (!seen[value]) continue;
    if (size_t(value) >= dense.size() || dense[size_t(value)] < 0) return false;
    index_of[value] = uint16_t(dense[size_t(value)]);
  }
  if (layout == AxisOrder::YZX) {
    for (size_t i = 0; i < data.size(); ++i) cells[i] = index_of[bytes[i]];
    return true;
  }
  const int64_t sx = size[0], sz = size[2], cy = size[1], cz = size[2];
  for_each_in_tiles(size, [&](int64_t x, int64_t y, int64_t z) {
    cells[(x * cy + y) * cz + z] = index_of[bytes[(y * sz + z) * sx + x]];
  });
  return true;
}

// Rows stored between two looks for an interrupt.
constexpr size_t kRowsPerCheck = 64;

Status invalid_index(int32_t value) {
  return Status::Error("Sponge: Invalid block state index " + std::to_string(value) + " in block data");
}

}  // namespace

SpongeSchematicInputStream::SpongeSchematicInputStream(std::unique_ptr<ByteSource> reader, RootTags foreign)
    : reader_(std::move(reader)), foreign_(std::move(foreign)) {}

Result<NamedTag> SpongeSchematicInputStream::parse_document() {
  auto document = parse_nbt(*reader_, candidate_ ? foreign_.refusing(needed_tag) : needed_tag);
  // The document is read once: a retry after a failure parses the consumed
  // reader, never the bytes that happen to follow a failed document.
  reader_ = std::make_unique<MemorySource>(std::vector<uint8_t>());
  if (!document.ok()) return document.status().prefixed("Sponge: Failed to read NBT data: ");
  return document;
}

Result<Compound*> SpongeSchematicInputStream::read_sizes(NamedTag& document) {
  Compound* root = std::get_if<Compound>(&document.tag.value);
  if (!root) return Status::Unrecognised("Sponge: Root tag is not a Compound");
  Compound* schematic = root;
  if (Tag* wrapped = root->get("Schematic")) {
    schematic = std::get_if<Compound>(&wrapped->value);
    if (!schematic) return Status::Error("Sponge: Missing or invalid 'Schematic' tag");
  }
  int32_t sizes[3];
  const char* names[3] = {"Height", "Length", "Width"};
  for (int i = 0; i < 3; ++i) {
    auto size = read_size(*schematic, names[i]);
    if (!size) return Status::Error(std::string("Sponge: Missing or invalid '") + names[i] + "' tag");
    sizes[i] = *size;
  }
  int32_t height = sizes[0], length = sizes[1], width = sizes[2];
  boundary_ = Boundary(0, 0, 0, width, height, length);
  return schematic;
}

Status SpongeSchematicInputStream::read_header() {
  auto document = parse_document();
  if (!document.ok()) return document.status();
  auto schematic = read_sizes(*document);
  if (!schematic.ok()) return schematic.status();
  auto palette = parse_palette(**schematic);
  if (!palette.ok()) return palette.status().prefixed("Sponge: Failed to process palette: ");
  auto data = block_data(**schematic);
  if (!data.ok()) return data.status().prefixed("Sponge: Failed to process blocks: ");
  auto entries = count_block_data(**data);
  if (!entries.ok()) return entries.status().prefixed("Sponge: Failed to process blocks: ");
  palette_ = std::move(*palette);
  block_data_ = std::move(**data);
  entries_ = *entries;
  extras_tags_ = take_sponge_extras_tags(**schematic);
  header_read_ = true;
  return Status::Ok();
}

Status SpongeSchematicInputStream::read_dense(const DenseAllocator& allocate, std::vector<StateRef>& palette,
                                              AxisOrder layout) {
  if (!header_read_) KUBIC_RETURN_IF_ERROR(read_header());
  if (!reads_dense()) return Status::Error("Sponge: Blocks have already been read");
  // Sponge index to dense index, air at 0; ids the palette lacks fail when
  // met, as reading them block by block would.
  std::vector<int32_t> dense;
  palette.assign(1, BlockState::air_rc());
  for (const auto& [index, state] : palette_) {
    if (index < 0 || index > kMaxDenseIndex) continue;
    if (size_t(index) >= dense.size()) dense.resize(size_t(index) + 1, -1);
    if (is_plain_air(*state)) {
      dense[size_t(index)] = 0;
    } else if (palette.size() > 65535) {
      return Status::Error("Sponge: more than 65536 distinct states");
    } else {
      dense[size_t(index)] = int32_t(palette.size());
      palette.push_back(state);
    }
  }
  uint16_t* cells = allocate(*boundary_);
  if (!cells) return Status::Error("Sponge: no memory for the blocks");
  const Extent size{boundary_->d_x, boundary_->d_y, boundary_->d_z};
  if (!place_one_byte_indices(block_data_, dense, cells, size, layout)) {
    // In file order first: into the cells when they lie so, else placed
    // afterwards.
    std::vector<uint16_t> file_order(layout == AxisOrder::YZX ? 0 : size_t(boundary_->volume()), 0);
    uint16_t* decoded = layout == AxisOrder::YZX ? cells : file_order.data();
    KUBIC_RETURN_IF_ERROR(decode_block_data([&](size_t n, int32_t value) -> Status {
      if (size_t(value) >= dense.size() || dense[size_t(value)] < 0) {
        return Status::Error("Temporary ID not found in actual palette");
      }
      decoded[n] = uint16_t(dense[size_t(value)]);
      return Status::Ok();
    }));
    if (layout != AxisOrder::YZX) place_file_order(file_order.data(), size, cells, size, {0, 0, 0}, false);
  }
  whole_read_ = true;
  block_data_ = {};
  return Status::Ok();
}

Result<LazyPaletteBlockStoreWrapper::Palette> SpongeSchematicInputStream::parse_palette(const Compound& schematic) {
  auto container = data_container(schematic);
  if (!container.ok()) return container.status();
  const Tag* tag = (*container)->get("Palette");
  if (!tag) return Status::Error("Sponge: Missing 'Palette' tag");
  const Compound* palette = tag->as<Compound>();
  if (!palette) return Status::Error("Sponge: 'Palette' tag is not a Compound");
  LazyPaletteBlockStoreWrapper::Palette map;
  for (const CompoundEntry& entry : palette->entries()) {
    const int32_t* index = entry.value.as<int32_t>();
    if (!index) return Status::Error("Sponge: Palette entry value is not an Int");
    auto state = state_of_palette_key(entry.name);
    if (!state.ok()) return state.status();
    map[*index] = std::move(*state);
  }
  return map;
}

Result<std::vector<int8_t>*> SpongeSchematicInputStream::block_data(Compound& schematic) {
  auto container = data_container(schematic);
  if (!container.ok()) return container.status();
  const bool nested = *container != &schematic;
  Tag* tag = const_cast<Compound*>(*container)->get(nested ? "Data" : "BlockData");
  if (!tag) return Status::Error(nested ? "Sponge: Missing 'Data' tag" : "Sponge: Missing 'BlockData' tag");
  auto* data = std::get_if<std::vector<int8_t>>(&tag->value);
  if (!data) return Status::Error("Sponge: 'BlockData' tag is not a ByteArray");
  return data;
}

Result<size_t> SpongeSchematicInputStream::count_block_data(const std::vector<int8_t>& data) const {
  // One-byte indices (palettes of at most 128 states) need no decoding.
  uint8_t high = 0;
  for (int8_t byte : data) high |= uint8_t(byte);
  size_t entries = data.size();
  if (high & 0x80) {
    entries = 0;
    for (size_t i = 0; i < data.size(); ++entries) {
      int32_t value = 0;
      if (auto error = decode_sponge_var_int(data.data(), data.size(), i, value)) return Status::Error(*error);
    }
  }
  // Reported where the first entry too many would go, after the negative
  // indices before it.
  const bool too_many = Volume(entries) > boundary_->volume();
  const size_t checked = too_many ? size_t(boundary_->volume()) + 1 : entries;
  for (size_t i = 0, n = 0; (high & 0x80) && n < checked; ++n) {
    int32_t value = 0;
    (void)decode_sponge_var_int(data.data(), data.size(), i, value);
    if (value < 0) return invalid_index(value);
  }
  if (too_many) return Status::Error("Sponge: Block data has more entries than expected from boundary");
  return entries;
}

template <typename Visit>
Status SpongeSchematicInputStream::decode_block_data(Visit&& visit) {
  const std::vector<int8_t>& data = block_data_;
  for (size_t i = 0, n = 0; n < entries_; ++n) {
    int32_t value = 0;
    (void)decode_sponge_var_int(data.data(), data.size(), i, value);
    KUBIC_RETURN_IF_ERROR(visit(n, value));
    if (n % kBatchSize == kBatchSize - 1) KUBIC_RETURN_IF_ERROR(check_interrupt());
  }
  return Status::Ok();
}

Status SpongeSchematicInputStream::fill_store() {
  blocks_ = LazyPaletteBlockStoreWrapper::empty_fixed_from_size(boundary_->d_x, boundary_->d_y, boundary_->d_z);
  blocks_->set_actual_palette(palette_);
  Status blocks = process_blocks();
  block_data_ = {};
  return blocks.ok() ? blocks : blocks.prefixed("Sponge: Failed to process blocks: ");
}

Status SpongeSchematicInputStream::process_blocks() {
  const int64_t air_index = blocks_->state_to_temp_id(BlockState::air_rc()).value_or(-1);
  // The store's cell (palette id + 1, 0 for air) of each index, found once.
  std::vector<int32_t> cell_of;
  auto cell_for = [&](int32_t value) -> Result<uint16_t> {
    if (size_t(value) < cell_of.size() && cell_of[size_t(value)] >= 0) [[likely]] return uint16_t(cell_of[size_t(value)]);
    uint16_t cell = 0;
    if (value != air_index) {
      auto id = blocks_->inner_id(value);
      if (!id.ok()) return id.status();
      cell = uint16_t(*id + 1);
    }
    // Indices past 16 bits (a store holds no more states) are looked up
    // each time rather than given a table that large.
    if (value <= UINT16_MAX) {
      if (size_t(value) >= cell_of.size()) cell_of.resize(size_t(value) + 1, -1);
      cell_of[size_t(value)] = cell;
    }
    return cell;
  };
  // Entries run x fastest, then z, then y: a row at a time into the store.
  const size_t sx = size_t(boundary_->d_x), sz = size_t(boundary_->d_z);
  std::vector<uint16_t> row(sx);
  auto store_row = [&](size_t row_index, size_t length) -> Status {
    const BlockPosition start{0, int32_t(row_index / sz), int32_t(row_index % sz)};
    Status stored = blocks_->inner().set_row(start, std::span(row).first(length));
    return stored.ok() ? stored : stored.prefixed("Sponge: Failed to copy block row at pos " + start.debug_string() + ": ");
  };
  // One byte per index (palettes of at most 128 states): rows straight
  // from the bytes.
  if (entries_ == block_data_.size()) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(block_data_.data());
    cell_of.resize(128, -1);  // every byte's entry, so that the loop reads it unchecked
    for (size_t start = 0; start < entries_; start += sx) {
      const size_t length = std::min(sx, entries_ - start);
      for (size_t x = 0; x < length; ++x) {
        if (cell_of[bytes[start + x]] < 0) [[unlikely]] {
          auto found = cell_for(bytes[start + x]);
          if (!found.ok()) return found.status();
        }
        row[x] = uint16_t(cell_of[bytes[start + x]]);
      }
      KUBIC_RETURN_IF_ERROR(store_row(start / sx, length));
      if (start / sx % kRowsPerCheck == 0) KUBIC_RETURN_IF_ERROR(check_interrupt());
    }
    return Status::Ok();
  }
  size_t column = 0, rows = 0;  // counted, not divided out of n, per entry
  KUBIC_RETURN_IF_ERROR(decode_block_data([&](size_t, int32_t value) -> Status {
    auto cell = cell_for(value);
    if (!cell.ok()) return cell.status();
    row[column] = *cell;
    if (++column < sx) return Status::Ok();
    column = 0;
    return store_row(rows++, sx);
  }));
  // A short array ends inside a row (an empty box has no rows at all).
  return entries_ && entries_ % sx ? store_row(entries_ / sx, entries_ % sx) : Status::Ok();
}

Result<std::optional<Boundary>> SpongeSchematicInputStream::boundary() {
  if (!header_read_) KUBIC_RETURN_IF_ERROR(read_header());
  return boundary_;
}

Result<SchematicExtras> SpongeSchematicInputStream::extras() {
  if (!header_read_) KUBIC_RETURN_IF_ERROR(read_header());
  if (!extras_) {
    auto extras = read_sponge_extras(extras_tags_, *boundary_);
    if (!extras.ok()) return extras.status();
    extras_ = std::move(*extras);
  }
  return *extras_;
}

Result<ReadOutcome> SpongeSchematicInputStream::read(std::vector<Block>& out, size_t max) {
  if (!header_read_) KUBIC_RETURN_IF_ERROR(read_header());
  if (whole_read_) return ReadOutcome{false, 0};
  if (!boundary_) return Status::Error("Sponge: Header not properly read");
  if (!blocks_) store_status_ = fill_store();
  KUBIC_RETURN_IF_ERROR(store_status_);
  if (max == 0) return ReadOutcome{true, 0};
  if (!scanner_) scanner_ = std::make_unique<XyzScanner>(blocks_->inner());
  auto result = read_stored_blocks(*scanner_, position_, out, max,
                                   [&](uint16_t id) { return blocks_->resolve(id); }, keep_listed_air_);
  if (!result.ok()) return result.status();
  return ReadOutcome{result->count > 0, result->count};
}

Result<std::optional<StoredCells>> SpongeSchematicInputStream::take_stored_cells() {
  if (!header_read_) KUBIC_RETURN_IF_ERROR(read_header());
  if (whole_read_ || position_ != 0) return std::optional<StoredCells>();
  if (!blocks_) store_status_ = fill_store();
  KUBIC_RETURN_IF_ERROR(store_status_);
  whole_read_ = true;
  return std::optional<StoredCells>(StoredCells{blocks_->inner(), [this](uint16_t id) { return blocks_->resolve(id); }});
}

}  // namespace kubic
