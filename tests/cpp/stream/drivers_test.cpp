#include <gtest/gtest.h>

#include "store/paged_block_store.h"
#include "stream/schematic_stream.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using testing::RecordingLog;
using testing::RecordingWriter;

// Produces `total` stone blocks lazily along x, after `empty_calls` (true, 0)
// answers; records the largest batch it was asked for.
class CountingReader final : public SchematicInputStream {
 public:
  CountingReader(uint64_t total, int empty_calls) : total_(total), empty_calls_(empty_calls) {}

  Result<ReadOutcome> read(std::vector<Block>& out, size_t max) override {
    largest_out_capacity = std::max(largest_out_capacity, out.capacity());
    if (empty_calls_ > 0) {
      --empty_calls_;
      return ReadOutcome{true, 0};
    }
    size_t n = 0;
    for (; n < max && produced_ < total_; ++n, ++produced_) {
      out.push_back({{int32_t(produced_ % 1000), int32_t(produced_ / 1000 % 1000), int32_t(produced_ / 1000000)},
                     stone_});
    }
    if (n == 0) return ReadOutcome{false, 0};
    return ReadOutcome{true, n};
  }
  Result<std::optional<Boundary>> boundary() override { return std::optional<Boundary>(); }

  size_t largest_out_capacity = 0;

 private:
  uint64_t total_;
  uint64_t produced_ = 0;
  int empty_calls_;
  StateRef stone_ = BlockState::create("minecraft:stone");
};

TEST(DriversTest, ExhaustedReader) {
  CountingReader a(0, 0), b(0, 0), c(0, 0), d(0, 0);
  EXPECT_FALSE(a.read_next(10)->has_value());
  EXPECT_TRUE(b.read_to_end_into_vec()->empty());
  auto store = PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, 1, 1, 1));
  EXPECT_TRUE(c.read_to_end(*store).ok());
  auto log = std::make_shared<RecordingLog>();
  EXPECT_TRUE(d.transfer_into(std::make_unique<RecordingWriter>(log)).ok());
  EXPECT_EQ(log->completes, 1);
  EXPECT_TRUE(log->write_sizes.empty());
  EXPECT_TRUE(log->destroyed);
}

TEST(DriversTest, EmptyAnswersAreReadAgain) {
  CountingReader reader(4097, 3);
  auto first = reader.read_next(0);
  ASSERT_TRUE(first->has_value());
  EXPECT_TRUE((*first)->empty());
  auto log = std::make_shared<RecordingLog>();
  EXPECT_TRUE(reader.transfer_into(std::make_unique<RecordingWriter>(log)).ok());
  // Undecided answers pass through as empty writes, which writers accept.
  EXPECT_EQ(log->write_sizes, (std::vector<size_t>{0, 0, 4096, 1}));
  EXPECT_EQ(log->completes, 1);
}

TEST(DriversTest, FailingWriteStopsTransferWithoutComplete) {
  CountingReader reader(10000, 0);
  auto log = std::make_shared<RecordingLog>();
  log->fail_on_write = 1;
  EXPECT_EQ(reader.transfer_into(std::make_unique<RecordingWriter>(log)).message(), "write refused");
  EXPECT_EQ(log->write_sizes, (std::vector<size_t>{4096}));
  EXPECT_EQ(log->completes, 0);
  EXPECT_TRUE(log->destroyed);
}

TEST(DriversTest, WriteAllBatchesTheStore) {
  auto store = PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, 64, 64, 2));
  auto log = std::make_shared<RecordingLog>();
  RecordingWriter writer(log);
  EXPECT_TRUE(writer.write_all(*store).ok());
  EXPECT_TRUE(log->write_sizes.empty());
  for (int i = 0; i < 4097; ++i) {
    ASSERT_TRUE(store->set_block_at({i % 64, (i / 64) % 64, i / 4096}, testing::state("minecraft:stone")).ok());
  }
  EXPECT_TRUE(writer.write_all(*store).ok());
  EXPECT_EQ(log->write_sizes, (std::vector<size_t>{4096, 1}));
  EXPECT_EQ(log->completes, 0);
}

TEST(DriversTest, MemoryStaysWithinOneBatch) {
  struct CountingWriter final : SchematicOutputStream {
    std::shared_ptr<uint64_t> seen;
    explicit CountingWriter(std::shared_ptr<uint64_t> s) : seen(std::move(s)) {}
    Status write(std::span<const Block> blocks) override {
      *seen += blocks.size();
      return Status::Ok();
    }
    Status complete() override { return Status::Ok(); }
  };
  CountingReader reader(3000000, 0);
  auto seen = std::make_shared<uint64_t>(0);
  EXPECT_TRUE(reader.transfer_into(std::make_unique<CountingWriter>(seen)).ok());
  EXPECT_EQ(*seen, 3000000u);
  // Every batch list the driver handed to the reader had room for one batch.
  EXPECT_LE(reader.largest_out_capacity, kBatchSize);
}

}  // namespace
}  // namespace kubic
