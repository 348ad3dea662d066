// Reading XML records: what a small game gives, the meld codes, each kind of
// refusal with the element it names, three-player games, chip lobbies,
// reconnections before the first round, and what the record cannot write.
// Every record here is read by both readers: the one pass must take each
// record the parsed document's reader takes, giving the same record, and
// hand over each one it refuses.
#include <gtest/gtest.h>

#include <string>

#include "mjlog/mjlog.hpp"
#include "mjlog/parts.hpp"
#include "mjlog/walk.hpp"
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

std::expected<mjlog::Record, mjlog::ReadError> read(std::string text) {
  const auto direct = mjlog::parts::read_directly(text);
  auto parsed = mjlog::parts::read_parsed(text.data(), text.size());
  EXPECT_EQ(direct.has_value(), parsed.has_value())
      << (direct ? "the one pass took a record the parsed reader refuses: " + parsed.error().message
                 : std::string("the one pass handed over a record the parsed reader takes"));
  if (direct && parsed) EXPECT_TRUE(*direct == *parsed) << "the two readers give different records";
  return parsed;
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
    ASSERT_TRUE(meld) << code << ": " << meld.error().text;
    EXPECT_EQ(tenhou::marked_text(mjlog::parts::marked_of(*meld, true)), text) << code;
  }
  EXPECT_EQ(tenhou::marked_text(mjlog::parts::marked_of(*mjlog::parts::decode_meld(4096), false)), "151515a15");
}

