#include "blocks/version_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "blocks/block_tables.h"
#include "blocks/game_versions.h"
#include "common/text_util.h"

namespace kubic {
namespace {

bool lists(std::string_view keys, std::string_view key) {
  const auto parts = split_text(keys, ',');
  return std::find(parts.begin(), parts.end(), key) != parts.end();
}

std::string_view release_of_step(int table) { return first_release_of_table(table).name; }

bool renamed(int table, std::string_view older, std::string_view newer) {
  return std::any_of(block_renames().begin(), block_renames().end(), [&](const BlockRename& rule) {
    return rule.release == release_of_step(table) && (rule.older == older || rule.newer == newer);
  });
}

// A custom rule of the step for `block` that settles `key`.
bool settled(int table, std::string_view block, std::string_view key) {
  return std::any_of(custom_rules().begin(), custom_rules().end(), [&](const CustomRule& rule) {
    return rule.release == release_of_step(table) && (rule.older == block || rule.newer == block) &&
           lists(rule.keys, key);
  });
}

bool new_property(int table, std::string_view block, std::string_view key) {
  return std::any_of(new_properties().begin(), new_properties().end(), [&](const NewProperty& rule) {
    return rule.release == release_of_step(table) && names_block(rule.blocks, block) && rule.key == key;
  });
}

// A value mapping of the step for the block's key, with pairs that way.
bool mapped(int table, std::string_view block, std::string_view key, bool up) {
  return std::any_of(value_mappings().begin(), value_mappings().end(), [&](const ValueMapping& rule) {
    return rule.release == release_of_step(table) && names_block(rule.blocks, block) && lists(rule.keys, key) &&
           !(up ? rule.up : rule.down).empty();
  });
}

std::set<std::string_view> values_of(const BlockProperty& property) {
  return {property.values.begin(), property.values.end()};
}

// Every difference between two consecutive tables is one the rules handle:
// a block gone is renamed; a property that came is declared new or settled
// by a custom rule, as is one that went unless its block goes too; values
// that came need a way down, values that went a way up.
TEST(VersionRulesTest, EveryDifferenceBetweenConsecutiveTablesHasARule) {
  std::vector<std::string> uncovered;
  for (int table = 1; table < block_table_count(); ++table) {
    const std::string step = std::string(release_of_step(table)) + ": ";
    for (const TableBlock& block : table_blocks(table - 1)) {
      const BlockSchema* newer = find_block(table, block.name);
      if (!newer) {
        if (!renamed(table, block.name, {})) uncovered.push_back(step + std::string(block.name) + " went");
        continue;
      }
      for (const BlockProperty& property : block.schema->properties) {
        const BlockProperty* now = newer->find(property.key);
        const std::string what = step + std::string(block.name) + "." + std::string(property.key);
        if (!now) {
          if (!settled(table, block.name, property.key)) uncovered.push_back(what + " went");
          continue;
        }
        const auto before = values_of(property), after = values_of(*now);
        const bool gained = !std::includes(before.begin(), before.end(), after.begin(), after.end());
        const bool lost = !std::includes(after.begin(), after.end(), before.begin(), before.end());
        const bool custom = settled(table, block.name, property.key);
        if (gained && !custom && !mapped(table, block.name, property.key, false)) {
          uncovered.push_back(what + " gained values");
        }
        if (lost && !custom && !mapped(table, block.name, property.key, true)) {
          uncovered.push_back(what + " lost values");
        }
      }
      for (const BlockProperty& property : newer->properties) {
        if (!block.schema->find(property.key) && !new_property(table, block.name, property.key) &&
            !settled(table, block.name, property.key)) {
          uncovered.push_back(step + std::string(block.name) + "." + std::string(property.key) + " came");
        }
      }
    }
  }
  EXPECT_EQ(uncovered, std::vector<std::string>{});
}

TEST(VersionRulesTest, EveryRuleBelongsToTheFirstReleaseOfATable) {
  std::vector<std::string_view> releases;
  for (const BlockRename& rule : block_renames()) releases.push_back(rule.release);
  for (const NewProperty& rule : new_properties()) releases.push_back(rule.release);
  for (const ValueMapping& rule : value_mappings()) releases.push_back(rule.release);
  for (const CustomRule& rule : custom_rules()) releases.push_back(rule.release);
  for (std::string_view release : releases) {
    const auto version = data_version_of(release);
    ASSERT_TRUE(version) << release;
    EXPECT_EQ(first_release_of_table(*block_table_of(*version)).name, release);
  }
}

}  // namespace
}  // namespace kubic
