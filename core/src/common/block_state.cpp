#include "common/block_state.h"

#include <algorithm>

#include "common/siphash.h"
#include "common/text_util.h"

namespace kubic {

namespace {

constexpr size_t kMaxTextLength = 4096;
const std::string kPrefix = "Malformed BlockState string: ";

uint64_t state_hash(const std::string& name, const std::vector<BlockState::Property>& props) {
  SipHash13 h;
  h.write(name);
  h.write_byte(0xFF);
  for (const auto& [key, value] : props) {
    h.write(key);
    h.write_byte(0xFF);
    h.write(value);
    h.write_byte(0xFF);
  }
  return h.finish();
}

bool is_air_name(const std::string& name) {
  return name == "minecraft:air" || name == "minecraft:cave_air" || name == "minecraft:void_air";
}

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == ':' || c == '_';
}


Status check_name(std::string_view name) {
  for (char c : name) {
    if (!is_name_char(c)) {
      return Status::Error(kPrefix + "illegal character in '" + std::string(name) + "'");
    }
  }
  size_t first_colon = name.find(':');
  size_t last_colon = name.rfind(':');
  std::string_view ns = first_colon == std::string_view::npos ? name : name.substr(0, first_colon);
  std::string_view type =
      last_colon == std::string_view::npos ? name : name.substr(last_colon + 1);
  // Any namespace may carry properties: modded servers' files are full of them.
  if (ns.empty()) return Status::Error(kPrefix + "missing namespace in '" + std::string(name) + "'");
  if (type.empty()) return Status::Error(kPrefix + "missing type name in '" + std::string(name) + "'");
  return Status::Ok();
}

Result<std::vector<BlockState::Property>> parse_properties(std::string_view text) {
  std::vector<BlockState::Property> pairs;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    std::string_view piece = text.substr(start, comma == std::string_view::npos
                                                    ? std::string_view::npos
                                                    : comma - start);
    size_t eq = piece.find('=');
    if (eq == std::string_view::npos) {
      pairs.emplace_back();
    } else {
      std::string_view rest = piece.substr(eq + 1);
      pairs.emplace_back(std::string(piece.substr(0, eq)),
                         std::string(rest.substr(0, rest.find('='))));
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  for (const auto& [key, value] : pairs) {
    if (key.empty() || value.empty()) {
      return Status::Error(kPrefix + "empty property key or value");
    }
    if (!std::all_of(key.begin(), key.end(), is_state_property_char)) {
      return Status::Error(kPrefix + "illegal character in property key '" + key + "'");
    }
    if (!std::all_of(value.begin(), value.end(), is_state_property_char)) {
      return Status::Error(kPrefix + "illegal character in property value '" + value + "'");
    }
  }
  return pairs;
}

}  // namespace

BlockState::BlockState(std::string name, std::vector<Property> properties)
    : name_(std::move(name)),
      properties_(std::move(properties)),
      hash_(state_hash(name_, properties_)),
      is_air_(is_air_name(name_)) {}

StateRef BlockState::create(std::string name, std::vector<Property> properties) {
  return StateRef(new BlockState(std::move(name), std::move(properties)));
}

StateRef BlockState::air() { return create("minecraft:air"); }

const StateRef& BlockState::air_rc() {
  thread_local const StateRef shared_air = air();
  return shared_air;
}

Result<StateRef> BlockState::from_string(std::string_view text) {
  if (text.size() > kMaxTextLength) {
    return Status::Error(kPrefix + "length " + std::to_string(text.size()) +
                         " exceeds maximum of 4096");
  }
  std::string s = remove_whitespace(text);
  size_t bracket = s.find('[');
  if (bracket == std::string::npos) {
    if (s.find(']') != std::string::npos) return Status::Error(kPrefix + "missing '['");
    if (s.empty()) return Status::Error(kPrefix + "empty input");
    return create(std::move(s));
  }
  if (std::count(s.begin(), s.end(), ':') != 1) {
    return Status::Error(kPrefix + "'" + s +
                         "' must contain exactly one ':' separating namespace and type");
  }
  std::string_view name = std::string_view(s).substr(0, bracket);
  KUBIC_RETURN_IF_ERROR(check_name(name));
  std::string_view rest = std::string_view(s).substr(bracket + 1);
  // The closing bracket must really be there: dropping an arbitrary last
  // character would silently change what the text says.
  if (rest.empty() || rest.back() != ']') {
    return Status::Error(kPrefix + "missing closing ']' in '" + s + "'");
  }
  if (rest == "]") return create(std::string(name));
  auto properties = parse_properties(rest.substr(0, rest.size() - 1));
  if (!properties.ok()) return properties.status();
  return create(std::string(name), std::move(*properties));
}

void assign_property(std::vector<BlockState::Property>& properties, const std::string& key,
                     const std::string& value) {
  for (auto& property : properties) {
    if (property.first == key) {
      property.second = value;
      return;
    }
  }
  properties.emplace_back(key, value);
}

bool BlockState::operator==(const BlockState& other) const {
  return hash_ == other.hash_ && name_ == other.name_ && properties_ == other.properties_;
}

std::string BlockState::to_string() const {
  if (properties_.empty()) return name_;
  std::vector<std::string> items;
  items.reserve(properties_.size());
  for (const auto& [key, value] : properties_) items.push_back(key + "=" + value);
  std::sort(items.begin(), items.end());
  std::string out = name_ + "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ',';
    out += items[i];
  }
  out += ']';
  return out;
}

bool is_state_property_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '+' ||
         c == '_';
}

}  // namespace kubic