// A round's plays are written without a check for room: they are bounded
// by the tiles, and every other item keeps that room free. Here calls come
// first, hundreds of them (the walk does not hold a call's tiles to
// account), then seat 0 draws and discards every tile left in the wall.
TEST(MjlogRead, EveryTileOfTheWallPlayedAfterManyCalls) {
  constexpr std::size_t calls = 300;
  std::string moves;
  for (std::size_t i = 0; i < calls; ++i) moves += i % 2 ? R"(<N who="0" m="4096"/>)" : R"(<N who="0" m="42058"/>)";
  std::size_t plays = 0;
  for (int id = 52; id < 136; ++id) {
    if (id == 130) continue;  // the dora indicator
    moves += "<T" + std::to_string(id) + "/><D" + std::to_string(id) + "/>";
    ++plays;
  }
  auto record = read(game(game_head, round_start, moves));
  ASSERT_TRUE(record) << record.error().message;
  const tenhou::RawKyoku& round = record->log.log.at(0);
  ASSERT_EQ(round.draws[0].size(), calls / 2 + plays);
  ASSERT_EQ(round.discards[0].size(), calls / 2 + plays);
  EXPECT_EQ(round.draws[0].back(), tenhou::ActionItem{tenhou::ActionItem::Tile{mjai::Tile::Red}});  // id 135
  EXPECT_EQ(round.discards[0].back(), tenhou::ActionItem{tenhou::ActionItem::Number{60}});
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
        Refusal{"bad percent escape", game(std::string(game_head).replace(game_head.find("%41"), 3, "%4")), "UN: attribute 'n0'",
                "UN "},
        Refusal{"unknown reference", game(std::string(game_head).replace(game_head.find("&amp;"), 5, "&nbsp;")),
                "UN: attribute 'n1': '&nbsp;' is no reference", "UN "},
        Refusal{"name not UTF-8", game(std::string(game_head).replace(game_head.find("%41"), 3, "%FF")),
                "UN: attribute 'n0': the decoded name is not UTF-8", "UN "},
        Refusal{"rank not a number", game(std::string(game_head).replace(game_head.find("0,1,16,20"), 9, "0,1,16,x")),
                "UN: attribute 'dan': 'x' is not a number", "UN "},
        Refusal{"sc of 9 values", game(game_head, round_start, play, R"(<RYUUKYOKU sc="1,2,3,4,5,6,7,8,9" hai0=""/></mjloggm>)"),
                "RYUUKYOKU: attribute 'sc': 9 values, not 8 or 16", "RYUUKYOKU"},
        Refusal{"owari of 12 values", std::string(game()).replace(game().find("owari=\"") + 7, 0, "1,2,3,4,"),
                "RYUUKYOKU: attribute 'owari': 12 values, not 8 or 16", "RYUUKYOKU"},
        Refusal{"players given again", game(std::string(game_head) + R"(<UN n0="a" n1="b" n2="c" n3="d"/>)"),
                "UN: the players are given again", "UN "},
        Refusal{"player list naming one seat",
                game(std::string(game_head).erase(game_head.find("n1="), game_head.find("dan=") - game_head.find("n1="))),
                "UN: attribute 'n1' is missing", "UN "},
        Refusal{"rate of 3 values", game(std::string(game_head).replace(game_head.find("1500.00,"), 8, "")),
                "UN: attribute 'rate': 3 values, not 4", "UN "},
        Refusal{"sx of 5 values", game(std::string(game_head).replace(game_head.find("sx=\"") + 4, 0, "M,")),
                "UN: attribute 'sx': 5 values, not 4", "UN "},
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

// Chip lobbies: sc and owari of 16 values, chip on a win. The rounds are
// any lobby's; the document's sc takes owari's chip values as they stand.
TEST(MjlogRead, ChipLobby) {
  const std::string win =
      R"(<AGARI ba="0,0" hai="0,1,2" machi="2" ten="30,1000,0" yaku="8,1" doraHai="130" who="0" fromWho="1")"
      R"( sc="250,10,250,-10,250,0,250,0,0,3,0,-1,0,-1,0,-1" chip="54,1")"
      R"( owari="260,16.0,240,-16.0,250,0,250,0,3,0,-1,0,-1,0,-1,0"/></mjloggm>)";
  auto record = read(game(game_head, round_start, play, win));
  ASSERT_TRUE(record) << record.error().message;
  const auto& results = record->log.log[0].results;
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(std::get<tenhou::ResultItem::Deltas>(results[1].value).values, (std::array<std::int32_t, 4>{1000, -1000, 0, 0}));
  const std::string json = mjlog::write_tenhou6(*record, "");
  EXPECT_NE(json.find(R"("sc":[26000,16,24000,-16,25000,0,25000,0,3,0,-1,0,-1,0,-1,0],)"), std::string::npos) << json;
}

// A seat that drops between TAIKYOKU and the first deal: its BYE and its
// one-name UN add no connection entry; the player list may carry gold
// instead of ranks, and then the document has no dan.
TEST(MjlogRead, ReconnectionBeforeTheFirstRoundAndGoldPlayerList) {
  const std::string head = std::string(game_head) + R"(<BYE who="2"/><UN n2="c"/>)";
  auto record = read(game(head));
  ASSERT_TRUE(record) << record.error().message;
  EXPECT_TRUE(record->connection.empty());
  EXPECT_EQ(record->log.name[2], "c");

  const std::string gold = std::string(game_head).replace(game_head.find("dan="), 15, R"(gold="0,1,2,3")");
  auto older = read(game(gold));
  ASSERT_TRUE(older) << older.error().message;
  EXPECT_FALSE(older->log.dan.has_value());
  EXPECT_EQ(mjlog::write_tenhou6(*older, "").find("\"dan\""), std::string::npos);
}

// Yaku, yakuman, limits and ranks past the known ones: the record reads and
// converts, and its document is refused with the element and its offset.
TEST(MjlogRead, TextsTheRecordCannotWrite) {
  const auto win = [](std::string_view attributes) {
    return R"(<AGARI ba="0,0" hai="0" machi="0" doraHai="130" who="0" fromWho="1" sc="250,10,250,-10,250,0,250,0" )" +
           std::string(attributes) + "/></mjloggm>";
  };
  const std::string rank = std::string(game_head).replace(game_head.find("0,1,16,20"), 9, "0,1,16,21");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {game(game_head, round_start, play, win(R"(ten="30,1000,0" yaku="55,1")")), "AGARI: 55 names no yaku"},
      {game(game_head, round_start, play, win(R"(ten="0,32000,5" yakuman="300")")), "AGARI: 300 names no yaku"},
      {game(game_head, round_start, play, win(R"(ten="30,1000,6" yaku="8,1")")), "AGARI: 6 names no limit"},
      {game(rank), "UN: attribute 'dan': 21 names no rank"},
  };
  for (const auto& [xml, message] : cases) {
    auto record = read(xml);
    ASSERT_TRUE(record) << message << ": " << record.error().message;
    const auto refusal = mjlog::tenhou6_refusal(*record);
    ASSERT_TRUE(refusal) << message;
    EXPECT_EQ(refusal->message, message);
    ASSERT_TRUE(refusal->offset);
    EXPECT_EQ(xml.compare(*refusal->offset, 2, message.substr(0, 2)), 0) << message << " at " << *refusal->offset;
    EXPECT_TRUE(pairo::conv::prepare_log(std::move(record->log))) << message;
  }
  auto known = read(game());
  ASSERT_TRUE(known);
  EXPECT_FALSE(mjlog::tenhou6_refusal(*known));
}

