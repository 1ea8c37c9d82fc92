#include "blocks/block_tables.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "common/text_util.h"

namespace kubic {

namespace {

constexpr std::string_view kPropertyTexts[] = {
#include "blocks/block_properties.inc"
};

// A block with the same properties over a run of tables.
struct BlockSpan {
  std::string_view name;
  uint8_t first_table;
  uint8_t last_table;
  uint16_t properties;  // index into kPropertyTexts
};

constexpr BlockSpan kSpans[] = {
#include "blocks/block_spans.inc"
};

// "key=default,value;key=..." as a schema.
BlockSchema parse_schema(std::string_view text) {
  BlockSchema schema;
  for (std::string_view entry : split_text(text, ';')) {
    const size_t equals = entry.find('=');
    schema.properties.push_back({entry.substr(0, equals), split_text(entry.substr(equals + 1), ',')});
  }
  return schema;
}

struct Tables {
  std::vector<BlockSchema> schemas;
  std::vector<std::vector<TableBlock>> blocks;  // per table, sorted by name
  int count = 0;

  Tables() {
    for (std::string_view text : kPropertyTexts) schemas.push_back(parse_schema(text));
    for (const BlockSpan& span : kSpans) count = std::max(count, span.last_table + 1);
    blocks.resize(size_t(count));
    for (const BlockSpan& span : kSpans) {
      for (int table = span.first_table; table <= span.last_table; ++table) {
        blocks[size_t(table)].push_back({span.name, &schemas[span.properties]});
      }
    }
    for (auto& table : blocks) {
      std::sort(table.begin(), table.end(), [](const TableBlock& a, const TableBlock& b) { return a.name < b.name; });
    }
  }
};

const Tables& tables() {
  static const Tables instance;
  return instance;
}

}  // namespace

bool BlockProperty::allows(std::string_view value) const {
  return std::find(values.begin(), values.end(), value) != values.end();
}

const BlockProperty* BlockSchema::find(std::string_view key) const {
  const auto found =
      std::find_if(properties.begin(), properties.end(), [&](const BlockProperty& p) { return p.key == key; });
  return found == properties.end() ? nullptr : &*found;
}

int block_table_count() { return tables().count; }

std::span<const TableBlock> table_blocks(int table) {
  if (table < 0 || table >= tables().count) return {};
  return tables().blocks[size_t(table)];
}

const BlockSchema* find_block(int table, std::string_view name) {
  const auto blocks = table_blocks(table);
  const auto found = std::lower_bound(blocks.begin(), blocks.end(), name,
                                      [](const TableBlock& block, std::string_view n) { return block.name < n; });
  return found != blocks.end() && found->name == name ? found->schema : nullptr;
}

}  // namespace kubic
