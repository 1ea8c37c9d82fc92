#include "formats/kub/kub_reader.h"

#include <cinttypes>
#include <cstdio>

#include <unordered_map>

#include "blocks/state_palette.h"
#include "blocks/air.h"
#include "common/interrupt.h"
#include "formats/kub/state_difference.h"
#include "common/varint.h"
#include "common/text_util.h"
#include "store/dense_cells.h"
#include "formats/kub/kub_extras.h"
#include "formats/kub/kub_format.h"

namespace kubic {

namespace {

constexpr size_t kStringChunk = 64 * 1024;

// Fills whole-box cells (zero, air, to begin with) from a kub body's runs,
// numbering their states for the array's palette: entries of equal states
// (a diff can make one again) share a number.
class DenseRuns {
 public:
  DenseRuns(uint16_t* cells, const Extent& size, AxisOrder layout, AxisOrder order, uint64_t volume)
      : cells_(cells), size_(size), layout_(layout), order_(order), volume_(volume) {}

  // Places `length` positions of entries[entry] at the walk's next
  // positions: true when they all fit in the box.
  Result<bool> place(const std::vector<StateRef>& entries, size_t entry, Volume length) {
    auto number = number_of(entries, entry);
    if (!number.ok()) return number.status();
    const uint64_t fitting = uint64_t(std::min(length, Volume(volume_ - cursor_)));
    if (*number && fitting) fill_walk_run(cells_, size_, layout_, order_, cursor_, fitting, *number);
    cursor_ += fitting;
    return Volume(fitting) == length;
  }
  // The common case in one tight loop: places the runs and single blocks
  // coded from `p` on while their entries are numbered and they fit in the
  // box; returns where it stopped (a code for read_item() to take).
  const uint8_t* place_numbered_codes(const uint8_t* p, const uint8_t* end) {
    const int32_t* numbers = number_of_entry_.data();
    const size_t numbered = number_of_entry_.size();
    uint64_t cursor = cursor_;
    while (end - p >= ptrdiff_t(2 * kMaxVarIntBytes)) {
      const uint8_t* next = p;
      uint32_t code, count = 1;
      if (!decode_var_int(next, code) || code < 2) break;
      if ((code & 1) && (!decode_var_int(next, count) || int32_t(count) < 0)) break;
      const size_t entry = (code - 2) / 2;
      if (entry >= numbered || numbers[entry] < 0 || count > volume_ - cursor) break;
      if (numbers[entry] && count) fill_walk_run(cells_, size_, layout_, order_, cursor, count, uint16_t(numbers[entry]));
      cursor += count;
      p = next;
    }
    cursor_ = cursor;
    return p;
  }
  uint64_t cursor() const { return cursor_; }
  // The states the numbers placed so far stand for, air first.
  std::vector<StateRef> take_palette() { return palette_.take_states(); }

 private:
  Result<uint16_t> number_of(const std::vector<StateRef>& entries, size_t entry) {
    if (entry >= number_of_entry_.size()) number_of_entry_.resize(entries.size(), -1);
    int32_t& number = number_of_entry_[entry];
    if (number >= 0) [[likely]] return uint16_t(number);
    auto found = palette_.index_of(entries[entry]);
    if (!found.ok()) return found.status().prefixed("KUB: ");
    return uint16_t(number = *found);
  }

