#include "stream/schematic_stream.h"

#include "common/interrupt.h"

namespace kubic {

Result<std::optional<std::vector<Block>>> SchematicInputStream::read_next(size_t max) {
  KUBIC_RETURN_IF_ERROR(check_interrupt());
  std::vector<Block> list;
  list.reserve(max);
  auto outcome = read(list, max);
  if (!outcome.ok()) return outcome.status();
  if (!outcome->has_more) return std::optional<std::vector<Block>>();
  return std::optional<std::vector<Block>>(std::move(list));
}

Status SchematicInputStream::transfer_into(std::unique_ptr<SchematicOutputStream> output) {
  KUBIC_RETURN_IF_ERROR(for_each_batch([&](std::vector<Block>& batch) { return output->write(batch); }));
  return output->complete();
}

Status SchematicInputStream::read_to_end(BlockStore& store) {
  return for_each_batch([&](std::vector<Block>& batch) { return store.insert(batch); });
}

Result<std::vector<Block>> SchematicInputStream::read_to_end_into_vec() {
  std::vector<Block> result;
  Status status = for_each_batch([&](std::vector<Block>& batch) {
    result.insert(result.end(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
    return Status::Ok();
  });
  if (!status.ok()) return status;
  return result;
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
