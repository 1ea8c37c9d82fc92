#include "formats/litematica/litematica_writer.h"

#include <algorithm>
#include <set>
#include <span>
#include <unordered_map>

#include "blocks/air.h"
#include "blocks/canonical_state.h"
#include "common/clock.h"
#include "common/interrupt.h"
#include "nbt/nbt_writer.h"
#include "store/dense_cells.h"
#include "store/xyz_scanner.h"
#include "formats/litematica/litematica_format.h"

namespace kubic {

namespace {

// The layout of a file whose game version is unknown: that of the 1.18 to
// 1.20.4 files every reader of the format takes.
constexpr int32_t kUnknownVersionLayout = 6;
constexpr Volume kMaxRegionVolume = Volume(1) << 31;
// Metadata entries the writer makes itself from the blocks and extras.
constexpr const char* kOwnMetadata[] = {"Name",        "Author",        "Description", "Date",
                                        "TimeCreated", "TimeModified",  "RegionCount", "TotalBlocks",
                                        "TotalVolume", "EnclosingSize", "PreviewImageData"};

// Litematica refuses schematics of a newer layout than it knows, so the
// layout follows the game version the names belong to.
int32_t version_for(int32_t data_version) {
  if (data_version >= 3837) return 7;  // 1.20.5: item components
  if (data_version >= 2860) return 6;  // 1.18: scheduled ticks changed
  return 5;
}

Tag int_vector(int32_t x, int32_t y, int32_t z) {
  Compound vector;
  vector.put("x", Tag{x});
  vector.put("y", Tag{y});
  vector.put("z", Tag{z});
  return Tag{std::move(vector)};
}

BlockPosition corner_of(const Boundary& box) { return {box.min_x, box.min_y, box.min_z}; }

// A region holds a block entity's position as its "x", "y" and "z": puts
// them, and says whether the entity had keys of its own by those names,
// which a reader would take for the position.
bool put_position(Compound& data, const BlockPosition& at) {
  bool replaced = false;
  const char* names[3] = {"x", "y", "z"};
  for (int axis = 0; axis < 3; ++axis) {
    replaced |= data.get(names[axis]) != nullptr;
    data.put(names[axis], Tag{at[axis]});
  }
  return replaced;
}

// Appends the tick compounds of `ticks` to `into`, their x, y, z moved by `delta`.
void append_ticks(const Tag& ticks, const BlockPosition& delta, ListTag& into) {
  const ListTag* list = ticks.as<ListTag>();
  if (!list || list->element_type != TagType::Compound) return;
  into.element_type = TagType::Compound;
  for (const Tag& item : list->items) {
    Compound tick = *item.as<Compound>();
    const char* axes[3] = {"x", "y", "z"};
    for (int axis = 0; axis < 3; ++axis) {
      if (const int32_t* v = tick.get(axes[axis]) ? tick.get(axes[axis])->as<int32_t>() : nullptr) {
        tick.put(axes[axis], Tag{int32_t(uint32_t(*v) + uint32_t(delta[axis]))});
      }
    }
    into.items.push_back(Tag{std::move(tick)});
  }
}

std::optional<int64_t> whole_number(const Compound& tags, const char* name) {
  const Tag* tag = tags.get(name);
  if (!tag) return std::nullopt;
  if (const int64_t* v = tag->as<int64_t>()) return *v;
  if (const int32_t* v = tag->as<int32_t>()) return *v;
  return std::nullopt;
}

std::string text_or(const Compound& tags, const char* name, std::string fallback) {
  const Tag* tag = tags.get(name);
  const std::string* text = tag ? tag->as<std::string>() : nullptr;
  return text ? *text : fallback;
}

Tag palette_entry(const BlockState& state) {
  Compound entry;
  entry.put("Name", Tag{state.name()});
  if (!state.properties().empty()) {
    Compound properties;
    for (const auto& [key, value] : state.properties()) properties.put(key, Tag{value});
    entry.put("Properties", Tag{std::move(properties)});
  }
  return Tag{std::move(entry)};
}

ListTag compound_list() { return ListTag{TagType::Compound, {}}; }

// Calls visit(position) for the positions of plane `y` (counted from the
// bottom) of `box`, in file order.
template <typename Visit>
void for_each_in_plane(const Boundary& box, int64_t y, Visit&& visit) {
  const int32_t at_y = int32_t(box.min_y + y);
  for (int64_t z = box.min_z; z < int64_t(box.min_z) + box.d_z; ++z) {
    for (int64_t x = box.min_x; x < int64_t(box.min_x) + box.d_x; ++x) visit(BlockPosition{int32_t(x), at_y, int32_t(z)});
  }
}

// Calls use(values) with every few planes of `box` from `cells`, in file
// order.
template <typename Cells, typename Use>
Status walk_planes(const Cells& cells, const Boundary& box, Use&& use) {
  const size_t plane_size = size_t(box.d_x) * size_t(box.d_z);
  std::vector<uint16_t> planes(plane_size * size_t(std::min<int64_t>(box.d_y, kPlanesAtOnce)));
  for (int64_t y = 0; y < box.d_y; y += kPlanesAtOnce) {
    KUBIC_RETURN_IF_ERROR(check_interrupt());
    const int64_t count = std::min<int64_t>(kPlanesAtOnce, box.d_y - y);
    cells.gather_planes(box, y, count, planes.data());
    KUBIC_RETURN_IF_ERROR(use(std::span(planes).first(plane_size * size_t(count))));
  }
  return Status::Ok();
}

size_t region_holding(const std::vector<Boundary>& boxes, const BlockPosition& position) {
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].contains(position)) return i;
  }
  return boxes.size();
}

}  // namespace

