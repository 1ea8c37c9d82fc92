#include "stream/schematic_stream.h"

namespace kubic {

Result<std::optional<std::vector<Block>>> SchematicInputStream::read_next(size_t max) {
  std::vector<Block> list;
  list.reserve(max);
  auto outcome = read(list, max);
  if (!outcome.ok()) return outcome.status();
  if (!outcome->has_more) return std::optional<std::vector<Block>>();
  return std::optional<std::vector<Block>>(std::move(list));
}

Status SchematicInputStream::transfer_into(std::unique_ptr<SchematicOutputStream> output) {
  std::vector<Block> batch;
  batch.reserve(kBatchSize);
  while (true) {
    batch.clear();
    auto outcome = read(batch, kBatchSize);
    if (!outcome.ok()) return outcome.status();
    if (!outcome->has_more) return output->complete();
    KUBIC_RETURN_IF_ERROR(output->write(std::span<const Block>(batch.data(), outcome->count)));
  }
}

Status SchematicInputStream::read_to_end(BlockStore& store) {
  std::vector<Block> batch;
  batch.reserve(kBatchSize);
  while (true) {
    batch.clear();
    auto outcome = read(batch, kBatchSize);
    if (!outcome.ok()) return outcome.status();
    if (!outcome->has_more) return Status::Ok();
    KUBIC_RETURN_IF_ERROR(store.insert(std::span<const Block>(batch.data(), outcome->count)));
  }
}

Result<std::vector<Block>> SchematicInputStream::read_to_end_into_vec() {
  std::vector<Block> result;
  std::vector<Block> batch;
  batch.reserve(kBatchSize);
  while (true) {
    batch.clear();
    auto outcome = read(batch, kBatchSize);
    if (!outcome.ok()) return outcome.status();
    if (!outcome->has_more) return result;
    result.insert(result.end(), std::make_move_iterator(batch.begin()),
                  std::make_move_iterator(batch.end()));
  }
}

Status SchematicOutputStream::write_all(const BlockStore& store) {
  std::vector<Block> buffer;
  buffer.reserve(kBatchSize);
  auto blocks = store.block_iterator(AxisOrder::XYZ);
  while (auto block = blocks.next()) {
    buffer.push_back(std::move(*block));
    if (buffer.size() == kBatchSize) {
      KUBIC_RETURN_IF_ERROR(write(buffer));
      buffer.clear();
    }
  }
  return buffer.empty() ? Status::Ok() : write(buffer);
}

}  // namespace kubic
