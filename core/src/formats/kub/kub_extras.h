#pragma once

#include <cstdint>
#include <vector>

#include "common/status.h"
#include "stream/schematic_extras.h"

namespace kubic {

// The extras of a kub file of version 2, as the NBT document that follows
// its header: "DataVersion" (Int), "Origin" (IntArray of 3, when not the
// world's (0, 0, 0)), "Metadata" (Compound), "BlockEntities" (Compounds of
// "Pos" IntArray and "Data"), "Entities" (Compounds of "Pos" three Doubles
// and "Data"). The fill of unlisted positions is not kept: kub stores
// every position it holds, voids included, as blocks.
std::vector<uint8_t> encode_kub_extras(const SchematicExtras& extras);
Result<SchematicExtras> decode_kub_extras(const std::vector<uint8_t>& document);

// Whether a file needs version 2 for these extras.
bool kub_needs_extras(const SchematicExtras& extras);

}  // namespace kubic
