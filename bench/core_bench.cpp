// Benchmarks of the core's hot paths. Run: build/bench/bench/kubic_bench
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "io/chains.h"
#include "io/memory_stream.h"
#include "stream/kub_reader.h"
#include "stream/kub_writer.h"

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

}  // namespace
}  // namespace kubic
