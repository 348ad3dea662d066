// Log preparation: three-player rejection, the game-level start values and
// each round's outcome.
#include <gtest/gtest.h>

#include "conv_support.hpp"

namespace {

using namespace conv_test;
using pairo::ErrorKind;
using pairo::conv::prepare_log;
using pairo::conv::WinRecord;
using tenhou::JsonValue;
using tenhou::ResultItem;

tenhou::RawLog raw_log(std::string disp, std::vector<std::vector<ResultItem>> results = {}) {
  tenhou::RawLog raw;
  raw.name = {"a", "b", "c", "d"};
  raw.rule.disp = std::move(disp);
  for (auto& r : results) {
    tenhou::RawKyoku kyoku;
    kyoku.results = std::move(r);
    raw.log.push_back(std::move(kyoku));
  }
  return raw;
}

ResultItem text(std::string t) { return ResultItem{ResultItem::Text{std::move(t)}}; }
ResultItem deltas(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
  return ResultItem{ResultItem::Deltas{{a, b, c, d}}};
}
ResultItem values(std::vector<JsonValue> v) { return ResultItem{ResultItem::Values{std::move(v)}}; }
JsonValue u(std::uint64_t v) { return JsonValue{v}; }
JsonValue i(std::int64_t v) { return JsonValue{v}; }
JsonValue f(double v) { return JsonValue{v}; }
JsonValue s(std::string v) { return JsonValue{std::move(v)}; }

const std::string win = "和了";

TEST(PrepareLog, RuleDisplayText) {
  struct Case {
    const char* disp;
    bool rejected;
    std::uint8_t kyoku_first;
  };
  const Case cases[] = {
      {"三鳳南喰赤", true, 0},  {"鳳南喰三", true, 0},   {"三東", true, 0},
      {"Tenhou 3-Player", true, 0}, {"3-player", false, 0}, {"3 Player", false, 0},
      {"東", false, 4},          {"四東喰赤", false, 4},  {"Mahjong East", false, 4},
      {"east", false, 0},        {"四南喰赤", false, 0},  {"", false, 0},
  };
  for (const auto& c : cases) {
    auto prepared = prepare_log(raw_log(c.disp));
    if (c.rejected) {
      ASSERT_FALSE(prepared) << c.disp;
      EXPECT_EQ(prepared.error().kind, ErrorKind::ThreePlayer) << c.disp;
    } else {
      ASSERT_TRUE(prepared) << c.disp;
      EXPECT_EQ(prepared->kyoku_first, c.kyoku_first) << c.disp;
    }
  }
}

TEST(PrepareLog, ThreePlayerIsRejectedBeforeAnyRoundIsRead) {
  auto prepared = prepare_log(raw_log("三南", {{text(win), deltas(0, 0, 0, 0), values({})}}));
  ASSERT_FALSE(prepared);
  EXPECT_EQ(prepared.error().kind, ErrorKind::ThreePlayer);
}

TEST(PrepareLog, AkaFlagIsOnWhenAnyRedFiveCountIsNonZero) {
  struct Case {
    std::array<std::uint8_t, 4> counts;
    bool flag;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, false}, {{1, 1, 1, 1}, true},  {{0, 0, 0, 1}, true},
      {{128, 128, 0, 0}, true}, {{255, 1, 0, 0}, true}, {{0, 2, 0, 0}, true},
  };
  for (const auto& c : cases) {
    auto raw = raw_log("");
    raw.rule.aka = c.counts[0];
    raw.rule.aka51 = c.counts[1];
    raw.rule.aka52 = c.counts[2];
    raw.rule.aka53 = c.counts[3];
    auto prepared = prepare_log(std::move(raw));
    ASSERT_TRUE(prepared);
    EXPECT_EQ(prepared->aka_flag, c.flag) << int(c.counts[0]) << "," << int(c.counts[1]);
  }
}

TEST(PrepareLog, MovesNamesAndRoundFields) {
  auto raw = raw_log("", {{}});
  raw.name = {"東方", "b\"", "", "d"};
  auto& k = raw.log[0];
  k.meta = {7, 2, 1};
  k.scores = {1, -2, 3, 4};
  k.dora_indicators = tiles({11, 52});
  k.ura_indicators = tiles({0});
  k.start_hands[3].fill(mjai::Tile::Red);
  k.draws[2] = stream({11, "p252525"});
  k.discards[1] = stream({60, "r23"});
  auto prepared = prepare_log(std::move(raw));
  ASSERT_TRUE(prepared);
  EXPECT_EQ(prepared->names, (std::array<std::string, 4>{"東方", "b\"", "", "d"}));
  ASSERT_EQ(prepared->kyokus.size(), 1u);
  const auto& p = prepared->kyokus[0];
  EXPECT_EQ(p.kyoku, 7);
  EXPECT_EQ(p.honba, 2);
  EXPECT_EQ(p.kyotaku, 1);
  EXPECT_EQ(p.scores, (std::array<std::int32_t, 4>{1, -2, 3, 4}));
  EXPECT_EQ(p.dora_indicators, tiles({11, 52}));
  EXPECT_EQ(p.ura_indicators, tiles({0}));
  EXPECT_EQ(p.start_hands[3][12], mjai::Tile::Red);
  EXPECT_EQ(p.draws[2].size(), 2u);
  EXPECT_EQ(std::get<ActionItem::Text>(p.discards[1][1].value).text, "r23");
}

TEST(PrepareLog, NoRoundsGiveNoKyokus) {
  auto prepared = prepare_log(raw_log("四南"));
  ASSERT_TRUE(prepared);
  EXPECT_TRUE(prepared->kyokus.empty());
}

