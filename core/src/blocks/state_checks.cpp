#include "blocks/state_checks.h"

#include <algorithm>
#include <string>
#include <vector>

#include "blocks/block_tables.h"
#include "blocks/game_versions.h"

namespace kubic {

namespace {

constexpr std::string_view kNamespace = "minecraft:";

// The table's entry for a minecraft block; null for other namespaces.
const BlockSchema* schema_of(std::string_view name, int table) {
  if (!name.starts_with(kNamespace)) return nullptr;
  return find_block(table, name.substr(kNamespace.size()));
}

std::string version_of(int table) { return std::string(first_release_of_table(table).name); }

}  // namespace

Status check_block_name(std::string_view name, int table) {
  if (!name.starts_with(kNamespace) || schema_of(name, table)) return Status::Ok();
  return Status::Error("'" + std::string(name) + "' is not a block of Minecraft " + version_of(table));
}

Status check_state(const BlockState& state, int table) {
  KUBIC_RETURN_IF_ERROR(check_block_name(state.name(), table));
  const BlockSchema* schema = schema_of(state.name(), table);
  if (!schema) return Status::Ok();
  const std::string text = state.to_string();
  for (const auto& [key, value] : state.properties()) {
    const BlockProperty* property = schema->find(key);
    if (!property) return Status::Error("'" + text + "' cannot exist: " + state.name() + " has no property '" + key + "'");
    if (!property->allows(value)) return Status::Error("'" + text + "' cannot exist: " + key + " cannot be " + value);
  }
  for (const BlockProperty& property : schema->properties) {
    const bool given = std::any_of(state.properties().begin(), state.properties().end(),
                                   [&](const auto& entry) { return entry.first == property.key; });
    if (!given) {
      return Status::Error("'" + text + "' cannot exist: it needs '" + std::string(property.key) + "'");
    }
  }
  return Status::Ok();
}

StateRef state_as_block(const BlockState& state, std::string_view name, int table) {
  const BlockSchema* schema = schema_of(name, table);
  if (!schema) return BlockState::create(std::string(name), state.properties());
  std::vector<BlockState::Property> properties;
  for (const BlockProperty& property : schema->properties) {
    std::string value(property.default_value());
    for (const auto& [key, given] : state.properties()) {
      if (key == property.key && property.allows(given)) value = given;
    }
    properties.emplace_back(std::string(property.key), std::move(value));
  }
  std::sort(properties.begin(), properties.end());
  return BlockState::create(std::string(name), std::move(properties));
}

}  // namespace kubic
