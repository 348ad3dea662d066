// Whole games from hand-made rounds: the order of play the merge rebuilds,
// kan dora placement, call attribution and its retry, and the errors.
#include <gtest/gtest.h>

#include "conv_support.hpp"
#include "pairo/conv/round.hpp"

namespace {

using namespace conv_test;
using pairo::conv::convert_log;
using pairo::conv::WinRecord;
using Lines = std::vector<std::string>;

KyokuOutcome wins(std::vector<WinRecord> records) { return KyokuOutcome{KyokuOutcome::Wins{std::move(records)}}; }

const std::string draw_end[] = {R"({"type":"ryukyoku","deltas":[0,0,0,0]})", R"({"type":"end_kyoku"})"};

Lines with_draw_end(Lines play) {
  play.insert(play.end(), std::begin(draw_end), std::end(draw_end));
  return play;
}

struct RoundCase {
  const char* name;
  PreparedKyoku kyoku;
  Lines expected;
};

void expect_play(const RoundCase& c) {
  auto got = play(c.kyoku);
  ASSERT_TRUE(got) << c.name << ": " << got.error().detail();
  EXPECT_EQ(*got, c.expected) << c.name;
}

TEST(ConvertLog, PlainTurnsAndRiichi) {
  const RoundCase cases[] = {
      {"plain turns to an exhaustive draw",
       round_of({{11}, {12}, {13}, {14}}, {{21}, {60}, {22}, {23}},
                {KyokuOutcome::Draw{{1000, 1000, -1000, -1000}}}),
       {R"({"type":"tsumo","actor":0,"pai":"1m"})",
        R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
        R"({"type":"tsumo","actor":1,"pai":"2m"})",
        R"({"type":"dahai","actor":1,"pai":"2m","tsumogiri":true})",
        R"({"type":"tsumo","actor":2,"pai":"3m"})",
        R"({"type":"dahai","actor":2,"pai":"2p","tsumogiri":false})",
        R"({"type":"tsumo","actor":3,"pai":"4m"})",
        R"({"type":"dahai","actor":3,"pai":"3p","tsumogiri":false})",
        R"({"type":"ryukyoku","deltas":[1000,1000,-1000,-1000]})", R"({"type":"end_kyoku"})"}},
      {"riichi accepted before the next draw",
       round_of({{11}, {12}, {}, {}}, {{"r21"}, {22}, {}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})", R"({"type":"reach","actor":0})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"reach_accepted","actor":0})", R"({"type":"tsumo","actor":1,"pai":"2m"})",
                      R"({"type":"dahai","actor":1,"pai":"2p","tsumogiri":false})"})},
      {"riichi discard won on: never accepted",
       round_of({{11}, {}, {}, {}}, {{"r60"}, {}, {}, {}}, wins({WinRecord{{-1000, 1000, 0, 0}, 1, 0}})),
       {R"({"type":"tsumo","actor":0,"pai":"1m"})", R"({"type":"reach","actor":0})",
        R"({"type":"dahai","actor":0,"pai":"1m","tsumogiri":true})",
        R"({"type":"hora","actor":1,"target":0,"deltas":[-1000,1000,0,0],"ura_markers":[]})",
        R"({"type":"end_kyoku"})"}},
      {"self-drawn win ends when the winner has no discard left",
       round_of({{11}, {12}, {13}, {}}, {{21}, {}, {}, {}}, wins({WinRecord{{-1000, 3000, -1000, -1000}, 1, 1}})),
       {R"({"type":"tsumo","actor":0,"pai":"1m"})",
        R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
        R"({"type":"tsumo","actor":1,"pai":"2m"})",
        R"({"type":"hora","actor":1,"target":1,"deltas":[-1000,3000,-1000,-1000],"ura_markers":[]})",
        R"({"type":"end_kyoku"})"}},
      {"double ron",
       [] {
         auto k = round_of({{11}, {}, {}, {}}, {{21}, {}, {}, {}},
                           wins({WinRecord{{-8000, 8000, 0, 0}, 1, 0}, WinRecord{{-3900, 0, 3900, 0}, 2, 0}}));
         k.ura_indicators = tiles({31});
         return k;
       }(),
       {R"({"type":"tsumo","actor":0,"pai":"1m"})",
        R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
        R"({"type":"hora","actor":1,"target":0,"deltas":[-8000,8000,0,0],"ura_markers":["1s"]})",
        R"({"type":"hora","actor":2,"target":0,"deltas":[-3900,0,3900,0],"ura_markers":["1s"]})",
        R"({"type":"end_kyoku"})"}},
  };
  for (const auto& c : cases) expect_play(c);
}

