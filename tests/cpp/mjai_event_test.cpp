// The out-of-line fields of the rare event kinds behave as the values they hold.
#include <gtest/gtest.h>

#include <optional>

#include "mjai/mjai.hpp"

namespace {

using namespace mjai;

TEST(OutOfLine, EventsAreKeptSmallByTheirRareKinds) {
  // The frequent kinds are a few bytes; the union is as wide as its widest
  // kind, and its index fits in the last word. libc++'s variant (ABI 1) lays
  // a union holding both Hora and an optional of deltas out a word wider.
#ifdef _LIBCPP_VERSION
  EXPECT_LE(sizeof(Event), 72u);
#else
  EXPECT_LE(sizeof(Event), 64u);
#endif
}

TEST(OutOfLine, CopiesAreDeepAndOutliveTheirOriginal) {
  std::optional<Event> original = StartGame{{"A", "B", "C", std::string(40, 'd')}, 4, true};
  const Event copy = *original;
  original.reset();
  const auto& names = std::get<StartGame>(copy).names;
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[0], "A");
  EXPECT_EQ(names[3], std::string(40, 'd'));

  StartKyoku kyoku{};
  Hand hand{};
  hand.fill(Tile::Red);
  kyoku.tehais = {hand, hand, hand, hand};
  StartKyoku assigned{};
  assigned = kyoku;
  kyoku.tehais = {Hand{}, Hand{}, Hand{}, Hand{}};
  EXPECT_EQ((*assigned.tehais)[3][12], Tile::Red);
  EXPECT_EQ((*kyoku.tehais)[3][12], Tile::M1);
}

TEST(OutOfLine, ADefaultValueIsTheValuesOwnDefault) {
  const StartKyoku kyoku{};
  for (const Hand& hand : kyoku.tehais) {
    for (Tile t : hand) EXPECT_EQ(t, Tile::M1);
  }
  const StartGame game{};
  for (const std::string& name : game.names) EXPECT_TRUE(name.empty());
}

}  // namespace
