#pragma once

#include <memory>

#include "nbt/nbt_stream_parser.h"
#include "store/lazy_palette_block_store.h"
#include "store/xyz_scanner.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Reads a structure file in one streaming pass: the "size",
// "palette" (or else the first of "palettes") and "blocks" lists are picked
// out by lower-cased name at any depth, in any order; blocks are stored under their palette index until
// the palette is known. Blocks come out in XYZ order.
class StructureSchematicInputStream final : public SchematicInputStream {
 public:
  explicit StructureSchematicInputStream(std::unique_ptr<ByteSource> reader);

  Result<ReadOutcome> read(std::vector<Block>& out, size_t max) override;
  Result<std::optional<Boundary>> boundary() override;
  // Block entities from the entries' "nbt", "entities", "DataVersion" and
  // an old structure's "author"; unlisted positions are structure voids.
  Result<SchematicExtras> extras() override;
  void keep_listed_air() override { keep_listed_air_ = true; }
  // A failure before any list of a structure's own is then not its to
  // report: the cause belongs to a reader that knows the document.
  void as_candidate() override { candidate_ = true; }
  // Every block entry through the general walk of tag events, none read
  // whole: the same results, slower; for comparing the two.
  void read_entries_by_events() { whole_entries_ = false; }

 private:
  Status ensure_header_read();
  Status read_header();
  Status read_size();
  Result<LazyPaletteBlockStoreWrapper::Palette> read_palette();
  // Structures with variants (shipwrecks, ruins) list several palettes
  // under "palettes"; without a "palette", the first of them is the one.
  Status read_first_of_palettes();
  Status read_blocks();
  void ensure_store();
  void keep_top_level_value();

  NbtStreamParser parser_;
  NbtEvent event_;
  int32_t size_[3] = {0, 0, 0};
  std::unique_ptr<LazyPaletteBlockStoreWrapper> blocks_;
  std::unique_ptr<XyzScanner> scanner_;
  bool header_read_ = false;
  bool size_read_ = false;
  bool palette_read_ = false;
  bool blocks_read_ = false;
  Volume position_ = 0;  // store positions already visited
  bool keep_listed_air_ = false;
  bool whole_entries_ = true;
  size_t listed_entries_ = 0;  // of the block list, duplicates included
  std::vector<BlockEntity> block_entities_;
  Tag entities_;  // the "entities" list as the file gives it
  std::optional<int32_t> data_version_;
  std::optional<std::string> author_;
  bool candidate_ = false;
  bool claimed_ = false;  // a list of a structure's own was met at the root
};

}  // namespace kubic
