#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/block_state.h"

namespace kubic {

// Finds the base of a kub diff entry: the earliest palette entry whose
// difference to a new state is shortest. Comparing with every entry is
// quadratic in the palette (minutes for the 24,000 states of a full-palette
// schematic); this groups entries by property keys and name, bounds each
// group's shortest difference from what it shares with the new state, and
// visits groups in order of their bound until none can do better. The
// answer is the plain search's, ties included.
class KubBaseFinder {
 public:
  // Entries are added in definition order.
  void add(const StateRef& state);
  // Index of the earliest entry with the shortest difference to `state`.
  // Requires: at least one entry.
  size_t find(const BlockState& state) const;

 private:
  struct Candidate {
    size_t index;
    std::vector<uint32_t> values;  // value ids, in the key group's key order
  };
  struct NameGroup {
    std::string name;
    std::string ns;  // of `name`, when it is well formed ("ns:type")
    std::vector<Candidate> candidates;
  };
  struct KeyGroup {
    std::vector<uint32_t> keys;  // ascending key ids
    std::vector<NameGroup> names;
    std::unordered_map<std::string, size_t> by_name;
    // By namespace and values: the earliest entries, of two names at most.
    // Names of one namespace differ from a new name by the same name part,
    // so an entry with all the new values is the best of them.
    std::unordered_map<std::string, std::vector<size_t>> by_values;
  };
  struct Best {
    size_t length = SIZE_MAX;
    size_t index = SIZE_MAX;
    bool improves(size_t l, size_t i) const { return l < length || (l == length && i < index); }
  };

  uint32_t intern(const std::string& text);
  size_t find_plain(const BlockState& state) const;
  static std::string values_key(std::string_view ns, const std::vector<uint32_t>& values);
  void visit_exactly(const std::vector<size_t>& indices, const BlockState& state, Best& best) const;

  std::vector<StateRef> entries_;
  std::vector<KeyGroup> key_groups_;
  std::map<std::vector<uint32_t>, size_t> by_keys_;
  // Entries with a repeated key, which the length formula does not cover.
  std::vector<size_t> irregular_;
  std::unordered_map<std::string, uint32_t> ids_;
  std::vector<size_t> lengths_;  // by id
};

}  // namespace kubic
