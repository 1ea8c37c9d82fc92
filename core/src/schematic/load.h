#pragma once

#include <functional>
#include <memory>
#include <string>
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

// A whole schematic read: its cells are where the allocator put them.
struct LoadedSchematic {
  const FormatEntry* format = nullptr;
  Boundary box;  // in the frame of the blocks; extras.origin moves it into the world
  SchematicExtras extras;
  std::vector<StateRef> palette;  // air first; indices of the cells
};

// Reads every block of a schematic into the cells `allocate` gives for its
// box (zeroed, XYZ: x slowest), one palette index each, with its extras;
// unlisted positions of formats that fill them (structure voids) hold the
// fill. Formats that can fill an array straight from their block data do
// so, without a per-block store. An allocator that gives no cells ends the
// load (TooLarge).
Result<LoadedSchematic> load_schematic(const LoadRequest& request, const InputOpener& open,
                                       const DenseAllocator& allocate);

}  // namespace kubic
