#pragma once

#include <memory>
#include <vector>

#include "io/input_cursor.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Streams a kub body: palette entries defined on the fly, single and run
// codes placing states on the box's positions in the header's order. Holds
// only the palette and the current run. Reads nothing until asked.
class KUBSchematicInputStream final : public SchematicInputStream {
 public:
  explicit KUBSchematicInputStream(std::unique_ptr<ByteSource> source);

  Result<ReadOutcome> read(std::vector<Block>& out, size_t max) override;
  Result<std::optional<Boundary>> boundary() override;
  // Version 2 files carry extras after the header; version 1 files none.
  Result<SchematicExtras> extras() override;
  // Cave and void air are then handed out too; plain air stays a gap.
  void keep_listed_air() override { keep_listed_air_ = true; }
  bool reads_dense() const override { return cursor_ == 0 && palette_.empty() && !ended_; }
  AxisOrder dense_layout() const override { return order_ == AxisOrder::YZX ? order_ : AxisOrder::XYZ; }
  // Runs fill their cells at once, instead of a block each.
  Status read_dense(const DenseAllocator& allocate, std::vector<StateRef>& palette, AxisOrder layout) override;

 private:
  Status read_header();
  Result<int32_t> read_var_int();
  Result<int64_t> read_var_long();
  // A VarInt length, then that many bytes.
  Result<std::vector<uint8_t>> read_bytes();
  Result<std::string> read_string();
  Result<uint8_t> read_byte();
  Status end_of_input() const;
  // Reads one body item; false when the body has ended.
  Result<bool> read_item();
  Status add_full_entry();
  Status add_diff_entry();
  const StateRef* entry(int32_t id) const;
  // Covers up to `limit` positions of the current run.
  Status cover(std::vector<Block>& out, size_t limit, size_t& count);
  Status ran_out() const;

  InputCursor input_;
  std::vector<StateRef> palette_;  // entry n has reference id 2n + 2
  std::optional<Boundary> boundary_;
  AxisOrder order_ = AxisOrder::XYZ;
  SchematicExtras extras_;
  bool keep_listed_air_ = false;
  bool header_read_ = false;
  bool ended_ = false;
  Volume cursor_ = 0;
  // The walk over the boundary, and how many positions it has handed out.
  std::optional<BoundaryIterator> positions_;
  Volume walked_ = 0;
  size_t current_ = 0;  // the current run's place in palette_
  // A negative run count is stored as the largest volume: it runs out any box.
  Volume run_remaining_ = 0;
};

}  // namespace kubic