LitematicaSchematicOutputStream::LitematicaSchematicOutputStream(std::unique_ptr<ByteSink> writer,
                                                                 const Boundary& boundary, std::string default_name)
    : writer_(std::move(writer)),
      store_(PagedBlockStore::new_for_fixed_boundary(boundary)),
      boundary_(boundary),
      default_name_(std::move(default_name)) {}

std::string LitematicaSchematicOutputStream::schematic_name() const {
  return text_or(extras_.metadata, "Name", default_name_.empty() ? "Unnamed" : default_name_);
}

Status LitematicaSchematicOutputStream::set_extras(SchematicExtras extras) {
  extras_ = std::move(extras);
  return Status::Ok();
}

Status LitematicaSchematicOutputStream::write(std::span<const Block> blocks) { return store_->insert(blocks); }

Status LitematicaSchematicOutputStream::complete() {
  std::vector<StateRef> states(store_->palette().begin(), store_->palette().end());
  return write_store(*store_, std::move(states));
}

Status LitematicaSchematicOutputStream::write_stored(const StoredCells& stored) {
  std::vector<StateRef> states;
  for (size_t id = 0; id < stored.store.palette().size(); ++id) {
    auto state = stored.state_of(uint16_t(id));
    if (!state.ok()) return state.status();
    states.push_back(std::move(*state));
  }
  return write_store(stored.store, std::move(states));
}

Status LitematicaSchematicOutputStream::write_store(const PagedBlockStore& store, std::vector<StateRef> palette) {
  // Index 0 is what unstored positions hold; stored cells are id + 1.
  std::vector<StateRef> states{extras_.fill ? extras_.fill : BlockState::air_rc()};
  states.insert(states.end(), palette.begin(), palette.end());
  // The store may count its positions from another corner than the box.
  const Boundary& stored_box = store.boundary();
  const BlockPosition to_store{stored_box.min_x - boundary_.min_x, stored_box.min_y - boundary_.min_y,
                               stored_box.min_z - boundary_.min_z};
  const BlockPosition from_store{-to_store.x, -to_store.y, -to_store.z};
  auto value_at = [&](const BlockPosition& position) {
    auto id = store.palette_id_at(moved(position, to_store));
    return id ? uint16_t(*id + 1) : uint16_t(0);
  };
  Cells cells{states,
              [&](const Boundary& box, int64_t y0, int64_t count, uint16_t* out) {
                for (int64_t y = y0; y < y0 + count; ++y) {
                  if (box == boundary_) {
                    store.for_each_zx_cell(int32_t(box.min_y + y + to_store.y), [&](uint16_t cell) { *out++ = cell; });
                    continue;
                  }
                  for_each_in_plane(box, y, [&](const BlockPosition& position) { *out++ = value_at(position); });
                }
              },
              [&](const std::function<bool(const BlockPosition&)>& visit) {
                XyzScanner scanner(store);
                scanner.scan(0, [&](const BlockPosition& position, uint16_t id, Volume) {
                  return is_plain_air(*states[id + 1]) || visit(moved(position, from_store));
                });
              }};
  return write_document(cells);
}

