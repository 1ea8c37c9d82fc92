#include "formats/sponge/sponge_palette_text.h"

#include <string>

#include "common/text_util.h"

namespace kubic {

Result<StateRef> state_of_palette_key(std::string_view key) {
  const std::string_view name = key.substr(0, key.find('['));
  if (name.find(':') != std::string_view::npos || remove_whitespace(name).empty()) return BlockState::from_string(key);
  return BlockState::from_string("minecraft:" + std::string(key));
}

}  // namespace kubic