// The fourth riichi's stick is paid on the abortive draw it causes; any other
// round ending on a riichi discard leaves that riichi unaccepted.
TEST(ConvertLog, FourRiichiDrawAcceptsTheLastRiichi) {
  const KyokuOutcome four_riichi{KyokuOutcome::Draw{.four_riichi = true}};
  const Lines two_riichi = {
      R"({"type":"tsumo","actor":0,"pai":"1m"})",         R"({"type":"reach","actor":0})",
      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
      R"({"type":"reach_accepted","actor":0})",           R"({"type":"tsumo","actor":1,"pai":"2m"})",
      R"({"type":"reach","actor":1})",                    R"({"type":"dahai","actor":1,"pai":"2p","tsumogiri":false})"};
  const auto then = [](Lines play, std::initializer_list<std::string> more) {
    play.insert(play.end(), more);
    return with_draw_end(std::move(play));
  };
  const RoundCase cases[] = {
      {"four-riichi draw on the riichi discard",
       round_of({{11}, {12}, {}, {}}, {{"r21"}, {"r22"}, {}, {}}, four_riichi),
       then(two_riichi, {R"({"type":"reach_accepted","actor":1})"})},
      {"other draw on the riichi discard", round_of({{11}, {12}, {}, {}}, {{"r21"}, {"r22"}, {}, {}}),
       then(two_riichi, {})},
      {"four-riichi draw after a plain discard",
       round_of({{11}, {12}, {}, {}}, {{"r21"}, {22}, {}, {}}, four_riichi),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})", R"({"type":"reach","actor":0})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"reach_accepted","actor":0})", R"({"type":"tsumo","actor":1,"pai":"2m"})",
                      R"({"type":"dahai","actor":1,"pai":"2p","tsumogiri":false})"})},
  };
  for (const auto& c : cases) expect_play(c);
}

TEST(ConvertLog, Calls) {
  const RoundCase cases[] = {
      {"chi, then play goes on from the caller",
       round_of({{11, 15}, {"c212223", 16}, {13}, {14}}, {{21, 25}, {31, 35}, {22}, {23}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"chi","actor":1,"target":0,"pai":"1p","consumed":["2p","3p"]})",
                      R"({"type":"dahai","actor":1,"pai":"1s","tsumogiri":false})",
                      R"({"type":"tsumo","actor":2,"pai":"3m"})",
                      R"({"type":"dahai","actor":2,"pai":"2p","tsumogiri":false})",
                      R"({"type":"tsumo","actor":3,"pai":"4m"})",
                      R"({"type":"dahai","actor":3,"pai":"3p","tsumogiri":false})",
                      R"({"type":"tsumo","actor":0,"pai":"5m"})",
                      R"({"type":"dahai","actor":0,"pai":"5p","tsumogiri":false})",
                      R"({"type":"tsumo","actor":1,"pai":"6m"})",
                      R"({"type":"dahai","actor":1,"pai":"5s","tsumogiri":false})"})},
      {"pon skips a seat",
       round_of({{11}, {}, {"21p2121"}, {14}}, {{21}, {}, {31}, {33}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"pon","actor":2,"target":0,"pai":"1p","consumed":["1p","1p"]})",
                      R"({"type":"dahai","actor":2,"pai":"1s","tsumogiri":false})",
                      R"({"type":"tsumo","actor":3,"pai":"4m"})",
                      R"({"type":"dahai","actor":3,"pai":"3s","tsumogiri":false})"})},
      {"a call on a riichi discard accepts the riichi first",
       round_of({{11}, {"c212223"}, {}, {}}, {{"r21"}, {31}, {}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})", R"({"type":"reach","actor":0})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"reach_accepted","actor":0})",
                      R"({"type":"chi","actor":1,"target":0,"pai":"1p","consumed":["2p","3p"]})",
                      R"({"type":"dahai","actor":1,"pai":"1s","tsumogiri":false})"})},
      {"pon beats chi",
       round_of({{11}, {"c212223"}, {"21p2121"}, {14}}, {{21}, {}, {31}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"pon","actor":2,"target":0,"pai":"1p","consumed":["1p","1p"]})",
                      R"({"type":"dahai","actor":2,"pai":"1s","tsumogiri":false})",
                      R"({"type":"tsumo","actor":3,"pai":"4m"})"})},
      {"chi beats daiminkan",
       round_of({{11}, {"c212223"}, {13}, {"212121m21"}}, {{21}, {31}, {}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"chi","actor":1,"target":0,"pai":"1p","consumed":["2p","3p"]})",
                      R"({"type":"dahai","actor":1,"pai":"1s","tsumogiri":false})",
                      R"({"type":"tsumo","actor":2,"pai":"3m"})"})},
      {"the later seat wins a tie",
       round_of({{11, 12}, {"p212121"}, {}, {"2121p21"}}, {{21}, {}, {}, {31}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"pon","actor":3,"target":0,"pai":"1p","consumed":["1p","1p"]})",
                      R"({"type":"dahai","actor":3,"pai":"1s","tsumogiri":false})",
                      R"({"type":"tsumo","actor":0,"pai":"2m"})"})},
      {"the dealer's first take may call the unknown tile",
       round_of({{"c002223"}, {}, {}, {}}, {{31}, {}, {}, {}}),
       with_draw_end({R"({"type":"chi","actor":0,"target":3,"pai":"?","consumed":["2p","3p"]})",
                      R"({"type":"dahai","actor":0,"pai":"1s","tsumogiri":false})"})},
  };
  for (const auto& c : cases) expect_play(c);
}

