#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>

namespace kubic {

// A block state on its way between game versions: the name without its
// namespace and the properties by key.
struct StateParts {
  std::string name;
  std::map<std::string, std::string, std::less<>> properties;

  bool operator==(const StateParts&) const = default;
};

// The rules that carry states across each change of the game's block
// tables. A rule belongs to the first release of the newer table ("1.14"),
// and applies when a conversion crosses that release, going up or down.
//
// Differences the tables show that need no rule of their own: a block new in
// a version has no equivalent before it; a property a block lost is dropped
// going up and takes the older default going down. Every other difference
// between two tables needs a rule below; a test holds the tables to that.

// A block renamed: going up `older` becomes `newer`; going down `newer`
// becomes `older`, and a block still called `older` in the newer version is
// another block, with no equivalent below.
struct BlockRename {
  std::string_view release, older, newer;
};

// A property new to blocks that had none such: going up it takes its
// default, going down it is dropped. `blocks` is a name, or "*_suffix".
struct NewProperty {
  std::string_view release, blocks, key;
};

// Values of `keys` (comma-separated) that changed: `up` and `down` map
// values, "old>new,..."; "*>value" in `down` stands for every value the
// older version lacks.
struct ValueMapping {
  std::string_view release, blocks, keys, up, down;
};

// A change no table-driven rule says: `up` runs on `older` blocks, `down` on
// `newer` ones; `keys` names the properties it settles. A lossy rule merges
// states, so they do not come back the same.
struct CustomRule {
  std::string_view release, older, newer, keys;
  void (*up)(StateParts&);
  void (*down)(StateParts&);
  bool lossy;
};

std::span<const BlockRename> block_renames();
std::span<const NewProperty> new_properties();
std::span<const ValueMapping> value_mappings();
std::span<const CustomRule> custom_rules();

// Whether `name` is one of the blocks a rule's `blocks` names.
bool names_block(std::string_view blocks, std::string_view name);

}  // namespace kubic
