#include <gtest/gtest.h>

#include "io/chains.h"
#include "formats/any_reader.h"
#include "formats/kub/kub_reader.h"
#include "formats/kub/kub_writer.h"
#include "formats/mcedit/mcedit_reader.h"
#include "formats/structure/structure_reader.h"
#include "formats/structure/structure_writer.h"
#include "io/shared_stream.h"
#include "formats/sponge/sponge_reader.h"
#include "formats/sponge/sponge_writer.h"
#include "support/corpus.h"
#include "support/nbt_build.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using namespace kubic::testing;
using Bytes = std::vector<uint8_t>;

std::unique_ptr<SchematicInputStream> named_reader(const std::string& folder, Bytes raw) {
  if (folder == "sponge") return std::make_unique<SpongeSchematicInputStream>(source_of(std::move(raw)));
  if (folder == "structure") return std::make_unique<StructureSchematicInputStream>(source_of(std::move(raw)));
  if (folder == "mcedit") return std::make_unique<MCEditSchematicInputStream>(source_of(std::move(raw)));
  return std::make_unique<KUBSchematicInputStream>(source_of(std::move(raw)));
}

TEST(DetectionTest, CorpusFilesYieldWhatTheirNamedReaderYields) {
  bool any = false;
  for (const char* folder : {"sponge", "structure", "mcedit"}) {
    for (const auto& path : corpus_files(folder)) {
      any = true;
      Bytes raw = *gunzip(read_file(path));
      ::testing::internal::CaptureStdout();
      auto expected = named_reader(folder, raw)->read_to_end_into_vec();
      auto detected = AnySchematicInputStream::new_from_known(source_of(raw))->read_to_end_into_vec();
      ::testing::internal::GetCapturedStdout();
      if (!expected.ok()) {
        EXPECT_EQ(detected.message(), "No matching format found") << path;
        continue;
      }
      ASSERT_TRUE(detected.ok()) << path << ": " << detected.message();
      EXPECT_EQ(describe(*detected), describe(*expected)) << path;
    }
  }
  if (!any) GTEST_SKIP() << "corpus folder absent";
}

std::vector<Block> sample_blocks() {
  return {{{0, 0, 0}, state("minecraft:stone")}, {{0, 1, 2}, state("minecraft:oak_log[axis=x]")},
          {{2, 1, 1}, state("minecraft:dirt")}};
}

Bytes written(std::unique_ptr<SchematicOutputStream> (*make)(std::unique_ptr<ByteSink>),
              const std::vector<Block>& blocks) {
  auto out = std::make_shared<Bytes>();
  auto writer = make(std::make_unique<MemorySink>(out));
  EXPECT_TRUE(writer->write(blocks).ok());
  EXPECT_TRUE(writer->complete().ok());
  return *out;
}

TEST(DetectionTest, OurOwnOutputsAreRecognised) {
  Boundary box(0, 0, 0, 3, 2, 3);
  using Make = std::unique_ptr<SchematicOutputStream> (*)(std::unique_ptr<ByteSink>);
  Make makers[] = {
      [](std::unique_ptr<ByteSink> s) -> std::unique_ptr<SchematicOutputStream> {
        return std::make_unique<KUBSchematicOutputStream>(std::move(s), AxisOrder::XYZ, Boundary(0, 0, 0, 3, 2, 3));
      },
      [](std::unique_ptr<ByteSink> s) -> std::unique_ptr<SchematicOutputStream> {
        return std::make_unique<SpongeSchematicOutputStream>(std::move(s), Boundary(0, 0, 0, 3, 2, 3));
      },
      [](std::unique_ptr<ByteSink> s) -> std::unique_ptr<SchematicOutputStream> {
        return std::make_unique<StructureSchematicOutputStream>(std::move(s));
      },
  };
  for (Make make : makers) {
    auto detector = AnySchematicInputStream::new_from_known(source_of(written(make, sample_blocks())));
    EXPECT_EQ(describe(*detector->read_to_end_into_vec()), describe(sample_blocks()));
  }
}