TEST(ConvertLog, KansAndTheirDora) {
  const RoundCase cases[] = {
      {"daiminkan: rinshan draw, dora, discard; the placeholder is gone",
       round_of({{11}, {"m21212121", 33}, {}, {}}, {{21}, {0, 34}, {}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"daiminkan","actor":1,"target":0,"pai":"1p","consumed":["1p","1p","1p"]})",
                      R"({"type":"tsumo","actor":1,"pai":"3s"})", R"({"type":"dora","dora_marker":"2m"})",
                      R"({"type":"dahai","actor":1,"pai":"4s","tsumogiri":false})"})},
      {"ankan: dora right after it",
       round_of({{11, 12}, {}, {}, {}}, {{"111111a11", 13}, {}, {}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"ankan","actor":0,"consumed":["1m","1m","1m","1m"]})",
                      R"({"type":"dora","dora_marker":"2m"})", R"({"type":"tsumo","actor":0,"pai":"2m"})",
                      R"({"type":"dahai","actor":0,"pai":"3m","tsumogiri":false})"})},
      {"kakan: rinshan draw, dora, discard",
       round_of({{11, 12}, {}, {}, {}}, {{"k11111111", 13}, {}, {}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"kakan","actor":0,"pai":"1m","consumed":["1m","1m","1m"]})",
                      R"({"type":"tsumo","actor":0,"pai":"2m"})", R"({"type":"dora","dora_marker":"2m"})",
                      R"({"type":"dahai","actor":0,"pai":"3m","tsumogiri":false})"})},
      {"kakan after kakan: the first kan's dora comes before the next draw",
       round_of({{11, 12, 13}, {}, {}, {}}, {{"k11111111", "k12121212", 14}, {}, {}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"kakan","actor":0,"pai":"1m","consumed":["1m","1m","1m"]})",
                      R"({"type":"tsumo","actor":0,"pai":"2m"})",
                      R"({"type":"kakan","actor":0,"pai":"2m","consumed":["2m","2m","2m"]})",
                      R"({"type":"dora","dora_marker":"2m"})", R"({"type":"tsumo","actor":0,"pai":"3m"})",
                      R"({"type":"dora","dora_marker":"3m"})",
                      R"({"type":"dahai","actor":0,"pai":"4m","tsumogiri":false})"})},
      {"ankan after daiminkan: the pending dora comes before the ankan",
       round_of({{11}, {"m21212121", 33, 34}, {}, {}}, {{21}, {0, "343434a34", 35}, {}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"daiminkan","actor":1,"target":0,"pai":"1p","consumed":["1p","1p","1p"]})",
                      R"({"type":"tsumo","actor":1,"pai":"3s"})", R"({"type":"dora","dora_marker":"2m"})",
                      R"({"type":"ankan","actor":1,"consumed":["4s","4s","4s","4s"]})",
                      R"({"type":"dora","dora_marker":"3m"})", R"({"type":"tsumo","actor":1,"pai":"4s"})",
                      R"({"type":"dahai","actor":1,"pai":"5s","tsumogiri":false})"})},
      {"kakan after daiminkan: the pending dora comes before the next draw",
       round_of({{11}, {"m21212121", 33, 34}, {}, {}}, {{21}, {0, "k33333333", 35}, {}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"daiminkan","actor":1,"target":0,"pai":"1p","consumed":["1p","1p","1p"]})",
                      R"({"type":"tsumo","actor":1,"pai":"3s"})",
                      R"({"type":"kakan","actor":1,"pai":"3s","consumed":["3s","3s","3s"]})",
                      R"({"type":"dora","dora_marker":"2m"})", R"({"type":"tsumo","actor":1,"pai":"4s"})",
                      R"({"type":"dora","dora_marker":"3m"})",
                      R"({"type":"dahai","actor":1,"pai":"5s","tsumogiri":false})"})},
      {"daiminkan after daiminkan in one take",
       round_of({{11}, {"m21212121", "m21212121", 33}, {}, {}}, {{21}, {0, 0, 34}, {}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"daiminkan","actor":1,"target":0,"pai":"1p","consumed":["1p","1p","1p"]})",
                      R"({"type":"dora","dora_marker":"2m"})",
                      R"({"type":"daiminkan","actor":1,"target":0,"pai":"1p","consumed":["1p","1p","1p"]})",
                      R"({"type":"tsumo","actor":1,"pai":"3s"})", R"({"type":"dora","dora_marker":"3m"})",
                      R"({"type":"dahai","actor":1,"pai":"4s","tsumogiri":false})"})},
      {"a riichi right after a daiminkan keeps the dora pending past its discard",
       round_of({{11}, {"m21212121", 33}, {13}, {}}, {{21}, {0, "r34"}, {22}, {}}),
       with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                      R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
                      R"({"type":"daiminkan","actor":1,"target":0,"pai":"1p","consumed":["1p","1p","1p"]})",
                      R"({"type":"tsumo","actor":1,"pai":"3s"})", R"({"type":"reach","actor":1})",
                      R"({"type":"dahai","actor":1,"pai":"4s","tsumogiri":false})",
                      R"({"type":"reach_accepted","actor":1})", R"({"type":"tsumo","actor":2,"pai":"3m"})",
                      R"({"type":"dora","dora_marker":"2m"})",
                      R"({"type":"dahai","actor":2,"pai":"2p","tsumogiri":false})"})},
  };
  for (const auto& c : cases) expect_play(c);
}

