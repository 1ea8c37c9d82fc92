#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "io/byte_stream.h"
#include "formats/kub/kub_base_finder.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Streams blocks into the kub format. Blocks must come in increasing order
// of their index in the writer's axis order; gaps become runs of the
// extras' fill (air, or structure voids), equal neighbours within one
// write() become run codes. Keeps only its palette. Extras make a file of
// version 2; without them the file is version 1.
class KUBSchematicOutputStream final : public SchematicOutputStream {
 public:
  KUBSchematicOutputStream(std::unique_ptr<ByteSink> sink, AxisOrder order, const Boundary& boundary);

  Status write(std::span<const Block> blocks) override;
  // Writes the header if no write() did, then flushes the sink chain.
  Status complete() override;
  Status set_extras(SchematicExtras extras) override;

 private:
  Status write_header();
  Status write_bytes(const uint8_t* data, size_t length);
  Status write_var_int(int32_t value);
  Status write_string(const std::string& text);
  Status write_full_entry(const std::string& text);
  Status write_palette_id_with_rle(const StateRef& state, int64_t count);
  Status write_fill(uint64_t count);
  // Writes the entry that defines `state`; returns its reference id.
  Result<int32_t> define(const StateRef& state);

  std::unique_ptr<ByteSink> sink_;
  std::vector<StateRef> entries_;  // in definition order, for a stable base choice
  KubBaseFinder base_finder_;      // over entries_
  std::unordered_map<StateRef, int32_t, StateRefHash> palette_;
  Boundary boundary_;
  AxisOrder order_;
  uint64_t cursor_ = 0;
  SchematicExtras extras_;
  bool header_written_ = false;
  bool closed_ = false;
};

}  // namespace kubic
