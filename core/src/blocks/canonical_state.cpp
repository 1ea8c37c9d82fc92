#include "blocks/canonical_state.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kubic {

namespace {

constexpr std::string_view kDefaultNamespace = "minecraft:";
constexpr std::string_view kBlanks = " \t\n\r\f\v";

bool is_lower_name_char(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '/'; }


// Letters of either case, digits and the punctuation modded names use.
bool is_literal_char(char c) { return is_state_property_char(c) || c == '.' || c == '/'; }

bool is_syntax_name(std::string_view name) {
  const size_t colon = name.find(':');
  if (colon != std::string_view::npos && (colon == 0 || colon + 1 == name.size() || name.find(':', colon + 1) != name.npos)) {
    return false;
  }
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c == ':' || is_lower_name_char(c); });
}

bool is_property_word(std::string_view word) {
  return !word.empty() && std::all_of(word.begin(), word.end(), is_state_property_char);
}

bool is_literal_word(std::string_view word) {
  return !word.empty() && std::all_of(word.begin(), word.end(), is_literal_char);
}

// A literal name: "namespace:type", each side a literal word.
bool is_literal_name(std::string_view name) {
  const size_t colon = name.find(':');
  return colon != std::string_view::npos && is_literal_word(name.substr(0, colon)) &&
         is_literal_word(name.substr(colon + 1));
}

std::vector<BlockState::Property> sorted_properties(const std::vector<BlockState::Property>& properties) {
  std::vector<BlockState::Property> out;
  for (const auto& [key, value] : properties) assign_property(out, key, value);
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return out;
}

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

Status malformed(std::string_view text, const std::string& what) {
  return Status::Error("invalid block state '" + std::string(text) + "': " + what);
}

// The name and properties of a text as written, blanks around the words
// left out; fails on the shape alone (brackets, commas, '=' signs, blanks
// inside a word, a key given twice).
struct TypedState {
  std::string name;
  std::vector<BlockState::Property> properties;
};

Result<TypedState> split_state_text(std::string_view text) {
  TypedState typed;
  const size_t open = text.find('[');
  const std::string_view name = trimmed(text.substr(0, open));
  if (name.empty()) return malformed(text, "no block name");
  if (name.find_first_of(kBlanks) != std::string_view::npos) return malformed(text, "a blank inside the name");
  if (name.find(']') != std::string_view::npos) return malformed(text, "']' without '['");
  typed.name = name;
  if (open == std::string_view::npos) return typed;
  const std::string_view rest = trimmed(text.substr(open + 1));
  if (rest.empty() || rest.back() != ']') return malformed(text, "no closing ']'");
  const std::string_view inner = trimmed(rest.substr(0, rest.size() - 1));
  if (inner.empty()) return typed;
  if (inner.find_first_of("[]") != std::string_view::npos) return malformed(text, "a bracket inside the properties");
  size_t start = 0;
  while (start <= inner.size()) {
    const size_t comma = std::min(inner.find(',', start), inner.size());
    const std::string_view pair = inner.substr(start, comma - start);
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos || pair.find('=', equals + 1) != std::string_view::npos) {
      return malformed(text, "'" + std::string(trimmed(pair)) + "' is not one key=value pair");
    }
    const std::string_view key = trimmed(pair.substr(0, equals)), value = trimmed(pair.substr(equals + 1));
    if (key.empty()) return malformed(text, "a property without a key");
    if (value.empty()) return malformed(text, "property '" + std::string(key) + "' has no value");
    if (key.find_first_of(kBlanks) != key.npos || value.find_first_of(kBlanks) != value.npos) {
      return malformed(text, "a blank inside property '" + std::string(key) + "'");
    }
    for (const auto& [known, _] : typed.properties) {
      if (known == key) return malformed(text, "property '" + std::string(key) + "' given twice");
    }
    typed.properties.emplace_back(std::string(key), std::string(value));
    start = comma + 1;
  }
  return typed;
}

// Why a typed state is neither in the syntax nor a literal one, or nothing.
std::optional<std::string> unacceptable(const TypedState& typed) {
  const bool properties_in_syntax = std::all_of(typed.properties.begin(), typed.properties.end(), [](const auto& p) {
    return is_property_word(p.first) && is_property_word(p.second);
  });
  if (is_syntax_name(typed.name) && properties_in_syntax) return std::nullopt;
  const bool literal_properties = std::all_of(typed.properties.begin(), typed.properties.end(), [](const auto& p) {
    return is_literal_word(p.first) && is_literal_word(p.second);
  });
  if (is_literal_name(typed.name) && literal_properties) return std::nullopt;
  for (const auto& [key, value] : typed.properties) {
    if (!is_literal_word(key)) return "illegal character in property key '" + key + "'";
    if (!is_literal_word(value)) return "illegal character in the value of '" + key + "'";
  }
  if (std::count(typed.name.begin(), typed.name.end(), ':') > 1) return std::string("more than one ':' in the name");
  return "illegal character in the name '" + typed.name + "'";
}

}  // namespace

bool in_state_syntax(const BlockState& state) {
  return is_syntax_name(state.name()) && std::all_of(state.properties().begin(), state.properties().end(), [](const auto& p) {
           return is_property_word(p.first) && is_property_word(p.second);
         });
}

StateRef canonical_state(const StateRef& state) {
  if (!in_state_syntax(*state)) return state;
  const auto& properties = state->properties();
  const bool sorted = std::adjacent_find(properties.begin(), properties.end(), [](const auto& a, const auto& b) {
                        return a.first >= b.first;
                      }) == properties.end();
  const bool namespaced = state->name().find(':') != std::string::npos;
  if (sorted && namespaced) return state;
  std::string name = namespaced ? state->name() : std::string(kDefaultNamespace) + state->name();
  return BlockState::create(std::move(name), sorted ? properties : sorted_properties(properties));
}

Result<StateRef> parse_canonical_state(std::string_view text) {
  auto typed = split_state_text(text);
  if (!typed.ok()) return typed.status();
  if (auto why = unacceptable(*typed)) return malformed(text, *why);
  return canonical_state(BlockState::create(std::move(typed->name), std::move(typed->properties)));
}

const StateRef& CanonicalStates::of(const StateRef& state) {
  auto found = canonical_.find(state);
  if (found == canonical_.end()) found = canonical_.emplace(state, canonical_state(state)).first;
  return found->second;
}

}  // namespace kubic
