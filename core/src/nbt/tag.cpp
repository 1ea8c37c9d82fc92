#include "nbt/tag.h"

namespace kubic {

namespace {
constexpr size_t kIndexThreshold = 16;
constexpr size_t kNotFound = SIZE_MAX;
}  // namespace

const char* tag_type_name(TagType type) {
  static const char* const kNames[] = {"End",    "Byte",     "Short",  "Int",      "Long",
                                       "Float",  "Double",   "ByteArray", "String", "List",
                                       "Compound", "IntArray", "LongArray"};
  return uint8_t(type) <= kMaxTagType ? kNames[uint8_t(type)] : "Unknown";
}

Compound::Compound() = default;
Compound::Compound(const Compound&) = default;
Compound::Compound(Compound&&) noexcept = default;
Compound& Compound::operator=(const Compound&) = default;
Compound& Compound::operator=(Compound&&) noexcept = default;
Compound::~Compound() = default;

size_t Compound::find(std::string_view name) const {
  if (!index_.empty()) {
    auto it = index_.find(std::string(name));
    return it == index_.end() ? kNotFound : it->second;
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].name == name) return i;
  }
  return kNotFound;
}

const Tag* Compound::get(std::string_view name) const {
  size_t i = find(name);
  return i == kNotFound ? nullptr : &entries_[i].value;
}

std::optional<Tag> Compound::take(std::string_view name) {
  size_t i = find(name);
  if (i == kNotFound) return std::nullopt;
  Tag value = std::move(entries_[i].value);
  entries_.erase(entries_.begin() + std::ptrdiff_t(i));
  if (!index_.empty()) {
    index_.clear();
    if (entries_.size() >= kIndexThreshold) {
      for (size_t k = 0; k < entries_.size(); ++k) index_.emplace(entries_[k].name, k);
    }
  }
  return value;
}

Tag* Compound::get(std::string_view name) {
  size_t i = find(name);
  return i == kNotFound ? nullptr : &entries_[i].value;
}

void Compound::put(std::string name, Tag value) {
  size_t i = find(name);
  if (i != kNotFound) {
    entries_[i].value = std::move(value);
    return;
  }
  entries_.push_back({std::move(name), std::move(value)});
  if (!index_.empty()) {
    index_.emplace(entries_.back().name, entries_.size() - 1);
  } else if (entries_.size() == kIndexThreshold) {
    for (size_t k = 0; k < entries_.size(); ++k) index_.emplace(entries_[k].name, k);
  }
}

std::optional<int32_t> Tag::int_value() const {
  if (const auto* v = as<int32_t>()) return *v;
  if (const auto* v = as<int16_t>()) return *v;
  if (const auto* v = as<int8_t>()) return *v;
  return std::nullopt;
}

}  // namespace kubic