Status LitematicaSchematicOutputStream::write_dense_document(const uint16_t* cells, const std::vector<StateRef>& states,
                                                             AxisOrder layout) {
  const Extent size{boundary_.d_x, boundary_.d_y, boundary_.d_z};
  auto index_at = [&](const BlockPosition& p) -> uint16_t {
    const auto offset = boundary_.offset_of(p);
    if (!offset) return 0;
    return cells[cell_index(size, layout, (*offset)[0], (*offset)[1], (*offset)[2])];
  };
  Cells source{states,
               [&](const Boundary& box, int64_t y0, int64_t count, uint16_t* out) {
                 if (box == boundary_) return gather_planes(cells, size, y0, count, out, layout);
                 for (int64_t y = y0; y < y0 + count; ++y) {
                   for_each_in_plane(box, y, [&](const BlockPosition& position) { *out++ = index_at(position); });
                 }
               },
               [&](const std::function<bool(const BlockPosition&)>& visit) {
                 auto positions = boundary_.walk(AxisOrder::XYZ);
                 while (auto position = positions.next()) {
                   const uint16_t id = index_at(*position);
                   if (id < states.size() && is_plain_air(*states[id])) continue;
                   if (!visit(*position)) return;
                 }
               }};
  return write_document(source);
}

std::vector<SubRegion> LitematicaSchematicOutputStream::regions_to_write(const Cells& cells) const {
  if (boundary_.empty()) return {};
  const std::vector<SubRegion>& kept = extras_.regions;
  std::vector<Boundary> boxes;
  for (const SubRegion& region : kept) boxes.push_back(region.box());
  // Regions are entries of a compound by name: one repeated would be lost.
  std::set<std::string_view> names;
  bool keep = !kept.empty() && std::all_of(kept.begin(), kept.end(), [&](const SubRegion& region) {
    return names.insert(region.name).second;
  });
  // Together the regions must enclose exactly the box, or reading the file
  // back would give another box.
  if (keep) {
    Boundary first = boxes.front();
    int64_t low[3] = {first.min_x, first.min_y, first.min_z};
    int64_t high[3] = {int64_t(first.min_x) + first.d_x, int64_t(first.min_y) + first.d_y,
                       int64_t(first.min_z) + first.d_z};
    for (const Boundary& box : boxes) {
      const int64_t min[3] = {box.min_x, box.min_y, box.min_z}, d[3] = {box.d_x, box.d_y, box.d_z};
      for (int axis = 0; axis < 3; ++axis) {
        low[axis] = std::min(low[axis], min[axis]);
        high[axis] = std::max(high[axis], min[axis] + d[axis]);
      }
    }
    keep = low[0] == boundary_.min_x && low[1] == boundary_.min_y && low[2] == boundary_.min_z &&
           high[0] - low[0] == boundary_.d_x && high[1] - low[1] == boundary_.d_y && high[2] - low[2] == boundary_.d_z;
  }
  for (size_t i = 0; keep && i < extras_.block_entities.size(); ++i) {
    keep = region_holding(boxes, extras_.block_entities[i].position) < boxes.size();
  }
  const bool one_covers_all = std::any_of(boxes.begin(), boxes.end(), [&](const Boundary& b) { return b == boundary_; });
  if (keep && !one_covers_all) {
    cells.for_each_block([&](const BlockPosition& position) {
      keep = region_holding(boxes, position) < boxes.size();
      return keep;
    });
  }
  if (keep) return kept;
  // The whole box as one region, keeping the scheduled ticks of the parts.
  SubRegion whole{schematic_name(), corner_of(boundary_),
                  {boundary_.d_x, boundary_.d_y, boundary_.d_z}, {}, {}};
  ListTag block_ticks = compound_list(), fluid_ticks = compound_list();
  for (size_t i = 0; i < kept.size(); ++i) {
    const BlockPosition delta = wrapped_difference(corner_of(boxes[i]), whole.position);
    append_ticks(kept[i].pending_block_ticks, delta, block_ticks);
    append_ticks(kept[i].pending_fluid_ticks, delta, fluid_ticks);
  }
  whole.pending_block_ticks = Tag{std::move(block_ticks)};
  whole.pending_fluid_ticks = Tag{std::move(fluid_ticks)};
  return {std::move(whole)};
}