// Seat 0 discards 2p twice; seat 2's pon of it could take the first one.
// Taken there, seat 3's pon of seat 1's 5p finds no such discard, so the
// round is replayed with the first 2p left alone.
TEST(ConvertLog, AnAmbiguousCallIsRefusedOnRetry) {
  expect_play({"ambiguous pon",
               round_of({{11, 12}, {13}, {"22p2222"}, {"25p2525"}}, {{22, 22}, {25}, {37}, {39}}),
               with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                              R"({"type":"dahai","actor":0,"pai":"2p","tsumogiri":false})",
                              R"({"type":"tsumo","actor":1,"pai":"3m"})",
                              R"({"type":"dahai","actor":1,"pai":"5p","tsumogiri":false})",
                              R"({"type":"pon","actor":3,"target":1,"pai":"5p","consumed":["5p","5p"]})",
                              R"({"type":"dahai","actor":3,"pai":"9s","tsumogiri":false})",
                              R"({"type":"tsumo","actor":0,"pai":"2m"})",
                              R"({"type":"dahai","actor":0,"pai":"2p","tsumogiri":false})",
                              R"({"type":"pon","actor":2,"target":0,"pai":"2p","consumed":["2p","2p"]})",
                              R"({"type":"dahai","actor":2,"pai":"7s","tsumogiri":false})"})});
}

// The same shape, but the pon does take the first 2p: the first attempt's
// choice stands.
TEST(ConvertLog, AnAmbiguousCallIsFirstAccepted) {
  expect_play({"ambiguous pon, taken at once",
               round_of({{11, 12}, {13}, {"22p2222"}, {14}}, {{22, 22}, {23}, {37}, {38}}),
               with_draw_end({R"({"type":"tsumo","actor":0,"pai":"1m"})",
                              R"({"type":"dahai","actor":0,"pai":"2p","tsumogiri":false})",
                              R"({"type":"pon","actor":2,"target":0,"pai":"2p","consumed":["2p","2p"]})",
                              R"({"type":"dahai","actor":2,"pai":"7s","tsumogiri":false})",
                              R"({"type":"tsumo","actor":3,"pai":"4m"})",
                              R"({"type":"dahai","actor":3,"pai":"8s","tsumogiri":false})",
                              R"({"type":"tsumo","actor":0,"pai":"2m"})",
                              R"({"type":"dahai","actor":0,"pai":"2p","tsumogiri":false})",
                              R"({"type":"tsumo","actor":1,"pai":"3m"})",
                              R"({"type":"dahai","actor":1,"pai":"3p","tsumogiri":false})"})});
}

