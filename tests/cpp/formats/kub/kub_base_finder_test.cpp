#include "formats/kub/kub_base_finder.h"

#include <gtest/gtest.h>

#include <random>

#include "formats/kub/state_difference.h"

namespace kubic {
namespace {

// The earliest entry with the shortest difference, by comparing with all.
size_t plain_search(const std::vector<StateRef>& entries, const BlockState& state) {
  size_t best = 0;
  size_t best_length = SIZE_MAX;
  for (size_t i = 0; i < entries.size(); ++i) {
    size_t length = difference(*entries[i], state).size();
    if (length < best_length) {
      best = i;
      best_length = length;
    }
  }
  return best;
}

StateRef random_state(std::mt19937& rng) {
  const char* names[] = {"minecraft:stone", "minecraft:oak_stairs", "minecraft:redstone_wire", "create:shaft",
                         "stone", ":stone", "a:b:c", "minecraft:a", "mod:oak_stairs", "x:y"};
  const char* keys[] = {"facing", "half", "shape", "waterlogged", "a", "bb", "power", "north", "east", "level"};
  const char* values[] = {"north", "south", "top", "bottom", "true", "false", "0", "1", "15", "straight"};
  std::vector<BlockState::Property> props;
  size_t count = rng() % 9;
  for (size_t i = 0; i < count; ++i) {
    std::string key = keys[rng() % 10];
    // Now and then a repeated key, which real files can hold.
    bool repeated = std::any_of(props.begin(), props.end(), [&](const auto& p) { return p.first == key; });
    if (repeated && rng() % 8 != 0) continue;
    props.emplace_back(key, values[rng() % 10]);
  }
  return BlockState::create(names[rng() % 10], std::move(props));
}

TEST(KubBaseFinderTest, FindsWhatThePlainSearchFinds) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    KubBaseFinder finder;
    std::vector<StateRef> entries;
    size_t size = 1 + rng() % 40;
    for (size_t i = 0; i < size; ++i) {
      entries.push_back(random_state(rng));
      finder.add(entries.back());
    }
    for (int probe = 0; probe < 5; ++probe) {
      StateRef state = random_state(rng);
      ASSERT_EQ(finder.find(*state), plain_search(entries, *state))
          << "round " << round << ": " << state->to_string();
    }
  }
}

}  // namespace
}  // namespace kubic