Result<LitematicaSchematicOutputStream::RegionNumbering> LitematicaSchematicOutputStream::number_region(
    const Cells& cells, const Boundary& box) {
  // The palette comes before the block states in the file, so a first walk
  // makes it whole: air first, then the states as the walk meets them.
  RegionNumbering numbering{{TagType::Compound, {palette_entry(*BlockState::air_rc())}},
                            std::vector<uint16_t>(cells.states.size(), 0), 0};
  ListTag& palette = numbering.palette;
  FirstMetNumbers numbers(cells.states.size());
  // States spelled another way share the entry of their canonical form.
  std::unordered_map<StateRef, uint16_t, StateRefHash> entry_of;
  // Litematica counts no air as a block, cave and void air included.
  std::vector<bool> air_entries{true};
  auto assign = [&](uint16_t id) {
    if (is_plain_air(*cells.states[id])) return 0;
    const StateRef state = canonical_state(cells.states[id]);
    auto [entry, added] = entry_of.emplace(state, uint16_t(palette.items.size()));
    if (added) {
      palette.items.push_back(palette_entry(*state));
      air_entries.push_back(state->is_air());
    }
    numbering.number[id] = entry->second;
    return int32_t(entry->second);
  };
  int64_t air = 0;
  KUBIC_RETURN_IF_ERROR(walk_planes(cells, box, [&](std::span<uint16_t> values) {
    for (uint16_t id : values) {
      const int32_t number = numbers.of(id, assign);
      if (number < 0) return Status::Error("Litematica: block index " + std::to_string(id) + " is not in the palette");
      air += air_entries[size_t(number)];
    }
    return Status::Ok();
  }));
  // Entries are packed from 16 bits: one state more than that (every
  // possible index present, none of them air) cannot be written.
  if (palette.items.size() > size_t(UINT16_MAX) + 1) {
    return Status::Error("Litematica: a region of more than 65536 states cannot be written");
  }
  numbering.blocks = int64_t(box.volume()) - air;
  return numbering;
}

Status LitematicaSchematicOutputStream::write_block_states(const Cells& cells, const Boundary& box,
                                                           const RegionNumbering& numbering, NbtWriter& writer) {
  // Packed a few planes at a time straight into the document: neither the
  // entries nor the words are ever held for the whole box.
  const int bits = litematica_bits(numbering.palette.items.size());
  writer.int_(int32_t(litematica_word_count(box.volume(), bits)));
  LitematicaPacker packer(bits, [&](std::span<const uint64_t> words) { writer.long_elements(words); });
  KUBIC_RETURN_IF_ERROR(walk_planes(cells, box, [&](std::span<uint16_t> values) {
    for (uint16_t& id : values) id = numbering.number[id];
    packer.add(values);
    return Status::Ok();
  }));
  packer.finish();
  return Status::Ok();
}