// The first attempt takes seat 2's daiminkan on the first 2p and fails. The
// retry refuses it there, then meets two more ambiguous pons of 2p by seat 1
// (refused, then accepted again) and fails at the end: its decisions are
// those it started from, so a further attempt would repeat it forever.
TEST(ConvertLog, RetriesStopWhenTheDecisionsComeBack) {
  auto kyoku = round_of({{11, 12, 13, 14, 15}, {13, "p222222", "p222222"}, {"22m222222", 33},
                         {"25p2525", "26p2626", "27p2727"}},
                        {{22, 22, 22, 22, 16}, {25, 26, 27}, {0, 34}, {39, 39, 39}});
  auto got = play(kyoku);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().kind, pairo::ErrorKind::DrawsExhausted) << got.error().detail();
  EXPECT_EQ(got.error().seat, 3);
}

TEST(ConvertLog, StartOfGameAndRounds) {
  EXPECT_EQ(lines(*convert_log(log_of({}))),
            (Lines{R"({"type":"start_game","names":["A","B","C","D"],"kyoku_first":0,"aka_flag":false})",
                   R"({"type":"end_game"})"}));

  struct Case {
    std::uint8_t raw;
    mjai::Tile bakaze;
    std::uint8_t kyoku;
    std::uint8_t oya;
  };
  const Case cases[] = {
      {0, mjai::Tile::East, 1, 0},  {4, mjai::Tile::South, 1, 0}, {8, mjai::Tile::West, 1, 0},
      {12, mjai::Tile::North, 1, 0}, {7, mjai::Tile::South, 4, 3}, {13, mjai::Tile::North, 2, 1},
      {255, mjai::Tile::North, 4, 3},
  };
  for (const auto& c : cases) {
    // Only the dealer draws, so the round opens with the dealer's turn.
    PreparedKyoku kyoku;
    kyoku.kyoku = c.raw;
    kyoku.honba = 2;
    kyoku.kyotaku = 1;
    kyoku.scores = {1, 2, 3, -4};
    kyoku.dora_indicators = tiles({52});
    kyoku.draws[c.oya] = stream({11});
    std::vector<PreparedKyoku> one;
    one.push_back(kyoku);
    PreparedLog log = log_of(std::move(one));
    log.kyoku_first = 4;
    log.aka_flag = true;
    auto events = convert_log(log);
    ASSERT_TRUE(events) << int(c.raw);
    const auto& start = std::get<mjai::StartKyoku>(events->at(1));
    EXPECT_EQ(start.bakaze, c.bakaze) << int(c.raw);
    EXPECT_EQ(start.kyoku, c.kyoku) << int(c.raw);
    EXPECT_EQ(start.oya, c.oya) << int(c.raw);
    EXPECT_EQ(start.honba, 2);
    EXPECT_EQ(start.kyotaku, 1);
    EXPECT_EQ(start.dora_marker, mjai::Tile::P5Red);
    EXPECT_EQ(start.scores, kyoku.scores);
    EXPECT_EQ(line(events->at(0)),
              R"({"type":"start_game","names":["A","B","C","D"],"kyoku_first":4,"aka_flag":true})");
    EXPECT_EQ(line(events->at(2)), R"({"type":"tsumo","actor":)" + std::to_string(c.oya) + R"(,"pai":"1m"})");
  }
}

TEST(ConvertLog, RoundsFollowOneAnother) {
  auto first = round_of({{11}, {}, {}, {}}, {{21}, {}, {}, {}});
  auto second = round_of({{}, {12}, {}, {}}, {{}, {22}, {}, {}});
  second.kyoku = 1;
  std::vector<PreparedKyoku> rounds;
  rounds.push_back(first);
  rounds.push_back(second);
  auto events = convert_log(log_of(std::move(rounds)));
  ASSERT_TRUE(events);
  Lines kinds;
  for (const auto& e : *events) kinds.emplace_back(mjai::event_type_name(e));
  EXPECT_EQ(kinds, (Lines{"start_game", "start_kyoku", "tsumo", "dahai", "ryukyoku", "end_kyoku", "start_kyoku",
                          "tsumo", "dahai", "ryukyoku", "end_kyoku", "end_game"}));
}

