// One seat's draws and discards streams as events: call texts, riichi texts,
// tsumogiri pairing, placeholders, and the error each broken item gives.
#include <gtest/gtest.h>

#include "conv_support.hpp"

namespace {

using namespace conv_test;
using pairo::conv::convert_seat_streams;
using pairo::conv::SeatEvents;

std::expected<SeatEvents, pairo::Error> seat_streams(mjai::Seat seat, std::initializer_list<Item> draws,
                                                     std::initializer_list<Item> discards) {
  PreparedKyoku kyoku;
  kyoku.draws[seat] = stream(draws);
  kyoku.discards[seat] = stream(discards);
  return convert_seat_streams(kyoku, seat);
}

// The error's kind with the text at fault: the item, or the tile field
// that the message quotes first.
std::string describe(const pairo::Error& error) {
  switch (error.kind) {
    case pairo::ErrorKind::BadItemText: return "BadItemText " + error.item;
    case pairo::ErrorKind::BadTileText: return "BadTileText " + error.message.substr(1, error.message.find('"', 1) - 1);
    case pairo::ErrorKind::NumberInDraws: return "NumberInDraws";
    default: return "other";
  }
}

struct DrawCase {
  mjai::Seat seat;
  const char* text;
  const char* expected;  // the event's line, or the error
};

TEST(ConvertSeatStreams, DrawsTexts) {
  const DrawCase cases[] = {
      {1, "c275226", R"({"type":"chi","actor":1,"target":0,"pai":"7p","consumed":["5pr","6p"]})"},
      {0, "p252525", R"({"type":"pon","actor":0,"target":3,"pai":"5p","consumed":["5p","5p"]})"},
      {0, "25p2525", R"({"type":"pon","actor":0,"target":2,"pai":"5p","consumed":["5p","5p"]})"},
      {0, "2525p25", R"({"type":"pon","actor":0,"target":1,"pai":"5p","consumed":["5p","5p"]})"},
      {2, "4647p45", R"({"type":"pon","actor":2,"target":3,"pai":"P","consumed":["F","C"]})"},
      {0, "m39393939",
       R"({"type":"daiminkan","actor":0,"target":3,"pai":"9s","consumed":["9s","9s","9s"]})"},
      {0, "39m393939",
       R"({"type":"daiminkan","actor":0,"target":2,"pai":"9s","consumed":["9s","9s","9s"]})"},
      {0, "393939m39",
       R"({"type":"daiminkan","actor":0,"target":1,"pai":"9s","consumed":["9s","9s","9s"]})"},
      {3, "m15155115",
       R"({"type":"daiminkan","actor":3,"target":2,"pai":"5m","consumed":["5m","5mr","5m"]})"},
      {0, "252p525", "BadItemText 252p525"},
      {0, "p2525255", "BadItemText p2525255"},
      {0, "p25252", "BadItemText p25252"},
      {0, "3939m3939", "BadItemText 3939m3939"},
      {0, "m3939393", "BadItemText m3939393"},
      {0, "c27522639", "BadItemText c27522639"},  // nine bytes is a kan length, not a chi's
      {0, "c27522", "BadItemText c27522"},
      {0, "2752263", "BadItemText 2752263"},
      {0, "", "BadItemText "},
      {0, "c+52526", "BadTileText +5"},
      {0, "c275x26", "BadTileText 5x"},
      {0, "c102526", "BadTileText 10"},
      {0, "p252560", "BadTileText 60"},
      // The called tile is read first, then the others in text order.
      {0, "25p4049", "BadTileText 40"},
      {0, "4049p25", "BadTileText 40"},
      // The chi's letter is not looked for at its place: out of place, it spoils a field.
      {2, "27c5226", "BadTileText 7c"},
      {0, "c\xe3\x81\x82" "526", "BadTileText \xef\xbf\xbd"},  // a character cut in two
      // A surrogate's lead starts no character: each byte is its own piece, as Python decodes it.
      {0, "c\xed\xa0\x80" "526", "BadTileText \xef\xbf\xbd\xef\xbf\xbd"},
  };
  for (const auto& c : cases) {
    auto result = seat_streams(c.seat, {c.text}, {});
    const std::string got = result ? line(result->draw_events.at(0)) : describe(result.error());
    EXPECT_EQ(got, c.expected) << c.text;
  }
}

TEST(ConvertSeatStreams, DrawsNumbersAndTiles) {
  auto tiles_ok = seat_streams(3, {11, 52, 0}, {});
  ASSERT_TRUE(tiles_ok);
  EXPECT_EQ(lines(tiles_ok->draw_events),
            (std::vector<std::string>{R"({"type":"tsumo","actor":3,"pai":"1m"})",
                                      R"({"type":"tsumo","actor":3,"pai":"5pr"})",
                                      R"({"type":"tsumo","actor":3,"pai":"?"})"}));
  for (int number : {60, 10, 255}) {
    auto result = seat_streams(2, {11, number}, {});
    ASSERT_FALSE(result) << number;
    EXPECT_EQ(describe(result.error()), "NumberInDraws") << number;
    // The seat and the item at fault go with the error.
    EXPECT_EQ(result.error().seat, 2) << number;
    EXPECT_EQ(result.error().item, std::to_string(number));
  }
}

struct DiscardCase {
  const char* text;
  std::vector<std::string> expected;  // the events' lines, or one error
};

TEST(ConvertSeatStreams, DiscardsTexts) {
  const DiscardCase cases[] = {
      {"k15151515", {R"({"type":"kakan","actor":1,"pai":"5m","consumed":["5m","5m","5m"]})"}},
      {"15k511515", {R"({"type":"kakan","actor":1,"pai":"5mr","consumed":["5m","5m","5m"]})"}},
      {"1515k5115", {R"({"type":"kakan","actor":1,"pai":"5mr","consumed":["5m","5m","5m"]})"}},
      {"1515151k5", {"BadItemText 1515151k5"}},
      {"k151515", {"BadItemText k151515"}},
      {"151515a15", {R"({"type":"ankan","actor":1,"consumed":["5m","5m","5m","5m"]})"}},
      {"111213a14", {R"({"type":"ankan","actor":1,"consumed":["1m","2m","3m","4m"]})"}},
      {"a15151515", {"BadTileText a1"}},
      {"4x1515a40", {"BadTileText 40"}},  // the field after the letter is read first
      {"151515a1", {"BadItemText 151515a1"}},
      {"151515a4x", {"BadTileText 4x"}},
      {"r23", {R"({"type":"reach","actor":1})", R"({"type":"dahai","actor":1,"pai":"3p","tsumogiri":false})"}},
      {"x47", {R"({"type":"reach","actor":1})", R"({"type":"dahai","actor":1,"pai":"C","tsumogiri":false})"}},
      {"r00", {R"({"type":"reach","actor":1})", R"({"type":"dahai","actor":1,"pai":"?","tsumogiri":true})"}},
      {"r+5", {"BadTileText +5"}},
      {"r61", {"BadTileText 61"}},
      {"r2", {"BadItemText r2"}},
      {"r234", {"BadItemText r234"}},
      {"", {"BadItemText "}},
  };
  for (const auto& c : cases) {
    auto result = seat_streams(1, {}, {c.text});
    const std::vector<std::string> got =
        result ? lines(result->discard_events) : std::vector<std::string>{describe(result.error())};
    EXPECT_EQ(got, c.expected) << c.text;
  }
}

// What the stream makes of an item: its events' lines, or the error with
// the item it names.
std::vector<std::string> outcome(mjai::Seat seat, std::initializer_list<Item> draws,
                                 std::initializer_list<Item> discards) {
  auto result = seat_streams(seat, draws, discards);
  if (!result) return {describe(result.error()), result.error().item};
  std::vector<std::string> out = lines(result->draw_events);
  for (std::string& l : lines(result->discard_events)) out.push_back(std::move(l));
  return out;
}

// A record's reader marks calls, kans and riichi instead of writing their
// texts: each converts as its text does, in each of its places, and a mark
// out of its place or stream fails as its text fails.
TEST(ConvertSeatStreams, MarkedAsItsText) {
  using Marked = ActionItem::Marked;
  const Marked draws[] = {
      {'c', 0, 2, tile(27), {tile(52), tile(26)}},  {'p', 0, 2, tile(52), {tile(25), tile(25)}},
      {'p', 1, 2, tile(46), {tile(46), tile(46)}},  {'p', 2, 2, tile(11), {tile(11), tile(11)}},
      {'m', 0, 3, tile(51), {tile(15), tile(15), tile(15)}}, {'m', 1, 3, tile(39), {tile(39), tile(39), tile(39)}},
      {'m', 3, 3, tile(15), {tile(15), tile(15), tile(51)}},
      {'m', 2, 3, tile(39), {tile(39), tile(39), tile(39)}}, {'c', 1, 2, tile(27), {tile(25), tile(26)}},
      {'p', 3, 2, tile(11), {tile(11), tile(11)}},           {'k', 0, 3, tile(15), {tile(15), tile(15), tile(15)}},
      {'r', 0, 0, tile(23)},
  };
  const Marked discards[] = {
      {'k', 0, 3, tile(51), {tile(15), tile(15), tile(15)}}, {'k', 1, 3, tile(15), {tile(15), tile(51), tile(15)}},
      {'k', 2, 3, tile(44), {tile(44), tile(44), tile(44)}}, {'a', 3, 3, tile(51), {tile(15), tile(15), tile(15)}},
      {'r', 0, 0, tile(23)},
      {'r', 0, 0, mjai::Tile::Unknown},
      {'k', 3, 3, tile(15), {tile(15), tile(15), tile(15)}}, {'a', 0, 3, tile(15), {tile(15), tile(15), tile(15)}},
      {'p', 0, 2, tile(25), {tile(25), tile(25)}},           {'r', 0, 2, tile(23), {tile(23), tile(23)}},
  };
  for (const mjai::Seat seat : {0, 2}) {
    for (const Marked& m : draws) {
      const std::string text = tenhou::marked_text(m);
      EXPECT_EQ(outcome(seat, {m}, {}), outcome(seat, {text.c_str()}, {})) << text;
    }
    for (const Marked& m : discards) {
      const std::string text = tenhou::marked_text(m);
      // A drawn tile for a riichi of the tile just drawn to take.
      EXPECT_EQ(outcome(seat, {33}, {m}), outcome(seat, {33}, {text.c_str()})) << text;
    }
  }
  EXPECT_EQ(tenhou::marked_text({'r', 0, 0, mjai::Tile::Unknown}), "r60");
  EXPECT_EQ(tenhou::marked_text(discards[1]), "15k155115");
}

TEST(ConvertSeatStreams, RiichiTsumogiriTakesThePairedDraw) {
  auto result = seat_streams(0, {11, 25, 33}, {60, "r60", "r00"});
  ASSERT_TRUE(result);
  EXPECT_EQ(lines(result->discard_events),
            (std::vector<std::string>{R"({"type":"dahai","actor":0,"pai":"1m","tsumogiri":true})",
                                      R"({"type":"reach","actor":0})",
                                      R"({"type":"dahai","actor":0,"pai":"5p","tsumogiri":true})",
                                      R"({"type":"reach","actor":0})",
                                      R"({"type":"dahai","actor":0,"pai":"3s","tsumogiri":true})"}));
}

TEST(ConvertSeatStreams, AnyDiscardsNumberIsATsumogiri) {
  auto result = seat_streams(2, {25, 26}, {60, 7});
  ASSERT_TRUE(result);
  EXPECT_EQ(lines(result->discard_events),
            (std::vector<std::string>{R"({"type":"dahai","actor":2,"pai":"5p","tsumogiri":true})",
                                      R"({"type":"dahai","actor":2,"pai":"6p","tsumogiri":true})"}));
}

TEST(ConvertSeatStreams, PairingDropsZeroPlaceholders) {
  struct Case {
    std::initializer_list<Item> draws;
    std::initializer_list<Item> discards;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      // The daiminkan's placeholder goes; the real discard pairs with the rinshan draw.
      {{"m22222222", 33},
       {0, 60},
       {R"({"type":"dahai","actor":1,"pai":"3s","tsumogiri":true})"}},
      // A placeholder paired with a plain draw goes too, and uses up that draw.
      {{11, 12, 13},
       {0, 60, 60},
       {R"({"type":"dahai","actor":1,"pai":"2m","tsumogiri":true})",
        R"({"type":"dahai","actor":1,"pai":"3m","tsumogiri":true})"}},
      // A tsumogiri paired with a call keeps the unknown tile.
      {{"c232122", 11}, {60, 60},
       {R"({"type":"dahai","actor":1,"pai":"?","tsumogiri":true})",
        R"({"type":"dahai","actor":1,"pai":"1m","tsumogiri":true})"}},
      // After a riichi pair, the placeholder that follows is dropped.
      {{11, 12, 13}, {"r60", 0, 60},
       {R"({"type":"reach","actor":1})", R"({"type":"dahai","actor":1,"pai":"1m","tsumogiri":true})",
        R"({"type":"dahai","actor":1,"pai":"3m","tsumogiri":true})"}},
      // Entries beyond the draws are not paired: a trailing zero stays.
      {{11}, {60, 0, 60},
       {R"({"type":"dahai","actor":1,"pai":"1m","tsumogiri":true})",
        R"({"type":"dahai","actor":1,"pai":"?","tsumogiri":false})",
        R"({"type":"dahai","actor":1,"pai":"?","tsumogiri":true})"}},
      // Kans pair with a draw each.
      {{11, 12, 13}, {"151515a15", "k15151515", 60},
       {R"({"type":"ankan","actor":1,"consumed":["5m","5m","5m","5m"]})",
        R"({"type":"kakan","actor":1,"pai":"5m","consumed":["5m","5m","5m"]})",
        R"({"type":"dahai","actor":1,"pai":"3m","tsumogiri":true})"}},
  };
  for (const auto& c : cases) {
    auto result = seat_streams(1, c.draws, c.discards);
    ASSERT_TRUE(result);
    EXPECT_EQ(lines(result->discard_events), c.expected);
  }
}

// Seat lists end their events without destroying them, so an event that
// owns memory must not get in, whichever way it is put; the plain kinds do.
TEST(SeatEventList, RefusesEventsThatOwnMemory) {
  pairo::conv::SeatEventList list;
  const mjai::Event owning[] = {mjai::StartKyoku{}, mjai::Hora{0, 1, std::nullopt, std::vector<mjai::Tile>{}}};
  for (const mjai::Event& event : owning) {
    EXPECT_THROW(list.push_back(event), pairo::InvariantViolation);
    EXPECT_THROW(list.emplace_back(mjai::Event(event)), pairo::InvariantViolation);
  }
  list.push_back(mjai::Event(mjai::Pon{1, 0, mjai::Tile::M1, {mjai::Tile::M1, mjai::Tile::M1}}));
  list.emplace_back(mjai::Reach{1});
  EXPECT_EQ(lines(list), (std::vector<std::string>{R"({"type":"pon","actor":1,"target":0,"pai":"1m","consumed":["1m","1m"]})",
                                                   R"({"type":"reach","actor":1})"}));
}

TEST(ConvertSeatStreams, DrawsAreConvertedBeforeDiscards) {
  auto result = seat_streams(0, {60}, {"r2"});
  ASSERT_FALSE(result);
  EXPECT_EQ(describe(result.error()), "NumberInDraws");
}

}  // namespace
