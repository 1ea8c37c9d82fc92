#include "formats/kub/state_difference.h"

#include <algorithm>
#include <unordered_set>

#include "common/text_util.h"

namespace kubic {

namespace {

constexpr size_t kMaxDiffLength = 4096;
constexpr size_t kMaxNameLength = 64;
constexpr size_t kMaxSectionEntries = 256;
const std::string kPrefix = "Malformed difference string: ";

struct SplitName {
  std::string_view ns;
  std::string_view type;
};

SplitName split_at_first_colon(std::string_view name) {
  size_t colon = name.find(':');
  if (colon == std::string_view::npos) return {{}, name};
  return {name.substr(0, colon), name.substr(colon + 1)};
}

const std::string* find_value(const std::vector<BlockState::Property>& props,
                              const std::string& key) {
  for (const auto& [k, v] : props) {
    if (k == key) return &v;
  }
  return nullptr;
}

bool is_diff_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '+' || c == ',' || c == '-' || c == ':' || c == '=' || c == '_';
}

Result<std::string> apply_name_part(const std::string& old_name, std::string_view part) {
  if (part.empty()) return old_name;
  if (std::count(part.begin(), part.end(), ':') > 1) {
    return Status::Error(kPrefix + "'" + std::string(part) +
                         "' must contain at most one ':' separating namespace and type");
  }
  std::string name;
  if (part.front() == ':') {
    size_t colon = old_name.find(':');
    name = (colon == std::string::npos ? old_name : old_name.substr(0, colon)) + std::string(part);
  } else {
    name = std::string(part);
  }
  if (name.back() == ':') {
    size_t colon = old_name.rfind(':');
    name += colon == std::string::npos ? old_name : old_name.substr(colon + 1);
  }
  return name;
}

// The name part: namespace ":" type, ":" type or namespace ":". Where that
// would not read back as the new name (names without ":", or "stone" against
// ":stone", which split alike), the whole new name is written instead.
void write_name_part(std::string& out, const std::string& old_name, const std::string& new_name) {
  SplitName o = split_at_first_colon(old_name);
  SplitName n = split_at_first_colon(new_name);
  if (old_name == new_name) return;
  std::string part;
  if (o.ns != n.ns) part += n.ns;
  part += ':';
  if (o.type != n.type) part += n.type;
  auto applied = apply_name_part(old_name, part);
  out += applied.ok() && *applied == new_name ? part : new_name;
}

// "-k1,k2": the old keys that the new properties lack, in old order.
void write_removed_keys(std::string& out, const std::vector<BlockState::Property>& old_props,
                        const std::vector<BlockState::Property>& new_props) {
  bool first = true;
  for (const auto& [key, value] : old_props) {
    if (find_value(new_props, key)) continue;
    out += first ? '-' : ',';
    first = false;
    out += key;
  }
}

}  // namespace

std::string difference(const BlockState& old_state, const BlockState& new_state) {
  std::string out;
  out.reserve(64);
  write_name_part(out, old_state.name(), new_state.name());
  const auto& old_props = old_state.properties();
  const auto& new_props = new_state.properties();
  // Changed and added pairs in new order, then removed keys in old order;
  // with no properties on one side this writes just the other side's.
  bool first = true;
  for (const auto& [key, value] : new_props) {
    const std::string* old_value = find_value(old_props, key);
    if (old_value && *old_value == value) continue;
    out += first ? '+' : ',';
    first = false;
    out += key;
    out += '=';
    out += value;
  }
  write_removed_keys(out, old_props, new_props);
  return out;
}

size_t name_part_length(const std::string& old_name, const std::string& new_name) {
  std::string out;
  write_name_part(out, old_name, new_name);
  return out.size();
}

std::string ordered_difference(const BlockState& old_state, const BlockState& new_state) {
  std::string out;
  write_name_part(out, old_state.name(), new_state.name());
  const auto& old_props = old_state.properties();
  const auto& new_props = new_state.properties();
  // The longest prefix of the new properties that the old ones keep, in
  // their order, once every other key is removed or written again.
  auto kept_prefix_matches = [&](size_t length) {
    std::vector<BlockState::Property> kept;
    for (const auto& pair : old_props) {
      for (size_t i = 0; i < length; ++i) {
        if (new_props[i].first == pair.first) {
          kept.push_back(pair);
          break;
        }
      }
    }
    return std::equal(kept.begin(), kept.end(), new_props.begin(), new_props.begin() + std::ptrdiff_t(length));
  };
  size_t prefix = new_props.size();
  while (prefix > 0 && !kept_prefix_matches(prefix)) --prefix;
  for (size_t i = prefix; i < new_props.size(); ++i) {
    out += i == prefix ? '+' : ',';
    out += new_props[i].first + "=" + new_props[i].second;
  }
  write_removed_keys(out, old_props, new_props);
  return out;
}

Result<StateRef> update(const BlockState& old_state, std::string_view text) {
  std::string d = remove_whitespace(text);
  if (d.empty()) return BlockState::create(old_state.name(), old_state.properties());
  if (text.size() > kMaxDiffLength) {
    return Status::Error(kPrefix + "length " + std::to_string(text.size()) +
                         " exceeds maximum of 4096");
  }
  if (!std::all_of(d.begin(), d.end(), is_diff_char)) {
    return Status::Error(kPrefix + "illegal character in '" + d + "'");
  }
  size_t sections_start = d.find_first_of("+-");
  auto name = apply_name_part(old_state.name(), std::string_view(d).substr(0, sections_start));
  if (!name.ok()) return name.status();
  if (name->size() > kMaxNameLength) return Status::Error(kPrefix + "new type name too long");

  std::vector<std::string> removed;
  std::vector<BlockState::Property> added;
  size_t pos = sections_start;
  while (pos != std::string::npos && pos < d.size()) {
    char sign = d[pos];
    size_t end = d.find_first_of("+-", pos + 1);
    std::string_view content = std::string_view(d).substr(
        pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
    size_t start = 0;
    while (true) {
      size_t comma = content.find(',', start);
      std::string_view piece = content.substr(
          start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
      if (sign == '-') {
        if (removed.size() == kMaxSectionEntries) {
          return Status::Error(kPrefix + "too many properties to remove");
        }
        removed.emplace_back(piece);
      } else if (size_t eq = piece.find('='); eq != std::string_view::npos) {
        if (added.size() == kMaxSectionEntries) {
          return Status::Error(kPrefix + "too many properties to add");
        }
        added.emplace_back(std::string(piece.substr(0, eq)), std::string(piece.substr(eq + 1)));
      }
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    pos = end;
  }

  std::vector<BlockState::Property> properties;
  for (const auto& pair : old_state.properties()) {
    bool dropped = std::find(removed.begin(), removed.end(), pair.first) != removed.end() ||
                   find_value(added, pair.first) != nullptr;
    if (!dropped) properties.push_back(pair);
  }
  properties.insert(properties.end(), std::make_move_iterator(added.begin()),
                    std::make_move_iterator(added.end()));
  return BlockState::create(std::move(*name), std::move(properties));
}

}  // namespace kubic
