#include "formats/kub/state_difference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kubic {
namespace {

StateRef parse(const std::string& text) { return *BlockState::from_string(text); }

TEST(DifferenceTest, DocumentedExamples) {
  struct Case {
    StateRef from, to;
    std::string diff;
  } cases[] = {
      {parse("minecraft:oak_stairs[facing=north,half=top]"),
       parse("minecraft:oak_stairs[facing=south,half=top]"), "+facing=south"},
      {parse("minecraft:stone"), parse("minecraft:granite"), ":granite"},
      {parse("minecraft:oak_log[axis=y]"), parse("minecraft:stone"), ":stone-axis"},
      {parse("minecraft:stone"), parse("minecraft:oak_log[axis=y]"), ":oak_log+axis=y"},
      {parse("minecraft:a[x=1,y=2]"), parse("minecraft:a[y=3,z=4]"), "+y=3,z=4-x"},
      {parse("minecraft:stone"), BlockState::create("other:stone"), "other:"},
      {parse("minecraft:stone"), parse("minecraft:stone"), ""},
      // Names that split alike keep their change as a whole name.
      {BlockState::create("stone"), BlockState::create(":stone"), ":stone"},
      {BlockState::create("a:b"), BlockState::create("c"), "c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(difference(*c.from, *c.to), c.diff) << c.from->to_string() << " -> " << c.to->to_string();
  }
}

TEST(UpdateTest, DocumentedExamples) {
  struct Case {
    StateRef from;
    std::string diff;
    StateRef expected;
  } cases[] = {
      {parse("minecraft:oak_stairs[facing=north,half=top]"), "+facing=south",
       BlockState::create("minecraft:oak_stairs", {{"half", "top"}, {"facing", "south"}})},
      {parse("minecraft:oak_log[axis=y]"), ":stone-axis", parse("minecraft:stone")},
      {parse("minecraft:stone"), "other:", BlockState::create("other:stone")},
      {parse("minecraft:a[x=1]"), "-x+x=2", parse("minecraft:a[x=2]")},
      {parse("minecraft:stone"), "   ", parse("minecraft:stone")},
      {parse("minecraft:a[x=1]"), "+y", parse("minecraft:a[x=1]")},
      {parse("minecraft:a[x=1]"), "-zz", parse("minecraft:a[x=1]")},
      {parse("minecraft:a"), "+k=a=b", BlockState::create("minecraft:a", {{"k", "a=b"}})},
      {BlockState::create("c"), "a:", BlockState::create("a:c")},
  };
  for (const auto& c : cases) {
    auto r = update(*c.from, c.diff);
    ASSERT_TRUE(r.ok()) << r.message();
    EXPECT_TRUE(*r == c.expected) << (*r)->to_string();
  }
}

TEST(UpdateTest, RejectsWithTheMessageOfTheFirstFailingStep) {
  const std::string p = "Malformed difference string: ";
  auto stone = parse("minecraft:stone");
  std::string many_removes, many_adds;
  for (int i = 0; i < 257; ++i) {
    many_removes += (i % 100 == 0 ? "-" : ",") + std::string("k") + std::to_string(i);
    many_adds += (i % 100 == 0 ? "+" : ",") + std::string("k") + std::to_string(i) + "=v";
  }
  struct Case {
    std::string diff, message;
  } cases[] = {
      {"a:b:c", p + "'a:b:c' must contain at most one ':' separating namespace and type"},
      {"min ecraft/x+a=b", p + "illegal character in 'minecraft/x+a=b'"},
      {"a.b", p + "illegal character in 'a.b'"},
      {std::string(65, 'a'), p + "new type name too long"},
      {"/" + std::string(70, 'a'), p + "illegal character in '/" + std::string(70, 'a') + "'"},
      {many_removes, p + "too many properties to remove"},
      {many_adds, p + "too many properties to add"},
      {"+" + std::string(4096, 'a'), p + "length 4097 exceeds maximum of 4096"},
  };
  for (const auto& c : cases) {
    auto r = update(*stone, c.diff);
    ASSERT_FALSE(r.ok()) << c.diff;
    EXPECT_EQ(r.message(), c.message);
  }
  EXPECT_TRUE(update(*stone, std::string(64, 'a')).ok());
  EXPECT_FALSE(update(*BlockState::create(std::string(65, 'a')), "+a=b").ok());
}

TEST(UpdateTest, LimitsAcceptExactly256) {
  std::string removes = "-", adds = "+";
  for (int i = 0; i < 256; ++i) {
    removes += (i ? "," : "") + std::string("k") + std::to_string(i);
    adds += (i ? "," : "") + std::string("k") + std::to_string(i) + "=v";
  }
  EXPECT_TRUE(update(*parse("minecraft:stone"), removes).ok());
  EXPECT_TRUE(update(*parse("minecraft:stone"), adds).ok());
}

TEST(DifferenceTest, OrderedDifferenceKeepsThePropertyOrder) {
  struct Case {
    StateRef from, to;
    std::string diff;
  } cases[] = {
      {BlockState::create("minecraft:door", {{"facing", "n"}, {"half", "lower"}, {"hinge", "l"}}),
       BlockState::create("minecraft:door", {{"facing", "n"}, {"half", "upper"}, {"hinge", "l"}}),
       "+half=upper,hinge=l"},
      {BlockState::create("minecraft:a", {{"x", "1"}, {"y", "2"}}),
       BlockState::create("minecraft:a", {{"y", "2"}, {"x", "1"}}), "+x=1"},
      {BlockState::create("minecraft:a", {{"x", "1"}, {"z", "3"}}),
       BlockState::create("minecraft:b", {{"x", "1"}, {"y", "2"}}), ":b+y=2-z"},
  };
  for (const auto& c : cases) {
    std::string diff = ordered_difference(*c.from, *c.to);
    EXPECT_EQ(diff, c.diff);
    auto rebuilt = update(*c.from, diff);
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.message();
    EXPECT_TRUE(*rebuilt == c.to) << (*rebuilt)->to_string();
  }
}

TEST(DifferenceRoundTripTest, UpdateWithDifferenceGivesTheNewState) {
  std::mt19937 rng(1234);
  const char* names[] = {"minecraft:stone", "minecraft:oak_log", "other:stone", "mod:block_a",
                         "minecraft:a", "stone"};
  const char* keys[] = {"facing", "half", "axis", "waterlogged", "x"};
  const char* values[] = {"north", "top", "y", "true", "1", "Z_2"};
  auto random_state = [&] {
    std::vector<BlockState::Property> props;
    for (const char* key : keys) {
      if (rng() % 2) props.emplace_back(key, values[rng() % 6]);
    }
    std::shuffle(props.begin(), props.end(), rng);
    return BlockState::create(names[rng() % 6], props);
  };
  for (int i = 0; i < 3000; ++i) {
    StateRef from = random_state(), to = random_state();
    auto r = update(*from, difference(*from, *to));
    ASSERT_TRUE(r.ok()) << r.message();
    EXPECT_EQ((*r)->name(), to->name());
    EXPECT_EQ((*r)->to_string(), to->to_string());
    auto exact = update(*from, ordered_difference(*from, *to));
    ASSERT_TRUE(exact.ok()) << exact.message();
    EXPECT_TRUE(*exact == to) << from->to_string() << " -> " << to->to_string();
  }
}

}  // namespace
}  // namespace kubic
