#pragma once

#include <bit>
#include <cstring>
#include <functional>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/status.h"
#include "io/byte_stream.h"
#include "nbt/byte_order.h"
#include "nbt/tag.h"

namespace kubic {

struct ProducedArray;

// Writes NBT straight into a byte sink, in order: tag headers, payloads,
// list headers and compound ends. Output is gathered in a local buffer;
// the first failure (a string too long, a sink error) sticks and is
// returned by finish(), which writes out what remains.
class NbtWriter {
 public:
  // `produced`: arrays written by their producers where the document holds
  // their placeholders.
  explicit NbtWriter(ByteSink& sink, std::span<const ProducedArray> produced = {},
                     ByteOrder order = ByteOrder::kBigEndian);

  // A named tag's header: its type and name (compound entries, the root).
  void tag_header(TagType type, std::string_view name);
  void byte(int8_t v) { put(v); }
  void int_(int32_t v) { put(v); }
  void long_(int64_t v) { put(v); }
  void double_(double v) { put(v); }
  void string(std::string_view utf8);
  void list_header(TagType element_type, int32_t length);
  void compound_end() { put(uint8_t(0)); }
  void byte_array(const std::vector<int8_t>& values);
  void int_array(const std::vector<int32_t>& values);
  void long_array(const std::vector<int64_t>& values);
  // Elements of a long array whose length was written already, for
  // producers that write an array piece by piece.
  void long_elements(std::span<const uint64_t> values);
  // Elements of a list of Int whose header was written already.
  void int_elements(std::span<const int32_t> values);
  // A whole value's payload, recursively.
  void payload(const Tag& tag);
  // Bytes already in NBT form, for writers that lay out a frequent record
  // themselves.
  void raw(const uint8_t* bytes, size_t length) { append(bytes, length); }

  Status finish();

 private:
  template <typename T>
  void put(T value);
  template <typename T>
  void numbers(const std::vector<T>& values);
  template <typename T>
  void in_order(std::span<const T> values);
  void append(const void* data, size_t length);
  void drain();

  ByteSink& sink_;
  std::vector<uint8_t> buffer_;
  Status status_;
  std::span<const ProducedArray> produced_;
  ByteOrder order_;
};

// An array that its producer writes while the document is encoded, rather
// than one built in full beforehand: where the document holds
// `placeholder` (an empty array tag of the array's type), the writer calls
// write(writer), which writes the payload, its length first.
struct ProducedArray {
  const Tag* placeholder;
  std::function<Status(NbtWriter&)> write;
};

template <typename T>
void NbtWriter::put(T value) {
  value = in_byte_order(value, order_);
  append(&value, sizeof value);
}

// Encodes a whole document into the sink (and writes out the local buffer).
Status encode_nbt(const NamedTag& document, ByteSink& sink, std::span<const ProducedArray> produced = {},
                  ByteOrder order = ByteOrder::kBigEndian);

}  // namespace kubic
