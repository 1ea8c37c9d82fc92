#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "io/byte_stream.h"
#include "stream/schematic_stream.h"

namespace kubic {

struct FormatEntry;

// Finds the format by letting one reader of each known format try the same
// input through its own fork; candidates that fail or end are dropped, and
// the one left serves the blocks, its buffered ones first.
class AnySchematicInputStream final : public SchematicInputStream {
 public:
  // `input` yields the decompressed bytes. Reads nothing. kub files are
  // gzip only: for input that was not gzip there is no kub candidate.
  static std::unique_ptr<AnySchematicInputStream> new_from_known(std::unique_ptr<ByteSource> input,
                                                                 bool input_was_gzip = true);
  // For tests and callers with their own set of candidates, in order.
  explicit AnySchematicInputStream(std::vector<std::unique_ptr<SchematicInputStream>> readers);

  Result<ReadOutcome> read(std::vector<Block>& out, size_t max) override;
  Result<std::optional<Boundary>> boundary() override;
  // The extras of the first candidate still standing that gives them.
  Result<SchematicExtras> extras() override;
  void keep_listed_air() override;
  // The found reader's, while it has not handed out blocks.
  Result<std::optional<StoredCells>> take_stored_cells() override;
  bool reads_dense() const override;
  AxisOrder dense_layout() const override;
  Status read_dense(const DenseAllocator& allocate, std::vector<StateRef>& palette, AxisOrder layout) override;
  // The reader of the format found, once only one candidate is left.
  const SchematicInputStream* found() const {
    return candidates_.size() == 1 ? candidates_.front().reader.get() : nullptr;
  }
  // The format found, once only one candidate is left; null for callers'
  // own candidates.
  const FormatEntry* found_format() const { return candidates_.size() == 1 ? candidates_.front().format : nullptr; }

 private:
  struct Candidate {
    std::unique_ptr<SchematicInputStream> reader;
    std::deque<Block> buffered;
    std::shared_ptr<const uint64_t> progress;  // empty for callers' own readers
    size_t order = 0;                          // place among the candidates
    const FormatEntry* format = nullptr;       // empty for callers' own readers
  };
  // Of the candidates dropped for an error, the one that recognised the
  // input and had read furthest into it. A file that is one format but
  // broken fails deep in that format's reader, while the other candidates
  // give up at its first bytes.
  struct Failure {
    Status status;
    uint64_t bytes_read = 0;
    size_t order = 0;  // of equally far ones, the earlier candidate counts
  };
  // Drops candidate i, remembering its failure if it recognised the input
  // and got furthest.
  void drop_failed(size_t i, Status status);
  // "No matching format found", with the recognising candidate's failure
  // as its cause when there is one.
  Status no_format() const;
  Result<ReadOutcome> serve_single(std::vector<Block>& out, size_t max);

  std::vector<Candidate> candidates_;
  std::optional<Failure> recognised_;
  bool finished_ = false;
};

}  // namespace kubic
