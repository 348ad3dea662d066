#include <gtest/gtest.h>

#include "base/tile.hpp"

namespace {

using pairo::Tile;

TEST(TileFromTenhou, MapsEveryValidNumberToItsName) {
  const std::pair<int, std::string_view> cases[] = {
      {0, "?"},   {11, "1m"}, {19, "9m"}, {21, "1p"}, {29, "9p"}, {31, "1s"}, {39, "9s"},
      {41, "E"},  {42, "S"},  {43, "W"},  {44, "N"},  {45, "P"},  {46, "F"},  {47, "C"},
      {51, "5mr"}, {52, "5pr"}, {53, "5sr"}, {15, "5m"}, {25, "5p"}, {35, "5s"},
  };
  for (auto [number, name] : cases) {
    auto tile = pairo::tile_from_tenhou(static_cast<std::uint8_t>(number));
    ASSERT_TRUE(tile.has_value()) << number;
    EXPECT_EQ(pairo::tile_name(*tile), name) << number;
  }
}

TEST(TileFromTenhou, RejectsTheHoles) {
  int valid = 0;
  for (int n = 0; n < 256; ++n) {
    if (pairo::tile_from_tenhou(static_cast<std::uint8_t>(n))) ++valid;
  }
  EXPECT_EQ(valid, 38);
  for (int n : {1, 10, 20, 30, 40, 48, 49, 50, 54, 60, 255}) {
    EXPECT_FALSE(pairo::tile_from_tenhou(static_cast<std::uint8_t>(n))) << n;
  }
}

TEST(TileFromTenhou, CodesFollowTheProtocolOrder) {
  EXPECT_EQ(*pairo::tile_from_tenhou(41), Tile::East);
  EXPECT_EQ(static_cast<int>(Tile::East) + 3, static_cast<int>(Tile::North));
  EXPECT_EQ(static_cast<int>(Tile::Unknown), 37);
  EXPECT_NE(*pairo::tile_from_tenhou(51), *pairo::tile_from_tenhou(15));
}

}  // namespace
