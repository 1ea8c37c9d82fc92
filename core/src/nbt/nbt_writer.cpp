#include "nbt/nbt_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "nbt/mutf8.h"

namespace kubic {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

NbtWriter::NbtWriter(ByteSink& sink, std::span<const ProducedArray> produced, ByteOrder order)
    : sink_(sink), produced_(produced), order_(order) {
  buffer_.reserve(kBufferSize + 64);
}

void NbtWriter::append(const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (length >= kBufferSize) {
    // A large array goes straight to the sink: copying it through the
    // buffer would cost as much as the rest of the document.
    drain();
    if (status_.ok()) status_ = write_all(sink_, bytes, length);
    return;
  }
  buffer_.insert(buffer_.end(), bytes, bytes + length);
  if (buffer_.size() >= kBufferSize) drain();
}

void NbtWriter::drain() {
  if (status_.ok() && !buffer_.empty()) status_ = write_all(sink_, buffer_.data(), buffer_.size());
  buffer_.clear();
}

void NbtWriter::tag_header(TagType type, std::string_view name) {
  put(uint8_t(type));
  string(name);
}

void NbtWriter::string(std::string_view utf8) {
  // Bedrock's strings are plain UTF-8.
  std::string encoded = order_ == ByteOrder::kLittleEndian ? std::string(utf8) : encode_modified_utf8(utf8);
  if (encoded.size() > 0xFFFF) {
    if (status_.ok()) {
      status_ = Status::Error("string of " + std::to_string(encoded.size()) +
                              " bytes is too long for NBT");
    }
    encoded.clear();
  }
  put(uint16_t(encoded.size()));
  append(encoded.data(), encoded.size());
}

void NbtWriter::list_header(TagType element_type, int32_t length) {
  put(uint8_t(element_type));
  put(length);
}

void NbtWriter::byte_array(const std::vector<int8_t>& values) {
  put(int32_t(values.size()));
  append(values.data(), values.size());
}

template <typename T>
void NbtWriter::numbers(const std::vector<T>& values) {
  put(int32_t(values.size()));
  in_order(std::span<const T>(values));
}

// Numbers in the document's order in blocks: one append per block, not per
// number; a block fills the buffer, so it goes straight on to the sink.
template <typename T>
void NbtWriter::in_order(std::span<const T> values) {
  constexpr size_t kBlock = kBufferSize / sizeof(T);
  T block[kBlock];
  for (size_t start = 0; start < values.size(); start += kBlock) {
    const size_t n = std::min(kBlock, values.size() - start);
    for (size_t i = 0; i < n; ++i) {
      block[i] = in_byte_order(values[start + i], order_);
    }
    append(block, n * sizeof(T));
  }
}

void NbtWriter::int_array(const std::vector<int32_t>& values) { numbers(values); }

void NbtWriter::long_array(const std::vector<int64_t>& values) { numbers(values); }

void NbtWriter::long_elements(std::span<const uint64_t> values) { in_order(values); }

void NbtWriter::int_elements(std::span<const int32_t> values) { in_order(values); }

void NbtWriter::payload(const Tag& tag) {
  for (const ProducedArray& array : produced_) {
    if (array.placeholder != &tag) continue;
    Status written = array.write(*this);
    if (status_.ok()) status_ = std::move(written);
    return;
  }
  std::visit(
      [this](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
        } else if constexpr (std::is_same_v<T, std::vector<int8_t>>) {
          byte_array(v);
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
          int_array(v);
        } else if constexpr (std::is_same_v<T, std::vector<int64_t>>) {
          long_array(v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          string(v);
        } else if constexpr (std::is_same_v<T, ListTag>) {
          list_header(v.element_type, int32_t(v.items.size()));
          for (const Tag& item : v.items) payload(item);
        } else if constexpr (std::is_same_v<T, Compound>) {
          for (const CompoundEntry& e : v.entries()) {
            tag_header(e.value.type(), e.name);
            payload(e.value);
          }
          compound_end();
        } else {
          put(v);
        }
      },
      tag.value);
}

Status NbtWriter::finish() {
  drain();
  return status_;
}

Status encode_nbt(const NamedTag& document, ByteSink& sink, std::span<const ProducedArray> produced,
                  ByteOrder order) {
  NbtWriter writer(sink, produced, order);
  writer.tag_header(document.tag.type(), document.name);
  writer.payload(document.tag);
  return writer.finish();
}

}  // namespace kubic
