#pragma once

#include <memory>
#include <optional>

#include "formats/format_table.h"
#include "io/byte_stream.h"
#include "stream/schematic_stream.h"

namespace kubic {

struct ConversionOptions {
  int sponge_version = 3;               // 2 for tools that read only that
  std::optional<int32_t> data_version;  // instead of the source's
};

// Converts everything `input` holds into `format` (one the table says is
// writable) on `sink`: the declared
// box and the blocks moved into world coordinates (the source's origin, a
// Sponge "Offset", added), block entities, entities, metadata, data version
// and structure voids. One pass: blocks stream from reader to writer as far
// as the formats allow. `input` must not have been read from.
Status convert_schematic(SchematicInputStream& input, SchematicFormat format, std::unique_ptr<ByteSink> sink,
                         const ConversionOptions& options = {});

}  // namespace kubic
