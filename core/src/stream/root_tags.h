#pragma once

#include <string_view>
#include <vector>

#include "nbt/nbt_reader.h"

namespace kubic {

// Names of root tags that only other formats' NBT documents have: the format
// table gives each reader those of the other families, and a reader that
// meets one knows the document is not its own.
class RootTags {
 public:
  RootTags() = default;
  explicit RootTags(std::vector<std::string_view> names) : names_(std::move(names)) {}

  bool contains(std::string_view name) const;
  // A tree filter that ends the parse at one of these tags at the root and
  // asks `inner` about every other entry.
  NbtEntryFilter refusing(NbtEntryFilter inner) const;

 private:
  std::vector<std::string_view> names_;  // views of static text
};

}  // namespace kubic