TEST(DetectionTest, DocumentedCases) {
  using Make = std::unique_ptr<SchematicOutputStream> (*)(std::unique_ptr<ByteSink>);
  Make kub = [](std::unique_ptr<ByteSink> s) -> std::unique_ptr<SchematicOutputStream> {
    return std::make_unique<KUBSchematicOutputStream>(std::move(s), AxisOrder::XYZ, Boundary(0, 0, 0, 3, 2, 3));
  };
  std::vector<Block> out;
  // A valid kub file: decided and served at the first read.
  auto decided = AnySchematicInputStream::new_from_known(source_of(written(kub, sample_blocks())));
  auto first = decided->read(out, 4096);
  EXPECT_TRUE(first->has_more);
  EXPECT_EQ(first->count, 3u);
  // An empty kub body: the candidate ends, so the detector ends too.
  auto empty = AnySchematicInputStream::new_from_known(source_of(written(kub, {})));
  EXPECT_FALSE(empty->read(out, 4096)->has_more);
  EXPECT_FALSE(empty->read(out, 4096)->has_more);
  // Not gzip, and gzip of text: nothing matches, and there is no boundary.
  for (const Bytes& input : {Bytes{'n', 'o', 't'}, gzip(Bytes(100, 'a'))}) {
    auto none = AnySchematicInputStream::new_from_known(make_decompressing_chain(source_of(input)));
    EXPECT_EQ(none->read(out, 10).message(), "No matching format found");
    auto no_boundary = AnySchematicInputStream::new_from_known(make_decompressing_chain(source_of(input)));
    EXPECT_FALSE(no_boundary->boundary()->has_value());
  }
  // boundary() before any read settles on the single survivor.
  auto sponge = AnySchematicInputStream::new_from_known(source_of(written(
      [](std::unique_ptr<ByteSink> s) -> std::unique_ptr<SchematicOutputStream> {
        return std::make_unique<SpongeSchematicOutputStream>(std::move(s), Boundary(5, 5, 5, 3, 2, 3));
      },
      {})));
  EXPECT_EQ(**sponge->boundary(), Boundary(0, 0, 0, 3, 2, 3));
  EXPECT_FALSE(sponge->read(out, 10)->has_more);
}

// A reader that produces `blocks` blocks and then ends.
class ScriptedReader final : public SchematicInputStream {
 public:
  explicit ScriptedReader(int blocks) : remaining_(blocks) {}
  Result<ReadOutcome> read(std::vector<Block>& out, size_t) override {
    if (remaining_-- <= 0) return ReadOutcome{false, 0};
    out.push_back({{0, 0, remaining_}, state("minecraft:stone")});
    return ReadOutcome{true, 1};
  }
  Result<std::optional<Boundary>> boundary() override { return std::optional<Boundary>(); }

 private:
  int remaining_;
};

TEST(DetectionTest, TwoCandidatesEndingTogetherLeaveNothing) {
  std::vector<std::unique_ptr<SchematicInputStream>> readers;
  readers.push_back(std::make_unique<ScriptedReader>(2));
  readers.push_back(std::make_unique<ScriptedReader>(2));
  AnySchematicInputStream detector(std::move(readers));
  std::vector<Block> out;
  EXPECT_EQ(detector.read(out, 10)->count, 0u);
  EXPECT_EQ(detector.read(out, 10)->count, 0u);
  EXPECT_FALSE(detector.read(out, 10)->has_more);
  EXPECT_TRUE(out.empty());
}

TEST(SharedStreamTest, SourceIsReadOnceInSmallPiecesWithLinearCopying) {
  for (size_t size : {size_t(1) << 20, size_t(4) << 20}) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) data[i] = uint8_t(i * 7);
    auto shared = SharedStream::create(source_of(data));
    auto fast = shared->fork();
    auto slow = shared->fork();
    Bytes got_fast, got_slow;
    uint8_t buffer[3000];
    // The fast fork runs ahead by up to a megabyte, the slow one follows.
    while (true) {
      auto n = fast->read(buffer, sizeof buffer);
      got_fast.insert(got_fast.end(), buffer, buffer + *n);
      if (got_fast.size() > got_slow.size() + (1 << 20) || *n == 0) {
        auto m = slow->read(buffer, 1000);
        got_slow.insert(got_slow.end(), buffer, buffer + *m);
        if (*n == 0 && *m == 0) break;
      }
    }
    EXPECT_EQ(got_fast, data);
    EXPECT_EQ(got_slow, data);
    EXPECT_LE(shared->source_reads(), size / SharedStream::kReadSize + 2);
    EXPECT_LE(shared->bytes_compacted(), 2 * size);
  }
}

TEST(SharedStreamTest, ALoneForkReadsOnWithoutACopy) {
  Bytes data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 13);
  auto shared = SharedStream::create(source_of(data));
  auto lone = shared->fork();
  auto other = shared->fork();
  Bytes got(data.size());
  EXPECT_EQ(*lone->read(got.data(), 500), 500u);
  other.reset();
  // The bytes read while another fork lived come from the buffer first.
  EXPECT_EQ(*lone->read(got.data() + 500, 60000), 524u);
  EXPECT_EQ(*lone->read(got.data() + 1024, 60000), 60000u);
  EXPECT_EQ(shared->buffered(), 0u);
  EXPECT_EQ(*lone->read(got.data() + 61024, 60000), data.size() - 61024);
  EXPECT_EQ(*lone->read(got.data(), 10), 0u);
  EXPECT_EQ(got, data);
}

TEST(SharedStreamTest, DeadForksStopHoldingBytes) {
  Bytes data(10000, 1);
  auto shared = SharedStream::create(source_of(data));
  auto a = shared->fork();
  auto b = shared->fork();
  uint8_t buffer[4096];
  while (*a->read(buffer, sizeof buffer) > 0) {
  }
  EXPECT_EQ(shared->buffered(), data.size());
  a.reset();
  // Only the bytes behind the slowest live fork are dropped.
  (void)b->read(buffer, 10);
  EXPECT_EQ(shared->buffered(), data.size() - 10);
}

}  // namespace
}  // namespace kubic
