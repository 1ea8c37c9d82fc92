#include "common/block_state.h"

#include <gtest/gtest.h>

#include <string>

#include "common/text_util.h"

namespace kubic {
namespace {

std::string parse_error(const std::string& text) {
  auto r = BlockState::from_string(text);
  if (r.ok() && (*r)->to_string() != remove_whitespace(text)) return "<parsed as " + (*r)->to_string() + ">";
  return r.ok() ? "<ok>" : r.message();
}

TEST(BlockStateParseTest, RejectsWithTheMessageOfTheFirstFailingStep) {
  const std::string p = "Malformed BlockState string: ";
  struct Case {
    std::string text, message;
  } cases[] = {
      {"minecraft:stone]", p + "missing '['"},
      {"", p + "empty input"},
      {" \t\n ", p + "empty input"},
      {"stone[a=b]", p + "'stone[a=b]' must contain exactly one ':' separating namespace and type"},
      {"minecraft:stone[a=b:c]",
       p + "'minecraft:stone[a=b:c]' must contain exactly one ':' separating namespace and type"},
      {"foo:stone[a=b]", "<ok>"},
      {"create:shaft[axis=y]", "<ok>"},
      {"foo:[a=b]", p + "missing type name in 'foo:'"},
      {":[a=b]", p + "missing namespace in ':'"},
      {"minecraft:Stone[a=b]", p + "illegal character in 'minecraft:Stone'"},
      {"minecraft:[a=b]", p + "missing type name in 'minecraft:'"},
      {":stone[a=b]", p + "missing namespace in ':stone'"},
      {"minecraft:stone[a=b,]", p + "empty property key or value"},
      {"minecraft:stone[a]", p + "empty property key or value"},
      {"minecraft:stone[a.b=c]", p + "illegal character in property key 'a.b'"},
      {"minecraft:stone[a=c.d]", p + "illegal character in property value 'c.d'"},
      // The illegal name character is reported before the namespace.
      {"Foo:stone[a=b]", p + "illegal character in 'Foo:stone'"},
      // The closing bracket must be the last character.
      {"minecraft:stone[", p + "missing closing ']' in 'minecraft:stone['"},
      {"minecraft:stone[a=bx", p + "missing closing ']' in 'minecraft:stone[a=bx'"},
      {"minecraft:stone[a=b\xc3\xa9", p + "missing closing ']' in 'minecraft:stone[a=b\xc3\xa9'"},
      {std::string(4097, ' '), p + "length 4097 exceeds maximum of 4096"},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_error(c.text), c.message) << c.text;
}

TEST(BlockStateParseTest, AcceptsAndNormalises) {
  auto spaced = BlockState::from_string(" minecraft : stone [ facing = north ] ");
  ASSERT_TRUE(spaced.ok());
  EXPECT_EQ((*spaced)->name(), "minecraft:stone");
  EXPECT_EQ((*spaced)->properties(), (std::vector<BlockState::Property>{{"facing", "north"}}));

  // Non-ASCII White_Space characters are removed too.
  auto unicode = BlockState::from_string("minecraft:\xc2\xa0stone\xe2\x80\x83[a\xe3\x80\x80=b]");
  ASSERT_TRUE(unicode.ok()) << unicode.message();
  EXPECT_EQ((*unicode)->to_string(), "minecraft:stone[a=b]");

  EXPECT_TRUE(*BlockState::from_string("minecraft:stone[]") == *BlockState::from_string("minecraft:stone"));
  EXPECT_EQ((*BlockState::from_string("foo:bar:baz"))->name(), "foo:bar:baz");
  EXPECT_EQ((*BlockState::from_string("stone"))->name(), "stone");
  EXPECT_EQ((*BlockState::from_string("minecraft:stone[a=B-1+_]"))->to_string(), "minecraft:stone[a=B-1+_]");
  EXPECT_EQ((*BlockState::from_string("minecraft:stone[a=b=c]"))->properties(),
            (std::vector<BlockState::Property>{{"a", "b"}}));

  std::string padded = "minecraft:stone" + std::string(4096 - 15, ' ');
  EXPECT_TRUE(BlockState::from_string(padded).ok());
}

TEST(BlockStateTest, EqualityHashAndTextForm) {
  auto a = *BlockState::from_string("minecraft:oak_stairs[half=top,facing=north]");
  auto b = *BlockState::from_string("minecraft:oak_stairs[facing=north,half=top]");
  EXPECT_FALSE(*a == *b);
  EXPECT_EQ(a->to_string(), b->to_string());
  EXPECT_EQ(a->to_string(), "minecraft:oak_stairs[facing=north,half=top]");
  auto a2 = BlockState::create("minecraft:oak_stairs", {{"half", "top"}, {"facing", "north"}});
  EXPECT_TRUE(a == a2);
  EXPECT_EQ(a->hash(), a2->hash());

  auto bare = BlockState::create("minecraft:stone");
  EXPECT_EQ(bare->to_string(), "minecraft:stone");
}

TEST(BlockStateTest, AirRule) {
  EXPECT_TRUE(BlockState::create("minecraft:cave_air", {{"x", "y"}})->is_air());
  EXPECT_TRUE(BlockState::create("minecraft:void_air")->is_air());
  EXPECT_TRUE(BlockState::air()->is_air());
  EXPECT_FALSE(BlockState::create("minecraft:air2")->is_air());
  EXPECT_EQ(BlockState::air_rc().get(), BlockState::air_rc().get());
}

TEST(BlockStateTest, HandlesShareOneState) {
  auto s = BlockState::create("minecraft:stone");
  StateRef copy = s;
  StateRef moved = std::move(copy);
  EXPECT_EQ(moved.get(), s.get());
  EXPECT_FALSE(copy);
}

}  // namespace
}  // namespace kubic
