#include "schematic/load.h"

#include <algorithm>
#include <optional>
#include <type_traits>
#include <unordered_map>

#include "blocks/canonical_state.h"
#include "formats/any_reader.h"
#include "io/chains.h"

namespace kubic {

namespace {

// The format whose array road a load tries before anything else: the one
// named, else (on inputs that can be read again) the one the file name's
// extension names, else the one that always probes.
const FormatEntry* array_road(const LoadRequest& request) {
  if (request.format) return request.format->array_probe == ArrayProbe::Never ? nullptr : request.format;
  if (!request.rereadable) return nullptr;
  const FormatEntry* named = format_for_path(request.file_name);
  if (named && named->array_probe != ArrayProbe::Never) return named;
  for (const FormatEntry& entry : format_table()) {
    if (entry.array_probe == ArrayProbe::Always) return &entry;
  }
  return nullptr;
}

Status no_cells() { return Status::Error("no memory for the blocks", ErrorKind::TooLarge); }

// States numbered as first met, air 0, with no limit of their own.
class BlockNumbering {
 public:
  BlockNumbering() : states_{BlockState::air_rc()}, numbers_{{BlockState::air_rc(), 0}} {}
  uint32_t of(const StateRef& state) {
    auto [found, added] = numbers_.emplace(state, uint32_t(states_.size()));
    if (added) states_.push_back(state);
    return found->second;
  }
  std::vector<StateRef> take_states() { return std::move(states_); }

