#include "blocks/canonical_state.h"

#include <gtest/gtest.h>

#include "blocks/state_text.h"

namespace kubic {
namespace {

struct Spelling {
  const char* typed;
  const char* canonical;
};

class CanonicalSpellingTest : public ::testing::TestWithParam<Spelling> {};

TEST_P(CanonicalSpellingTest, EverySpellingOfAStateGivesOneText) {
  auto parsed = parse_canonical_state(GetParam().typed);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  EXPECT_EQ(stored_text(**parsed), GetParam().canonical);
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, CanonicalSpellingTest,
    ::testing::Values(Spelling{"stone", "minecraft:stone"}, Spelling{"minecraft:stone[]", "minecraft:stone"},
                      Spelling{"  minecraft:chest[type=single,facing=north] ", "minecraft:chest[facing=north,type=single]"},
                      Spelling{"chest[ facing = north , type=single ]", "minecraft:chest[facing=north,type=single]"},
                      Spelling{"create:shaft[axis=y]", "create:shaft[axis=y]"},
                      // Outside the syntax, as old modded files spell them: kept as written.
                      Spelling{"BiblioCraft:Case[b=1,a=2]", "BiblioCraft:Case[b=1,a=2]"},
                      Spelling{"mod:block.name[level=2]", "mod:block.name[level=2]"}));

struct Malformed {
  const char* text;
  const char* why;
};

class MalformedStateTest : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedStateTest, NamesTheTextAndTheFault) {
  auto parsed = parse_canonical_state(GetParam().text);
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.message(), std::string("invalid block state '") + GetParam().text + "': " + GetParam().why);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MalformedStateTest,
    ::testing::Values(Malformed{"minecraft:oak_stairs[facing=]", "property 'facing' has no value"},
                      Malformed{"minecraft:stone[", "no closing ']'"}, Malformed{"", "no block name"},
                      Malformed{"not a block!!", "a blank inside the name"},
                      Malformed{"notablock!!", "illegal character in the name 'notablock!!'"},
                      Malformed{"minecraft:stone]", "']' without '['"},
                      Malformed{"minecraft:stone[=b]", "a property without a key"},
                      Malformed{"minecraft:stone[a=b,,c=d]", "'' is not one key=value pair"},
                      Malformed{"minecraft:stone[a=b=c]", "'a=b=c' is not one key=value pair"},
                      Malformed{"minecraft:stone[a=b,a=c]", "property 'a' given twice"},
                      Malformed{"a:b:c", "more than one ':' in the name"},
                      Malformed{"minecraft:stone[a=b!]", "illegal character in the value of 'a'"}));

TEST(CanonicalStateTest, StatesFromFilesTakeTheirCanonicalFormOnlyInsideTheSyntax) {
  const StateRef sorted = BlockState::create("minecraft:chest", {{"facing", "north"}, {"type", "single"}});
  EXPECT_EQ(canonical_state(sorted).get(), sorted.get());
  const StateRef later_wins = BlockState::create("chest", {{"type", "left"}, {"facing", "north"}, {"type", "single"}});
  EXPECT_EQ(*canonical_state(later_wins), *sorted);
  const StateRef modded = BlockState::create("Mod:Thing", {{"z", "1"}, {"a", "2"}});
  EXPECT_EQ(canonical_state(modded).get(), modded.get());
  CanonicalStates cache;
  EXPECT_EQ(*cache.of(later_wins), *sorted);
  EXPECT_EQ(cache.of(later_wins).get(), cache.of(later_wins).get());
}

}  // namespace
}  // namespace kubic