Status LitematicaSchematicOutputStream::write_document(const Cells& cells) {
  const std::vector<SubRegion> regions = regions_to_write(cells);
  std::vector<Boundary> boxes;
  for (const SubRegion& region : regions) boxes.push_back(region.box());
  std::vector<Compound> region_tags(regions.size());
  int64_t total_blocks = 0, total_volume = 0;
  std::vector<RegionNumbering> numberings;
  for (size_t r = 0; r < regions.size(); ++r) {
    const Boundary& box = boxes[r];
    if (box.volume() > kMaxRegionVolume) {
      return Status::Error("Litematica: Boundary " + box.debug_string() + " has too many positions to write");
    }
    // A file names a region by a corner and a size; both corners must be
    // coordinates, or no reader can place it.
    for (int axis = 0; axis < 3; ++axis) {
      if (int64_t(box.min_of(axis)) + box.size_of(axis) - 1 > INT32_MAX) {
        return Status::Error("Litematica: Boundary " + box.debug_string() +
                                 " reaches past coordinate 2147483647, which a Litematica file cannot hold",
                             ErrorKind::Unwritable);
      }
    }
    Compound& tags = region_tags[r];
    tags.put("Position", int_vector(regions[r].position.x, regions[r].position.y, regions[r].position.z));
    tags.put("Size", int_vector(regions[r].size[0], regions[r].size[1], regions[r].size[2]));
    auto numbering = number_region(cells, box);
    if (!numbering.ok()) return numbering.status();
    total_blocks += numbering->blocks;
    tags.put("BlockStatePalette", Tag{numbering->palette});
    tags.put("BlockStates", Tag{std::vector<int64_t>()});
    numberings.push_back(std::move(*numbering));
    total_volume += int64_t(box.volume());
    tags.put("TileEntities", Tag{compound_list()});
    tags.put("Entities", Tag{compound_list()});
    tags.put("PendingBlockTicks", regions[r].pending_block_ticks.as<ListTag>() ? regions[r].pending_block_ticks : Tag{compound_list()});
    tags.put("PendingFluidTicks", regions[r].pending_fluid_ticks.as<ListTag>() ? regions[r].pending_fluid_ticks : Tag{compound_list()});
  }
  if (!regions.empty()) {
    size_t keys_replaced = 0;
    for (const BlockEntity& entity : extras_.block_entities) {
      size_t r = std::min(region_holding(boxes, entity.position), regions.size() - 1);
      const BlockPosition at = wrapped_difference(entity.position, corner_of(boxes[r]));
      Compound data = entity.data;
      keys_replaced += put_position(data, at);
      std::get_if<ListTag>(&region_tags[r].get("TileEntities")->value)->items.push_back(Tag{std::move(data)});
    }
    if (keys_replaced) {
      notes_.push_back("Litematica holds a block entity's position as its 'x', 'y' and 'z': the own 'x', 'y' or 'z' of " +
                       std::to_string(keys_replaced) + (keys_replaced == 1 ? " block entity" : " block entities") +
                       " not written");
    }
    for (const Entity& entity : extras_.entities) {
      size_t r = region_holding(boxes, entity.cell());
      if (r == regions.size()) r = 0;
      Compound data = entity.data;
      ListTag pos{TagType::Double, {}};
      for (double at : entity.coordinates(regions[r].position)) pos.items.push_back(Tag{at});
      data.put("Pos", Tag{std::move(pos)});
      std::get_if<ListTag>(&region_tags[r].get("Entities")->value)->items.push_back(Tag{std::move(data)});
    }
  }
  Compound region_entries;
  for (size_t r = 0; r < regions.size(); ++r) region_entries.put(regions[r].name, Tag{std::move(region_tags[r])});

  const Compound& meta = extras_.metadata;
  Compound metadata;
  const int64_t created = whole_number(meta, "Date").value_or(milliseconds_since_epoch());
  metadata.put("Name", Tag{schematic_name()});
  metadata.put("Author", Tag{text_or(meta, "Author", "")});
  metadata.put("Description", Tag{text_or(meta, "Description", "")});
  metadata.put("RegionCount", Tag{int32_t(regions.size())});
  metadata.put("TotalVolume", Tag{int32_t(std::min<int64_t>(total_volume, INT32_MAX))});
  metadata.put("TotalBlocks", Tag{int32_t(std::min<int64_t>(total_blocks, INT32_MAX))});
  metadata.put("TimeCreated", Tag{created});
  metadata.put("TimeModified", Tag{whole_number(meta, "TimeModified").value_or(created)});
  // An empty box keeps its size here: no region can say it.
  metadata.put("EnclosingSize", int_vector(std::max(boundary_.d_x, 0), std::max(boundary_.d_y, 0),
                                           std::max(boundary_.d_z, 0)));
  if (const Tag* preview = meta.get("PreviewImageData"); preview && preview->as<std::vector<int32_t>>()) {
    metadata.put("PreviewImageData", *preview);
  }
  for (const CompoundEntry& entry : meta.entries()) {
    if (std::none_of(std::begin(kOwnMetadata), std::end(kOwnMetadata), [&](const char* n) { return entry.name == n; })) {
      metadata.put(entry.name, entry.value);
    }
  }
  // 0 says "unknown", as tools that do not know the version write it.
  const int32_t data_version = extras_.data_version.value_or(0);
  Compound root;
  root.put("MinecraftDataVersion", Tag{data_version});
  root.put("Version", Tag{extras_.data_version ? version_for(data_version) : kUnknownVersionLayout});
  root.put("SubVersion", Tag{int32_t(1)});
  root.put("Metadata", Tag{std::move(metadata)});
  root.put("Regions", Tag{std::move(region_entries)});
  NamedTag document{"", Tag{std::move(root)}};
  // Block states are packed as the document is written, in the places the
  // empty arrays hold (region names are distinct).
  std::vector<ProducedArray> produced;
  const Compound& written_regions = *document.tag.as<Compound>()->get("Regions")->as<Compound>();
  for (size_t r = 0; r < regions.size(); ++r) {
    produced.push_back({written_regions.get(regions[r].name)->as<Compound>()->get("BlockStates"),
                        [&, r](NbtWriter& writer) { return write_block_states(cells, boxes[r], numberings[r], writer); }});
  }
  Status status = encode_nbt(document, *writer_, produced);
  return status.ok() ? status : status.prefixed("Litematica: NBT encoding error: ");
}

}  // namespace kubic
