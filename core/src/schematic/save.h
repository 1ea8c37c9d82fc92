#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "formats/format_table.h"
#include "io/byte_stream.h"
#include "stream/schematic_extras.h"

namespace kubic {

// A whole box of palette indices, XYZ (x slowest), 16 or 32 bits each.
using CellArray = std::variant<const uint16_t*, const uint32_t*>;

// What a save left out, for the caller to say.
struct SaveReport {
  size_t block_entities_at_air = 0;  // their block is gone
  size_t block_entities_outside = 0;  // outside the box, in a format that cannot hold them
  std::vector<std::string> writer_notes;  // what the writer changed to hold the blocks
  // One sentence for all of it, naming the format; empty when nothing was left out.
  std::string warning(const FormatEntry& format) const;
};

// Writes a schematic held as an array into `sink` in `format` (a writable
// one): the box in world coordinates, every cell indexing `palette`, and
// the extras in the frame of the blocks. Plain air is left out where the
// format lists blocks; formats that write from an array take it whole.
// Block entities at air positions are not written, nor those outside the
// box where the format cannot hold them. Fails on a cell that indexes past
// the palette.
Result<SaveReport> save_schematic(std::unique_ptr<ByteSink> sink, const FormatEntry& format, const Boundary& box,
                                  const std::vector<StateRef>& palette, CellArray cells, SchematicExtras extras,
                                  const WriterOptions& options);

}  // namespace kubic