// A win's texts are made from its score when the document is written, each
// win's from its own score, a double ron's too: the point text for a ron, a
// dealer's and a non-dealer's tsumo, below and at the limits, then the yaku
// with their han (none at 0 han) or as yakuman.
TEST(MjlogRead, WrittenWinTexts) {
  const auto win = [](std::string_view attributes) {
    return R"(<AGARI ba="0,0" hai="0" machi="0" doraHai="130" sc="250,0,250,0,250,0,250,0" )" + std::string(attributes) +
           "/>";
  };
  struct Case {
    std::string wins;
    std::string detail;  // the round's result as written, after the marker
  };
  const std::vector<Case> cases = {
      {win(R"(who="0" fromWho="1" ten="30,2000,0" yaku="1,1,8,1,52,0")"),
       R"j([0,0,0,0],[0,1,0,"30符2飜2000点","立直(1飜)","断幺九(1飜)"])j"},
      {win(R"(who="0" fromWho="0" ten="40,3900,0" yaku="0,1,7,1")"), R"j([0,0,0,0],[0,0,0,"40符2飜1300点∀","門前清自摸和(1飜)","平和(1飜)"])j"},
      {win(R"(who="1" fromWho="1" ten="30,4000,0" yaku="0,1,1,1,53,1")"),
       R"j([0,0,0,0],[1,1,1,"30符3飜1000-2000点","門前清自摸和(1飜)","立直(1飜)","裏ドラ(1飜)"])j"},
      {win(R"(who="2" fromWho="2" ten="30,8000,1" yaku="0,1,52,4")"), R"j([0,0,0,0],[2,2,2,"満貫2000-4000点","門前清自摸和(1飜)","ドラ(4飜)"])j"},
      {win(R"(who="3" fromWho="1" paoWho="2" ten="0,32000,5" yakuman="39")"), R"j([0,0,0,0],[3,1,2,"役満32000点","大三元(役満)"])j"},
      {win(R"(who="2" fromWho="1" ten="30,1000,0" yaku="8,1")") + win(R"(who="3" fromWho="1" ten="0,32000,5" yakuman="47")"),
       R"j([0,0,0,0],[2,1,2,"30符1飜1000点","断幺九(1飜)"],[0,0,0,0],[3,1,3,"役満32000点","国士無双(役満)"])j"},
  };
  for (const Case& c : cases) {
    auto record = read(game(game_head, round_start, play, c.wins + "</mjloggm>"));
    ASSERT_TRUE(record) << c.wins << ": " << record.error().message;
    ASSERT_FALSE(mjlog::tenhou6_refusal(*record)) << c.wins;
    const std::string json = mjlog::write_tenhou6(*record, "");
    EXPECT_NE(json.find(R"(["和了",)" + c.detail + "]]"), std::string::npos) << c.detail << "\n" << json;
  }
}

