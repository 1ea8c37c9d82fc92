#include "blocks/game_versions.h"

#include <gtest/gtest.h>

namespace kubic {
namespace {

TEST(GameVersionsTest, ReleasesByDataVersionAndTheDefault) {
  EXPECT_EQ(release_of(kLegacyDataVersion), "1.13.2");
  EXPECT_EQ(release_of(3465), "1.20.1");
  EXPECT_EQ(release_of(3466), std::nullopt);  // a snapshot's
  // The newest release whose states are known, and newer than any other such.
  for (const GameVersion& version : game_versions()) {
    if (version.has_block_table) {
      EXPECT_LE(version.data_version, default_data_version()) << version.name;
    }
  }
  EXPECT_TRUE(release_of(default_data_version()));
}

}  // namespace
}  // namespace kubic
