#pragma once

#include <functional>
#include <memory>

#include "io/byte_stream.h"
#include "nbt/tag.h"
#include "store/lazy_palette_block_store.h"
#include "store/xyz_scanner.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Reads a Sponge schematic (either layout: palette and block data at the
// top, or inside "Blocks" under a "Schematic" wrapper). The first boundary()
// or read() takes in the whole document; blocks then come out in XYZ order
// from a box at the origin.
class SpongeSchematicInputStream final : public SchematicInputStream {
 public:
  explicit SpongeSchematicInputStream(std::unique_ptr<ByteSource> reader);

  Result<ReadOutcome> read(std::vector<Block>& out, size_t max) override;
  Result<std::optional<Boundary>> boundary() override;
  Result<SchematicExtras> extras() override;
  // For whole-box consumers (arrays), before anything was read: the palette
  // (air first) and one index per position into the cells `allocate` gives
  // (the box's volume, x slowest, z fastest), without the per-block store.
  // Blocks are then used up; extras() still answers.
  Status read_dense(const std::function<uint16_t*(const Boundary&)>& allocate, std::vector<StateRef>& palette);
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
  Result<const std::vector<int8_t>*> block_data(const Compound& schematic);
  // Decodes every index (all of them first: a broken array stores nothing)
  // and hands out (n, index) in file order.
  template <typename Visit>
  Status decode_block_data(const std::vector<int8_t>& data, Visit&& visit);
  Status process_palette(const Compound& schematic);
  Status process_blocks(const Compound& schematic);

  std::unique_ptr<ByteSource> reader_;
  std::unique_ptr<LazyPaletteBlockStoreWrapper> blocks_;
  std::unique_ptr<XyzScanner> scanner_;
  std::optional<Boundary> boundary_;
  Compound extras_tags_;  // the document's tags that hold extras
  std::optional<SchematicExtras> extras_;
  bool header_read_ = false;
  bool whole_read_ = false;  // blocks handed out at once (array or store)
  bool keep_listed_air_ = false;  // hand out the kinds of air it stored
  bool candidate_ = false;
  Volume position_ = 0;  // boundary positions already visited
};

}  // namespace kubic