// The outcome written as text: "draw a,b,c,d" or "wins" followed by
// " actor>target:a,b,c,d" per record.
std::string outcome_text(const KyokuOutcome& outcome) {
  auto four = [](const std::array<std::int32_t, 4>& d) {
    return std::to_string(d[0]) + "," + std::to_string(d[1]) + "," + std::to_string(d[2]) + "," +
           std::to_string(d[3]);
  };
  if (const auto* draw = std::get_if<KyokuOutcome::Draw>(&outcome.value)) {
    return "draw " + four(draw->deltas) + (draw->four_riichi ? " four riichi" : "");
  }
  std::string out = "wins";
  for (const WinRecord& w : std::get<KyokuOutcome::Wins>(outcome.value).wins) {
    out += " " + std::to_string(w.actor) + ">" + std::to_string(w.target) + ":" + four(w.deltas);
  }
  return out;
}

TEST(PrepareLog, RoundOutcomes) {
  struct Case {
    const char* name;
    std::vector<ResultItem> results;
    const char* expected;
  };
  const Case cases[] = {
      {"empty", {}, "draw 0,0,0,0"},
      {"deltas first", {deltas(1, 2, 3, 4)}, "draw 0,0,0,0"},
      {"values first", {values({}), text("流局")}, "draw 0,0,0,0"},
      {"draw with deltas", {text("流局"), deltas(1500, -1500, 1500, -1500)}, "draw 1500,-1500,1500,-1500"},
      {"draw reason alone", {text("九種九牌")}, "draw 0,0,0,0"},
      {"draw reason and values", {text("流局"), values({u(1)})}, "draw 0,0,0,0"},
      {"four riichi", {text("四家立直")}, "draw 0,0,0,0 four riichi"},
      {"four riichi with deltas", {text("四家立直"), deltas(0, 0, 0, 0)}, "draw 0,0,0,0 four riichi"},
      {"triple ron", {text("三家和了")}, "draw 0,0,0,0"},
      {"four riichi with a space", {text("四家立直 ")}, "draw 0,0,0,0"},
      {"marker with a space", {text(win + " ")}, "draw 0,0,0,0"},
      {"two wins",
       {text(win), deltas(0, 8000, 0, -8000), values({u(1), u(3), u(1)}), deltas(0, 0, 3900, -3900),
        values({u(2), u(3), u(2)})},
       "wins 1>3:0,8000,0,-8000 2>3:0,0,3900,-3900"},
      {"texts after the seats",
       {text(win), deltas(-8000, 0, 8000, 0), values({u(2), u(0), u(0), s("30符"), s("立直(1飜)")})},
       "wins 2>0:-8000,0,8000,0"},
      {"seats as signed integers", {text(win), deltas(0, 0, 0, 0), values({i(3), i(0)})}, "wins 3>0:0,0,0,0"},
  };
  for (const auto& c : cases) {
    std::vector<std::vector<ResultItem>> rounds{c.results};
    auto prepared = prepare_log(raw_log("", std::move(rounds)));
    ASSERT_TRUE(prepared) << c.name;
    EXPECT_EQ(outcome_text(prepared->kyokus.at(0).outcome), c.expected) << c.name;
  }
}

TEST(PrepareLog, WinSeatsMustBeWholeNumbersFromZeroToThree) {
  const std::vector<JsonValue> bad[] = {
      {},
      {u(2)},
      {s("2"), u(0)},
      {u(2), s("0")},
      {u(258), u(1)},
      {i(-1), f(1.5)},
      {u(1), i(-1)},
      {u(4), u(0)},
      {u(0), u(4)},
      {f(2.0), u(0)},
      {u(0), f(1.0)},
      {JsonValue{}, u(0)},
      {JsonValue{true}, u(0)},
      {JsonValue{JsonValue::Array{u(1)}}, u(0)},
  };
  for (const auto& detail : bad) {
    auto prepared = prepare_log(raw_log("", {{text(win), deltas(0, 0, 0, 0), values(detail)}}));
    ASSERT_FALSE(prepared) << detail.size();
    EXPECT_EQ(prepared.error().kind, ErrorKind::BadWinDetail);
  }
}

TEST(PrepareLog, BadWinDetailStopsAtTheFirstBadPair) {
  // A later round with a bad detail fails the whole log, after good rounds.
  auto prepared = prepare_log(raw_log("", {{text(win), deltas(0, 0, 0, 0), values({u(0), u(0)})},
                                           {text(win), deltas(0, 0, 0, 0), values({u(0), u(0)}),
                                            deltas(0, 0, 0, 0), values({u(9), u(0)})}}));
  ASSERT_FALSE(prepared);
  EXPECT_EQ(prepared.error().kind, ErrorKind::BadWinDetail);
  EXPECT_TRUE(prepared.error().round.has_value());
}

// A win dropped silently would still convert; so the items after the marker
// must be whole (deltas, detail) pairs, one at least.
TEST(PrepareLog, WinResultsAreWholePairs) {
  const auto d = [] { return deltas(0, 1000, -1000, 0); };
  const auto v = [] { return values({u(1), u(2)}); };
  const std::vector<ResultItem> bad[] = {
      {text(win)},
      {text(win), d()},
      {text(win), d(), v(), d()},
      {text(win), values({u(0), f(1000.0), i(-1000), u(0)}), v()},
      {text(win), d(), deltas(0, 0, 0, 0)},
      {text(win), d(), text("x")},
      {text(win), text("x"), v()},
      {text(win), v(), d()},
  };
  for (const auto& results : bad) {
    auto prepared = prepare_log(raw_log("", {results}));
    ASSERT_FALSE(prepared) << results.size();
    EXPECT_EQ(prepared.error().kind, ErrorKind::BadWinDetail);
  }
}

}  // namespace
