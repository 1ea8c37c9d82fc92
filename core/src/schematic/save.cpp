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
        // Positions wrap in 32 bits past the last coordinate, as the box does.
        batch.push_back({moved({box.min_x, box.min_y, box.min_z}, {x, y, z}), state});
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

// Leaves out the block entities whose block is air, and those outside the
// box when the writer cannot hold them, counting both.
SaveReport drop_misplaced_block_entities(std::vector<BlockEntity>& entities, const Boundary& box,
                                         const std::vector<StateRef>& palette, CellArray cells, bool outside_held) {
  SaveReport report;
  std::erase_if(entities, [&](const BlockEntity& entity) {
    const auto offset = box.offset_of(entity.position);
    if (!offset) {
      report.block_entities_outside += !outside_held;
      return !outside_held;
    }
    const size_t cell = size_t(((*offset)[0] * box.d_y + (*offset)[1]) * box.d_z + (*offset)[2]);
    const size_t id = std::visit([&](auto* data) { return size_t(data[cell]); }, cells);
    const bool at_air = id < palette.size() && palette[id]->is_air();
    report.block_entities_at_air += at_air;
    return at_air;
  });
  return report;
}

std::string counted(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string SaveReport::warning(const FormatEntry& format) const {
  std::string text;
  if (block_entities_at_air) {
    text = counted(block_entities_at_air, "block entity stands", "block entities stand") + " at air positions";
  }
  if (block_entities_outside) {
    text += (text.empty() ? "" : "; ") + counted(block_entities_outside, "block entity lies", "block entities lie") +
            " outside the box, which a " + std::string(format.title) + " file cannot hold";
  }
  if (!text.empty()) text += ": not written";
  for (const std::string& note : writer_notes) text += (text.empty() ? "" : "; ") + note;
  return text;
}

Result<SaveReport> save_schematic(std::unique_ptr<ByteSink> sink, const FormatEntry& format, const Boundary& world_box,
                                  const std::vector<StateRef>& palette, CellArray cells, SchematicExtras extras,
                                  const WriterOptions& options) {
  // Where the world's place is kept apart, the box starts at (0, 0, 0):
  // what lies inside is then stored as the caller counted it, entity
  // doubles included, not moved out into the world and back.
  Boundary box = world_box;
  if (format.keeps_origin) {
    extras.shift(wrapped_difference({}, {box.min_x, box.min_y, box.min_z}));
    box = Boundary(0, 0, 0, box.d_x, box.d_y, box.d_z);
  }
  auto writer = format.make_writer(std::move(sink), box, options);
  SaveReport report = drop_misplaced_block_entities(extras.block_entities, box, palette, cells,
                                                          writer->holds_block_entities_outside());
  KUBIC_RETURN_IF_ERROR(writer->set_extras(std::move(extras)));
  if (auto* narrow = std::get_if<const uint16_t*>(&cells); narrow && writer->writes_dense()) {
    KUBIC_RETURN_IF_ERROR(writer->write_dense_document(*narrow, palette, AxisOrder::XYZ));
    report.writer_notes = writer->take_notes();
    return report;
  }
  KUBIC_RETURN_IF_ERROR(std::visit([&](auto* data) { return write_cells(*writer, data, box, palette); }, cells));
  KUBIC_RETURN_IF_ERROR(writer->complete());
  report.writer_notes = writer->take_notes();
  return report;
}

}  // namespace kubic
