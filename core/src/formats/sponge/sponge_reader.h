#pragma once

#include <functional>
#include <memory>

#include "io/byte_stream.h"
#include "nbt/tag.h"
#include "store/lazy_palette_block_store.h"
#include "store/xyz_scanner.h"
#include "stream/root_tags.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Reads a Sponge schematic (either layout: palette and block data at the
// top, or inside "Blocks" under a "Schematic" wrapper). The first boundary()
// or read() takes in and checks the whole document; the store is filled by
// the first read(), so that whole-box consumers never pay for it. Blocks
// then come out in XYZ order from a box at the origin.
class SpongeSchematicInputStream final : public SchematicInputStream {
 public:
  // Under detection, a root tag among `foreign` ends the parse.
  explicit SpongeSchematicInputStream(std::unique_ptr<ByteSource> reader, RootTags foreign = {});

  Result<ReadOutcome> read(std::vector<Block>& out, size_t max) override;
  Result<std::optional<Boundary>> boundary() override;
  Result<SchematicExtras> extras() override;
  bool reads_dense() const override { return !whole_read_ && !blocks_; }
  AxisOrder dense_layout() const override { return AxisOrder::YZX; }
  Status read_dense(const DenseAllocator& allocate, std::vector<StateRef>& palette, AxisOrder layout) override;
  void keep_listed_air() override { keep_listed_air_ = true; }
  void as_candidate() override { candidate_ = true; }
  Result<std::optional<StoredCells>> take_stored_cells() override;

 private:
  static constexpr int32_t kMaxDenseIndex = 1 << 24;

  Status read_header();
  Result<NamedTag> parse_document();
  // Sets the boundary from the sizes; the schematic compound inside `document`.
  Result<Compound*> read_sizes(NamedTag& document);
  Result<LazyPaletteBlockStoreWrapper::Palette> parse_palette(const Compound& schematic);
  Result<std::vector<int8_t>*> block_data(Compound& schematic);
  // How many indices the block data holds, all of them decoded and checked
  // (a broken array stores nothing), or the first fault.
  Result<size_t> count_block_data(const std::vector<int8_t>& data) const;
  // Hands out (n, index) of the checked block data in file order.
  template <typename Visit>
  Status decode_block_data(Visit&& visit);
  // The store of every block, made by the first read.
  Status fill_store();
  Status process_blocks();

  std::unique_ptr<ByteSource> reader_;
  LazyPaletteBlockStoreWrapper::Palette palette_;
  std::vector<int8_t> block_data_;  // checked, until the blocks are taken
  size_t entries_ = 0;              // indices in block_data_
  std::unique_ptr<LazyPaletteBlockStoreWrapper> blocks_;
  Status store_status_;  // a store that failed to fill keeps failing
  std::unique_ptr<XyzScanner> scanner_;
  std::optional<Boundary> boundary_;
  Compound extras_tags_;  // the document's tags that hold extras
  std::optional<SchematicExtras> extras_;
  bool header_read_ = false;
  bool whole_read_ = false;  // blocks handed out at once (array or store)
  bool keep_listed_air_ = false;  // hand out the kinds of air it stored
  bool candidate_ = false;
  RootTags foreign_;
  Volume position_ = 0;  // boundary positions already visited
};

}  // namespace kubic
