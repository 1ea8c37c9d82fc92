#include "blocks/state_text.h"

#include <vector>

namespace kubic {

std::string stored_text(const BlockState& state) {
  std::string text = state.name();
  const auto& props = state.properties();
  for (size_t i = 0; i < props.size(); ++i) text += (i ? "," : "[") + props[i].first + "=" + props[i].second;
  return props.empty() ? text : text + "]";
}

Result<StateRef> state_of_text(std::string_view text) {
  auto parsed = BlockState::from_string(text);
  if (parsed.ok()) return parsed;
  const size_t open = text.find('[');
  const std::string_view name = text.substr(0, open);
  const size_t colon = name.find(':');
  if (colon == 0 || colon == std::string_view::npos || colon + 1 == name.size()) return parsed.status();
  std::vector<BlockState::Property> properties;
  if (open != std::string_view::npos) {
    if (text.back() != ']') return parsed.status();
    std::string_view inner = text.substr(open + 1, text.size() - open - 2);
    while (!inner.empty()) {
      const size_t comma = inner.find(',');
      const std::string_view pair = inner.substr(0, comma);
      const size_t equals = pair.find('=');
      if (equals == 0 || equals == std::string_view::npos) return parsed.status();
      assign_property(properties, std::string(pair.substr(0, equals)), std::string(pair.substr(equals + 1)));
      inner = comma == std::string_view::npos ? std::string_view() : inner.substr(comma + 1);
    }
  }
  return BlockState::create(std::string(name), std::move(properties));
}

}  // namespace kubic
