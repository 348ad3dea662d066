#include <gtest/gtest.h>

#include "mjai/mjai.hpp"

namespace {

using mjai::Tile;

TEST(TileFromTenhou, MapsEveryValidNumberToItsName) {
  const std::pair<int, std::string_view> cases[] = {
      {0, "?"},   {11, "1m"}, {19, "9m"}, {21, "1p"}, {29, "9p"}, {31, "1s"}, {39, "9s"},
      {41, "E"},  {42, "S"},  {43, "W"},  {44, "N"},  {45, "P"},  {46, "F"},  {47, "C"},
      {51, "5mr"}, {52, "5pr"}, {53, "5sr"}, {15, "5m"}, {25, "5p"}, {35, "5s"},
  };
  for (auto [number, name] : cases) {
    auto tile = mjai::tile_from_tenhou(static_cast<std::uint8_t>(number));
    ASSERT_TRUE(tile.has_value()) << number;
    EXPECT_EQ(mjai::tile_name(*tile), name) << number;
  }
}

TEST(TileFromTenhou, RejectsTheHoles) {
  int valid = 0;
  for (int n = 0; n < 256; ++n) {
    if (mjai::tile_from_tenhou(static_cast<std::uint8_t>(n))) ++valid;
  }
  EXPECT_EQ(valid, 38);
  for (int n : {1, 10, 20, 30, 40, 48, 49, 50, 54, 60, 255}) {
    EXPECT_FALSE(mjai::tile_from_tenhou(static_cast<std::uint8_t>(n))) << n;
  }
}

TEST(TileFromTenhou, CodesFollowTheProtocolOrder) {
  EXPECT_EQ(*mjai::tile_from_tenhou(41), Tile::East);
  EXPECT_EQ(static_cast<int>(Tile::East) + 3, static_cast<int>(Tile::North));
  EXPECT_EQ(static_cast<int>(Tile::Unknown), 37);
  EXPECT_NE(*mjai::tile_from_tenhou(51), *mjai::tile_from_tenhou(15));
}

TEST(TenhouNumberError, ListsAllValidNumbers) {
  const std::string message = mjai::tenhou_number_error(10);
  EXPECT_EQ(message.rfind("invalid value: 10, expected one of: 0, 11, 12, ", 0), 0u);
  EXPECT_TRUE(message.ends_with(", 47, 51, 52, 53"));
  EXPECT_EQ(std::count(message.begin(), message.end(), ','), 1 + 37);
}

}  // namespace
