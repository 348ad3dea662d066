// Reading XML records: what a small game gives, the meld codes, each kind of
// refusal with the element it names, and three-player games.
#include <gtest/gtest.h>

#include <string>

#include "mjlog/mjlog.hpp"
#include "mjlog/parts.hpp"
#include "pairo/conv/conv.hpp"

namespace {

// Seat s is dealt ids 13s..13s+12; the dora indicator is 130. Seat 0 draws
// and discards 52 (red 5p), seat 1 draws 53 and discards from its hand.
constexpr std::string_view game_head =
    R"(<mjloggm ver="2.3"><SHUFFLE seed="" ref=""/><GO type="169" lobby="0"/>)"
    R"(<UN n0="%41%62" n1="&#x62;&amp;%26" n2="c" n3="d" dan="0,1,16,20" rate="1500.00,2074.70,1,1" sx="M,F,C,M"/>)"
    R"(<TAIKYOKU oya="0"/>)";
constexpr std::string_view round_start =
    R"(<INIT seed="0,0,0,1,2,130" ten="250,250,250,250" oya="0" hai0="0,1,2,3,4,5,6,7,8,9,10,11,12")"
    R"( hai1="13,14,15,16,17,18,19,20,21,22,23,24,25" hai2="26,27,28,29,30,31,32,33,34,35,36,37,38")"
    R"( hai3="39,40,41,42,43,44,45,46,47,48,49,50,51"/>)";
constexpr std::string_view play = R"(<T52/><D52/><U53/><E13/>)";
constexpr std::string_view game_end =
    R"(<RYUUKYOKU ba="0,0" sc="250,-10,250,30,250,-10,250,-10" hai1="1" owari="240,-6.0,280,48.5,240,-21,240,-21.5"/></mjloggm>)";

std::string game(std::string_view head = game_head, std::string_view start = round_start,
                 std::string_view moves = play, std::string_view end = game_end) {
  return std::string(head) + std::string(start) + std::string(moves) + std::string(end);
}

std::expected<mjlog::Record, mjlog::Error> read(std::string text) {
  return mjlog::read_record(text.data(), text.size());
}

TEST(MjlogRead, SmallGame) {
  auto record = read(game());
  ASSERT_TRUE(record) << record.error().message;
  const tenhou::RawLog& log = record->log;
  EXPECT_EQ(log.name[0], "Ab");
  EXPECT_EQ(log.name[1], "b&&");  // references resolved, then percent escapes
  EXPECT_EQ(log.rule.disp, "鳳南喰赤");
  EXPECT_EQ(*log.dan, (std::vector<std::string>{"新人", "９級", "七段", "天鳳"}));
  ASSERT_EQ(log.log.size(), 1u);
  const tenhou::RawKyoku& round = log.log[0];
  EXPECT_EQ(round.scores[0], 25000);
  EXPECT_EQ(round.start_hands[1][0], mjai::Tile::M4);  // ids 13..15 are 4m, 16 is red 5m
  EXPECT_EQ(round.start_hands[1][3], mjai::Tile::M5);
  EXPECT_EQ(round.start_hands[1][6], mjai::Tile::M5Red);  // after its plain fives
  EXPECT_EQ(std::get<tenhou::ActionItem::Tile>(round.draws[0][0].value).tile, mjai::Tile::P5Red);
  EXPECT_EQ(std::get<tenhou::ActionItem::Number>(round.discards[0][0].value).value, 60);
  EXPECT_EQ(std::get<tenhou::ActionItem::Tile>(round.discards[1][0].value).tile, mjai::Tile::M4);
  const std::string json = mjlog::write_tenhou6(*record, "x\"y");
  EXPECT_NE(json.find(R"("ref":"x\"y")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"(["流局",[-1000,3000,-1000,-1000]]]])"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("rate":[1500,2074.7,1,1],"sx":["M","F","C","M"],"sc":[24000,-6,28000,48.5,24000,-21,24000,-21.5])"),
            std::string::npos) << json;
}

TEST(MjlogRead, MeldCodes) {
  const std::vector<std::pair<std::uint32_t, std::string>> codes = {
      {54647, "c363435"}, {42058, "41p4141"}, {37961, "3737p37"}, {37969, "3737k3737"},
      {2818, "13m131313"}, {4096, "151515a51"}, {41579, "p414141"}, {4353, "151551m15"}};
  for (const auto& [code, text] : codes) {
    auto meld = mjlog::parts::decode_meld(code);
    ASSERT_TRUE(meld) << code << ": " << meld.error();
    EXPECT_EQ(mjlog::parts::call_text(*meld, true), text) << code;
  }
  EXPECT_EQ(mjlog::parts::call_text(*mjlog::parts::decode_meld(4096), false), "151515a15");
}

struct Refusal {
  const char* what;
  std::string xml;
  std::string message;  // a part of the message
  const char* at;       // what the text holds at the error's offset
};

class MjlogRefuses : public testing::TestWithParam<Refusal> {};

TEST_P(MjlogRefuses, NamingTheElement) {
  const Refusal& refusal = GetParam();
  auto record = read(refusal.xml);
  ASSERT_FALSE(record) << refusal.what;
  EXPECT_NE(record.error().message.find(refusal.message), std::string::npos)
      << refusal.what << ": " << record.error().message;
  if (*refusal.at != '\0') {
    ASSERT_TRUE(record.error().offset) << refusal.what;
    EXPECT_EQ(refusal.xml.compare(*record.error().offset, std::strlen(refusal.at), refusal.at), 0)
        << refusal.what << " at " << *record.error().offset;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MjlogRefuses,
    testing::Values(
        Refusal{"not well-formed", R"(<mjloggm ver="2.3"><GO type="1"></mjloggm>)", "not well-formed XML", ""},
        Refusal{"empty", "", "not well-formed XML", ""},
        Refusal{"another root", R"(<mjlog ver="2.3"/>)", "mjlog: not a game record", "mjlog "},
        Refusal{"two roots", game() + "<mjloggm/>", "a second root element", "mjloggm/>"},
        Refusal{"no version", game().replace(8, 10, ""), "mjloggm: attribute 'ver' is missing", ""},
        Refusal{"kita", game(game_head, round_start, R"(<T52/><N who="0" m="32"/>)"), "N: meld code 32 is a kita",
                "N who"},
        Refusal{"chi from across", game(game_head, round_start, R"(<T52/><N who="0" m="54646"/>)"),
                "N: meld code 54646 is a chi not from the seat before", "N who"},
        Refusal{"meld past 16 bits", game(game_head, round_start, R"(<N who="0" m="65536"/>)"),
                "N: attribute 'm': 65536 is outside 0..65535", "N who"},
        Refusal{"tile id past 135", game(game_head, round_start, "<T136/>"), "T136: tile id 136 is outside 0..135", "T136"},
        Refusal{"tile drawn twice", game(game_head, round_start, "<T52/><D52/><U52/>"), "U52: tile 52 is dealt twice", "U52"},
        Refusal{"tile dealt twice", game(game_head, std::string(round_start).replace(round_start.find("13,14"), 2, "12")),
                "INIT: tile 12 is dealt twice", "INIT"},
        Refusal{"discard not held", game(game_head, round_start, "<T52/><D13/>"), "D13: seat 0 does not hold tile 13", "D13"},
        Refusal{"missing attribute", game(game_head, std::string(round_start).replace(round_start.find("ten="), 22, "")),
                "INIT: attribute 'ten' is missing", "INIT"},
        Refusal{"short hand", game(game_head, std::string(round_start).replace(round_start.find(",12\""), 3, "")),
                "INIT: attribute 'hai0': 12 values, not 13", "INIT"},
        Refusal{"play before INIT", game(std::string(game_head) + "<T52/>", ""), "T52: comes before the first round", "T52"},
        Refusal{"INIT before UN", game(R"(<mjloggm ver="2.3"><GO type="169"/>)"), "INIT: comes before the players", "INIT"},
        Refusal{"play after result", game(game_head, round_start, "<T52/><D52/><RYUUKYOKU type=\"yao9\" sc=\"\"/><U53/>"),
                "U53: comes after the round's result", "U53"},
        Refusal{"no result", game(game_head, round_start, play, "</mjloggm>"), "ends in a round without its result", ""},
        Refusal{"no round", std::string(game_head) + "</mjloggm>", "holds no round", ""},
        Refusal{"unknown element", game(game_head, round_start, "<X1/>"), "X1: is not an element", "X1"},
        Refusal{"bad draw type", game(game_head, round_start, play, R"(<RYUUKYOKU type="kyuu"/></mjloggm>)"),
                "RYUUKYOKU: attribute 'type': type 'kyuu' names no drawn round", "RYUUKYOKU"},
        Refusal{"unknown yaku", game(game_head, round_start, play, R"(<AGARI who="0" fromWho="0" ten="30,1000,0" yaku="55,1" sc="0,0,0,0,0,0,0,0"/></mjloggm>)"),
                "AGARI: 55 names no yaku", "AGARI"},
        Refusal{"bad percent escape", game(std::string(game_head).replace(game_head.find("%41"), 3, "%4")), "UN: attribute 'n0'",
                "UN "},
        Refusal{"unknown reference", game(std::string(game_head).replace(game_head.find("&amp;"), 5, "&nbsp;")),
                "UN: attribute 'n1': '&nbsp;' is no reference", "UN "},
        Refusal{"name not UTF-8", game(std::string(game_head).replace(game_head.find("%41"), 3, "%FF")),
                "UN: attribute 'n0': the decoded name is not UTF-8", "UN "},
        Refusal{"rank past 20", game(std::string(game_head).replace(game_head.find("0,1,16,20"), 9, "0,1,16,21")),
                "UN: attribute 'dan': 21 names no rank", "UN "},
        Refusal{"rate not a decimal", game(std::string(game_head).replace(game_head.find("1500.00"), 7, "1e3")),
                "UN: attribute 'rate': '1e3' is not a number", "UN "}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

// Any of the three signs makes the rule text three-player, which the
// preparation of the log refuses as it refuses a three-player JSON log.
TEST(MjlogRead, ThreePlayerGamesStopAndAreRefusedDownstream) {
  const std::string go_3p = std::string(game_head).replace(game_head.find("169"), 3, "185");
  const std::string empty_fourth = std::string(game_head).replace(game_head.find("n3=\"d\""), 6, "n3=\"\"");
  const std::size_t hand = round_start.find("hai3=\"") + 6;
  const std::string no_fourth_hand = std::string(round_start).erase(hand, round_start.find('"', hand) - hand);
  for (const std::string& xml : {game(go_3p), game(empty_fourth), game(game_head, no_fourth_hand)}) {
    auto record = read(xml);
    ASSERT_TRUE(record) << record.error().message;
    EXPECT_TRUE(record->three_player);
    EXPECT_TRUE(record->log.log.empty());
    EXPECT_TRUE(record->log.rule.disp.starts_with("三")) << record->log.rule.disp;
    const auto prepared = pairo::conv::prepare_log(std::move(record->log));
    ASSERT_FALSE(prepared);
    EXPECT_EQ(prepared.error().kind, pairo::ErrorKind::ThreePlayer);
  }
}

}  // namespace
