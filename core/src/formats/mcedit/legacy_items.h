#pragma once

#include "nbt/tag.h"

namespace kubic {

// The item stacks a 1.12 block entity or entity holds ("Items" lists and an
// "Item" compound) in 1.13 terms: each "id", numeric or a 1.12 name, becomes
// the flattened item name; a "Damage" that chose a variant (wool's colour)
// goes, one that counted wear moves to "tag"."Damage" and a map's number to
// "tag"."map", as 1.13 keeps them.
// Ids the tables do not know are left as they are.
void flatten_items_of(Compound& holder);

}  // namespace kubic
