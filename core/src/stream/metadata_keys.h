#pragma once

#include "nbt/tag.h"

namespace kubic {

// Metadata as callers see it: the entries any format may have under one
// spelling whatever the format ("name", "author", "description", "date" in
// milliseconds since the epoch), first, then the format's other entries
// under their own names. Extras spell the shared ones as Sponge does
// ("Name", "Author", "Description", "Date").
Compound metadata_for_callers(const Compound& extras_metadata);
// The reverse: what a caller gives, as extras hold it.
Compound metadata_for_extras(const Compound& caller_metadata);

}  // namespace kubic
