// The close of a round: hora per winner or ryukyoku, then end_kyoku.
#include <gtest/gtest.h>

#include "conv_support.hpp"

namespace {

using namespace conv_test;
using pairo::conv::append_round_results;
using pairo::conv::WinRecord;

TEST(AppendRoundResults, Outcomes) {
  struct Case {
    const char* name;
    KyokuOutcome outcome;
    std::vector<mjai::Tile> ura;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"draw with deltas",
       {KyokuOutcome::Draw{{1500, -1500, 1500, -1500}}},
       tiles({21}),
       {R"({"type":"ryukyoku","deltas":[1500,-1500,1500,-1500]})", R"({"type":"end_kyoku"})"}},
      {"draw without deltas", {KyokuOutcome::Draw{}}, {}, {R"({"type":"ryukyoku","deltas":[0,0,0,0]})", R"({"type":"end_kyoku"})"}},
      {"double ron shares the ura markers",
       {KyokuOutcome::Wins{{WinRecord{{0, 8000, 0, -8000}, 1, 3}, WinRecord{{0, 0, 3900, -3900}, 2, 3}}}},
       tiles({11, 52}),
       {R"({"type":"hora","actor":1,"target":3,"deltas":[0,8000,0,-8000],"ura_markers":["1m","5pr"]})",
        R"({"type":"hora","actor":2,"target":3,"deltas":[0,0,3900,-3900],"ura_markers":["1m","5pr"]})",
        R"({"type":"end_kyoku"})"}},
      {"no ura indicators", {KyokuOutcome::Wins{{WinRecord{{-2000, 6000, -2000, -2000}, 1, 1}}}}, {},
       {R"({"type":"hora","actor":1,"target":1,"deltas":[-2000,6000,-2000,-2000],"ura_markers":[]})",
        R"({"type":"end_kyoku"})"}},
      {"marker only", {KyokuOutcome::Wins{}}, tiles({11}), {R"({"type":"end_kyoku"})"}},
  };
  for (const auto& c : cases) {
    PreparedKyoku kyoku;
    kyoku.outcome = c.outcome;
    kyoku.ura_indicators = c.ura;
    mjai::Events events{mjai::Tsumo{0, mjai::Tile::M1}};
    append_round_results(events, kyoku);
    auto got = lines(events);
    got.erase(got.begin());  // appended after what was there
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

}  // namespace
