#include "blocks/bedrock_blocks.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

#include "blocks/block_tables.h"
#include "blocks/game_versions.h"
#include "blocks/version_conversion.h"
#include "common/text_util.h"

namespace kubic {

namespace {

constexpr std::string_view kNamespace = "minecraft:";
constexpr uint32_t kNone = 0xFFFFFFFF;

struct BedrockBlockRow {
  std::string_view name;
  std::string_view keys;  // "key:type=value|value;..."
};
constexpr BedrockBlockRow kBedrockBlocks[] = {
#include "blocks/bedrock_blocks.inc"
};

struct ToJavaRow {
  uint32_t bedrock;
  uint16_t java_block;
  uint16_t java_number;
};
constexpr ToJavaRow kToJava[] = {
#include "blocks/bedrock_to_java.inc"
};

struct OlderRow {
  std::string_view text;
  uint16_t java_block;
  uint16_t java_number;
  std::string_view java_text;  // of an earlier version, when not a 1.21.1 state
  int8_t java_table = -1;
};
constexpr OlderRow kOlder[] = {
#include "blocks/bedrock_older_states.inc"
};

struct JavaBlockStart {
  std::string_view name;
  uint32_t start;
};
constexpr JavaBlockStart kJavaStarts[] = {
#include "blocks/bedrock_from_java_blocks.inc"
};
constexpr uint32_t kFromJava[] = {
#include "blocks/bedrock_from_java.inc"
};

struct BedrockKey {
  std::string_view key;
  char type;
  std::vector<std::string_view> values;
};

struct BedrockBlock {
  std::string_view name;
  std::vector<BedrockKey> keys;
  uint32_t start;
  uint32_t count;
};

struct Tables {
  std::vector<BedrockBlock> blocks;  // by name
  std::unordered_map<uint32_t, const ToJavaRow*> to_java;
  int java_table;

  Tables() : java_table(*block_table_of(kBedrockJavaDataVersion)) {
    uint32_t start = 0;
    for (const BedrockBlockRow& row : kBedrockBlocks) {
      BedrockBlock block{row.name, {}, start, 1};
      for (std::string_view entry : split_text(row.keys, ';')) {
        // Keys may hold a ':' themselves ("minecraft:cardinal_direction").
        const size_t equals = entry.find('='), colon = entry.rfind(':', equals);
        block.keys.push_back({entry.substr(0, colon), entry[colon + 1], split_text(entry.substr(equals + 1), '|')});
        block.count *= uint32_t(block.keys.back().values.size());
      }
      start += block.count;
      blocks.push_back(std::move(block));
    }
    for (const ToJavaRow& row : kToJava) to_java.emplace(row.bedrock, &row);
  }

  const BedrockBlock* block(std::string_view name) const {
    const auto found = std::lower_bound(blocks.begin(), blocks.end(), name,
                                        [](const BedrockBlock& b, std::string_view n) { return b.name < n; });
    return found != blocks.end() && found->name == name ? &*found : nullptr;
  }

  // The number of a 1.21.0 state.
  std::optional<uint32_t> number_of(const BedrockState& state) const {
    if (!state.name.starts_with(kNamespace)) return std::nullopt;
    const BedrockBlock* found = block(std::string_view(state.name).substr(kNamespace.size()));
    if (!found || found->keys.size() != state.values.size()) return std::nullopt;
    uint32_t number = 0;
    for (size_t i = 0; i < found->keys.size(); ++i) {
      const BedrockKey& key = found->keys[i];
      if (key.key != state.values[i].key) return std::nullopt;
      const auto at = std::find(key.values.begin(), key.values.end(), state.values[i].value);
      if (at == key.values.end()) return std::nullopt;
      number = number * uint32_t(key.values.size()) + uint32_t(at - key.values.begin());
    }
    return found->start + number;
  }