// The error of a broken round: its kind and its detail, which names the
// round (kyoku 5, honba 3 is "S2-3") and the seat at fault.
TEST(ConvertLog, Errors) {
  struct Case {
    PreparedKyoku kyoku;
    pairo::ErrorKind kind;
    std::string detail;
  };
  auto no_indicator = round_of({{11}, {}, {}, {}}, {{21}, {}, {}, {}});
  no_indicator.dora_indicators.clear();
  no_indicator.kyoku = 5;
  no_indicator.honba = 3;
  auto kan_without_indicator = round_of({{11, 12}, {}, {}, {}}, {{"111111a11", 13}, {}, {}, {}});
  kan_without_indicator.dora_indicators = tiles({11});
  using enum pairo::ErrorKind;
  const Case cases[] = {
      {no_indicator, NoDoraMarker, "round S2-3: the round has no dora indicator"},
      {kan_without_indicator, NoDoraMarker, "round E1-0: a kan reveals a new dora, but no dora indicator is left"},
      // seat 1 must take but has nothing
      {round_of({{11}, {}, {13}, {}}, {{21}, {}, {22}, {}}), DrawsExhausted,
       "round E1-0, seat 1: no draw is left for the seat's turn"},
      // the dealer's first take calls a real tile
      {round_of({{"c212223"}, {}, {}, {}}, {{31}, {}, {}, {}}), UnmatchedCall,
       "round E1-0, seat 0: chi of 1p names seat 3, but no tile has been discarded yet"},
      // a chi of a tile that was not discarded
      {round_of({{11}, {"c222123"}, {}, {}}, {{21}, {31}, {}, {}}), UnmatchedCall,
       "round E1-0, seat 1: chi of 2p names seat 0, but the last discard was seat 0's 1p"},
      // errors of the seat streams pass through
      {round_of({{11}, {"252p525"}, {}, {}}, {{21}, {}, {}, {}}), BadItemText,
       "round E1-0, seat 1: \"252p525\" is no call, kan or riichi"},
  };
  for (const Case& c : cases) {
    auto got = play(c.kyoku);
    ASSERT_FALSE(got) << c.detail;
    EXPECT_EQ(got.error().kind, c.kind) << c.detail;
    EXPECT_EQ(got.error().detail(), c.detail);
  }
}

// A reach with no discard after it: no log makes one, since a riichi text
// always yields both events, so the seat events are made by hand.
TEST(PlayRound, NoDiscardAfterReach) {
  PreparedKyoku kyoku;
  kyoku.dora_indicators = tiles({11});
  kyoku.honba = 1;
  std::array<pairo::conv::SeatEvents, 4> seats;
  seats[0].draw_events = {mjai::Tsumo{0, mjai::Tile::M1}};
  seats[0].discard_events = {mjai::Reach{0}};
  mjai::Events out{mjai::EndGame{}};
  auto got = pairo::conv::play_round(kyoku, seats, out);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().kind, pairo::ErrorKind::NoDiscardAfterReach);
  EXPECT_EQ(got.error().seat, 0);
  EXPECT_EQ(out.size(), 1u);  // nothing of the failed round is left behind
}

// The round that a retry settles (the ambiguous pon above) fails with the
// first attempt's error when only one attempt is allowed.
TEST(PlayRound, AttemptsStopAtTheirBound) {
  const PreparedKyoku kyoku =
      round_of({{11, 12}, {13}, {"22p2222"}, {"25p2525"}}, {{22, 22}, {25}, {37}, {39}});
  std::array<pairo::conv::SeatEvents, 4> seats;
  for (mjai::Seat s = 0; s < 4; ++s) seats[s] = *pairo::conv::convert_seat_streams(kyoku, s);
  mjai::Events out;
  ASSERT_TRUE(pairo::conv::play_round(kyoku, seats, out, 2));
  out.clear();
  auto got = pairo::conv::play_round(kyoku, seats, out, 1);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().kind, pairo::ErrorKind::UnmatchedCall) << got.error().detail();
  EXPECT_TRUE(out.empty());
}

}  // namespace