// A round's streams are kept as they come and made when the round has its
// result: a stream far longer than real rounds have keeps every item in
// its place, a riichi discard amid them too, and the next round starts empty.
TEST(MjlogRead, LongStreamsKeepTheirOrder) {
  std::string moves;
  for (int id = 52; id < 122; ++id) {
    if (id == 100) moves += R"(<REACH who="0" step="1"/>)";
    moves += "<T" + std::to_string(id) + "/><D" + std::to_string(id) + "/>";
  }
  const std::string second_round = std::string(round_start) + std::string(play);
  const std::string end = R"(<RYUUKYOKU ba="0,0" sc="250,0,250,0,250,0,250,0"/>)" + second_round + std::string(game_end);
  auto record = read(game(game_head, round_start, moves, end));
  ASSERT_TRUE(record) << record.error().message;
  ASSERT_EQ(record->log.log.size(), 2u);
  const tenhou::RawKyoku& long_round = record->log.log[0];
  ASSERT_EQ(long_round.draws[0].size(), 70u);
  ASSERT_EQ(long_round.discards[0].size(), 70u);
  for (std::size_t i = 0; i < 70; ++i) {
    const auto tile = std::get<tenhou::ActionItem::Tile>(long_round.draws[0][i].value).tile;
    EXPECT_EQ(tile, mjlog::parts::tile_of_id(static_cast<mjlog::parts::TileId>(52 + i), true)) << i;
    if (i == 48) {
      EXPECT_EQ(tenhou::marked_text(std::get<tenhou::ActionItem::Marked>(long_round.discards[0][i].value)), "r60");
    } else {
      EXPECT_EQ(std::get<tenhou::ActionItem::Number>(long_round.discards[0][i].value).value, 60) << i;
    }
  }
  EXPECT_TRUE(long_round.draws[1].empty());
  EXPECT_EQ(record->log.log[1].draws[0].size(), 1u);
  EXPECT_EQ(record->log.log[1].discards[1].size(), 1u);
}

// A hand is read at once in the form records write, and as any list of
// numbers otherwise (leading zeros, more digits): the same hand either way.
TEST(MjlogRead, HandsInOtherForms) {
  const auto hand_of = [](std::string_view hai0) {
    std::string start(round_start);
    const std::size_t at = start.find("hai0=\"") + 6;
    start.replace(at, start.find('"', at) - at, hai0);
    auto record = read(game(game_head, start));
    EXPECT_TRUE(record) << hai0 << ": " << record.error().message;
    return record ? record->log.log[0].start_hands[0] : std::array<mjai::Tile, 13>{};
  };
  const auto plain = hand_of("0,1,2,3,4,5,6,7,8,9,10,11,12");
  for (const std::string_view form : {"12,11,10,9,8,7,6,5,4,3,2,1,0", "000,001,2,3,4,5,6,7,8,9,10,11,0012",
                                      "0,1,2,3,4,5,6,7,8,9,10,11,00000000012",
                                      "0000000000000000,0000000000000001,0000000000000002,3,4,5,6,7,8,9,10,11,12"}) {
    EXPECT_EQ(hand_of(form), plain) << form;
  }
}

// Every number the writer copies from a record reads back as JSON.
TEST(MjlogRead, WrittenNumbersReadBack) {
  for (const std::string_view ver : {"18446744073709551616", "-18446744073709551616", "9223372036854775807"}) {
    std::string xml = game();
    xml.replace(xml.find("2.3"), 3, ver);
    auto record = read(xml);
    ASSERT_TRUE(record) << ver << ": " << record.error().message;
    const std::string json = mjlog::write_tenhou6(*record, "");
    const auto decoded = tenhou::decode_raw_log(tenhou::PaddedText(json));
    EXPECT_TRUE(decoded) << ver << ": " << json.substr(0, 60);
  }
  std::string huge_rate = game();
  huge_rate.replace(huge_rate.find("1500.00"), 7, "123456789012345678901234567890");
  auto record = read(huge_rate);
  ASSERT_TRUE(record) << record.error().message;
  EXPECT_TRUE(tenhou::decode_raw_log(tenhou::PaddedText(mjlog::write_tenhou6(*record, ""))));
}

