// The room the encoder makes for each text before writing it, the digit
// writer of small integers, the ready-made texts of draws and discards, and
// the encoder's record of non-ASCII texts.
#include <gtest/gtest.h>

#include <bitset>
#include <limits>
#include <string>

#include "mjai/mjai.hpp"

namespace {

using namespace mjai;

constexpr Seat most = 255;
constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
constexpr Deltas widest{lowest, lowest, lowest, lowest};

std::string text_of(const Event& event) {
  auto text = encode_event(event);
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

// Each kind with every field at its longest written form; a kind added to
// Event without its longest form here fails the test below.
Events longest_events() {
  Hand red{};
  red.fill(Tile::M5Red);
  const std::string escaped(40, '\x01');  // six bytes each
  return {
      None{},
      StartGame{{escaped, std::string(3, '"'), "", std::string(100, '\x1f')}, most, false},
      StartKyoku{Tile::M5Red, Tile::M5Red, most, most, most, most, {lowest, lowest, lowest, lowest},
                 {red, red, red, red}},
      Tsumo{most, Tile::P5Red},
      Dahai{most, Tile::S5Red, false},
      Chi{most, most, Tile::M5Red, {Tile::M5Red, Tile::M5Red}},
      Pon{most, most, Tile::M5Red, {Tile::M5Red, Tile::M5Red}},
      Daiminkan{most, most, Tile::M5Red, {Tile::M5Red, Tile::M5Red, Tile::M5Red}},
      Kakan{most, Tile::M5Red, {Tile::M5Red, Tile::M5Red, Tile::M5Red}},
      Ankan{most, {Tile::M5Red, Tile::M5Red, Tile::M5Red, Tile::M5Red}},
      Dora{Tile::M5Red},
      Reach{most},
      ReachAccepted{most},
      Hora{most, most, widest, std::vector<Tile>(9, Tile::M5Red)},
      Hora{most, most, widest, std::vector<Tile>{}},
      Ryukyoku{widest},
      EndKyoku{},
      EndGame{},
  };
}

TEST(EventTextBound, HoldsTheLongestTextOfEveryKind) {
  std::bitset<std::variant_size_v<Event>> kinds;
  for (const Event& event : longest_events()) {
    SCOPED_TRACE(std::string(event_type_name(event)));
    kinds.set(event.index());
    EXPECT_LE(text_of(event).size(), event_text_bound(event));
  }
  for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
    EXPECT_TRUE(kinds[kind]) << event_type_names[kind] << " has no longest form in longest_events()";
  }
}

TEST(EventTextBound, AGameOfLongestTextsEncodesWhole) {
  const Events events = longest_events();
  auto encoded = encode_events(events);
  ASSERT_TRUE(encoded.has_value());
  ASSERT_EQ(encoded->size(), events.size());
  for (std::size_t i = 0; i < events.size(); ++i) EXPECT_EQ(encoded->at(i), text_of(events[i]));
}

TEST(EncodeEvent, EverySeatValueIsWrittenInDecimal) {
  for (int value = 0; value <= 255; ++value) {
    EXPECT_EQ(text_of(Reach{static_cast<Seat>(value)}),
              R"({"type":"reach","actor":)" + std::to_string(value) + "}");
  }
}

TEST(EncodeEvent, DrawsAndDiscardsOfEverySeatAndTileAreWrittenInFull) {
  for (int seat = 0; seat <= 5; ++seat) {  // seats past 3 are written unchanged too
    for (std::size_t code = 0; code < tile_count; ++code) {
      const auto tile = static_cast<Tile>(code);
      const std::string actor = std::to_string(seat);
      const std::string pai = "\"" + std::string(tile_name(tile)) + "\"";
      EXPECT_EQ(text_of(Tsumo{static_cast<Seat>(seat), tile}),
                R"({"type":"tsumo","actor":)" + actor + R"(,"pai":)" + pai + "}");
      for (const bool tsumogiri : {false, true}) {
        EXPECT_EQ(text_of(Dahai{static_cast<Seat>(seat), tile, tsumogiri}),
                  R"({"type":"dahai","actor":)" + actor + R"(,"pai":)" + pai + R"(,"tsumogiri":)" +
                      (tsumogiri ? "true" : "false") + "}");
      }
    }
  }
}

TEST(EncodeEvents, NamesTheTextsThatAreNotAscii) {
  const Events events = {
      StartGame{{"A", "B", "C", "D\x7f"}, 0, false}, EndGame{},
      StartGame{{"A", "\xe6\x9d\xb1", "C", "D"}, 0, false}, Tsumo{0, Tile::East},
      StartGame{{"A", "B", "C", "\xf0\x9f\x80\x84"}, 0, false},
  };
  auto encoded = encode_events(events);
  ASSERT_TRUE(encoded.has_value());
  EXPECT_EQ(encoded->non_ascii, (std::vector<std::uint32_t>{2, 4}));
}

}  // namespace