  uint16_t* cells_;
  Extent size_;
  AxisOrder layout_, order_;
  uint64_t volume_;
  uint64_t cursor_ = 0;
  StatePalette palette_;
  std::vector<int32_t> number_of_entry_;  // -1 until met
};

std::string hex(uint64_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%" PRIX64, value);
  return buffer;
}

}  // namespace

KUBSchematicInputStream::KUBSchematicInputStream(std::unique_ptr<ByteSource> source)
    : input_(std::move(source)) {}

Status KUBSchematicInputStream::end_of_input() const {
  return input_.status().ok() ? Status::Error("failed to fill whole buffer") : input_.status();
}

Result<uint8_t> KUBSchematicInputStream::read_byte() {
  uint8_t byte;
  if (input_.next_byte(byte)) return byte;
  return end_of_input();
}

Result<int32_t> KUBSchematicInputStream::read_var_int() {
  // Once per run: read in place while the buffer holds the longest VarInt.
  if (auto bytes = input_.buffered(); bytes.size() >= kMaxVarIntBytes) [[likely]] {
    const uint8_t* p = bytes.data();
    uint32_t value;
    const bool ok = decode_var_int(p, value);
    input_.skip_peeked(size_t(p - bytes.data()));
    if (!ok) return Status::Error("KUB: VarInt too big");
    return int32_t(value);
  }
  uint32_t value;
  switch (kubic::read_var_int([&](uint8_t& byte) { return input_.next_byte(byte); }, value)) {
    case VarIntRead::Ok: return int32_t(value);
    case VarIntRead::TooBig: return Status::Error("KUB: VarInt too big");
    case VarIntRead::Ended: break;
  }
  return end_of_input();
}

Result<int64_t> KUBSchematicInputStream::read_var_long() {
  uint64_t value = 0;
  for (int i = 0; i < 10; ++i) {
    auto byte = read_byte();
    if (!byte.ok()) return byte.status();
    if (i == 9) {
      if (*byte & 0x80) return Status::Error("KUB: VarLong too big");
      return int64_t(value | (uint64_t(*byte & 1) << 63));
    }
    value |= uint64_t(*byte & 0x7F) << (7 * i);
    if (!(*byte & 0x80)) break;
  }
  return int64_t(value);
}

Result<std::vector<uint8_t>> KUBSchematicInputStream::read_bytes() {
  auto length = read_var_int();
  if (!length.ok()) return length.status();
  if (*length < 0) return Status::Error("Negative string length");
  // The declared length is not trusted for allocation: grow as bytes come.
  std::vector<uint8_t> bytes;
  size_t remaining = size_t(*length);
  while (remaining > 0) {
    size_t chunk = std::min(remaining, kStringChunk);
    size_t old_size = bytes.size();
    bytes.resize(old_size + chunk);
    KUBIC_RETURN_IF_ERROR(input_.read_exact(bytes.data() + old_size, chunk));
    remaining -= chunk;
  }
  return bytes;
}

Result<std::string> KUBSchematicInputStream::read_string() {
  auto bytes = read_bytes();
  if (!bytes.ok()) return bytes.status();
  std::string text(bytes->begin(), bytes->end());
  if (auto error = utf8_error(text)) return Status::Error(*error);
  return text;
}

Status KUBSchematicInputStream::read_header() {
  auto magic = read_var_long();
  if (!magic.ok()) return magic.status();
  if (uint64_t(*magic) != kKubMagic) {
    return Status::Unrecognised("KUB: Invalid magic number. Expected 0x" + hex(kKubMagic) + ", got 0x" +
                         hex(uint64_t(*magic)));
  }
  auto version = read_var_int();
  if (!version.ok()) return version.status();
  if (*version != kKubVersion && *version != kKubVersionWithExtras) {
    return Status::Error("KUB: Unsupported version. Expected 1, got " + std::to_string(*version));
  }
  int32_t corners[6];
  for (int32_t& value : corners) {
    auto v = read_var_int();
    if (!v.ok()) return v.status();
    value = *v;
  }
  auto order_code = read_byte();
  if (!order_code.ok()) return order_code.status();
  auto order = axis_order_from_code(*order_code);
  if (!order) return Status::Error("KUB: Invalid AxisOrder " + std::to_string(*order_code));
  auto size = [&](int axis) {
    return int32_t(uint32_t(corners[3 + axis]) - uint32_t(corners[axis]) + 1u);
  };
  if (*version == kKubVersionWithExtras) {
    auto document = read_bytes();
    if (!document.ok()) return document.status();
    auto extras = decode_kub_extras(*document);
    if (!extras.ok()) return extras.status();
    extras_ = std::move(*extras);
  }
  extras_.format_version = *version;
  boundary_ = Boundary(corners[0], corners[1], corners[2], size(0), size(1), size(2));
  order_ = *order;
  header_read_ = true;
  return Status::Ok();
}

Result<SchematicExtras> KUBSchematicInputStream::extras() {
  if (!header_read_) KUBIC_RETURN_IF_ERROR(read_header());
  return extras_;
}

Result<std::optional<Boundary>> KUBSchematicInputStream::boundary() {
  if (!header_read_) KUBIC_RETURN_IF_ERROR(read_header());
  return boundary_;
}

const StateRef* KUBSchematicInputStream::entry(int32_t id) const {
  if (id < 2 || (id & 1)) return nullptr;
  size_t index = size_t(id - 2) / 2;
  return index < palette_.size() ? &palette_[index] : nullptr;
}

Status KUBSchematicInputStream::add_full_entry() {
  auto ignored = read_var_int();
  if (!ignored.ok()) return ignored.status();
  auto text = read_string();
  if (!text.ok()) return text.status();
  auto state = BlockState::from_string(*text);
  if (!state.ok()) return state.status().prefixed("KUB: Parse error: ");
  palette_.push_back(std::move(*state));
  return Status::Ok();
}

Status KUBSchematicInputStream::add_diff_entry() {
  auto base = read_var_int();
  if (!base.ok()) return base.status();
  auto diff = read_string();
  if (!diff.ok()) return diff.status();
  const StateRef* base_state = entry(*base);
  if (!base_state) return Status::Error("KUB: Missing Ref ID " + std::to_string(*base));
  auto state = update(**base_state, *diff);
  if (!state.ok()) return state.status().prefixed("KUB: Diff error: ");
  palette_.push_back(std::move(*state));
  return Status::Ok();
}

Result<bool> KUBSchematicInputStream::read_item() {
  auto code = read_var_int();
  // A code that cannot be read, for whatever reason, ends the body.
  if (!code.ok()) return false;
  if (*code == kKubFullEntry) {
    KUBIC_RETURN_IF_ERROR(add_full_entry());
    return true;
  }
  if (*code == kKubDiffEntry) {
    KUBIC_RETURN_IF_ERROR(add_diff_entry());
    return true;
  }
  int32_t id = *code;
  Volume length = 1;
  if (*code & 1) {
    id = int32_t(uint32_t(*code) - 1u);
    auto count = read_var_int();
    if (!count.ok()) return count.status();
    // A negative count runs on until the box is exhausted.
    length = *count < 0 ? ~Volume(0) : Volume(*count);
  }
  const StateRef* state = entry(id);
  if (!state) return Status::Error("KUB: Unknown Palette ID " + std::to_string(id));
  current_ = size_t(id - 2) / 2;
  run_remaining_ = length;
  return true;
}

Status KUBSchematicInputStream::ran_out() const {
  return Status::Error("KUB: Ran out of positions in boundary after reading " + volume_string(cursor_) + " blocks");
}

Status KUBSchematicInputStream::cover(std::vector<Block>& out, size_t limit, size_t& count) {
  Volume volume = boundary_->volume();
  Volume available = volume - std::min(cursor_, volume);
  const StateRef& current = palette_[current_];
  if (current->is_air() && !(keep_listed_air_ && !is_plain_air(*current))) {
    // Air is never handed out and does not count against max: skip the
    // whole run arithmetically.
    Volume n = run_remaining_;
    if (n > available) {
      cursor_ += available;
      return ran_out();
    }
    cursor_ += n;
    run_remaining_ = 0;
    return Status::Ok();
  }
  Volume n = std::min(run_remaining_, Volume(limit));
  // One walk for the whole read, caught up over the air skipped since: a
  // short gap step by step, a long one by arithmetic (which, wide, costs
  // more than a short run of steps).
  if (!positions_) positions_.emplace(boundary_->walk(order_));
  if (walked_ < cursor_ && cursor_ <= volume) {
    if (cursor_ - walked_ <= 64) {
      while (walked_ < cursor_) positions_->next(), ++walked_;
    } else {
      positions_->nth_wide(cursor_ - walked_ - 1);
      walked_ = cursor_;
    }
  }
  for (Volume i = 0; i < n; ++i) {
    auto position = cursor_ < volume ? positions_->next() : std::nullopt;
    if (!position) return ran_out();
    ++walked_;
    out.push_back({*position, current});
    ++count;
    ++cursor_;
  }
  run_remaining_ -= n;
  return Status::Ok();
}

Result<ReadOutcome> KUBSchematicInputStream::read(std::vector<Block>& out, size_t max) {
  if (!header_read_) KUBIC_RETURN_IF_ERROR(read_header());
  if (max == 0) return ReadOutcome{true, 0};
  size_t count = 0;
  while (count < max && !ended_) {
    if (run_remaining_ > 0) {
      KUBIC_RETURN_IF_ERROR(cover(out, max - count, count));
      continue;
    }
    auto more = read_item();
    if (!more.ok()) return more.status();
    if (!*more) ended_ = true;
  }
  if (count == 0 && ended_) return ReadOutcome{false, 0};
  return ReadOutcome{true, count};
}

Status KUBSchematicInputStream::read_dense(const DenseAllocator& allocate, std::vector<StateRef>& palette,
                                           AxisOrder layout) {
  if (!header_read_) KUBIC_RETURN_IF_ERROR(read_header());
  if (!reads_dense()) return Status::Error("KUB: Blocks have already been read");
  ended_ = true;
  uint16_t* cells = allocate(*boundary_);
  if (!cells) return Status::Error("KUB: no memory for the blocks");
  DenseRuns runs(cells, {boundary_->d_x, boundary_->d_y, boundary_->d_z}, layout, order_,
                 uint64_t(boundary_->volume()));
  while (true) {
    KUBIC_RETURN_IF_ERROR(check_interrupt());
    const auto bytes = input_.buffered();
    input_.skip_peeked(size_t(runs.place_numbered_codes(bytes.data(), bytes.data() + bytes.size()) - bytes.data()));
    cursor_ = runs.cursor();
    // Palette entries, an entry's first run, anything unusual and the
    // buffer's last bytes.
    auto more = read_item();
    if (!more.ok()) return more.status();
    if (!*more) break;
    if (run_remaining_ == 0) continue;
    auto placed = runs.place(palette_, current_, run_remaining_);
    cursor_ = runs.cursor();
    run_remaining_ = 0;
    if (!placed.ok()) return placed.status();
    if (!*placed) return ran_out();
  }
  palette = runs.take_palette();
  return Status::Ok();
}

}  // namespace kubic
