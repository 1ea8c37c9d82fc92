#include "schematic/conversion.h"

#include <algorithm>
#include <cstdlib>


namespace kubic {

namespace {

// Boxes up to this many positions go through one array of indices (2 bytes
// a position); larger ones, often mostly empty, through the paged store.
constexpr Volume kMaxDenseConversion = Volume(1) << 27;

// The whole box from reader to writer as one array of palette indices.
Status convert_dense(SchematicInputStream& input, SchematicOutputStream& output) {
  std::unique_ptr<uint16_t, decltype(&std::free)> cells(nullptr, &std::free);
  std::vector<StateRef> palette;
  const AxisOrder layout = input.dense_layout();
  KUBIC_RETURN_IF_ERROR(input.read_dense(
      [&](const Boundary& box) {
        cells.reset(static_cast<uint16_t*>(std::calloc(std::max<size_t>(size_t(box.volume()), 1), sizeof(uint16_t))));
        return cells.get();
      },
      palette, layout));
  return output.write_dense_document(cells.get(), palette, layout);
}

}  // namespace

Status convert_schematic(SchematicInputStream& input, SchematicFormat format, std::unique_ptr<ByteSink> sink,
                         const ConversionOptions& options) {
  input.keep_listed_air();
  auto declared = input.boundary();
  if (!declared.ok()) return declared.status();
  auto extras = input.extras();
  if (!extras.ok()) return extras.status();
  if (options.data_version) extras->data_version = options.data_version;
  // A box of no positions (an all-air template of size 0) is still a box.
  Boundary box = declared->value_or(Boundary());
  const BlockPosition delta = extras->origin;
  extras->shift(delta);
  const BlockPosition corner = moved({box.min_x, box.min_y, box.min_z}, delta);
  box = Boundary(corner.x, corner.y, corner.z, box.d_x, box.d_y, box.d_z);
  const WriterOptions writing{.sponge_version = options.sponge_version, .default_name = {}};
  auto output = format_entry(format).make_writer(std::move(sink), box, writing);
  // Arrays have no cells that no block covers, which a fill would hold.
  const bool dense = output->writes_dense() && input.reads_dense() && box.volume() <= kMaxDenseConversion &&
                     !extras->fill;
  KUBIC_RETURN_IF_ERROR(output->set_extras(std::move(*extras)));
  // A reader and a writer that both hold the whole box meet array to array
  // or store to store.
  if (dense) {
    return convert_dense(input, *output);
  }
  if (output->writes_stored()) {
    auto stored = input.take_stored_cells();
    if (!stored.ok()) return stored.status();
    if (*stored) return output->write_stored(**stored);
  }
  KUBIC_RETURN_IF_ERROR(input.for_each_batch([&](std::vector<Block>& batch) {
    if (!(delta == BlockPosition{})) {
      for (Block& block : batch) block.position = moved(block.position, delta);
    }
    return output->write(batch);
  }));
  return output->complete();
}

}  // namespace kubic
