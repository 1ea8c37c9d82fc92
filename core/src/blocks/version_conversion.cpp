#include "blocks/version_conversion.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "blocks/block_tables.h"
#include "blocks/game_versions.h"
#include "blocks/version_rules.h"
#include "common/text_util.h"

namespace kubic {

namespace {

constexpr std::string_view kNamespace = "minecraft:";

// The rules of each step, by the number of the newer table.
struct StepRules {
  std::vector<const BlockRename*> renames;
  std::vector<const ValueMapping*> mappings;
  std::vector<const CustomRule*> customs;
};

int table_of_release(std::string_view release) { return block_table_of(*data_version_of(release)).value_or(0); }

const std::vector<StepRules>& step_rules() {
  static const std::vector<StepRules> steps = [] {
    std::vector<StepRules> all(static_cast<size_t>(block_table_count()));
    for (const BlockRename& rule : block_renames()) all[size_t(table_of_release(rule.release))].renames.push_back(&rule);
    for (const ValueMapping& rule : value_mappings()) {
      all[size_t(table_of_release(rule.release))].mappings.push_back(&rule);
    }
    for (const CustomRule& rule : custom_rules()) all[size_t(table_of_release(rule.release))].customs.push_back(&rule);
    return all;
  }();
  return steps;
}

// The value `pairs` ("a>b,c>d") gives `value`; "*" stands for any.
std::optional<std::string_view> mapped_value(std::string_view pairs, std::string_view value, bool allowed) {
  for (std::string_view pair : split_text(pairs, ',')) {
    const size_t arrow = pair.find('>');
    const std::string_view from = pair.substr(0, arrow);
    if (from == value || (from == "*" && !allowed)) return pair.substr(arrow + 1);
  }
  return std::nullopt;
}

// Applies a value mapping's pairs to the keys it names; `target` is the
// state's block in the version it is going to, for "*".
void map_values(StateParts& state, const ValueMapping& rule, std::string_view pairs, const BlockSchema* target) {
  for (std::string_view key : split_text(rule.keys, ',')) {
    const auto found = state.properties.find(key);
    if (found == state.properties.end()) continue;
    const BlockProperty* property = target ? target->find(found->first) : nullptr;
    const bool allowed = property && property->allows(found->second);
    if (const auto value = mapped_value(pairs, found->second, allowed)) found->second = *value;
  }
}

// Makes `state` one of `schema`: properties it lacks go, missing ones take
// their default. A value the schema does not allow fails, unless `lenient`,
// when it takes the default.
bool fit(StateParts& state, const BlockSchema& schema, bool lenient) {
  std::erase_if(state.properties, [&](const auto& entry) { return !schema.find(entry.first); });
  for (const BlockProperty& property : schema.properties) {
    auto [entry, added] = state.properties.try_emplace(std::string(property.key), property.default_value());
    if (added || property.allows(entry->second)) continue;
    if (!lenient) return false;
    entry->second = property.default_value();
  }
  return true;
}

// One step up, from table `table - 1` to `table`.
bool step_up(StateParts& state, int table) {
  const StepRules& rules = step_rules()[size_t(table)];
  for (const CustomRule* rule : rules.customs) {
    if (rule->older == state.name && rule->up) rule->up(state);
  }
  const BlockSchema* target = find_block(table, state.name);
  for (const ValueMapping* rule : rules.mappings) {
    if (names_block(rule->blocks, state.name)) map_values(state, *rule, rule->up, target);
  }
  for (const BlockRename* rule : rules.renames) {
    if (rule->older == state.name) {
      state.name = rule->newer;
      break;
    }
  }
  const BlockSchema* schema = find_block(table, state.name);
  return schema && fit(state, *schema, false);
}

// One step down, from table `table` to `table - 1`.
bool step_down(StateParts& state, int table) {
  const StepRules& rules = step_rules()[size_t(table)];
  for (const CustomRule* rule : rules.customs) {
    if (rule->newer == state.name && rule->down) rule->down(state);
  }
  for (const BlockRename* rule : rules.renames) {
    if (rule->older == state.name) return false;  // another block under an old name
    if (rule->newer == state.name) {
      state.name = rule->older;
      break;
    }
  }
  const BlockSchema* target = find_block(table - 1, state.name);
  for (const ValueMapping* rule : rules.mappings) {
    if (names_block(rule->blocks, state.name)) map_values(state, *rule, rule->down, target);
  }
  return target && fit(state, *target, false);
}

StateParts parts_of(const BlockState& state) {
  StateParts parts{state.name().substr(kNamespace.size()), {}};
  for (const auto& [key, value] : state.properties()) parts.properties[key] = value;
  return parts;
}

StateRef state_of(const StateParts& parts) {
  std::vector<BlockState::Property> properties(parts.properties.begin(), parts.properties.end());
  return BlockState::create(std::string(kNamespace) + parts.name, std::move(properties));
}

}  // namespace

ConvertedState convert_state(const StateRef& state, int from, int to) {
  const BlockSchema* source = state->name().starts_with(kNamespace)
                                  ? find_block(from, std::string_view(state->name()).substr(kNamespace.size()))
                                  : nullptr;
  if (!source) return {state, StateOutcome::kUnknown};
  StateParts parts = parts_of(*state);
  fit(parts, *source, true);
  for (int table = from; table < to; ++table) {
    if (!step_up(parts, table + 1)) return {state, StateOutcome::kNoEquivalent};
  }
  for (int table = from; table > to; --table) {
    if (!step_down(parts, table)) return {state, StateOutcome::kNoEquivalent};
  }
  if (parts == parts_of(*state)) return {state, StateOutcome::kSame};
  return {state_of(parts), StateOutcome::kChanged};
}

}  // namespace kubic
