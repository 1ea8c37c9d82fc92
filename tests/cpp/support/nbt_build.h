#pragma once

#include <memory>
#include <string>
#include <vector>

#include "io/memory_stream.h"
#include "nbt/nbt_writer.h"
#include "nbt/tag.h"

namespace kubic::testing {

// Small builders for NBT documents in tests.
template <typename... Items>
Tag list_tag(TagType type, Items... items) {
  ListTag list{type, {}};
  (list.items.push_back(std::move(items)), ...);
  return Tag{std::move(list)};
}

inline Tag ints(int32_t x, int32_t y, int32_t z) {
  return list_tag(TagType::Int, Tag{x}, Tag{y}, Tag{z});
}

inline Tag compound(std::vector<std::pair<std::string, Tag>> entries) {
  Compound c;
  for (auto& [name, tag] : entries) c.put(name, std::move(tag));
  return Tag{std::move(c)};
}

inline std::vector<uint8_t> encode_document(Tag root, const std::string& name = "") {
  auto out = std::make_shared<std::vector<uint8_t>>();
  MemorySink sink(out);
  (void)encode_nbt(NamedTag{name, std::move(root)}, sink);
  return *out;
}

}  // namespace kubic::testing
