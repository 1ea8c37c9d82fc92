#pragma once

#include <string_view>
#include <vector>

#include "nbt/nbt_reader.h"

namespace kubic {

// Names of root tags that only other formats' NBT documents have: the format
// table gives each reader those of the other families, and a reader that
// meets one before any of its own claiming tags (its size tags) knows the
// document is not its own. After a claiming tag the document may be both,
// and the reader reads on.
class RootTags {
 public:
  RootTags() = default;
  RootTags(std::vector<std::string_view> names, std::vector<std::string_view> claiming)
      : names_(std::move(names)), claiming_(std::move(claiming)) {}

  bool contains(std::string_view name) const;
  // A tree filter for one parse that ends it at one of these tags at the
  // root unless a claiming tag came first, and asks `inner` about every
  // other entry.
  NbtEntryFilter refusing(NbtEntryFilter inner) const;

 private:
  std::vector<std::string_view> names_;     // views of static text
  std::vector<std::string_view> claiming_;  // likewise
};

}  // namespace kubic