  BedrockState state_of(uint32_t number) const {
    const auto found = std::upper_bound(blocks.begin(), blocks.end(), number,
                                        [](uint32_t n, const BedrockBlock& b) { return n < b.start; }) - 1;
    BedrockState state{std::string(kNamespace) + std::string(found->name), {}};
    uint32_t rest = number - found->start;
    state.values.resize(found->keys.size());
    for (size_t i = found->keys.size(); i-- > 0;) {
      const BedrockKey& key = found->keys[i];
      const uint32_t count = uint32_t(key.values.size());
      state.values[i] = {std::string(key.key), key.type, std::string(key.values[rest % count])};
      rest /= count;
    }
    return state;
  }
};

const Tables& tables() {
  static const Tables instance;
  return instance;
}

// "name[key=value,...]" without the namespace, as the older tables write it.
std::string older_text(const BedrockState& state) {
  std::string text(std::string_view(state.name).substr(state.name.starts_with(kNamespace) ? kNamespace.size() : 0));
  text += '[';
  for (size_t i = 0; i < state.values.size(); ++i) {
    if (i) text += ',';
    text += state.values[i].key + "=" + state.values[i].value;
  }
  return text + "]";
}

// The Java 1.21.1 state with number `number` of the table's block `block`.
StateRef java_state(uint16_t block, uint32_t number) {
  const TableBlock& entry = table_blocks(tables().java_table)[block];
  std::vector<BlockState::Property> properties(entry.schema->properties.size());
  for (size_t i = entry.schema->properties.size(); i-- > 0;) {
    const BlockProperty& property = entry.schema->properties[i];
    const uint32_t count = uint32_t(property.values.size());
    properties[i] = {std::string(property.key), std::string(property.values[number % count])};
    number /= count;
  }
  std::sort(properties.begin(), properties.end());
  return BlockState::create(std::string(kNamespace) + std::string(entry.name), std::move(properties));
}

// The number of a Java 1.21.1 state among its block's, and the block's
// place in the table; nothing for a state the table does not have.
std::optional<std::pair<size_t, uint32_t>> java_number(const BlockState& state) {
  if (!state.name().starts_with(kNamespace)) return std::nullopt;
  const std::string_view name = std::string_view(state.name()).substr(kNamespace.size());
  const auto blocks = table_blocks(tables().java_table);
  const auto found = std::lower_bound(blocks.begin(), blocks.end(), name,
                                      [](const TableBlock& b, std::string_view n) { return b.name < n; });
  if (found == blocks.end() || found->name != name) return std::nullopt;
  if (found->schema->properties.size() != state.properties().size()) return std::nullopt;
  uint32_t number = 0;
  for (const BlockProperty& property : found->schema->properties) {
    const auto given = std::find_if(state.properties().begin(), state.properties().end(),
                                    [&](const auto& entry) { return entry.first == property.key; });
    if (given == state.properties().end()) return std::nullopt;
    const auto at = std::find(property.values.begin(), property.values.end(), given->second);
    if (at == property.values.end()) return std::nullopt;
    number = number * uint32_t(property.values.size()) + uint32_t(at - property.values.begin());
  }
  return std::pair{size_t(found - blocks.begin()), number};
}

}  // namespace

std::optional<StateRef> java_of_bedrock(const BedrockState& state) {
  const Tables& all = tables();
  if (const auto number = all.number_of(state)) {
    const auto row = all.to_java.find(*number);
    if (row != all.to_java.end()) return java_state(row->second->java_block, row->second->java_number);
  }
  const std::string text = older_text(state);
  const auto older = std::lower_bound(std::begin(kOlder), std::end(kOlder), text,
                                      [](const OlderRow& row, const std::string& t) { return row.text < t; });
  if (older == std::end(kOlder) || older->text != text) return std::nullopt;
  if (older->java_text.empty()) return java_state(older->java_block, older->java_number);
  auto java = BlockState::from_string(older->java_text);
  if (!java.ok()) return std::nullopt;
  const ConvertedState converted = convert_state(*java, older->java_table, all.java_table);
  if (converted.outcome == StateOutcome::kNoEquivalent || converted.outcome == StateOutcome::kUnknown) {
    return std::nullopt;
  }
  return converted.state;
}

std::optional<BedrockState> bedrock_of_java(const BlockState& state) {
  const auto number = java_number(state);
  if (!number) return std::nullopt;
  const uint32_t bedrock = kFromJava[kJavaStarts[number->first].start + number->second];
  if (bedrock == kNone) return std::nullopt;
  return tables().state_of(bedrock);
}

bool is_bedrock_block(std::string_view name) {
  return name.starts_with(kNamespace) && tables().block(name.substr(kNamespace.size()));
}

char bedrock_value_type(std::string_view name, std::string_view key) {
  if (name.starts_with(kNamespace)) name.remove_prefix(kNamespace.size());
  const BedrockBlock* block = tables().block(name);
  if (!block) return 0;
  for (const BedrockKey& entry : block->keys) {
    if (entry.key == key) return entry.type;
  }
  return 0;
}

}  // namespace kubic
