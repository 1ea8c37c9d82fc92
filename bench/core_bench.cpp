// Benchmarks of the core's hot paths. Run: build/bench/bench/kubic_bench
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "io/chains.h"
#include "io/memory_stream.h"
#include "nbt/nbt_reader.h"
#include "nbt/nbt_stream_parser.h"
#include "store/paged_block_store.h"
#include "formats/any_reader.h"
#include "formats/kub/kub_reader.h"
#include "formats/kub/kub_writer.h"
#include "formats/structure/structure_reader.h"
#include "formats/structure/structure_writer.h"
#include "formats/sponge/sponge_format.h"
#include "formats/sponge/sponge_reader.h"
#include "formats/sponge/sponge_writer.h"

namespace kubic {
namespace {

constexpr int kSide = 256;

// A 256^3 box of long runs of a few dozen states, about 40% solid.
std::vector<Block> box_of_runs() {
  std::vector<StateRef> states;
  for (int i = 0; i < 60; ++i) states.push_back(BlockState::create("minecraft:block_" + std::to_string(i)));
  std::mt19937 rng(7);
  std::vector<Block> blocks;
  Boundary box(0, 0, 0, kSide, kSide, kSide);
  auto walk = box.walk(AxisOrder::XYZ);
  int run = 0;
  const StateRef* state = nullptr;
  while (auto p = walk.next()) {
    if (run == 0) {
      run = int(rng() % 200) + 1;
      state = rng() % 10 < 4 ? &states[rng() % states.size()] : nullptr;
    }
    --run;
    if (state) blocks.push_back({*p, *state});
  }
  return blocks;
}

const std::vector<Block>& blocks() {
  static const std::vector<Block> all = box_of_runs();
  return all;
}

std::vector<uint8_t> write_kub_gz() {
  auto out = std::make_shared<std::vector<uint8_t>>();
  {
    KUBSchematicOutputStream writer(make_compressing_chain(std::make_unique<MemorySink>(out)), AxisOrder::XYZ,
                                    Boundary(0, 0, 0, kSide, kSide, kSide));
    const auto& all = blocks();
    for (size_t i = 0; i < all.size(); i += kBatchSize) {
      (void)writer.write(std::span<const Block>(all.data() + i, std::min(kBatchSize, all.size() - i)));
    }
    (void)writer.complete();
  }
  return *out;
}

void BM_KubWrite(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(write_kub_gz());
  state.counters["positions/s"] =
      benchmark::Counter(double(kSide) * kSide * kSide * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_KubWrite)->Unit(benchmark::kMillisecond);

void BM_KubRead(benchmark::State& state) {
  auto bytes = write_kub_gz();
  for (auto _ : state) {
    KUBSchematicInputStream reader(make_decompressing_chain(std::make_unique<MemorySource>(bytes)));
    benchmark::DoNotOptimize(reader.read_to_end_into_vec());
  }
  state.counters["positions/s"] =
      benchmark::Counter(double(kSide) * kSide * kSide * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_KubRead)->Unit(benchmark::kMillisecond);

// `count` distinct states: every combination of a few properties over as
// many names as it takes, each placed once, as in full-palette schematics.
std::vector<Block> distinct_states(int64_t count) {
  const char* facings[] = {"north", "south", "west", "east"};
  const char* halves[] = {"top", "bottom"};
  const char* shapes[] = {"straight", "inner_left", "inner_right", "outer_left", "outer_right"};
  std::vector<Block> out;
  Boundary box(0, 0, 0, 256, 256, 256);
  auto walk = box.walk(AxisOrder::XYZ);
  for (int64_t i = 0; i < count; ++i) {
    int64_t combo = i % 80;
    auto state = BlockState::create("minecraft:block_" + std::to_string(i / 80),
                                    {{"facing", facings[combo % 4]},
                                     {"half", halves[combo / 4 % 2]},
                                     {"shape", shapes[combo / 8 % 5]},
                                     {"waterlogged", combo / 40 ? "true" : "false"}});
    out.push_back({*walk.next(), std::move(state)});
  }
  return out;
}

void BM_KubWriteDistinctStates(benchmark::State& state) {
  auto blocks = distinct_states(state.range(0));
  for (auto _ : state) {
    auto out = std::make_shared<std::vector<uint8_t>>();
    KUBSchematicOutputStream writer(std::make_unique<MemorySink>(out), AxisOrder::XYZ, Boundary(0, 0, 0, 256, 256, 256));
    for (size_t i = 0; i < blocks.size(); i += kBatchSize) {
      (void)writer.write(std::span<const Block>(blocks.data() + i, std::min(kBatchSize, blocks.size() - i)));
    }
    (void)writer.complete();
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_KubWriteDistinctStates)->Arg(1000)->Arg(10000)->Arg(25000)->Unit(benchmark::kMillisecond);

// The same box as a Sponge document (decompressed), written by our writer.
const std::vector<uint8_t>& sponge_document() {
  static const std::vector<uint8_t> document = [] {
    auto out = std::make_shared<std::vector<uint8_t>>();
    SpongeSchematicOutputStream writer(std::make_unique<MemorySink>(out), Boundary(0, 0, 0, kSide, kSide, kSide));
    (void)writer.write(blocks());
    (void)writer.complete();
    return *out;
  }();
  return document;
}

void BM_VarIntDecode(benchmark::State& state) {
  std::vector<int8_t> data;
  std::mt19937 rng(3);
  for (int i = 0; i < 1 << 22; ++i) {
    uint32_t v = rng() % 10 ? rng() % 128 : rng() % 2000;
    while (v >= 0x80) {
      data.push_back(int8_t(uint8_t(v | 0x80)));
      v >>= 7;
    }
    data.push_back(int8_t(v));
  }
  for (auto _ : state) {
    int64_t sum = 0;
    int32_t value = 0;
    for (size_t i = 0; i < data.size();) {
      (void)decode_sponge_var_int(data.data(), data.size(), i, value);
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["values/s"] = benchmark::Counter(double(1 << 22) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VarIntDecode)->Unit(benchmark::kMillisecond);

void BM_NbtParseLargeDocument(benchmark::State& state) {
  const auto& doc = sponge_document();
  for (auto _ : state) {
    MemorySource source(doc);
    benchmark::DoNotOptimize(parse_nbt(source));
  }
  state.SetBytesProcessed(int64_t(doc.size()) * state.iterations());
}
BENCHMARK(BM_NbtParseLargeDocument)->Unit(benchmark::kMillisecond);

// A structure document of the 256^3 box of runs: every position an entry.
const std::vector<uint8_t>& structure_document() {
  static const std::vector<uint8_t> doc = [] {
    auto out = std::make_shared<std::vector<uint8_t>>();
    StructureSchematicOutputStream writer(std::make_unique<MemorySink>(out), Boundary(0, 0, 0, kSide, kSide, kSide));
    (void)writer.write(blocks());
    (void)writer.complete();
    return *out;
  }();
  return doc;
}

// The floor of reading a structure: one pass of the pull parser, no action.
void BM_StructurePullParserPass(benchmark::State& state) {
  const auto& doc = structure_document();
  for (auto _ : state) {
    NbtStreamParser parser(std::make_unique<MemorySource>(doc));
    NbtEvent event;
    size_t events = 0;
    while (parser.next(event).ok() && event.kind != NbtEventKind::EndOfInput) ++events;
    benchmark::DoNotOptimize(events);
  }
  state.SetBytesProcessed(int64_t(doc.size()) * state.iterations());
}
BENCHMARK(BM_StructurePullParserPass)->Unit(benchmark::kMillisecond);

// Reading that structure into the reader's store (its header, blocks included).
void BM_StructureRead(benchmark::State& state) {
  const auto& doc = structure_document();
  for (auto _ : state) {
    StructureSchematicInputStream reader(std::make_unique<MemorySource>(doc));
    benchmark::DoNotOptimize(reader.boundary());
  }
  state.SetBytesProcessed(int64_t(doc.size()) * state.iterations());
}
BENCHMARK(BM_StructureRead)->Unit(benchmark::kMillisecond);

// Writing it from its blocks (without compression).
void BM_StructureWrite(benchmark::State& state) {
  const auto& all = blocks();
  for (auto _ : state) {
    auto out = std::make_shared<std::vector<uint8_t>>();
    StructureSchematicOutputStream writer(std::make_unique<MemorySink>(out), Boundary(0, 0, 0, kSide, kSide, kSide));
    (void)writer.write(all);
    (void)writer.complete();
  }
}
BENCHMARK(BM_StructureWrite)->Unit(benchmark::kMillisecond);

void BM_PagedStoreSetGet(benchmark::State& state) {
  const auto& all = blocks();
  for (auto _ : state) {
    auto store = PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, kSide, kSide, kSide));
    (void)store->insert(all);
    size_t found = 0;
    for (const Block& b : all) found += store->block_at(b.position)->has_value();
    benchmark::DoNotOptimize(found);
  }
  state.counters["blocks/s"] = benchmark::Counter(double(all.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PagedStoreSetGet)->Unit(benchmark::kMillisecond);

void BM_SpongeRead(benchmark::State& state) {
  const auto& doc = sponge_document();
  for (auto _ : state) {
    SpongeSchematicInputStream reader(std::make_unique<MemorySource>(doc));
    benchmark::DoNotOptimize(reader.read_to_end_into_vec());
  }
}
BENCHMARK(BM_SpongeRead)->Unit(benchmark::kMillisecond);

void BM_SpongeWrite(benchmark::State& state) {
  const auto& all = blocks();
  for (auto _ : state) {
    auto out = std::make_shared<std::vector<uint8_t>>();
    SpongeSchematicOutputStream writer(std::make_unique<MemorySink>(out), Boundary(0, 0, 0, kSide, kSide, kSide));
    (void)writer.write(all);
    (void)writer.complete();
  }
}
BENCHMARK(BM_SpongeWrite)->Unit(benchmark::kMillisecond);

void BM_ConvertSpongeToSpongeGzipped(benchmark::State& state) {
  auto packed = std::make_shared<std::vector<uint8_t>>();
  {
    auto chain = make_compressing_chain(std::make_unique<MemorySink>(packed));
    (void)write_all(*chain, sponge_document().data(), sponge_document().size());
  }
  for (auto _ : state) {
    auto out = std::make_shared<std::vector<uint8_t>>();
    auto reader = AnySchematicInputStream::new_from_known(make_decompressing_chain(std::make_unique<MemorySource>(*packed)));
    auto boundary = **reader->boundary();
    (void)reader->transfer_into(std::make_unique<SpongeSchematicOutputStream>(
        make_compressing_chain(std::make_unique<MemorySink>(out)), boundary));
  }
}
BENCHMARK(BM_ConvertSpongeToSpongeGzipped)->Unit(benchmark::kMillisecond);

void BM_GzipInOut(benchmark::State& state) {
  const auto& doc = sponge_document();
  for (auto _ : state) {
    auto packed = std::make_shared<std::vector<uint8_t>>();
    {
      auto chain = make_compressing_chain(std::make_unique<MemorySink>(packed));
      (void)write_all(*chain, doc.data(), doc.size());
    }
    auto in = make_decompressing_chain(std::make_unique<MemorySource>(*packed));
    std::vector<uint8_t> back(doc.size());
    (void)read_exact(*in, back.data(), back.size());
  }
  state.SetBytesProcessed(int64_t(doc.size()) * state.iterations());
}
BENCHMARK(BM_GzipInOut)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kubic
