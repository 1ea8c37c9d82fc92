#include "formats/kub/kub_writer.h"

#include "blocks/air.h"
#include "blocks/canonical_state.h"
#include "common/varint.h"
#include "formats/kub/state_difference.h"
#include "formats/kub/kub_extras.h"
#include "formats/kub/kub_format.h"

namespace kubic {

namespace {

// The entry that the reader would rebuild from `text`, compared by name and
// printed form (property order may differ and is not kept by differences).
bool reads_back_as(const Result<StateRef>& rebuilt, const BlockState& state) {
  return rebuilt.ok() && (*rebuilt)->name() == state.name() &&
         (*rebuilt)->to_string() == state.to_string();
}

}  // namespace

KUBSchematicOutputStream::KUBSchematicOutputStream(std::unique_ptr<ByteSink> sink, AxisOrder order,
                                                   const Boundary& boundary)
    : sink_(std::move(sink)), boundary_(boundary), order_(order) {}

Status KUBSchematicOutputStream::write_bytes(const uint8_t* data, size_t length) {
  Status status = kubic::write_all(*sink_, data, length);
  return status.ok() ? status : status.prefixed("Write failed: ");
}

Status KUBSchematicOutputStream::write_var_int(int32_t value) {
  uint8_t buffer[kMaxVarIntBytes];
  return write_bytes(buffer, encode_var_int(value, buffer));
}

Status KUBSchematicOutputStream::write_string(const std::string& text) {
  KUBIC_RETURN_IF_ERROR(write_var_int(int32_t(text.size())));
  return kubic::write_all(*sink_, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

Status KUBSchematicOutputStream::set_extras(SchematicExtras extras) {
  if (header_written_) return Status::Error("KUB: Extras must be set before the first block");
  extras_ = std::move(extras);
  return Status::Ok();
}

Status KUBSchematicOutputStream::write_header() {
  // Files without extras stay version 1, byte for byte as ever.
  const bool with_extras = kub_needs_extras(extras_);
  uint8_t buffer[kMaxVarLongBytes + 1 + 6 * kMaxVarIntBytes + 1];
  size_t n = encode_var_long(int64_t(kKubMagic), buffer);
  n += encode_var_int(with_extras ? kKubVersionWithExtras : kKubVersion, buffer + n);
  for (int axis = 0; axis < 3; ++axis) n += encode_var_int(boundary_.min_of(axis), buffer + n);
  for (int axis = 0; axis < 3; ++axis) {
    int32_t max = int32_t(uint32_t(boundary_.min_of(axis)) + uint32_t(boundary_.size_of(axis)) - 1u);
    n += encode_var_int(max, buffer + n);
  }
  buffer[n++] = uint8_t(order_);
  KUBIC_RETURN_IF_ERROR(write_bytes(buffer, n));
  if (!with_extras) return Status::Ok();
  std::vector<uint8_t> document = encode_kub_extras(extras_);
  KUBIC_RETURN_IF_ERROR(write_var_int(int32_t(document.size())));
  return write_bytes(document.data(), document.size());
}

Status KUBSchematicOutputStream::write_fill(uint64_t count) {
  const StateRef& fill = extras_.fill ? extras_.fill : BlockState::air_rc();
  while (count > 0) {
    uint64_t run = std::min<uint64_t>(count, INT32_MAX);
    KUBIC_RETURN_IF_ERROR(write_palette_id_with_rle(fill, int64_t(run)));
    count -= run;
  }
  return Status::Ok();
}

Status KUBSchematicOutputStream::write_full_entry(const std::string& text) {
  KUBIC_RETURN_IF_ERROR(write_var_int(kKubFullEntry));
  KUBIC_RETURN_IF_ERROR(write_var_int(0));
  return write_string(text);
}

Result<int32_t> KUBSchematicOutputStream::define(const StateRef& state) {
  std::string text = state->to_string();
  auto parsed = BlockState::from_string(text);
  bool full_form_reads_back = reads_back_as(parsed, *state);
  if (entries_.empty() && !(parsed.ok() && **parsed == *state)) {
    // The first entry must be a full one; a state whose text the reader
    // would refuse (an upper-case name with properties) or rebuild in
    // another property order is reached through a plain air entry instead.
    KUBIC_RETURN_IF_ERROR(write_full_entry(BlockState::air_rc()->to_string()));
    entries_.push_back(BlockState::air_rc());
    base_finder_.add(BlockState::air_rc());
    palette_.emplace(BlockState::air_rc(), kub_reference_id(0));
  }
  int32_t id = kub_reference_id(entries_.size());
  const StateRef* base = entries_.empty() ? nullptr : &entries_[base_finder_.find(*state)];
  std::string diff = base ? difference(**base, *state) : std::string();
  // The shortest difference may move changed properties to the end; then
  // one that keeps their order is written, so that conversions stay exact.
  if (base) {
    auto rebuilt = update(**base, diff);
    if (rebuilt.ok() && !(**rebuilt == *state)) {
      std::string ordered = ordered_difference(**base, *state);
      auto exact = update(**base, ordered);
      if (exact.ok() && **exact == *state) diff = std::move(ordered);
    }
  }
  // A difference that would not rebuild the state (names or values outside
  // the difference syntax) falls back to a full entry, and a state that no
  // entry can carry is refused rather than written wrong.
  if (base && reads_back_as(update(**base, diff), *state)) {
    KUBIC_RETURN_IF_ERROR(write_var_int(kKubDiffEntry));
    KUBIC_RETURN_IF_ERROR(write_var_int(palette_.at(*base)));
    KUBIC_RETURN_IF_ERROR(write_string(diff));
  } else if (full_form_reads_back) {
    KUBIC_RETURN_IF_ERROR(write_full_entry(text));
  } else {
    return Status::Error("KUB: Cannot encode block state " + text);
  }
  entries_.push_back(state);
  base_finder_.add(state);
  palette_.emplace(state, id);
  return id;
}

Status KUBSchematicOutputStream::write_palette_id_with_rle(const StateRef& state, int64_t count) {
  int32_t id;
  auto found = palette_.find(state);
  if (found != palette_.end()) {
    id = found->second;
  } else {
    // States spelled another way share the entry of their canonical form.
    const StateRef canonical = canonical_state(state);
    auto entry = palette_.find(canonical);
    auto defined = entry != palette_.end() ? Result<int32_t>(entry->second) : define(canonical);
    if (!defined.ok()) return defined.status();
    id = *defined;
    palette_.emplace(state, id);
  }
  if (count >= 2) {
    KUBIC_RETURN_IF_ERROR(write_var_int(id + 1));
    return write_var_int(int32_t(count));
  }
  return write_var_int(id);
}

Status KUBSchematicOutputStream::write(std::span<const Block> blocks) {
  if (!header_written_) {
    KUBIC_RETURN_IF_ERROR(write_header());
    header_written_ = true;
  }
  if (closed_) return Status::Error("KUB: Stream is closed");
  auto index_of = [&](const Block& b) {
    return int64_t(int32_t(axis_index(order_, b.position, boundary_)));
  };
  size_t i = 0;
  while (i < blocks.size()) {
    // Unwritten positions read as air, unless a fill (structure voids)
    // takes them: then listed air must be written.
    if (!extras_.fill && is_plain_air(*blocks[i].state)) {
      ++i;
      continue;
    }
    int64_t idx = index_of(blocks[i]);
    if (idx < int64_t(cursor_)) {
      return Status::Error("KUB: Blocks out of order. Current cursor at " + std::to_string(cursor_) +
                           ", but received block at " + std::to_string(idx));
    }
    if (idx > int64_t(cursor_)) {
      KUBIC_RETURN_IF_ERROR(write_fill(uint64_t(idx) - cursor_));
      cursor_ = uint64_t(idx);
    }
    size_t k = 1;
    while (i + k < blocks.size() && blocks[i + k].state == blocks[i].state &&
           index_of(blocks[i + k]) == int64_t(cursor_ + k)) {
      ++k;
    }
    KUBIC_RETURN_IF_ERROR(write_palette_id_with_rle(blocks[i].state, int64_t(k)));
    cursor_ += k;
    i += k;
  }
  return Status::Ok();
}

Status KUBSchematicOutputStream::complete() {
  // A file without blocks still gets its header: without it the output
  // would not read back at all and the box would be lost.
  if (!header_written_) KUBIC_RETURN_IF_ERROR(write({}));
  // Voids after the last block are positions too.
  if (extras_.fill && Volume(cursor_) < boundary_.volume()) {
    KUBIC_RETURN_IF_ERROR(write_fill(uint64_t(boundary_.volume() - Volume(cursor_))));
    cursor_ = uint64_t(boundary_.volume());
  }
  // Finished, then flushed: a sync flush of an unfinished stream would
  // turn the compressor to streaming for the whole document.
  KUBIC_RETURN_IF_ERROR(sink_->finish());
  KUBIC_RETURN_IF_ERROR(sink_->flush());
  closed_ = true;
  return Status::Ok();
}

}  // namespace kubic
