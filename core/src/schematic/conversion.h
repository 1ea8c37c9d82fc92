#pragma once

#include <memory>
#include <optional>

#include "io/byte_stream.h"
#include "stream/schematic_stream.h"

namespace kubic {

enum class SchematicFormat { Kub, Sponge, Structure, Litematica };

struct ConversionOptions {
  int sponge_version = 3;               // 2 for tools that read only that
  std::optional<int32_t> data_version;  // instead of the source's
};

// The writer of a format for a box, in world coordinates.
std::unique_ptr<SchematicOutputStream> make_schematic_writer(SchematicFormat format, std::unique_ptr<ByteSink> sink,
                                                             const Boundary& box, const ConversionOptions& options);

// Converts everything `input` holds into `format` on `sink`: the declared
// box and the blocks moved into world coordinates (the source's origin, a
// Sponge "Offset", added), block entities, entities, metadata, data version
// and structure voids. One pass: blocks stream from reader to writer as far
// as the formats allow. `input` must not have been read from.
Status convert_schematic(SchematicInputStream& input, SchematicFormat format, std::unique_ptr<ByteSink> sink,
                         const ConversionOptions& options = {});

}  // namespace kubic