 private:
  std::vector<StateRef> states_;
  std::unordered_map<StateRef, uint32_t, StateRefHash> numbers_;
};

// Every block of the reader into 16-bit cells, moved into 32-bit ones when
// a state numbered past 65,535 comes; index 0 is air.
Status fill_cells(SchematicInputStream& reader, const CellAllocators& allocate, LoadedSchematic& loaded) {
  const Boundary& box = loaded.box;
  const size_t volume = size_t(box.volume());
  uint16_t* narrow = allocate.narrow(box);
  if (!narrow) return no_cells();
  uint32_t* wide = nullptr;
  BlockNumbering numbering;
  if (loaded.extras.fill && volume > 0) std::fill(narrow, narrow + volume, uint16_t(numbering.of(loaded.extras.fill)));
  const int64_t sy = box.d_y, sz = box.d_z;
  KUBIC_RETURN_IF_ERROR(reader.for_each_batch([&](const std::vector<Block>& batch) -> Status {
    for (const Block& block : batch) {
      const auto offset = box.offset_of(block.position);
      if (!offset) return Status::Error("a block at " + block.position.debug_string() + " lies outside the box");
      const uint32_t id = numbering.of(block.state);
      const size_t cell = size_t(((*offset)[0] * sy + (*offset)[1]) * sz + (*offset)[2]);
      if (id > UINT16_MAX && !wide) [[unlikely]] {
        wide = allocate.wide(box);
        if (!wide) return no_cells();
        std::copy(narrow, narrow + volume, wide);
      }
      if (wide) {
        wide[cell] = id;
      } else {
        narrow[cell] = uint16_t(id);
      }
    }
    return Status::Ok();
  }));
  loaded.palette = numbering.take_states();
  if (wide) {
    loaded.cells = wide;
  } else {
    loaded.cells = narrow;
  }
  return Status::Ok();
}

// Parts that lie far apart would make the box that encloses them cost far
// more than what they hold: such a box is refused before its cells exist.
constexpr Volume kSpreadAllowance = Volume(1) << 24;
constexpr Volume kSpreadFactor = 8;

Status check_spread(const Boundary& box, const SchematicExtras& extras) {
  if (extras.regions.size() < 2) return Status::Ok();
  Volume held = 0;
  for (const SubRegion& region : extras.regions) held += region.box().volume();
  if (box.volume() <= std::max(kSpreadAllowance, held * kSpreadFactor)) return Status::Ok();
  return Status::Error("the regions lie far apart: the box enclosing them, " + box.debug_string() + ", has " +
                       volume_string(box.volume()) + " positions for the " + volume_string(held) +
                       " they hold; read them one region at a time");
}

// The palette in canonical form: states spelled two ways merge into the
// entry of the first, and the cells are renumbered when any did.
void canonicalise(LoadedSchematic& loaded) {
  std::vector<StateRef> merged;
  std::unordered_map<StateRef, uint32_t, StateRefHash> index_of;
  std::vector<uint32_t> renumbered;
  bool moved = false;
  for (const StateRef& state : loaded.palette) {
    const StateRef canonical = canonical_state(state);
    auto [found, added] = index_of.emplace(canonical, uint32_t(merged.size()));
    if (added) merged.push_back(canonical);
    moved |= found->second != renumbered.size();
    renumbered.push_back(found->second);
  }
  loaded.palette = std::move(merged);
  if (!moved) return;
  const size_t volume = size_t(loaded.box.volume());
  std::visit(
      [&](auto* cells) {
        using Cell = std::remove_pointer_t<decltype(cells)>;
        for (size_t i = 0; i < volume; ++i) cells[i] = Cell(renumbered[cells[i]]);
      },
      loaded.cells);
}

// The whole box through the format's array road; nothing (and no error)
// when the road gave up and `must` is false.
Result<std::optional<LoadedSchematic>> load_dense(const FormatEntry& format, const LoadRequest& request,
                                                  const InputOpener& open, const CellAllocators& allocate,
                                                  bool must) {
  auto source = open();
  if (!source.ok()) return source.status();
  auto reader = format.make_reader(make_document_chain(std::move(*source)).source, request.reader);
  // A probe gives up at the first tag of another family, as a candidate
  // of detection does, instead of parsing a whole document that is not its own.
  if (!must) reader->as_candidate();
  LoadedSchematic loaded{&format, {}, {}, {}, {}};
  bool refused = false;
  auto cells_for = [&](const Boundary& box) {
    uint16_t* cells = allocate.narrow(box);
    refused = !cells;
    loaded.cells = cells;
    return cells;
  };
  if (format.has_regions) {
    auto box = reader->boundary();
    auto extras = reader->extras();
    if (box.ok() && extras.ok() && *box) KUBIC_RETURN_IF_ERROR(check_spread(**box, *extras));
  }
  Status status = reader->read_dense(cells_for, loaded.palette, AxisOrder::XYZ);
  if (refused) return no_cells();
  if (!status.ok()) {
    if (must) return status;
    return std::optional<LoadedSchematic>();
  }
  auto extras = reader->extras();
  if (!extras.ok()) return extras.status();
  loaded.box = **reader->boundary();
  loaded.extras = std::move(*extras);
  return std::optional<LoadedSchematic>(std::move(loaded));
}

// The whole box block by block, through the reader the request names or
// detection finds.
Result<LoadedSchematic> load_blocks(const LoadRequest& request, const InputOpener& open,
                                    const CellAllocators& allocate) {
  auto source = open();
  if (!source.ok()) return source.status();
  auto reader = open_reader(request.format, std::move(*source), request.reader);
  reader->keep_listed_air();
  LoadedSchematic loaded{request.format, {}, {}, {}, {}};
  auto declared = reader->boundary();
  if (!declared.ok()) return declared.status();
  auto extras = reader->extras();
  if (!extras.ok()) return extras.status();
  loaded.extras = std::move(*extras);
  const auto& empty = loaded.extras.empty_size;
  loaded.box = declared->value_or(empty ? Boundary(0, 0, 0, (*empty)[0], (*empty)[1], (*empty)[2]) : Boundary());
  KUBIC_RETURN_IF_ERROR(check_spread(loaded.box, loaded.extras));
  KUBIC_RETURN_IF_ERROR(fill_cells(*reader, allocate, loaded));
  if (auto* any = dynamic_cast<const AnySchematicInputStream*>(reader.get())) loaded.format = any->found_format();
  return loaded;
}

}  // namespace

Result<LoadedSchematic> load_schematic(const LoadRequest& request, const InputOpener& open,
                                       const CellAllocators& allocate) {
  std::optional<LoadedSchematic> loaded;
  if (const FormatEntry* road = array_road(request)) {
    auto dense = load_dense(*road, request, open, allocate, road == request.format);
    if (!dense.ok()) return dense.status();
    loaded = std::move(*dense);
  }
  if (!loaded) {
    auto blocks = load_blocks(request, open, allocate);
    if (!blocks.ok()) return blocks.status();
    loaded = std::move(*blocks);
  }
  canonicalise(*loaded);
  return std::move(*loaded);
}

}  // namespace kubic
