#include "stream/root_tags.h"

#include <algorithm>
#include <memory>

namespace kubic {

bool RootTags::contains(std::string_view name) const {
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

NbtEntryFilter RootTags::refusing(NbtEntryFilter inner) const {
  auto claimed = std::make_shared<bool>(false);
  return [this, claimed, inner = std::move(inner)](const std::vector<std::string>& parents, const std::string& name) {
    if (parents.empty()) {
      if (std::find(claiming_.begin(), claiming_.end(), name) != claiming_.end()) *claimed = true;
      if (!*claimed && contains(name)) return NbtEntryChoice::Refuse;
    }
    return inner(parents, name);
  };
}

}  // namespace kubic
