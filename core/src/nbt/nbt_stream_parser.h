#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "io/input_cursor.h"
#include "nbt/byte_order.h"
#include "nbt/tag.h"

namespace kubic {

enum class NbtEventKind { Value, ListStart, CompoundStart, ListEnd, CompoundEnd, EndOfInput };

// One step of a document. Value events carry scalars and strings; an array
// event carries an empty array of its type and its length in `length`, and
// its elements only once load_array() fetched them. Names are those of
// compound entries (list elements are unnamed; an empty name in a compound
// still counts as named).
struct NbtEvent {
  NbtEventKind kind = NbtEventKind::EndOfInput;
  bool named = false;
  std::string name;
  TagType element_type = TagType::End;  // ListStart
  int32_t length = 0;                   // ListStart, and arrays
  Tag value;                            // Value
};

// A failure of an NBT document at `offset`: "{what} at byte {offset}". One
// in its first bytes means the input is no NBT document at all.
Status nbt_error_at(const std::string& what, uint64_t offset);

// A pull parser over an NBT document in either byte order. It stops after the root
// tag (bytes after it are ignored) and reports EndOfInput there; a document
// cut short fails with "unexpected end of NBT data".
// Declared lengths are never trusted for allocation, and nesting deeper than
// the limit fails instead of exhausting the stack of whoever walks it.
class NbtStreamParser {
 public:
  static constexpr size_t kMaxDepth = 512;

  explicit NbtStreamParser(std::unique_ptr<ByteSource> source, ByteOrder order = ByteOrder::kBigEndian);

  Status next(NbtEvent& event);
  // Reads the elements of the array that the last event announced, in bulk.
  // An array not loaded is skipped by the next call of next(), so readers
  // that do not need it never hold it.
  Status load_array(NbtEvent& event);
  // Right after a ListStart of Int elements: all of them, in bulk (the next
  // event is the list's end). Block data some formats keep as such a list
  // would cost a tag per number through next().
  Status load_int_list(std::vector<int32_t>& out);
  // The same in chunks, each handed to `visit` as it is read, for readers
  // that keep the numbers in a smaller form; a visit's failure ends it.
  Status visit_int_list(const std::function<Status(std::span<const int32_t>)>& visit);
  // Inside a list of compounds, before its next element: the next `length`
  // bytes of the document (the element's payload first), or null when
  // there are fewer or the parser is elsewhere. Lets a reader recognise
  // elements of a shape it knows by their bytes, for speed.
  const uint8_t* peek_next_element(size_t length);
  // Consumes `length` bytes that peek_next_element() showed, which must
  // make up that whole element.
  void skip_next_element(size_t length);
  uint64_t offset() const { return input_.offset(); }

 private:
  struct Frame {
    bool is_list;
    TagType element_type;
    int32_t remaining;
  };

  Status read_root(NbtEvent& event);
  Status read_tag(TagType type, NbtEvent& event);
  Status read_type(TagType& type);
  Status read_string(std::string& out);
  Status read_raw(void* out, size_t length);
  template <typename T>
  Status read_number(T& out);
  template <typename T>
  Status read_array(std::vector<T>& out, size_t length);
  // The length of the Int list the last event started, taken over by the
  // caller; fails when the parser is elsewhere.
  Result<size_t> take_int_list_length();
  Status announce_array(TagType type, NbtEvent& event);
  Status skip_pending_array();
  Status error(const std::string& what) const;

  InputCursor input_;
  ByteOrder order_;
  std::vector<Frame> frames_;
  std::string scratch_;
  bool started_ = false;
  bool finished_ = false;
  size_t pending_array_bytes_ = 0;
  bool array_pending_ = false;
};

}  // namespace kubic
