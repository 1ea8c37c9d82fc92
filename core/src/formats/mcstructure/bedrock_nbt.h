#pragma once

#include <map>
#include <string>

#include "nbt/tag.h"

namespace kubic {

// What a translation between the editions left as it was, by description,
// with how often: for the conversion report.
using UntranslatedNbt = std::map<std::string, uint64_t>;

// A Bedrock block entity as Java 1.21.1 holds it: its id, containers'
// items (name and count), signs' text, spawners' entity, command blocks'
// command, banners' patterns. What has no Java counterpart is kept under
// its Bedrock name and counted in `untranslated`.
void java_block_entity(Compound& data, UntranslatedNbt& untranslated);
// The other way.
void bedrock_block_entity(Compound& data, UntranslatedNbt& untranslated);

// A Bedrock entity ("identifier") as a Java one ("id"), and back; items it
// holds as above.
void java_entity(Compound& data, UntranslatedNbt& untranslated);
void bedrock_entity(Compound& data, UntranslatedNbt& untranslated);

}  // namespace kubic
