#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/block_state.h"
#include "common/boundary.h"
#include "common/interrupt.h"
#include "common/status.h"
#include "store/block_store.h"
#include "store/paged_block_store.h"
#include "stream/schematic_extras.h"

namespace kubic {

// Drivers move blocks in batches of this many.
constexpr size_t kBatchSize = 4096;

struct ReadOutcome {
  bool has_more;
  size_t count;
};

class SchematicOutputStream;

// Gives read_dense() the cells for a box (its volume of them, zeroed), or
// null when there is no room for them.
using DenseAllocator = std::function<uint16_t*(const Boundary&)>;

// A reader's blocks held in one store over its box: cells are a palette id
// + 1 (0: no block), and state_of(palette id) gives the state, or the
// error that reading the block would give.
struct StoredCells {
  const PagedBlockStore& store;
  std::function<Result<StateRef>(uint16_t palette_id)> state_of;
};

// What every format reader implements: `read` and `boundary`. The drivers
// are built on `read` alone.
class SchematicInputStream {
 public:
  virtual ~SchematicInputStream() = default;

  // Appends at most `max` blocks to `out` (never touching what it holds).
  // has_more false only from a call that appended nothing; (true, 0) means
  // "call again".
  virtual Result<ReadOutcome> read(std::vector<Block>& out, size_t max) = 0;
  // The declared box, if the schematic has one; may read the header.
  virtual Result<std::optional<Boundary>> boundary() = 0;
  // Block entities, entities and metadata in the frame of the blocks; may
  // read the header. Formats that hold none give none.
  virtual Result<SchematicExtras> extras() { return SchematicExtras(); }
  // For conversions, before the first read(): blocks then include the
  // kinds of air a file stores (a structure's listed air, cave and void
  // air), and extras().fill tells what unlisted positions hold.
  virtual void keep_listed_air() {}
  // For detection, before the first read: give up as soon as the input
  // shows itself to be another format, instead of reading it through.
  virtual void as_candidate() {}
  // For conversions, instead of the first read(): every block at once,
  // when the reader holds them in one store over its box (kept air
  // included), so that writers can walk the store rather than take the
  // blocks one by one. The reader gives no blocks afterwards; nothing when
  // it has no such store or blocks were read.
  virtual Result<std::optional<StoredCells>> take_stored_cells() { return std::optional<StoredCells>(); }
  // Whether read_dense() can still hand out the blocks.
  virtual bool reads_dense() const { return false; }
  // The layout read_dense() fills fastest: its file's own order where it
  // is one of the two.
  virtual AxisOrder dense_layout() const { return AxisOrder::XYZ; }
  // For whole-box consumers (arrays, conversions), instead of the first
  // read(): the palette (air first, the kinds of air a file lists kept as
  // states) and one index per position into the cells `allocate` gives,
  // in `layout` (XYZ or YZX), zero to begin with; without a per-block
  // store. The reader gives no blocks afterwards; extras() still answers.
  virtual Status read_dense(const DenseAllocator&, std::vector<StateRef>&, AxisOrder) {
    return Status::Error("reading into an array is not supported");
  }

  // Up to `max` blocks, or nothing once the reader is exhausted.
  Result<std::optional<std::vector<Block>>> read_next(size_t max);
  // Copies every remaining block into `output`, then completes it; the
  // output is destroyed on every path, completed only after a clean end.
  Status transfer_into(std::unique_ptr<SchematicOutputStream> output);
  // Inserts every remaining block into `store`.
  Status read_to_end(BlockStore& store);
  // Every remaining block, in one list.
  Result<std::vector<Block>> read_to_end_into_vec();
  // Reads batches of up to kBatchSize into one reused list, handing each to
  // `take(batch)` (a Status), until the reader ends or anything fails;
  // looks for an interrupt before every batch.
  template <typename Take>
  Status for_each_batch(Take&& take);
};

template <typename Take>
Status SchematicInputStream::for_each_batch(Take&& take) {
  std::vector<Block> batch;
  batch.reserve(kBatchSize);
  while (true) {
    KUBIC_RETURN_IF_ERROR(check_interrupt());
    batch.clear();
    auto outcome = read(batch, kBatchSize);
    if (!outcome.ok()) return outcome.status();
    if (!outcome->has_more) return Status::Ok();
    KUBIC_RETURN_IF_ERROR(take(batch));
  }
}

// What every format writer implements: `write` and `complete`.
class SchematicOutputStream {
 public:
  virtual ~SchematicOutputStream() = default;
  virtual Status write(std::span<const Block> blocks) = 0;
  virtual Status complete() = 0;
  // Block entities, entities and metadata to write with the blocks, in the
  // frame of the blocks; before the first write(). Formats without a place
  // for them ignore them.
  virtual Status set_extras(SchematicExtras) { return Status::Ok(); }
  // Whether block entities outside the box are written too; formats that
  // keep them in their block entries cannot.
  virtual bool holds_block_entities_outside() const { return true; }
  // Whether write_stored() can take the place of write() and complete().
  virtual bool writes_stored() const { return false; }
  // Writes the whole box from a reader's store over a box of the same
  // size, as writing its blocks and completing would.
  virtual Status write_stored(const StoredCells&) { return Status::Error("writing from a store is not supported"); }
  // Whether write_dense_document() can take the place of write() and
  // complete().
  virtual bool writes_dense() const { return false; }
  // Writes the whole box from indices into `states`, one per position of a
  // box of the same size in `layout` (XYZ or YZX), as writing its blocks
  // and completing would.
  virtual Status write_dense_document(const uint16_t*, const std::vector<StateRef>&, AxisOrder) {
    return Status::Error("writing from an array is not supported");
  }

  // After complete(): what the writer had to change to hold the blocks (a
  // state the format has no equivalent for), one sentence each.
  virtual std::vector<std::string> take_notes() { return {}; }

  // Writes every block of the store in XYZ order, in batches; does not
  // complete.
  Status write_all(const BlockStore& store);
};

}  // namespace kubic
