#pragma once

#include <string>
#include <string_view>

#include "common/block_state.h"
#include "nbt/tag.h"

namespace kubic {

// The 1.13 id of a block entity a file from before 1.13 names: the
// CamelCase ids of before 1.11 ("Chest", "MobSpawner", "Cauldron" for a
// brewing stand) and a chest that sits in a trapped chest (one id for both
// before 1.13). `block` is the 1.13 state at its position, if any. Ids it
// does not know come back as they are.
std::string block_entity_id_1_13(std::string_view id, const BlockState* block);

// An entity's data with the 1.13 id of the entity it describes: CamelCase
// ids of before 1.11 ("PigZombie", "EntityHorse" with its "Type",
// "Skeleton" with its "SkeletonType"), 1.11's names 1.13 changed
// ("xp_orb", "snowman"), and the same for the entities a spawner holds.
void rename_entity_1_13(Compound& data);

// A spawner's entities ("EntityId", "SpawnData", "SpawnPotentials") by
// their 1.13 ids.
void rename_spawner_entities_1_13(Compound& spawner);

}  // namespace kubic
