#include "stream/root_tags.h"

#include <algorithm>

namespace kubic {

bool RootTags::contains(std::string_view name) const {
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

}  // namespace kubic
