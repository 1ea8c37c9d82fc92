#include "stream/any_reader.h"

#include "stream/kub_reader.h"
#include "stream/mcedit_reader.h"
#include "stream/mojang_reader.h"
#include "stream/shared_stream.h"
#include "stream/sponge_reader.h"

namespace kubic {

std::unique_ptr<AnySchematicInputStream> AnySchematicInputStream::new_from_known(
    std::unique_ptr<ByteSource> input, bool input_was_gzip) {
  auto shared = SharedStream::create(std::move(input));
  std::vector<std::unique_ptr<SchematicInputStream>> readers;
  readers.push_back(std::make_unique<SpongeSchematicInputStream>(shared->fork()));
  readers.push_back(std::make_unique<MojangSchematicInputStream>(shared->fork()));
  readers.push_back(std::make_unique<MCEditSchematicInputStream>(shared->fork()));
  if (input_was_gzip) readers.push_back(std::make_unique<KUBSchematicInputStream>(shared->fork()));
  return std::make_unique<AnySchematicInputStream>(std::move(readers));
}

AnySchematicInputStream::AnySchematicInputStream(std::vector<std::unique_ptr<SchematicInputStream>> readers) {
  for (auto& reader : readers) candidates_.push_back({std::move(reader), {}});
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
  if (candidates_.size() == 1) return serve_single(out, max);
  if (candidates_.size() >= 2) {
    std::vector<size_t> marked;
    for (size_t i = 0; i < candidates_.size(); ++i) {
      std::vector<Block> fresh;
      auto outcome = candidates_[i].reader->read(fresh, max);
      if (!outcome.ok()) {
        marked.push_back(i);
      } else if (outcome->has_more) {
        auto& buffered = candidates_[i].buffered;
        buffered.insert(buffered.end(), std::make_move_iterator(fresh.begin()),
                        std::make_move_iterator(fresh.end()));
      } else {
        marked.push_back(i);
        finished_ = true;
      }
    }
    for (auto it = marked.rbegin(); it != marked.rend(); ++it) {
      candidates_.erase(candidates_.begin() + std::ptrdiff_t(*it));
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
  std::erase_if(candidates_, [](Candidate& c) { return !c.reader->boundary().ok(); });
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
    candidates_.erase(candidates_.begin());
  }
  if (candidates_.empty()) return Status::Error("No matching format found");
  return candidates_.front().reader->extras();
}

void AnySchematicInputStream::keep_listed_air() {
  for (Candidate& candidate : candidates_) candidate.reader->keep_listed_air();
}

}  // namespace kubic
