#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "formats/format_table.h"
#include "io/byte_stream.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Opens the input of a load from its beginning; a load that may start over
// on another road opens it twice, and only when it can be read again.
using InputOpener = std::function<Result<std::unique_ptr<ByteSource>>()>;

struct LoadRequest {
  const FormatEntry* format = nullptr;  // null: detect it
  ReaderOptions reader;
  std::string file_name;  // the input's, whose extension may choose an array road; empty for others
  bool rereadable = false;  // the opener may be called again
};

// Cells for a box, zeroed: 16-bit ones, and 32-bit ones for a load that
// meets more than 65,536 states. Each gives null when it cannot.
struct CellAllocators {
  DenseAllocator narrow;
  std::function<uint32_t*(const Boundary&)> wide;
};

// A whole schematic read: its cells are where the allocators put them.
struct LoadedSchematic {
  const FormatEntry* format = nullptr;
  Boundary box;  // in the frame of the blocks; extras.origin moves it into the world
  SchematicExtras extras;
  std::vector<StateRef> palette;  // canonical states, each once, air first; indices of the cells
  std::variant<uint16_t*, uint32_t*> cells;  // the narrow ones unless the palette needed more
};

// Reads every block of a schematic into the cells `allocate` gives for its
// box (XYZ: x slowest), one palette index each, with its extras; unlisted
// positions of formats that fill them (structure voids) hold the fill.
// Formats that can fill an array straight from their block data do so,
// without a per-block store. States the file spells two ways (properties
// in another order, no namespace) become one canonical entry. An allocator
// that gives no cells ends the load (TooLarge).
Result<LoadedSchematic> load_schematic(const LoadRequest& request, const InputOpener& open,
                                       const CellAllocators& allocate);

}  // namespace kubic
