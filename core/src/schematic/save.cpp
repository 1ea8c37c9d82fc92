#include "schematic/save.h"

#include "blocks/air.h"
#include "common/interrupt.h"

namespace kubic {

namespace {

// Every position of the array except plain air, in XYZ order, as blocks
// at their world positions.
template <typename Cell>
Status write_cells(SchematicOutputStream& writer, const Cell* cells, const Boundary& box,
                   const std::vector<StateRef>& palette) {
  std::vector<Block> batch;
  batch.reserve(kBatchSize);
  size_t i = 0;
  for (int32_t x = 0; x < box.d_x; ++x) {
    for (int32_t y = 0; y < box.d_y; ++y) {
      for (int32_t z = 0; z < box.d_z; ++z, ++i) {
        const size_t id = size_t(cells[i]);
        if (id >= palette.size()) {
          return Status::Error("block index " + std::to_string(id) + " at (" + std::to_string(x) + ", " +
                               std::to_string(y) + ", " + std::to_string(z) + ") is not in the palette");
        }
        const StateRef& state = palette[id];
        if (is_plain_air(*state)) continue;
        batch.push_back({{box.min_x + x, box.min_y + y, box.min_z + z}, state});
        if (batch.size() == kBatchSize) {
          KUBIC_RETURN_IF_ERROR(check_interrupt());
          KUBIC_RETURN_IF_ERROR(writer.write(batch));
          batch.clear();
        }
      }
    }
  }
  return writer.write(batch);
}

}  // namespace

Status save_schematic(std::unique_ptr<ByteSink> sink, const FormatEntry& format, const Boundary& box,
                      const std::vector<StateRef>& palette, CellArray cells, SchematicExtras extras,
                      const WriterOptions& options) {
  auto writer = format.make_writer(std::move(sink), box, options);
  KUBIC_RETURN_IF_ERROR(writer->set_extras(std::move(extras)));
  if (auto* narrow = std::get_if<const uint16_t*>(&cells); narrow && writer->writes_dense()) {
    return writer->write_dense_document(*narrow, palette, AxisOrder::XYZ);
  }
  Status status = std::visit([&](auto* data) { return write_cells(*writer, data, box, palette); }, cells);
  return status.ok() ? writer->complete() : status;
}

}  // namespace kubic
