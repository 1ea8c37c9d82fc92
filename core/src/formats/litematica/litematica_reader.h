#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "nbt/nbt_stream_parser.h"
#include "store/paged_block_store.h"
#include "store/xyz_scanner.h"
#include "blocks/state_palette.h"
#include "stream/root_tags.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Reads a Litematica schematic: its regions merged into the box that
// encloses them (later regions over earlier ones, air not overwriting), in
// the schematic's own coordinates. The first boundary(), extras() or read()
// takes in the whole document; blocks then come out in XYZ order.
class LitematicaSchematicInputStream final : public SchematicInputStream {
 public:
  // A root tag among `foreign` makes the document another format's.
  explicit LitematicaSchematicInputStream(std::unique_ptr<ByteSource> reader, RootTags foreign = {});
  ~LitematicaSchematicInputStream() override;

  // Reads only the region of this name, before anything is read.
  void select_region(std::string name) { selected_ = std::move(name); }

  Result<ReadOutcome> read(std::vector<Block>& out, size_t max) override;
  Result<std::optional<Boundary>> boundary() override;
  // Block entities and entities of every region, "Metadata" (TimeCreated
  // as "Date"), the data version and the regions themselves.
  Result<SchematicExtras> extras() override;
  void keep_listed_air() override { keep_listed_air_ = true; }
  Result<std::optional<StoredCells>> take_stored_cells() override;
  bool reads_dense() const override { return !blocks_used_ && !store_ && position_ == 0; }
  AxisOrder dense_layout() const override { return AxisOrder::YZX; }
  Status read_dense(const DenseAllocator& allocate, std::vector<StateRef>& palette, AxisOrder layout) override;

 private:
  struct Region;

  Status ensure_document();
  Status read_document();
  Status take_regions(Compound regions);
  Result<Region> parse_region(std::string name, Compound tags);
  Status read_extras_of(const Region& region, SchematicExtras& extras) const;
  // Per entry of the region's palette, its index in palette_ (0 for plain
  // air), growing palette_ with the region's states.
  Result<std::vector<uint16_t>> palette_indices(const Region& region);
  // The region's entries in file order as indices into palette_.
  Result<std::vector<uint16_t>> decode_region(const Region& region);
  Status fill_store();

  NbtStreamParser parser_;
  std::optional<std::string> selected_;
  RootTags foreign_;
  bool document_read_ = false;
  Status document_status_;
  std::vector<Region> regions_;
  Boundary box_;
  SchematicExtras extras_;
  StatePalette palette_;  // of decode_region, air first
  std::unique_ptr<PagedBlockStore> store_;
  Status store_status_;
  std::unique_ptr<XyzScanner> scanner_;
  bool blocks_used_ = false;  // handed out at once (array or store)
  bool keep_listed_air_ = false;
  Volume position_ = 0;
};

}  // namespace kubic
