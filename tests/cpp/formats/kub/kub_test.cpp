#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "blocks/canonical_state.h"
#include "common/varint.h"
#include "io/memory_stream.h"
#include "store/paged_block_store.h"
#include "formats/kub/kub_reader.h"
#include "formats/kub/kub_writer.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using testing::describe;
using testing::source_of;
using testing::state;

using Bytes = std::vector<uint8_t>;
const Bytes kMagic = {0xD4, 0x9A, 0x99, 0x92, 0xD4, 0xEA, 0x12};

Bytes header(std::initializer_list<int32_t> corners, uint8_t order = 0) {
  Bytes out = kMagic;
  out.push_back(1);
  for (int32_t c : corners) {
    uint8_t buf[5];
    out.insert(out.end(), buf, buf + encode_var_int(c, buf));
  }
  out.push_back(order);
  return out;
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes str(const std::string& s) {
  Bytes out;
  out.push_back(uint8_t(s.size()));
  for (char c : s) out.push_back(uint8_t(c));
  return out;
}

// Writes blocks in batches through a writer over memory; returns the bytes.
Result<Bytes> write_kub(const std::vector<Block>& blocks, const Boundary& box, AxisOrder order,
                        size_t batch = kBatchSize) {
  auto out = std::make_shared<Bytes>();
  KUBSchematicOutputStream writer(std::make_unique<MemorySink>(out), order, box);
  for (size_t i = 0; i < blocks.size() || i == 0; i += batch) {
    size_t n = std::min(batch, blocks.size() - i);
    KUBIC_RETURN_IF_ERROR(writer.write(std::span<const Block>(blocks.data() + i, n)));
  }
  KUBIC_RETURN_IF_ERROR(writer.complete());
  return *out;
}

TEST(KubFormatTest, WorkedExampleBytes) {
  std::vector<Block> blocks = {{{0, 0, 0}, state("minecraft:stone")},
                               {{1, 0, 0}, state("minecraft:stone")}};
  auto bytes = write_kub(blocks, Boundary(0, 0, 0, 3, 1, 1), AxisOrder::XYZ);
  ASSERT_TRUE(bytes.ok());
  Bytes expected = concat(concat(header({0, 0, 0, 2, 0, 0}), concat({0, 0}, str("minecraft:stone"))),
                          {0x03, 0x02});
  EXPECT_EQ(*bytes, expected);
  KUBSchematicInputStream reader(source_of(*bytes));
  EXPECT_EQ(describe(*reader.read_to_end_into_vec()),
            (std::vector<std::string>{"0,0,0 minecraft:stone", "1,0,0 minecraft:stone"}));
}

TEST(KubWriterTest, DocumentedByteShapes) {
  Boundary box(0, 0, 0, 8, 1, 1);
  auto stone = state("minecraft:stone");
  // One call: full entry and one run of 3; three calls: three singles.
  std::vector<Block> three = {{{0, 0, 0}, stone}, {{1, 0, 0}, stone}, {{2, 0, 0}, stone}};
  Bytes entry = concat({0, 0}, str("minecraft:stone"));
  EXPECT_EQ(*write_kub(three, box, AxisOrder::ZYX),
            concat(header({0, 0, 0, 7, 0, 0}, 5), concat(entry, {0x03, 0x03})));
  EXPECT_EQ(*write_kub(three, box, AxisOrder::ZYX, 1),
            concat(header({0, 0, 0, 7, 0, 0}, 5), concat(entry, {0x02, 0x02, 0x02})));
  // A first block at index 3: air entry, air run, diff entry, single.
  std::vector<Block> late = {{{3, 0, 0}, stone}};
  Bytes air_first = concat(concat({0, 0}, str("minecraft:air")), {0x03, 0x03});
  air_first = concat(concat(air_first, concat({1, 2}, str(":stone"))), {0x04});
  EXPECT_EQ(*write_kub(late, box, AxisOrder::ZYX), concat(header({0, 0, 0, 7, 0, 0}, 5), air_first));
  // An empty write still writes the header; negative corners take five bytes.
  Bytes neg = *write_kub({}, Boundary(-1, 0, -300, 2, 1, 1), AxisOrder::XYZ);
  EXPECT_EQ(neg, header({-1, 0, -300, 0, 0, -300}));
  EXPECT_EQ(neg.size(), 7u + 1 + 5 + 1 + 5 + 1 + 1 + 5 + 1);
}

TEST(KubWriterTest, ModdedStatesAndEmptyBoxesReadBack) {
  Boundary box(0, 0, 0, 2, 1, 1);
  // The reader refuses "mod:thing[a=b]" as a full entry: it is reached
  // through an air entry and a difference.
  std::vector<Block> modded = {{{1, 0, 0}, BlockState::create("mod:thing", {{"a", "b"}})}};
  auto bytes = write_kub(modded, box, AxisOrder::XYZ);
  ASSERT_TRUE(bytes.ok()) << bytes.message();
  KUBSchematicInputStream reader(source_of(*bytes));
  EXPECT_EQ(describe(*reader.read_to_end_into_vec()), (std::vector<std::string>{"1,0,0 mod:thing[a=b]"}));
  // complete() without any write still writes the header.
  auto out = std::make_shared<Bytes>();
  KUBSchematicOutputStream empty(std::make_unique<MemorySink>(out), AxisOrder::XYZ, box);
  ASSERT_TRUE(empty.complete().ok());
  EXPECT_EQ(*out, header({0, 0, 0, 1, 0, 0}));
}

TEST(KubWriterTest, StateErrors) {
  Boundary box(0, 0, 0, 4, 1, 1);
  auto out = std::make_shared<Bytes>();
  KUBSchematicOutputStream writer(std::make_unique<MemorySink>(out), AxisOrder::XYZ, box);
  std::vector<Block> same = {{{1, 0, 0}, state("minecraft:a")}, {{1, 0, 0}, state("minecraft:b")}};
  EXPECT_EQ(writer.write(same).message(),
            "KUB: Blocks out of order. Current cursor at 2, but received block at 1");
  ASSERT_TRUE(writer.complete().ok());
  EXPECT_EQ(writer.write({}).message(), "KUB: Stream is closed");

  struct FailingSink final : ByteSink {
    Result<size_t> write(const uint8_t*, size_t) override { return Status::Error("pipe broke"); }
    Status flush() override { return Status::Error("flush broke"); }
  };
  KUBSchematicOutputStream failing(std::make_unique<FailingSink>(), AxisOrder::XYZ, box);
  EXPECT_EQ(failing.write({}).message(), "Write failed: pipe broke");
  EXPECT_EQ(failing.complete().message(), "Write failed: pipe broke");
  struct FlushFailing final : ByteSink {
    Result<size_t> write(const uint8_t*, size_t n) override { return n; }
    Status flush() override { return Status::Error("flush broke"); }
  };
  KUBSchematicOutputStream unflushable(std::make_unique<FlushFailing>(), AxisOrder::XYZ, box);
  EXPECT_EQ(unflushable.complete().message(), "flush broke");
  EXPECT_TRUE(unflushable.write({}).ok());  // not closed after a failed complete()
  // A state that no entry can carry is refused, not written wrong.
  auto out2 = std::make_shared<Bytes>();
  KUBSchematicOutputStream strict(std::make_unique<MemorySink>(out2), AxisOrder::XYZ, box);
  std::vector<Block> odd = {{{0, 0, 0}, state("minecraft:stone")},
                            {{2, 0, 0}, BlockState::create("mod:Weird.Block", {{"a", "b"}})}};
  EXPECT_EQ(strict.write(odd).message(), "KUB: Cannot encode block state mod:Weird.Block[a=b]");
}

// What read_dense() makes of the bytes in the form of first_error(): the
// non-air cells (in the cells' layout), or the message.
std::string dense_error(const Bytes& bytes, AxisOrder layout, std::vector<Block>* blocks = nullptr) {
  KUBSchematicInputStream reader(source_of(bytes));
  std::vector<uint16_t> cells;
  std::vector<StateRef> palette;
  Status status = reader.read_dense([&](const Boundary& box) {
    cells.assign(std::max<size_t>(size_t(box.volume()), 1), 0);  // null would mean no room
    return cells.data();
  }, palette, layout);
  if (!status.ok()) return status.message();
  const Boundary box = **reader.boundary();
  size_t count = 0, i = 0;
  auto walk = box.walk(layout);
  while (auto p = walk.next()) {
    if (const uint16_t cell = cells[i++]) {
      ++count;
      if (blocks) blocks->push_back({*p, palette[cell]});
    }
  }
  return "<ok " + std::to_string(count) + ">";
}

TEST(KubRoundTripTest, RandomBoxesInEveryOrder) {
  std::mt19937 rng(99);
  std::vector<StateRef> states;
  for (int i = 0; i < 300; ++i) {
    std::string name = i % 7 == 0 ? "other:block_" : "minecraft:block_";
    std::vector<BlockState::Property> props;
    if (i % 3) props.emplace_back("facing", i % 2 ? "north" : "south");
    if (i % 5) props.emplace_back("level", std::to_string(i % 16));
    if (i % 7 == 1) std::reverse(props.begin(), props.end());
    states.push_back(BlockState::create(name + std::to_string(i / 4), props));
  }
  states.push_back(BlockState::create("minecraft:cave_air"));
  for (int code = 0; code < 6; ++code) {
    AxisOrder order = AxisOrder(code);
    Boundary box(-5, -70, 12, 17, 9, 33);
    auto walk = box.walk(order);
    std::vector<Block> blocks;
    while (auto p = walk.next()) {
      if (rng() % 4 == 0) continue;
      // Long runs of one state, crossing batch boundaries.
      const StateRef& s = states[(blocks.size() / 600 + rng() % 2) % states.size()];
      blocks.push_back({*p, s});
    }
    auto bytes = write_kub(blocks, box, order);
    ASSERT_TRUE(bytes.ok()) << bytes.message();
    KUBSchematicInputStream reader(source_of(*bytes));
    auto back = reader.read_to_end_into_vec();
    ASSERT_TRUE(back.ok()) << back.message();
    std::vector<Block> expected;
    for (const auto& b : blocks) {
      if (!b.state->is_air()) expected.push_back(b);
    }
    EXPECT_EQ(describe(*back), describe(expected)) << code;
    // States come back in their canonical form, properties sorted by key.
    for (size_t i = 0; i < std::min(back->size(), expected.size()); ++i) {
      ASSERT_TRUE((*back)[i].state == canonical_state(expected[i].state)) << (*back)[i].state->to_string();
    }
    EXPECT_EQ(**reader.boundary(), box);
    // Read into cells of either layout, the same blocks, cave air kept as
    // the reader keeping listed air gives it.
    KUBSchematicInputStream listing(source_of(*bytes));
    listing.keep_listed_air();
    auto listed = describe(*listing.read_to_end_into_vec());
    std::sort(listed.begin(), listed.end());
    for (AxisOrder layout : {AxisOrder::XYZ, AxisOrder::YZX}) {
      std::vector<Block> dense;
      EXPECT_EQ(dense_error(*bytes, layout, &dense), "<ok " + std::to_string(blocks.size()) + ">") << code;
      auto placed = describe(dense);
      std::sort(placed.begin(), placed.end());
      EXPECT_EQ(placed, listed) << code << " into " << int(layout);
    }
  }
}

Bytes body_of(std::initializer_list<Bytes> parts) {
  Bytes out = header({0, 0, 0, 2, 0, 0});
  for (const auto& p : parts) out = concat(out, p);
  return out;
}

std::string first_error(const Bytes& bytes) {
  KUBSchematicInputStream reader(source_of(bytes));
  auto r = reader.read_to_end_into_vec();
  return r.ok() ? "<ok " + std::to_string(r->size()) + ">" : r.message();
}

TEST(KubReaderTest, MessagesByCause) {
  Bytes stone = concat({0, 0}, str("minecraft:stone"));
  struct Case {
    std::string name;
    Bytes bytes;
    std::string message;
  } cases[] = {
      {"short header", Bytes(kMagic.begin(), kMagic.begin() + 3), "failed to fill whole buffer"},
      {"bad magic", {0x01}, "KUB: Invalid magic number. Expected 0x4B5542464D54, got 0x1"},
      {"long magic", Bytes(10, 0xFF), "KUB: VarLong too big"},
      {"version", concat(kMagic, {3}), "KUB: Unsupported version. Expected 1, got 3"},
      {"var int", concat(kMagic, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "KUB: VarInt too big"},
      {"axis order", concat(concat(kMagic, {1, 0, 0, 0, 0, 0, 0}), {6}), "KUB: Invalid AxisOrder 6"},
      {"negative string", body_of({{0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}}), "Negative string length"},
      {"bad utf8", body_of({{0, 0, 2, 0xC3, 0x28}}), "invalid utf-8 sequence of 1 bytes from index 0"},
      {"parse", body_of({concat({0, 0}, str("a[b]"))}),
       "KUB: Parse error: Malformed BlockState string: 'a[b]' must contain exactly one ':' separating namespace and type"},
      {"missing base", body_of({stone, concat({1, 6}, str(":dirt"))}), "KUB: Missing Ref ID 6"},
      {"diff", body_of({stone, concat({1, 2}, str("a:b:c"))}),
       "KUB: Diff error: Malformed difference string: 'a:b:c' must contain at most one ':' separating namespace and type"},
      {"unknown single", body_of({stone, {4}}), "KUB: Unknown Palette ID 4"},
      {"unknown run", body_of({stone, {5, 2}}), "KUB: Unknown Palette ID 4"},
      {"negative odd code", body_of({stone, {0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 1}}), "KUB: Unknown Palette ID -2"},
      {"too many", body_of({stone, {3, 4}}), "KUB: Ran out of positions in boundary after reading 3 blocks"},
      {"negative run", body_of({stone, {3, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}}),
       "KUB: Ran out of positions in boundary after reading 3 blocks"},
      {"cut string", body_of({{0, 0, 15, 'm', 'i'}}), "failed to fill whole buffer"},
      {"cut run count", body_of({stone, {3, 0x80}}), "failed to fill whole buffer"},
      {"cut code ends body", body_of({stone, {2, 0x80}}), "<ok 1>"},
      {"long code ends body", body_of({stone, {2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}), "<ok 1>"},
      {"zero run", body_of({stone, {3, 0}, {2}}), "<ok 1>"},
      {"run in an empty box", concat(header({0, 0, 0, -1, 0, 0}, 2), concat(stone, {3, 2})),
       "KUB: Ran out of positions in boundary after reading 0 blocks"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(first_error(c.bytes), c.message) << c.name;
    // Reading into an array ends alike, also where its items are taken in
    // place from a full buffer (more bytes follow them).
    for (const Bytes& bytes : {c.bytes, concat(c.bytes, Bytes(12, 2))}) {
      EXPECT_EQ(dense_error(bytes, AxisOrder::YZX), first_error(bytes)) << c.name;
    }
  }
}

TEST(KubReaderTest, ReadSemantics) {
  Boundary box(0, 0, 0, 20000, 1, 1);
  std::vector<Block> blocks = {{{10000, 0, 0}, state("minecraft:stone")}};
  auto bytes = *write_kub(blocks, box, AxisOrder::XYZ);
  KUBSchematicInputStream reader(source_of(bytes));
  std::vector<Block> out;
  auto first = reader.read(out, 4096);
  EXPECT_TRUE(first->has_more);
  EXPECT_EQ(first->count, 1u);
  EXPECT_FALSE(reader.read(out, 4096)->has_more);
  EXPECT_FALSE(reader.read(out, 4096)->has_more);

  // Header only: boundary present, first read ends.
  KUBSchematicInputStream empty(source_of(header({1, 2, 3, 4, 5, 6})));
  EXPECT_EQ(**empty.boundary(), Boundary(1, 2, 3, 4, 4, 4));
  EXPECT_TRUE(empty.read(out, 0)->has_more);
  EXPECT_FALSE(empty.read(out, 10)->has_more);

  // A negative run count runs out even a box of more than 2^64 positions.
  const int32_t big = 0x7FFFFFFE;
  KUBSchematicInputStream huge(source_of(concat(header({0, 0, 0, big, big, big}),
                                                concat(concat({0, 0}, str("minecraft:air")), {3, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}))));
  EXPECT_EQ(huge.read(out, 10).message(), "KUB: Ran out of positions in boundary after reading " +
                                               volume_string(Volume(big + 1) * Volume(big + 1) * Volume(big + 1)) + " blocks");

  // A run longer than max continues in the next call, negative corner first.
  std::vector<Block> run;
  Boundary neg(-3, -3, -3, 2, 2, 2);
  auto walk = neg.walk(AxisOrder::YXZ);
  while (auto p = walk.next()) run.push_back({*p, state("minecraft:dirt")});
  KUBSchematicInputStream split(source_of(*write_kub(run, neg, AxisOrder::YXZ)));
  std::vector<Block> part;
  EXPECT_EQ(split.read(part, 5)->count, 5u);
  EXPECT_EQ(part[0].position, (BlockPosition{-3, -3, -3}));
  EXPECT_EQ(split.read(part, 5)->count, 3u);
  EXPECT_EQ(describe(part), describe(run));
}

}  // namespace
}  // namespace kubic
