#include "formats/kub/kub_base_finder.h"

#include <algorithm>
#include <optional>

#include "formats/kub/state_difference.h"

namespace kubic {

namespace {

// The namespace of "ns:type" with both parts non-empty and one ':'; other
// names get nothing and are always compared one by one.
std::optional<std::string_view> namespace_of(std::string_view name) {
  size_t colon = name.find(':');
  if (colon == 0 || colon == std::string_view::npos || colon + 1 == name.size() ||
      name.find(':', colon + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  return name.substr(0, colon);
}

bool has_repeated_key(const BlockState& state) {
  const auto& props = state.properties();
  for (size_t i = 0; i < props.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (props[i].first == props[j].first) return true;
    }
  }
  return false;
}

// A new state's pair as the length formula sees it: written as ",k=v"
// (|k| + |v| + 2) unless the base holds the same value.
struct NewPair {
  std::optional<uint32_t> key;  // nothing: no entry has this key
  std::optional<uint32_t> value;
  size_t weight;
};

}  // namespace

uint32_t KubBaseFinder::intern(const std::string& text) {
  auto [it, added] = ids_.emplace(text, uint32_t(lengths_.size()));
  if (added) lengths_.push_back(text.size());
  return it->second;
}

void KubBaseFinder::add(const StateRef& state) {
  size_t index = entries_.size();
  entries_.push_back(state);
  if (has_repeated_key(*state)) {
    irregular_.push_back(index);
    return;
  }
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  for (const auto& [key, value] : state->properties()) pairs.emplace_back(intern(key), intern(value));
  std::sort(pairs.begin(), pairs.end());
  std::vector<uint32_t> keys;
  Candidate candidate{index, {}};
  for (const auto& [key, value] : pairs) {
    keys.push_back(key);
    candidate.values.push_back(value);
  }
  auto [group_at, new_group] = by_keys_.emplace(keys, key_groups_.size());
  if (new_group) key_groups_.push_back({keys, {}, {}, {}});
  KeyGroup& group = key_groups_[group_at->second];
  auto [name_at, new_name] = group.by_name.emplace(state->name(), group.names.size());
  NameGroup& names = new_name ? group.names.emplace_back() : group.names[name_at->second];
  if (new_name) {
    names.name = state->name();
    names.ns = std::string(namespace_of(names.name).value_or(std::string_view()));
  }
  if (!names.ns.empty()) {
    auto& earliest = group.by_values[values_key(names.ns, candidate.values)];
    bool other_name = earliest.size() == 1 && entries_[earliest[0]]->name() != state->name();
    if (earliest.empty() || other_name) earliest.push_back(index);
  }
  names.candidates.push_back(std::move(candidate));
}

std::string KubBaseFinder::values_key(std::string_view ns, const std::vector<uint32_t>& values) {
  std::string key(ns);
  key.push_back(':');
  key.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(uint32_t));
  return key;
}

void KubBaseFinder::visit_exactly(const std::vector<size_t>& indices, const BlockState& state, Best& best) const {
  for (size_t index : indices) {
    size_t length = difference(*entries_[index], state).size();
    if (best.improves(length, index)) best = {length, index};
  }
}

size_t KubBaseFinder::find_plain(const BlockState& state) const {
  Best best;
  std::vector<size_t> all(entries_.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  visit_exactly(all, state, best);
  return best.index;
}

size_t KubBaseFinder::find(const BlockState& state) const {
  if (has_repeated_key(state)) return find_plain(state);
  std::vector<NewPair> pairs;
  for (const auto& [key, value] : state.properties()) {
    auto k = ids_.find(key);
    auto v = ids_.find(value);
    pairs.push_back({k == ids_.end() ? std::nullopt : std::optional<uint32_t>(k->second),
                     v == ids_.end() ? std::nullopt : std::optional<uint32_t>(v->second), key.size() + value.size() + 2});
  }
  // Keys no entry has are written whatever the base.
  size_t unknown = 0;
  std::erase_if(pairs, [&](const NewPair& pair) {
    if (pair.key) return false;
    unknown += pair.weight;
    return true;
  });
  std::sort(pairs.begin(), pairs.end(), [](const NewPair& a, const NewPair& b) { return *a.key < *b.key; });
  Best best;
  visit_exactly(irregular_, state, best);

  // Per key group: the length every member pays for keys it lacks or has
  // in excess, and the shared keys whose values decide the rest.
  struct Bounded {
    size_t fixed;
    size_t group;
    std::vector<std::pair<size_t, const NewPair*>> shared;  // position in the group's keys
  };
  std::vector<Bounded> bounded;
  bounded.reserve(key_groups_.size());
  for (size_t g = 0; g < key_groups_.size(); ++g) {
    const KeyGroup& group = key_groups_[g];
    Bounded b{unknown, g, {}};
    size_t i = 0;
    for (const NewPair& pair : pairs) {
      while (i < group.keys.size() && group.keys[i] < *pair.key) b.fixed += lengths_[group.keys[i++]] + 1;
      if (i < group.keys.size() && group.keys[i] == *pair.key) {
        b.shared.emplace_back(i++, &pair);
      } else {
        b.fixed += pair.weight;
      }
    }
    for (; i < group.keys.size(); ++i) b.fixed += lengths_[group.keys[i]] + 1;
    bounded.push_back(std::move(b));
  }
  std::sort(bounded.begin(), bounded.end(), [](const Bounded& a, const Bounded& b) { return a.fixed < b.fixed; });

  const auto new_ns = namespace_of(state.name());
  for (const Bounded& b : bounded) {
    // A name part is empty only for the same name; the bound allows that.
    if (b.fixed > best.length) break;
    const KeyGroup& group = key_groups_[b.group];
    // When every key of the group is shared and every new value known, the
    // earliest entry of another name of the namespace with all those values
    // is the best of that namespace's other names.
    bool all_known = new_ns && b.shared.size() == group.keys.size() &&
                     std::all_of(b.shared.begin(), b.shared.end(), [](const auto& s) { return s.second->value.has_value(); });
    if (all_known) {
      std::vector<uint32_t> values(group.keys.size());
      for (const auto& [position, pair] : b.shared) values[position] = *pair->value;
      auto found = group.by_values.find(values_key(*new_ns, values));
      if (found != group.by_values.end()) {
        for (size_t index : found->second) {
          if (entries_[index]->name() == state.name()) continue;
          size_t length = b.fixed + name_part_length(entries_[index]->name(), state.name());
          if (best.improves(length, index)) best = {length, index};
          break;
        }
      } else {
        all_known = false;
      }
    }
    for (const NameGroup& names : group.names) {
      if (all_known && names.ns == *new_ns && names.name != state.name()) continue;
      const size_t base = b.fixed + name_part_length(names.name, state.name());
      if (base > best.length) continue;
      for (const Candidate& candidate : names.candidates) {
        size_t length = base;
        for (const auto& [position, pair] : b.shared) {
          if (!pair->value || candidate.values[position] != *pair->value) length += pair->weight;
        }
        if (best.improves(length, candidate.index)) best = {length, candidate.index};
      }
    }
  }
  return best.index;
}

}  // namespace kubic
