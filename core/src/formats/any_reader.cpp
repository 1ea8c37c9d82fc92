#include "formats/any_reader.h"

#include <algorithm>

#include "formats/format_table.h"
#include "io/shared_stream.h"

namespace kubic {

std::unique_ptr<AnySchematicInputStream> AnySchematicInputStream::new_from_known(
    std::unique_ptr<ByteSource> input, bool input_was_gzip) {
  auto shared = SharedStream::create(std::move(input));
  std::vector<const FormatEntry*> formats;
  for (const FormatEntry& entry : format_table()) {
    if (input_was_gzip || !entry.gzip_only) formats.push_back(&entry);
  }
  std::sort(formats.begin(), formats.end(),
            [](const FormatEntry* a, const FormatEntry* b) { return a->detection_rank < b->detection_rank; });
  std::vector<std::unique_ptr<SchematicInputStream>> readers;
  std::vector<std::shared_ptr<const uint64_t>> progress;
  for (const FormatEntry* format : formats) {
    auto fork = shared->fork();
    progress.push_back(fork->progress());
    readers.push_back(format->make_reader(std::move(fork), {}));
    readers.back()->as_candidate();
  }
  auto any = std::make_unique<AnySchematicInputStream>(std::move(readers));
  for (size_t i = 0; i < progress.size(); ++i) {
    any->candidates_[i].progress = progress[i];
    any->candidates_[i].format = formats[i];
  }
  return any;
}

namespace {

// How far into an input a reader must have read to have recognised it.
constexpr uint64_t kRecognisedAfterBytes = 64;

}  // namespace

void AnySchematicInputStream::drop_failed(size_t i, Status status) {
  const auto& progress = candidates_[i].progress;
  const uint64_t bytes_read = progress ? *progress : 0;
  const size_t order = candidates_[i].order;
  const bool recognised = status.kind() != ErrorKind::Unrecognised && bytes_read >= kRecognisedAfterBytes;
  if (recognised && (!recognised_ || bytes_read > recognised_->bytes_read ||
                     (bytes_read == recognised_->bytes_read && order < recognised_->order))) {
    recognised_ = Failure{std::move(status), bytes_read, order};
  }
  candidates_.erase(candidates_.begin() + std::ptrdiff_t(i));
}

Status AnySchematicInputStream::no_format() const {
  Status status = Status::Unrecognised("No matching format found");
  return recognised_ ? status.with_cause(recognised_->status) : status;
}

AnySchematicInputStream::AnySchematicInputStream(std::vector<std::unique_ptr<SchematicInputStream>> readers) {
  for (auto& reader : readers) candidates_.push_back({std::move(reader), {}, {}, candidates_.size(), nullptr});
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
    return no_format();
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
  if (candidates_.empty()) return no_format();
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
