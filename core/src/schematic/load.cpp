#include "schematic/load.h"

#include <algorithm>

#include "blocks/state_palette.h"
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

// Every block of the reader into the cells; index 0 is air.
Status fill_cells(SchematicInputStream& reader, const Boundary& box, StateRef fill, uint16_t* cells,
                  std::vector<StateRef>& palette) {
  StatePalette numbering;
  if (fill) {
    auto fill_index = numbering.index_of(fill);
    if (!fill_index.ok()) return fill_index.status();
    std::fill(cells, cells + size_t(box.volume()), *fill_index);
  }
  const int64_t sy = box.d_y, sz = box.d_z;
  KUBIC_RETURN_IF_ERROR(reader.for_each_batch([&](const std::vector<Block>& batch) -> Status {
    for (const Block& block : batch) {
      auto id = numbering.index_of(block.state);
      if (!id.ok()) return id.status();
      const int64_t x = int64_t(block.position.x) - box.min_x, y = int64_t(block.position.y) - box.min_y,
                    z = int64_t(block.position.z) - box.min_z;
      cells[size_t((x * sy + y) * sz + z)] = *id;
    }
    return Status::Ok();
  }));
  palette = numbering.take_states();
  return Status::Ok();
}

// The whole box through the format's array road; nothing (and no error)
// when the road gave up and `must` is false.
Result<std::optional<LoadedSchematic>> load_dense(const FormatEntry& format, const LoadRequest& request,
                                                  const InputOpener& open, const DenseAllocator& allocate,
                                                  bool must) {
  auto source = open();
  if (!source.ok()) return source.status();
  auto reader = format.make_reader(make_document_chain(std::move(*source)).source, request.reader);
  LoadedSchematic loaded{&format, {}, {}, {}};
  bool refused = false;
  auto cells_for = [&](const Boundary& box) {
    uint16_t* cells = allocate(box);
    refused = !cells;
    return cells;
  };
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

}  // namespace

Result<LoadedSchematic> load_schematic(const LoadRequest& request, const InputOpener& open,
                                       const DenseAllocator& allocate) {
  if (const FormatEntry* road = array_road(request)) {
    auto dense = load_dense(*road, request, open, allocate, road == request.format);
    if (!dense.ok()) return dense.status();
    if (*dense) return std::move(**dense);
  }
  auto source = open();
  if (!source.ok()) return source.status();
  auto reader = open_reader(request.format, std::move(*source), request.reader);
  reader->keep_listed_air();
  LoadedSchematic loaded{request.format, {}, {}, {}};
  auto declared = reader->boundary();
  if (!declared.ok()) return declared.status();
  auto extras = reader->extras();
  if (!extras.ok()) return extras.status();
  loaded.box = declared->value_or(Boundary());
  loaded.extras = std::move(*extras);
  uint16_t* cells = allocate(loaded.box);
  if (!cells) return no_cells();
  KUBIC_RETURN_IF_ERROR(fill_cells(*reader, loaded.box, loaded.extras.fill, cells, loaded.palette));
  if (auto* any = dynamic_cast<const AnySchematicInputStream*>(reader.get())) loaded.format = any->found_format();
  return loaded;
}

}  // namespace kubic