// Forms the one pass takes besides Tenhou's own (it must then give the
// parsed reader's record, which read() checks), and forms it hands over.
TEST(MjlogDirect, TakesTheUsualForms) {
  const std::string plain = game();
  std::string spaced = plain;
  for (std::size_t at = 0; (at = spaced.find("/>", at)) != std::string::npos; at += 6) spaced.replace(at, 2, " \r\n\t/>");
  std::string quoted = plain;
  quoted.replace(quoted.find(R"(oya="0")"), 7, "oya = '0'");
  const std::vector<std::string> forms = {
      std::string(plain).insert(plain.find("<TAIKYOKU"), R"(<SHUFFLE seed="a<b>&c" ref=""/>)"),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + plain,
      "<!-- /0/?log=2009120221gm-0001-0000-8f264f66&tw=0 -->\n<!---->" + plain + "\n",
      spaced,
      quoted,
  };
  for (const std::string& xml : forms) {
    ASSERT_TRUE(mjlog::parts::read_directly(xml)) << xml.substr(0, 80);
    EXPECT_TRUE(read(xml)) << xml.substr(0, 80);
  }
}

// Runs of draws and discards with space between them that repeats, grows,
// shrinks or changes its bytes from one play to the next: the one pass must
// read the plays as it reads them written without space.
TEST(MjlogDirect, ReadsRunsOfPlaysWhateverTheSpaceBetween) {
  const std::vector<std::string_view> plays = {"<T52/>", "<D52/>", "<U53/>", "<E13/>", "<V54/>", "<F26/>",
                                               "<W55/>", "<G39/>", "<T56/>", "<D0/>",  "<U57/>", "<E57/>"};
  const std::vector<std::vector<std::string_view>> gaps = {
      {"\n    "},
      {"", " "},
      {"\n    ", "\n    ", "\n     ", "\n   ", "\n    "},
      {"\r\n\t", "\n\r\t", " \t\n\r"},
      {"\n      ", "\n       ", "\n                    ", "\n      "},
      {" ", "", "\n", "\n\n", ""},
  };
  std::string compact;
  for (const std::string_view p : plays) compact += p;
  const auto expected = read(game(game_head, round_start, compact));
  ASSERT_TRUE(expected) << expected.error().message;
  for (const auto& cycle : gaps) {
    std::string moves;
    for (std::size_t i = 0; i < plays.size(); ++i) {
      moves += plays[i];
      moves += cycle[i % cycle.size()];
    }
    const std::string xml = game(game_head, round_start, moves);
    const auto direct = mjlog::parts::read_directly(xml);
    ASSERT_TRUE(direct) << moves;
    EXPECT_TRUE(*direct == *expected) << moves;
    EXPECT_TRUE(read(xml)) << moves;
  }
}

TEST(MjlogDirect, HandsOverAnyOtherShape) {
  const std::string plain = game();
  const std::size_t inside = plain.find("<TAIKYOKU");
  const auto at_inside = [&](std::string_view what) { return std::string(plain).insert(inside, what); };
  const std::vector<std::string> others = {
      at_inside("<!-- a comment inside -->"),
      at_inside("<?pi here?>"),
      at_inside("<![CDATA[x]]>"),
      at_inside("text"),
      at_inside("<X><Y/></X>"),
      at_inside(std::string("<SHUFFLE seed=\"\0\"/>", 19)),
      at_inside(std::string("<SHUFFLE seed=\"mt19937ar-sha512-n288-base64,\0\"/>", 48)),
      std::string("<!-- a \0 -->", 12) + plain,
      std::string("<?xml version=\"1.0\0\"?>", 22) + plain,
      at_inside(R"(<SHUFFLE seed="a"ref=""/>)"),
      at_inside(R"(<SHUFFLE seed="a" / >)"),
      at_inside("<\xc3\xa9/>"),
      " <?xml version=\"1.0\"?>" + plain,
      "<!DOCTYPE mjloggm>" + plain,
      "\xef\xbb\xbf" + plain,
      plain + "<!-- after -->",
      plain + "x",
      std::string(plain).replace(plain.rfind("</mjloggm>"), 10, "</mjloggm2>"),
      plain.substr(0, plain.size() - 1),
  };
  for (const std::string& xml : others) {
    EXPECT_FALSE(mjlog::parts::read_directly(xml)) << xml.substr(0, 120);
    const auto whole = mjlog::read_record(xml);
    std::string again = xml;
    const auto parsed = mjlog::parts::read_parsed(again.data(), again.size());
    ASSERT_EQ(whole.has_value(), parsed.has_value()) << xml.substr(0, 120);
    if (!whole) EXPECT_EQ(whole.error().message, parsed.error().message);
  }
}

}  // namespace
