#include "stream/root_tags.h"

#include <algorithm>

namespace kubic {

bool RootTags::contains(std::string_view name) const {
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

NbtEntryFilter RootTags::refusing(NbtEntryFilter inner) const {
  return [this, inner = std::move(inner)](const std::vector<std::string>& parents, const std::string& name) {
    return parents.empty() && contains(name) ? NbtEntryChoice::Refuse : inner(parents, name);
  };
}

}  // namespace kubic
