#include "common/siphash.h"

#include <gtest/gtest.h>

#include <string>

namespace kubic {
namespace {

// Published SipHash-1-3 values for the all-zero key.
TEST(SipHashTest, MatchesPublishedVectors) {
  struct Case {
    std::string input;
    uint64_t expected;
  } cases[] = {
      {"", 0xd1fba762150c532cull},
      {std::string(1, '\0'), 0x68a914128e01e473ull},
  };
  for (const auto& c : cases) {
    SipHash13 h;
    h.write(c.input);
    EXPECT_EQ(h.finish(), c.expected) << c.input.size();
  }
}

TEST(SipHashTest, PiecesHashLikeTheirConcatenation) {
  std::string text = "minecraft:oak_stairs\xff" "facing\xff" "east\xff";
  SipHash13 whole;
  whole.write(text);
  for (size_t cut1 = 0; cut1 <= text.size(); cut1 += 3) {
    for (size_t cut2 = cut1; cut2 <= text.size(); cut2 += 5) {
      SipHash13 parts;
      parts.write(text.substr(0, cut1));
      parts.write(text.substr(cut1, cut2 - cut1));
      parts.write(text.substr(cut2));
      EXPECT_EQ(parts.finish(), whole.finish());
    }
  }
}

}  // namespace
}  // namespace kubic
