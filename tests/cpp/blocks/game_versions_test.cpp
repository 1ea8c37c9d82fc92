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
    if (version.block_table >= 0) {
      EXPECT_LE(version.data_version, default_data_version()) << version.name;
    }
  }
  EXPECT_TRUE(release_of(default_data_version()));
}

TEST(GameVersionsTest, BlockTablesOfReleasesAndSnapshots) {
  EXPECT_EQ(block_table_of(kLegacyDataVersion), 0);
  EXPECT_EQ(block_table_of(kLegacyDataVersion - 1), std::nullopt);  // before the flattening
  EXPECT_EQ(block_table_of(1957), block_table_of(1952));              // 1.14.1 shares 1.14's table
  EXPECT_EQ(block_table_of(3700 + 1), block_table_of(3700));          // a snapshot after 1.20.4
  EXPECT_EQ(block_table_of(4903), block_table_of(4790));              // 26.2 has no table of its own
  EXPECT_EQ(first_release_of_table(*block_table_of(3465)).name, "1.20");
  EXPECT_EQ(data_version_of("1.20.4"), 3700);
  EXPECT_EQ(data_version_of("1.20.99"), std::nullopt);
}

}  // namespace
}  // namespace kubic
