#pragma once

#include <memory>

#include "io/byte_stream.h"
#include "store/paged_block_store.h"
#include "store/xyz_scanner.h"
#include "stream/root_tags.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Reads a legacy MCEdit schematic: numeric ids (8 bits, plus a nibble from
// "AddBlocks") and 4-bit data values, turned into modern states through the
// file's own "BlockIds" mapping or the legacy table. The first boundary()
// or read() converts the whole box; blocks come out in XYZ order.
// Unresolved ids become air, with a notice on standard output.
class MCEditSchematicInputStream final : public SchematicInputStream {
 public:
  // Under detection, a root tag among `foreign` ends the parse.
  explicit MCEditSchematicInputStream(std::unique_ptr<ByteSource> source, RootTags foreign = {});

  Result<ReadOutcome> read(std::vector<Block>& out, size_t max) override;
  Result<std::optional<Boundary>> boundary() override;
  // "TileEntities" (x, y, z in the box), "Entities" (absolute: moved back
  // by WEOrigin) and WEOrigin/WEOffset as metadata.
  Result<SchematicExtras> extras() override;
  void keep_listed_air() override { keep_listed_air_ = true; }
  void as_candidate() override { candidate_ = true; }

 private:
  Status read_nbt();
  // Blocks whose 1.12 block entity holds part of their state take it.
  Status apply_block_entities();
  // A block entity's id as 1.13 has it, and those of a spawner's entities.
  Status name_block_entity_1_13(Compound& data, const BlockPosition& at);

  std::unique_ptr<ByteSource> source_;
  std::unique_ptr<PagedBlockStore> store_;
  std::unique_ptr<XyzScanner> scanner_;
  bool keep_listed_air_ = false;  // hand out the kinds of air it stored
  bool candidate_ = false;
  RootTags foreign_;
  Volume position_ = 0;  // boundary positions already visited
  std::optional<Boundary> boundary_;
  bool header_read_ = false;
  Compound extras_tags_;
};

// The block id of position i: the "Blocks" byte plus 256 times the
// "AddBlocks" nibble of byte i / 2, its high nibble for even i and its low
// nibble for odd i, as MCEdit and Schematica write it. Positions beyond a
// short "AddBlocks" array take 0 as their high bits.
uint32_t read_block_id(const std::vector<int8_t>& blocks, size_t i, const std::vector<int8_t>* add_blocks);

}  // namespace kubic
