#include <gtest/gtest.h>

#include <limits>
#include <map>

#include "mjai/mjai.hpp"

namespace {

using namespace mjai;
using pairo::tile_from_tenhou;

std::string text_of(const Event& event) {
  auto text = encode_event(event);
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

Hand hand(std::initializer_list<Tile> tiles) {
  Hand h{};
  std::size_t i = 0;
  for (Tile t : tiles) h[i++] = t;
  return h;
}

constexpr Tile T(int tenhou_number) { return *tile_from_tenhou(static_cast<std::uint8_t>(tenhou_number)); }

struct Example {
  Event event;
  std::string_view json;
};

TEST(EncodeEvent, WritesEveryKindAsTheProtocolShowsIt) {
  StartKyoku kyoku{Tile::East, T(23), 1, 0, 0, 0, {25000, 25000, 25000, 25000}, {}};
  kyoku.tehais = {
      hand({T(11), T(12), T(13), T(14), T(51), T(16), T(17), T(18), T(19), T(41), T(41), T(45), T(45)}),
      hand({T(11), T(11), T(22), T(23), T(24), T(36), T(37), T(38), T(43), T(43), T(44), T(46), T(47)}),
      hand({T(31), T(31), T(32), T(33), T(34), T(35), T(36), T(37), T(38), T(39), T(39), T(44), T(47)}),
      hand({T(21), T(22), T(23), T(24), T(25), T(26), T(27), T(28), T(29), T(42), T(43), T(46), T(46)}),
  };
  const Example examples[] = {
      {StartGame{{"A", "B", "C", "D"}, 0, true},
       R"({"type":"start_game","names":["A","B","C","D"],"kyoku_first":0,"aka_flag":true})"},
      {kyoku,
       R"({"type":"start_kyoku","bakaze":"E","dora_marker":"3p","kyoku":1,"honba":0,"kyotaku":0,"oya":0,"scores":[25000,25000,25000,25000],"tehais":[["1m","2m","3m","4m","5mr","6m","7m","8m","9m","E","E","P","P"],["1m","1m","2p","3p","4p","6s","7s","8s","W","W","N","F","C"],["1s","1s","2s","3s","4s","5s","6s","7s","8s","9s","9s","N","C"],["1p","2p","3p","4p","5p","6p","7p","8p","9p","S","W","F","F"]]})"},
      {Tsumo{0, T(52)}, R"({"type":"tsumo","actor":0,"pai":"5pr"})"},
      {Dahai{0, T(41), false}, R"({"type":"dahai","actor":0,"pai":"E","tsumogiri":false})"},
      {Chi{1, 0, T(13), {T(14), T(15)}},
       R"({"type":"chi","actor":1,"target":0,"pai":"3m","consumed":["4m","5m"]})"},
      {Pon{2, 1, T(47), {T(47), T(47)}},
       R"({"type":"pon","actor":2,"target":1,"pai":"C","consumed":["C","C"]})"},
      {Daiminkan{3, 2, T(39), {T(39), T(39), T(39)}},
       R"({"type":"daiminkan","actor":3,"target":2,"pai":"9s","consumed":["9s","9s","9s"]})"},
      {Kakan{2, T(47), {T(47), T(47), T(47)}},
       R"({"type":"kakan","actor":2,"pai":"C","consumed":["C","C","C"]})"},
      {Ankan{0, {T(44), T(44), T(44), T(44)}},
       R"({"type":"ankan","actor":0,"consumed":["N","N","N","N"]})"},
      {Dora{T(37)}, R"({"type":"dora","dora_marker":"7s"})"},
      {Reach{1}, R"({"type":"reach","actor":1})"},
      {ReachAccepted{1}, R"({"type":"reach_accepted","actor":1})"},
      {Hora{1, 3, Deltas{0, 8000, 0, -8000}, std::vector<Tile>{T(12)}},
       R"({"type":"hora","actor":1,"target":3,"deltas":[0,8000,0,-8000],"ura_markers":["2m"]})"},
      {Hora{1, 1, std::nullopt, std::nullopt}, R"({"type":"hora","actor":1,"target":1})"},
      {Ryukyoku{Deltas{1500, -1500, 1500, -1500}}, R"({"type":"ryukyoku","deltas":[1500,-1500,1500,-1500]})"},
      {Ryukyoku{}, R"({"type":"ryukyoku"})"},
      {EndKyoku{}, R"({"type":"end_kyoku"})"},
      {EndGame{}, R"({"type":"end_game"})"},
      {None{}, R"({"type":"none"})"},
  };
  for (const auto& [event, json] : examples) EXPECT_EQ(text_of(event), json);
}

TEST(EncodeEvent, OptionalHoraFieldsAreLeftOutOrWrittenWhole) {
  EXPECT_EQ(text_of(Hora{0, 2, Deltas{-1000, 0, 1000, 0}, std::nullopt}),
            R"({"type":"hora","actor":0,"target":2,"deltas":[-1000,0,1000,0]})");
  EXPECT_EQ(text_of(Hora{0, 2, std::nullopt, std::vector<Tile>{}}),
            R"({"type":"hora","actor":0,"target":2,"ura_markers":[]})");
  EXPECT_EQ(text_of(Hora{0, 0, Deltas{}, std::vector<Tile>{Tile::Unknown, Tile::S5Red}}),
            R"({"type":"hora","actor":0,"target":0,"deltas":[0,0,0,0],"ura_markers":["?","5sr"]})");
}

TEST(EncodeEvent, IntegersHaveTheirShortestForm) {
  const std::pair<std::uint8_t, std::string_view> bytes[] = {
      {0, "0"}, {9, "9"}, {10, "10"}, {99, "99"}, {100, "100"}, {255, "255"}};
  for (auto [value, digits] : bytes) {
    EXPECT_EQ(text_of(Reach{value}), std::string(R"({"type":"reach","actor":)") + std::string(digits) + "}");
  }
  constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
  constexpr auto highest = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(text_of(Ryukyoku{Deltas{lowest, highest, -1, 0}}),
            R"({"type":"ryukyoku","deltas":[-2147483648,2147483647,-1,0]})");
}

TEST(EncodeEvent, NamesAreEscapedOnlyWhereJsonRequires) {
  const StartGame game{{"say \"hi\"", "back\\slash", "line\nfeed\x01", "\xe6\x9d\xb1/\x7f"}, 4, false};
  EXPECT_EQ(text_of(game),
            "{\"type\":\"start_game\",\"names\":[\"say \\\"hi\\\"\",\"back\\\\slash\","
            "\"line\\nfeed\\u0001\",\"\xe6\x9d\xb1/\x7f\"],\"kyoku_first\":4,\"aka_flag\":false}");
  const StartGame controls{{std::string("\b\t\n\f\r", 5), std::string("\x00\x1f", 2), "", "x"}, 0, false};
  EXPECT_EQ(text_of(controls),
            "{\"type\":\"start_game\",\"names\":[\"\\b\\t\\n\\f\\r\",\"\\u0000\\u001f\",\"\",\"x\"],"
            "\"kyoku_first\":0,\"aka_flag\":false}");
}

TEST(EncodeEvents, KeepsEachTextAtItsOffsets) {
  const Events events = {StartGame{{"A", "B", "C", "D"}, 0, false}, EndKyoku{}, EndGame{}};
  auto encoded = encode_events(events);
  ASSERT_TRUE(encoded.has_value());
  ASSERT_EQ(encoded->size(), 3u);
  for (std::size_t i = 0; i < events.size(); ++i) EXPECT_EQ(encoded->at(i), text_of(events[i]));
  EXPECT_EQ(encoded->at(2), R"({"type":"end_game"})");
}

// Texts with one common number are listed as one str: the numbers must split
// the texts exactly, and name every draw, discard, riichi, dora and round end
// of seats 0 to 3 while leaving other texts unnumbered.
TEST(EncodeEvents, CommonNumbersMarkExactlyTheEqualTexts) {
  Events events;
  for (int round = 0; round < 2; ++round) {
    for (Seat s = 0; s < 5; ++s) {
      for (std::size_t t = 0; t < tile_count; ++t) {
        events.push_back(Tsumo{s, static_cast<Tile>(t)});
        events.push_back(Dahai{s, static_cast<Tile>(t), false});
        events.push_back(Dahai{s, static_cast<Tile>(t), true});
        if (s == 0) events.push_back(Dora{static_cast<Tile>(t)});
      }
      events.push_back(Reach{s});
      events.push_back(ReachAccepted{s});
    }
    events.push_back(EndKyoku{});
    events.push_back(Ryukyoku{});
    events.push_back(EndGame{});
  }
  auto encoded = encode_events(events);
  ASSERT_TRUE(encoded.has_value());
  ASSERT_EQ(encoded->common.size(), events.size());
  std::map<std::uint16_t, std::string_view> text_of_number;
  std::map<std::string_view, std::uint16_t> number_of_text;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const std::string_view text = encoded->at(i);
    EXPECT_EQ(text, text_of(events[i]));
    const std::uint16_t number = encoded->common[i];
    const auto* actor_of = std::get_if<Tsumo>(&events[i]);
    const bool beyond_seats = (actor_of && actor_of->actor > 3) ||
                              (std::holds_alternative<Dahai>(events[i]) && std::get<Dahai>(events[i]).actor > 3) ||
                              (std::holds_alternative<Reach>(events[i]) && std::get<Reach>(events[i]).actor > 3) ||
                              (std::holds_alternative<ReachAccepted>(events[i]) &&
                               std::get<ReachAccepted>(events[i]).actor > 3);
    const bool fixed_kind = !std::holds_alternative<Ryukyoku>(events[i]) && !std::holds_alternative<EndGame>(events[i]);
    EXPECT_EQ(number != CommonTexts::none, fixed_kind && !beyond_seats) << text;
    if (number == CommonTexts::none) continue;
    EXPECT_LE(number, CommonTexts::last);
    EXPECT_EQ(CommonTexts::text(number), text);
    EXPECT_EQ(text_of_number.emplace(number, text).first->second, text);
    EXPECT_EQ(number_of_text.emplace(text, number).first->second, number) << text;
  }
  EXPECT_EQ(text_of_number.size(), CommonTexts::last);
}

}  // namespace
