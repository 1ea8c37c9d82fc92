#include "nbt/nbt_stream_parser.h"

#include <bit>
#include <cstring>

#include "nbt/mutf8.h"

namespace kubic {

namespace {

constexpr size_t kArrayChunkBytes = 1 << 20;
// Arrays up to this size are allocated once at their declared length: a
// liar costs at most this much, and honest large block data is not copied
// over and over while it grows.
constexpr size_t kTrustedArrayBytes = 64 << 20;

}  // namespace

NbtStreamParser::NbtStreamParser(std::unique_ptr<ByteSource> source, ByteOrder order)
    : input_(std::move(source)), order_(order) {}

Status nbt_error_at(const std::string& what, uint64_t offset) {
  constexpr uint64_t kDocumentStart = 16;
  std::string message = what + " at byte " + std::to_string(offset);
  return offset < kDocumentStart ? Status::Unrecognised(std::move(message)) : Status::Error(std::move(message));
}

Status NbtStreamParser::error(const std::string& what) const { return nbt_error_at(what, input_.offset()); }

Status NbtStreamParser::read_raw(void* out, size_t length) {
  Status status = input_.read_exact(static_cast<uint8_t*>(out), length);
  if (status.ok()) return status;
  if (input_.status().ok()) return error("unexpected end of NBT data");
  return status;
}

template <typename T>
Status NbtStreamParser::read_number(T& out) {
  KUBIC_RETURN_IF_ERROR(read_raw(&out, sizeof out));
  out = in_byte_order(out, order_);
  return Status::Ok();
}

template <typename T>
Status NbtStreamParser::read_array(std::vector<T>& out, size_t length) {
  out.clear();
  // Beyond the trusted size, grow as the bytes arrive: a declared length
  // alone allocates nothing.
  size_t remaining = length;
  if (remaining * sizeof(T) <= kTrustedArrayBytes) out.reserve(remaining);
  const size_t chunk_elements = kArrayChunkBytes / sizeof(T);
  while (remaining > 0) {
    size_t n = std::min(remaining, chunk_elements);
    size_t old = out.size();
    out.resize(old + n);
    KUBIC_RETURN_IF_ERROR(read_raw(out.data() + old, n * sizeof(T)));
    remaining -= n;
  }
  if constexpr (sizeof(T) > 1) {
    for (T& v : out) v = in_byte_order(v, order_);
  }
  return Status::Ok();
}

Status NbtStreamParser::read_string(std::string& out) {
  uint16_t length;
  KUBIC_RETURN_IF_ERROR(read_number(length));
  scratch_.resize(length);
  KUBIC_RETURN_IF_ERROR(read_raw(scratch_.data(), length));
  const auto* bytes = reinterpret_cast<const uint8_t*>(scratch_.data());
  if (order_ == ByteOrder::kLittleEndian) {
    out.assign(scratch_);  // plain UTF-8, kept byte for byte
    return Status::Ok();
  }
  bool ascii = true;
  for (size_t i = 0; i < length && ascii; ++i) ascii = bytes[i] != 0 && bytes[i] < 0x80;
  if (ascii) {
    out.assign(scratch_);
  } else {
    out = decode_modified_utf8(bytes, length);
  }
  return Status::Ok();
}

Status NbtStreamParser::read_type(TagType& type) {
  uint8_t byte;
  KUBIC_RETURN_IF_ERROR(read_number(byte));
  if (byte > kMaxTagType) return error("invalid tag type " + std::to_string(byte));
  type = TagType(byte);
  return Status::Ok();
}

Status NbtStreamParser::read_tag(TagType type, NbtEvent& event) {
  Tag& v = event.value;
  switch (type) {
    case TagType::Byte: { int8_t x; KUBIC_RETURN_IF_ERROR(read_number(x)); v.value = x; break; }
    case TagType::Short: { int16_t x; KUBIC_RETURN_IF_ERROR(read_number(x)); v.value = x; break; }
    case TagType::Int: { int32_t x; KUBIC_RETURN_IF_ERROR(read_number(x)); v.value = x; break; }
    case TagType::Long: { int64_t x; KUBIC_RETURN_IF_ERROR(read_number(x)); v.value = x; break; }
    case TagType::Float: { float x; KUBIC_RETURN_IF_ERROR(read_number(x)); v.value = x; break; }
    case TagType::Double: { double x; KUBIC_RETURN_IF_ERROR(read_number(x)); v.value = x; break; }
    case TagType::ByteArray:
    case TagType::IntArray:
    case TagType::LongArray:
      KUBIC_RETURN_IF_ERROR(announce_array(type, event));
      break;
    case TagType::String: {
      std::string s;
      KUBIC_RETURN_IF_ERROR(read_string(s));
      v.value = std::move(s);
      break;
    }
    case TagType::List: {
      TagType element;
      int32_t length;
      KUBIC_RETURN_IF_ERROR(read_type(element));
      KUBIC_RETURN_IF_ERROR(read_number(length));
      if (length < 0) return error("negative list length " + std::to_string(length));
      if (element == TagType::End && length > 0) return error("list of End tags is not empty");
      if (frames_.size() >= kMaxDepth) return error("NBT nesting deeper than 512");
      frames_.push_back({true, element, length});
      event.kind = NbtEventKind::ListStart;
      event.element_type = element;
      event.length = length;
      return Status::Ok();
    }
    case TagType::Compound:
      if (frames_.size() >= kMaxDepth) return error("NBT nesting deeper than 512");
      frames_.push_back({false, TagType::End, 0});
      event.kind = NbtEventKind::CompoundStart;
      return Status::Ok();
    case TagType::End:
      return error("unexpected End tag");
  }
  event.kind = NbtEventKind::Value;
  return Status::Ok();
}

Status NbtStreamParser::announce_array(TagType type, NbtEvent& event) {
  int32_t length;
  KUBIC_RETURN_IF_ERROR(read_number(length));
  if (length < 0) return error("negative array length " + std::to_string(length));
  size_t element = type == TagType::ByteArray ? 1 : type == TagType::IntArray ? 4 : 8;
  if (type == TagType::ByteArray) event.value.value = std::vector<int8_t>();
  if (type == TagType::IntArray) event.value.value = std::vector<int32_t>();
  if (type == TagType::LongArray) event.value.value = std::vector<int64_t>();
  event.length = length;
  pending_array_bytes_ = size_t(length) * element;
  array_pending_ = true;
  return Status::Ok();
}

Status NbtStreamParser::load_array(NbtEvent& event) {
  if (!array_pending_) return Status::Ok();
  array_pending_ = false;
  size_t length = size_t(event.length);
  pending_array_bytes_ = 0;
  if (auto* bytes = std::get_if<std::vector<int8_t>>(&event.value.value)) return read_array(*bytes, length);
  if (auto* ints = std::get_if<std::vector<int32_t>>(&event.value.value)) return read_array(*ints, length);
  if (auto* longs = std::get_if<std::vector<int64_t>>(&event.value.value)) return read_array(*longs, length);
  return Status::Ok();
}

Result<size_t> NbtStreamParser::take_int_list_length() {
  if (array_pending_ || frames_.empty() || !frames_.back().is_list || frames_.back().element_type != TagType::Int) {
    return error("expected a list of Int");
  }
  const size_t length = size_t(frames_.back().remaining);
  frames_.back().remaining = 0;
  return length;
}

Status NbtStreamParser::load_int_list(std::vector<int32_t>& out) {
  auto length = take_int_list_length();
  if (!length.ok()) return length.status();
  return read_array(out, *length);
}

Status NbtStreamParser::visit_int_list(const std::function<Status(std::span<const int32_t>)>& visit) {
  auto length = take_int_list_length();
  if (!length.ok()) return length.status();
  std::vector<int32_t> chunk;
  for (size_t remaining = *length; remaining > 0;) {
    const size_t n = std::min(remaining, kArrayChunkBytes / sizeof(int32_t));
    KUBIC_RETURN_IF_ERROR(read_array(chunk, n));
    KUBIC_RETURN_IF_ERROR(visit(chunk));
    remaining -= n;
  }
  return Status::Ok();
}

Status NbtStreamParser::skip_pending_array() {
  array_pending_ = false;
  uint8_t sink[4096];
  while (pending_array_bytes_ > 0) {
    size_t n = std::min(pending_array_bytes_, sizeof sink);
    KUBIC_RETURN_IF_ERROR(read_raw(sink, n));
    pending_array_bytes_ -= n;
  }
  return Status::Ok();
}

Status NbtStreamParser::read_root(NbtEvent& event) {
  started_ = true;
  uint8_t byte;
  if (!input_.next_byte(byte)) {
    if (!input_.status().ok()) return input_.status();
    finished_ = true;
    event.kind = NbtEventKind::EndOfInput;
    return Status::Ok();
  }
  if (byte == 0 || byte > kMaxTagType) return error("invalid root tag type " + std::to_string(byte));
  event.named = true;
  KUBIC_RETURN_IF_ERROR(read_string(event.name));
  KUBIC_RETURN_IF_ERROR(read_tag(TagType(byte), event));
  if (frames_.empty()) finished_ = true;
  return Status::Ok();
}

const uint8_t* NbtStreamParser::peek_next_element(size_t length) {
  if (array_pending_ || finished_ || !started_ || frames_.empty()) return nullptr;
  const Frame& top = frames_.back();
  if (!top.is_list || top.element_type != TagType::Compound || top.remaining == 0) return nullptr;
  return input_.peek(length);
}

void NbtStreamParser::skip_next_element(size_t length) {
  input_.skip_peeked(length);
  --frames_.back().remaining;
}

Status NbtStreamParser::next(NbtEvent& event) {
  if (array_pending_) KUBIC_RETURN_IF_ERROR(skip_pending_array());
  if (finished_) {
    event.kind = NbtEventKind::EndOfInput;
    return Status::Ok();
  }
  if (!started_) return read_root(event);
  Frame& top = frames_.back();
  if (top.is_list) {
    if (top.remaining == 0) {
      frames_.pop_back();
      event.kind = NbtEventKind::ListEnd;
      finished_ = frames_.empty();
      return Status::Ok();
    }
    --top.remaining;
    event.named = false;
    event.name.clear();
    return read_tag(top.element_type, event);
  }
  TagType type;
  KUBIC_RETURN_IF_ERROR(read_type(type));
  if (type == TagType::End) {
    frames_.pop_back();
    event.kind = NbtEventKind::CompoundEnd;
    finished_ = frames_.empty();
    return Status::Ok();
  }
  event.named = true;
  KUBIC_RETURN_IF_ERROR(read_string(event.name));
  return read_tag(type, event);
}

}  // namespace kubic
