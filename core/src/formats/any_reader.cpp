#include "formats/any_reader.h"

#include "formats/kub/kub_reader.h"
#include "formats/litematica/litematica_reader.h"
#include "formats/mcedit/mcedit_reader.h"
#include "formats/structure/structure_reader.h"
#include "io/shared_stream.h"
#include "formats/sponge/sponge_reader.h"

namespace kubic {

std::unique_ptr<AnySchematicInputStream> AnySchematicInputStream::new_from_known(
    std::unique_ptr<ByteSource> input, bool input_was_gzip) {
  auto shared = SharedStream::create(std::move(input));
  std::vector<std::unique_ptr<SchematicInputStream>> readers;
  std::vector<std::weak_ptr<const uint64_t>> progress;
  auto fork = [&] {
    auto reader = shared->fork();
    progress.push_back(reader->progress());
    return reader;
  };
  readers.push_back(std::make_unique<SpongeSchematicInputStream>(fork()));
  readers.push_back(std::make_unique<StructureSchematicInputStream>(fork()));
  readers.push_back(std::make_unique<MCEditSchematicInputStream>(fork()));
  readers.push_back(std::make_unique<LitematicaSchematicInputStream>(fork()));
  if (input_was_gzip) readers.push_back(std::make_unique<KUBSchematicInputStream>(fork()));
  for (auto& reader : readers) reader->as_candidate();
  auto any = std::make_unique<AnySchematicInputStream>(std::move(readers));
  for (size_t i = 0; i < progress.size(); ++i) any->candidates_[i].progress = progress[i];
  return any;
}

void AnySchematicInputStream::drop_failed(size_t i, Status status) {
  auto progress = candidates_[i].progress.lock();
  uint64_t bytes_read = progress ? *progress : 0;
  size_t order = candidates_[i].order;
  if (!furthest_ || bytes_read > furthest_->bytes_read ||
      (bytes_read == furthest_->bytes_read && order < furthest_->order)) {
    furthest_ = Failure{std::move(status), bytes_read, order};
  }
  candidates_.erase(candidates_.begin() + std::ptrdiff_t(i));
}

AnySchematicInputStream::AnySchematicInputStream(std::vector<std::unique_ptr<SchematicInputStream>> readers) {
  for (auto& reader : readers) candidates_.push_back({std::move(reader), {}, {}, candidates_.size()});
}

Result<ReadOutcome> AnySchematicInputStream::serve_single(std::vector<Block>& out, size_t max) {
  Candidate& winner = candidates_.front();
  if (winner.buffered.empty()) return winner.reader->read(out, max);
  size_t n = std::min(max, winner.buffered.size());
  for (size_t i = 0; i < n; ++i) {
    out.push_back(std::move(winner.buffered.front()));
    winner.buffered.pop_front();
  }
  return ReadOutcome{true, n};
}

Result<ReadOutcome> AnySchematicInputStream::read(std::vector<Block>& out, size_t max) {
  // Headers first: candidates that fail theirs are gone, and with them the
  // bytes they held buffered, before the survivor takes in its blocks.
  if (candidates_.size() >= 2) (void)boundary();
  if (candidates_.size() == 1) return serve_single(out, max);
  if (candidates_.size() >= 2) {
    std::vector<std::pair<size_t, Status>> marked;
    for (size_t i = 0; i < candidates_.size(); ++i) {
      std::vector<Block> fresh;
      auto outcome = candidates_[i].reader->read(fresh, max);
      if (!outcome.ok()) {
        marked.emplace_back(i, outcome.status());
      } else if (outcome->has_more) {
        auto& buffered = candidates_[i].buffered;
        buffered.insert(buffered.end(), std::make_move_iterator(fresh.begin()),
                        std::make_move_iterator(fresh.end()));
      } else {
        marked.emplace_back(i, Status::Ok());
        finished_ = true;
      }
    }
    for (auto it = marked.rbegin(); it != marked.rend(); ++it) {
      if (it->second.ok()) {
        candidates_.erase(candidates_.begin() + std::ptrdiff_t(it->first));
      } else {
        drop_failed(it->first, std::move(it->second));
      }
    }
  }
  if (candidates_.empty()) {
    if (finished_) return ReadOutcome{false, 0};
    return Status::Error("No matching format found");
  }
  if (candidates_.size() == 1) return serve_single(out, max);
  return ReadOutcome{true, 0};
}

Result<std::optional<Boundary>> AnySchematicInputStream::boundary() {
  if (candidates_.size() == 1) return candidates_.front().reader->boundary();
  // Last to first, each dropped as soon as it fails: the candidates that
  // tell a document apart by its first bytes go before the first one takes
  // in a whole document, which then keeps no copy for them.
  for (size_t i = candidates_.size(); i-- > 0;) {
    auto boundary = candidates_[i].reader->boundary();
    if (!boundary.ok()) drop_failed(i, boundary.status());
  }
  if (candidates_.size() == 1) return candidates_.front().reader->boundary();
  return std::optional<Boundary>();
}

}  // namespace kubic

namespace kubic {

Result<SchematicExtras> AnySchematicInputStream::extras() {
  KUBIC_RETURN_IF_ERROR(boundary().status());
  // A candidate whose extras fail is not the format either.
  while (candidates_.size() > 1) {
    auto extras = candidates_.front().reader->extras();
    if (extras.ok()) return extras;
    drop_failed(0, extras.status());
  }
  if (candidates_.empty()) return Status::Error("No matching format found");
  return candidates_.front().reader->extras();
}

Result<std::optional<StoredCells>> AnySchematicInputStream::take_stored_cells() {
  KUBIC_RETURN_IF_ERROR(boundary().status());
  if (candidates_.size() != 1 || !candidates_.front().buffered.empty()) return std::optional<StoredCells>();
  return candidates_.front().reader->take_stored_cells();
}

bool AnySchematicInputStream::reads_dense() const {
  return candidates_.size() == 1 && candidates_.front().buffered.empty() && candidates_.front().reader->reads_dense();
}

AxisOrder AnySchematicInputStream::dense_layout() const {
  return candidates_.size() == 1 ? candidates_.front().reader->dense_layout() : AxisOrder::XYZ;
}

Status AnySchematicInputStream::read_dense(const DenseAllocator& allocate, std::vector<StateRef>& palette,
                                           AxisOrder layout) {
  KUBIC_RETURN_IF_ERROR(boundary().status());
  if (!reads_dense()) return Status::Error("reading into an array is not supported");
  return candidates_.front().reader->read_dense(allocate, palette, layout);
}

void AnySchematicInputStream::keep_listed_air() {
  for (Candidate& candidate : candidates_) candidate.reader->keep_listed_air();
}

}  // namespace kubic
