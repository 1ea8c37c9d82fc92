#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace kubic {

enum class TagType : uint8_t {
  End = 0, Byte, Short, Int, Long, Float, Double, ByteArray, String, List, Compound, IntArray,
  LongArray,
};
constexpr uint8_t kMaxTagType = 12;

const char* tag_type_name(TagType type);

struct Tag;
struct CompoundEntry;

struct ListTag {
  TagType element_type = TagType::End;
  std::vector<Tag> items;
};

// Entries in insertion order, so that encoding is deterministic; lookups by
// name stay cheap through an index once the compound grows.
class Compound {
 public:
  Compound();
  Compound(const Compound&);
  Compound(Compound&&) noexcept;
  Compound& operator=(const Compound&);
  Compound& operator=(Compound&&) noexcept;
  ~Compound();

  const Tag* get(std::string_view name) const;
  Tag* get(std::string_view name);
  // The value of the entry `name` when it holds a T; null otherwise.
  template <typename T>
  const T* get_as(std::string_view name) const;
  // Adds an entry; a name already present keeps its place and takes the value.
  void put(std::string name, Tag value);
  // Removes an entry and hands back its value, if there was one.
  std::optional<Tag> take(std::string_view name);

  const std::vector<CompoundEntry>& entries() const { return entries_; }
  size_t size() const;

 private:
  size_t find(std::string_view name) const;

  std::vector<CompoundEntry> entries_;
  std::unordered_map<std::string, size_t> index_;
};

struct Tag {
  using Value = std::variant<std::monostate, int8_t, int16_t, int32_t, int64_t, float, double,
                             std::vector<int8_t>, std::string, ListTag, Compound,
                             std::vector<int32_t>, std::vector<int64_t>>;
  Value value;

  TagType type() const { return TagType(value.index()); }
  template <typename T>
  const T* as() const {
    return std::get_if<T>(&value);
  }
  // A Byte, Short or Int widened; nothing for any other tag.
  std::optional<int32_t> int_value() const;
};

struct CompoundEntry {
  std::string name;
  Tag value;
};

inline size_t Compound::size() const { return entries_.size(); }

// A document: the root tag with its name.
struct NamedTag {
  std::string name;
  Tag tag;
};

template <typename T>
const T* Compound::get_as(std::string_view name) const {
  const Tag* tag = get(name);
  return tag ? tag->as<T>() : nullptr;
}

}  // namespace kubic
