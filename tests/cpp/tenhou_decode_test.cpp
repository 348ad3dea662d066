// Decoding log texts into records: what each rule accepts and what it
// refuses, with the decoder's own messages where the decoder writes them.
#include <gtest/gtest.h>
#include <simdjson.h>

#include <array>
#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "tenhou/tenhou.hpp"

namespace {

using tenhou::ActionItem;
using tenhou::JsonValue;
using tenhou::RawLog;
using tenhou::ResultItem;

std::expected<RawLog, pairo::Error> decode(std::string_view text) {
  return tenhou::decode_raw_log(tenhou::PaddedText(text));
}

constexpr std::string_view names = R"(["a","b","c","d"])";

// The three required fields (no round), then `extra` fields.
std::string log_with(std::string_view extra) {
  return std::string(R"({"log":[],"name":)") + std::string(names) + R"(,"rule":{})" + std::string(extra) + "}";
}

// A valid round, one text per position.
std::vector<std::string> kyoku_parts() {
  const std::string hand = "[11,12,13,14,15,16,17,18,19,21,22,23,24]";
  return {"[1,2,3]", "[25000,24000,-100,51100]", "[11,52]", "[]",
          hand,      "[21]",                     "[60]",    hand,
          "[]",      "[]",                       hand,      "[]",
          "[]",      hand,                       "[]",      "[]",
          R"(["和了",[1000,-1000,0,0]])"};
}

std::string join(const std::vector<std::string>& parts) {
  std::string out = "[";
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "," : "") + parts[i];
  return out + "]";
}

std::string log_of_kyoku(std::string_view kyoku) {
  return std::string(R"({"log":[)") + std::string(kyoku) + R"(],"name":)" + std::string(names) + R"(,"rule":{}})";
}

// The default round with the value at `position` replaced.
std::string log_with_kyoku_value(std::size_t position, std::string_view value) {
  auto parts = kyoku_parts();
  parts[position] = value;
  return log_of_kyoku(join(parts));
}

std::string nested_arrays(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

// ---- Refusals, with the exact message where the decoder writes it ("" for
// the parser's own errors, whose wording is the parser's).

struct Refusal {
  std::string name;
  std::string text;
  std::string message;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class DecodeRefuses : public testing::TestWithParam<Refusal> {};

TEST_P(DecodeRefuses, WithOneError) {
  const auto& row = GetParam();
  const auto decoded = decode(row.text);
  ASSERT_FALSE(decoded.has_value()) << row.text;
  EXPECT_FALSE(decoded.error().message.empty());
  if (!row.message.empty()) EXPECT_EQ(decoded.error().message, row.message);
}

const std::string valid = log_with("");
const std::string not_u8 = ", expected an integer from 0 to 255";
// The message for an integer that is not a Tenhou tile number.
std::string not_a_tile(int number) {
  return "invalid tile: " + std::to_string(number) +
         " is no Tenhou tile number (0, 11 to 19, 21 to 29, 31 to 39, 41 to 47, 51 to 53)";
}

INSTANTIATE_TEST_SUITE_P(
    Root, DecodeRefuses,
    testing::Values(
        Refusal{"Empty", "", ""}, Refusal{"Whitespace", " \t\r\n", ""},
        Refusal{"String", R"("x")", R"(invalid type: string "x", expected a log (an object or an array of 8 values))"},
        Refusal{"Integer", "1", "invalid type: integer `1`, expected a log (an object or an array of 8 values)"},
        Refusal{"Float", "1.5", "invalid type: number `1.5`, expected a log (an object or an array of 8 values)"},
        Refusal{"Boolean", "true", "invalid type: boolean `true`, expected a log (an object or an array of 8 values)"},
        Refusal{"Null", "null", "invalid type: null, expected a log (an object or an array of 8 values)"},
        Refusal{"TrailingValue", valid + "{}", ""}, Refusal{"TrailingCharacter", valid + " x", ""},
        Refusal{"ByteOrderMark", "\xEF\xBB\xBF" + valid, ""},
        Refusal{"FormFeedIsNotWhitespace", "\f" + valid, ""},
        Refusal{"TrailingComma", log_with(","), ""},
        Refusal{"MissingAll", "{}", "missing field `log`"},
        Refusal{"MissingNameAndRule", R"({"log":[]})", "missing field `name`"},
        Refusal{"MissingRule", R"({"log":[],"name":["a","b","c","d"]})", "missing field `rule`"},
        Refusal{"MissingLogOnly", R"({"name":["a","b","c","d"],"rule":{}})", "missing field `log`"},
        Refusal{"ArraySeven", R"([[],["a","b","c","d"],{},null,null,null,null])",
                "invalid length 7, expected a log array of 8 values"},
        Refusal{"ArrayEmpty", "[]", "invalid length 0, expected a log array of 8 values"},
        Refusal{"ArrayNine", R"([[],["a","b","c","d"],{},null,null,null,null,null,null])", "invalid length: more than 8 values"},
        Refusal{"ArrayNullLog", R"([null,["a","b","c","d"],{},null,null,null,null,null])",
                "invalid type: null, expected an array"}));

INSTANTIATE_TEST_SUITE_P(
    Fields, DecodeRefuses,
    testing::Values(
        Refusal{"LogTwice", log_with(R"(,"log":[])"), "duplicate field `log`"},
        Refusal{"LobbyNullThenSet", log_with(R"(,"lobby":null,"lobby":3)"), "duplicate field `lobby`"},
        Refusal{"EscapedKeyTwice", log_with(R"(,"\u006cog":[])"), "duplicate field `log`"},
        Refusal{"SxTwice", log_with(R"(,"sx":[],"Sx":1,"sx":[])"), "duplicate field `sx`"},
        Refusal{"LogNull", R"({"log":null,"name":["a","b","c","d"],"rule":{}})",
                "invalid type: null, expected an array"},
        Refusal{"LogObject", R"({"log":{},"name":["a","b","c","d"],"rule":{}})",
                "invalid type: object, expected an array"},
        Refusal{"RuleNull", R"({"log":[],"name":["a","b","c","d"],"rule":null})",
                "invalid type: null, expected a rule (an object or an array)"},
        Refusal{"RuleString", R"({"log":[],"name":["a","b","c","d"],"rule":"x"})",
                R"(invalid type: string "x", expected a rule (an object or an array))"},
        Refusal{"NameThree", R"({"log":[],"name":["a","b","c"],"rule":{}})",
                "invalid length 3, expected an array of length 4"},
        Refusal{"NameFive", R"({"log":[],"name":["a","b","c","d","e"],"rule":{}})", "invalid length: more than 4 values"},
        Refusal{"NameNull", R"({"log":[],"name":null,"rule":{}})",
                "invalid type: null, expected an array of length 4"},
        Refusal{"NameNumber", R"({"log":[],"name":["a","b",3,"d"],"rule":{}})",
                "invalid type: integer `3`, expected a string"},
        Refusal{"LobbyFraction", log_with(R"(,"lobby":1.5)"), "invalid type: number `1.5`, expected a 32-bit integer"},
        Refusal{"LobbyWholeFraction", log_with(R"(,"lobby":1.0)"),
                "invalid type: number `1.0`, expected a 32-bit integer"},
        Refusal{"LobbyExponent", log_with(R"(,"lobby":1e0)"), "invalid type: number `1.0`, expected a 32-bit integer"},
        Refusal{"LobbyAboveI32", log_with(R"(,"lobby":2147483648)"),
                "invalid value: integer `2147483648`, expected a 32-bit integer"},
        Refusal{"LobbyBelowI32", log_with(R"(,"lobby":-2147483649)"),
                "invalid value: integer `-2147483649`, expected a 32-bit integer"},
        Refusal{"LobbyAboveI64", log_with(R"(,"lobby":18446744073709551615)"),
                "invalid value: integer `18446744073709551615`, expected a 32-bit integer"},
        Refusal{"LobbyString", log_with(R"(,"lobby":"3")"), R"(invalid type: string "3", expected a 32-bit integer)"},
        Refusal{"RateString", log_with(R"(,"rate":[1,"x"])"), R"(invalid type: string "x", expected a number)"},
        Refusal{"RateNullElement", log_with(R"(,"rate":[null])"), "invalid type: null, expected a number"},
        Refusal{"RatingcNumber", log_with(R"(,"ratingc":5)"), "invalid type: integer `5`, expected a string"},
        Refusal{"DanString", log_with(R"(,"dan":"x")"), R"(invalid type: string "x", expected an array)"},
        Refusal{"SxNullElement", log_with(R"(,"sx":["a",null])"), "invalid type: null, expected a string"},
        Refusal{"UnknownKeyMalformedValue", log_with(R"(,"zz":[1,])"), ""},
        Refusal{"UnknownKeyBeyond64Bits", log_with(R"(,"zz":18446744073709551616)"), ""},
        Refusal{"KeyNotString", R"({"log":[],"name":["a","b","c","d"],"rule":{},1:2})", ""},
        Refusal{"MissingColon", R"({"log" [],"name":["a","b","c","d"],"rule":{}})", ""}));

INSTANTIATE_TEST_SUITE_P(
    Rules, DecodeRefuses,
    testing::Values(
        Refusal{"DispNull", R"({"log":[],"name":["a","b","c","d"],"rule":{"disp":null}})",
                "invalid type: null, expected a string"},
        Refusal{"DispNumber", R"({"log":[],"name":["a","b","c","d"],"rule":{"disp":1}})",
                "invalid type: integer `1`, expected a string"},
        Refusal{"AkaNull", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":null}})",
                "invalid type: null, expected an integer from 0 to 255"},
        Refusal{"Aka256", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":256}})",
                "invalid value: integer `256`" + not_u8},
        Refusal{"AkaNegative", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka51":-1}})",
                "invalid value: integer `-1`" + not_u8},
        Refusal{"AkaWholeFraction", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka52":1.0}})",
                "invalid type: number `1.0`" + not_u8},
        Refusal{"AkaBoolean", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka53":true}})",
                "invalid type: boolean `true`" + not_u8},
        Refusal{"AkaString", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":"1"}})",
                R"(invalid type: string "1", expected an integer from 0 to 255)"},
        Refusal{"AkaTwice", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":1,"x":0,"aka":1}})",
                "duplicate field `aka`"},
        Refusal{"ArrayAkaNull", R"({"log":[],"name":["a","b","c","d"],"rule":["",null]})",
                "invalid type: null, expected an integer from 0 to 255"},
        Refusal{"ArraySix", R"({"log":[],"name":["a","b","c","d"],"rule":["",1,1,1,1,1]})",
                "invalid length: more than 5 values"},
        Refusal{"ArrayDispNumber", R"({"log":[],"name":["a","b","c","d"],"rule":[1]})",
                "invalid type: integer `1`, expected a string"}));

INSTANTIATE_TEST_SUITE_P(
    Rounds, DecodeRefuses,
    testing::Values(
        Refusal{"KyokuString", log_of_kyoku(R"("x")"), R"(invalid type: string "x", expected a round (an array of 17 values))"},
        Refusal{"KyokuSixteen", log_of_kyoku(join([] {
                  auto parts = kyoku_parts();
                  parts.pop_back();
                  return parts;
                }())),
                "invalid length 16, expected a round of 17 values"},
        Refusal{"KyokuEmpty", log_of_kyoku("[]"), "invalid length 0, expected a round of 17 values"},
        Refusal{"KyokuEighteen", log_of_kyoku(join([] {
                  auto parts = kyoku_parts();
                  parts.push_back("[]");
                  return parts;
                }())),
                "invalid length: more than 17 values"},
        Refusal{"MetaTwo", log_with_kyoku_value(0, "[0,0]"),
                "invalid length 2, expected a round header of 3 values"},
        Refusal{"MetaFour", log_with_kyoku_value(0, "[0,0,0,0]"), "invalid length: more than 3 values"},
        Refusal{"MetaObject", log_with_kyoku_value(0, "{}"), "invalid type: object, expected a round header (an array of 3 integers)"},
        Refusal{"Meta256", log_with_kyoku_value(0, "[256,0,0]"), "invalid value: integer `256`" + not_u8},
        Refusal{"MetaNegative", log_with_kyoku_value(0, "[0,-1,0]"), "invalid value: integer `-1`" + not_u8},
        Refusal{"ScoresFraction", log_with_kyoku_value(1, "[25000,25000,25000.5,25000]"),
                "invalid type: number `25000.5`, expected a 32-bit integer"},
        Refusal{"ScoresStrings", log_with_kyoku_value(1, R"(["25000","25000","25000","25000"])"),
                R"(invalid type: string "25000", expected a 32-bit integer)"},
        Refusal{"ScoresThree", log_with_kyoku_value(1, "[1,2,3]"), "invalid length 3, expected an array of length 4"},
        Refusal{"ScoresFive", log_with_kyoku_value(1, "[1,2,3,4,5]"), "invalid length: more than 4 values"},
        Refusal{"ScoresAboveI32", log_with_kyoku_value(1, "[1,2,3,2147483648]"),
                "invalid value: integer `2147483648`, expected a 32-bit integer"},
        Refusal{"DoraNotSequence", log_with_kyoku_value(2, "11"), "invalid type: integer `11`, expected an array"},
        Refusal{"DoraNotTile", log_with_kyoku_value(2, "[20]"), not_a_tile(20)},
        Refusal{"UraNotTile", log_with_kyoku_value(3, "[255]"), not_a_tile(255)},
        Refusal{"DoraAboveU8", log_with_kyoku_value(2, "[256]"), "invalid value: integer `256`" + not_u8},
        Refusal{"DoraString", log_with_kyoku_value(2, R"(["11"])"), R"(invalid type: string "11", expected an integer from 0 to 255)"},
        Refusal{"HandTwelve", log_with_kyoku_value(7, "[11,12,13,14,15,16,17,18,19,21,22,23]"),
                "invalid length 12, expected a hand of 13 tiles"},
        Refusal{"HandEmpty", log_with_kyoku_value(13, "[]"), "invalid length 0, expected a hand of 13 tiles"},
        Refusal{"HandFourteen", log_with_kyoku_value(4, "[11,12,13,14,15,16,17,18,19,21,22,23,24,25]"),
                "invalid length: more than 13 values"},
        Refusal{"HandNull", log_with_kyoku_value(10, "null"), "invalid type: null, expected a hand of 13 tiles"},
        Refusal{"HandNotTile", log_with_kyoku_value(4, "[11,12,13,14,15,16,17,18,19,21,22,23,40]"),
                not_a_tile(40)},
        Refusal{"DrawsNotSequence", log_with_kyoku_value(5, "{}"), "invalid type: object, expected an array"},
        Refusal{"DiscardsNull", log_with_kyoku_value(15, "null"), "invalid type: null, expected an array"},
        Refusal{"ResultsNotSequence", log_with_kyoku_value(16, R"("和了")"),
                R"(invalid type: string "和了", expected an array)"}));

INSTANTIATE_TEST_SUITE_P(
    Text, DecodeRefuses,
    testing::Values(
        Refusal{"InvalidUtf8InName", R"({"log":[],"name":["a","b","c",")" "\xff" R"("],"rule":{}})", ""},
        Refusal{"InvalidUtf8Skipped", log_with(R"(,"zz":")" "\xc3\x28" R"(")"), ""},
        Refusal{"OverlongUtf8", log_with(R"(,"zz":")" "\xc0\xaf" R"(")"), ""},
        Refusal{"InvalidEscape", log_with(R"(,"ratingc":"\x")"), ""},
        Refusal{"LoneSurrogate", log_with(R"(,"ratingc":"\udc00")"), ""},
        Refusal{"UnpairedHighSurrogate", log_with(R"(,"ratingc":"\ud800a")"), ""},
        Refusal{"RawControlCharacter", log_with(",\"ratingc\":\"a\tb\""), ""},
        Refusal{"LeadingZero", log_with(R"(,"lobby":01)"), ""},
        Refusal{"BareMinus", log_with(R"(,"lobby":-)"), ""},
        Refusal{"HugeExponent", log_with(R"(,"rate":[1e400])"), ""},
        Refusal{"Unterminated", "{\"log\":[", ""}, Refusal{"UnclosedString", "{\"log", ""},
        Refusal{"NulByte", std::string("{\"log\":[]\0}", 11), ""}));

TEST(DecodeRefusesText, WithoutBuffer) {
  // A default text owns no buffer at all; it is empty, not a crash.
  const auto decoded = tenhou::decode_raw_log(tenhou::PaddedText{});
  ASSERT_FALSE(decoded.has_value());
  EXPECT_FALSE(decoded.error().message.empty());
}

// ---- Acceptances.

RawLog decoded_ok(std::string_view text) {
  auto decoded = decode(text);
  EXPECT_TRUE(decoded.has_value()) << text << "\n" << (decoded ? "" : decoded.error().message);
  return decoded ? std::move(*decoded) : RawLog{};
}

TEST(DecodeAccepts, RequiredFieldsAlone) {
  const RawLog log = decoded_ok(R"( {"log":[],"name":["a","b","c","d"],"rule":{}} )");
  EXPECT_TRUE(log.log.empty());
  EXPECT_EQ(log.name, (std::array<std::string, 4>{"a", "b", "c", "d"}));
  EXPECT_EQ(log.rule.disp, "");
  EXPECT_EQ(log.rule.aka + log.rule.aka51 + log.rule.aka52 + log.rule.aka53, 0);
  EXPECT_FALSE(log.ratingc || log.lobby || log.dan || log.rate || log.sx);
}

TEST(DecodeAccepts, EveryField) {
  const RawLog log = decoded_ok(
      "{\n\t\"sx\":[\"C\",\"F\"],\"rate\":[1500, 1612.5, -0, 1e2, 18446744073709551615],\r\n"
      R"("dan":["新人",""],"lobby":-5,"ratingc":"PF4","rule":{"disp":"般南喰赤","aka":1,"aka51":255,"aka52":0,"aka53":2},)"
      R"("name":["\"q\"","\\","\u00e9","😀"],"log":[]})");
  EXPECT_EQ(log.sx, (std::vector<std::string>{"C", "F"}));
  ASSERT_TRUE(log.rate);
  EXPECT_EQ(*log.rate, (std::vector<double>{1500, 1612.5, 0, 100, 18446744073709551615.0}));
  EXPECT_EQ(log.dan, (std::vector<std::string>{"新人", ""}));
  EXPECT_EQ(log.lobby, -5);
  EXPECT_EQ(log.ratingc, "PF4");
  EXPECT_EQ(log.rule.disp, "般南喰赤");
  EXPECT_EQ((std::array<int, 4>{log.rule.aka, log.rule.aka51, log.rule.aka52, log.rule.aka53}),
            (std::array<int, 4>{1, 255, 0, 2}));
  EXPECT_EQ(log.name, (std::array<std::string, 4>{"\"q\"", "\\", "é", "😀"}));
}

TEST(DecodeAccepts, NullMakesOptionalFieldsAbsent) {
  const RawLog log = decoded_ok(log_with(R"(,"ratingc":null,"lobby":null,"dan":null,"rate":null,"sx":null)"));
  EXPECT_FALSE(log.ratingc || log.lobby || log.dan || log.rate || log.sx);
}

TEST(DecodeAccepts, LobbyIntegers) {
  const std::vector<std::pair<std::string, std::int32_t>> cases = {
      {"0", 0}, {"-5", -5}, {"-0", 0}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}};
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(decoded_ok(log_with(",\"lobby\":" + text)).lobby, value) << text;
  }
}

TEST(DecodeAccepts, UnknownKeysAreSkipped) {
  const std::vector<std::string> extras = {
      R"(,"title":["",""],"title":{"a":[1,{"b":null}]})",
      R"(,"ver":2.3,"ref":"x","zz":true,"zz":false,"":null)",
      R"(,"Log":"not the log","LOG":1,"lobby ":"x")",
      R"(,"big":18446744073709551615,"neg":-9223372036854775808,"f":-1.5e-300)",
      ",\"deep\":" + nested_arrays(5000),
      ",\"deepobject\":" + [] {
        std::string s;
        for (int i = 0; i < 3000; ++i) s += "{\"a\":";
        return s + "0" + std::string(3000, '}');
      }(),
  };
  for (const auto& extra : extras) {
    const RawLog log = decoded_ok(log_with(extra));
    EXPECT_TRUE(log.log.empty()) << extra;
  }
}

TEST(DecodeAccepts, EscapedKeyIsRecognised) {
  const RawLog log = decoded_ok(R"({"\u006cog":[],"n\u0061me":["a","b","c","d"],"rul\u0065":[],"\u006c\u006fbby":7})");
  EXPECT_EQ(log.lobby, 7);
}

TEST(DecodeAccepts, RuleForms) {
  const auto rule_of = [](std::string_view rule) {
    return decoded_ok(R"({"log":[],"name":["a","b","c","d"],"rule":)" + std::string(rule) + "}").rule;
  };
  const auto short_array = rule_of(R"(["",1])");
  EXPECT_EQ(short_array.disp, "");
  EXPECT_EQ((std::array<int, 4>{short_array.aka, short_array.aka51, short_array.aka52, short_array.aka53}),
            (std::array<int, 4>{1, 0, 0, 0}));
  const auto empty_array = rule_of("[]");
  EXPECT_EQ(empty_array.disp, "");
  EXPECT_EQ(empty_array.aka, 0);
  const auto full_array = rule_of(R"(["d",1,2,3,4])");
  EXPECT_EQ(full_array.disp, "d");
  EXPECT_EQ(full_array.aka53, 4);
  const auto object = rule_of(R"({"aka53":3,"x":[1],"x":2,"disp":"d"})");
  EXPECT_EQ(object.disp, "d");
  EXPECT_EQ(object.aka53, 3);
  EXPECT_EQ(object.aka, 0);
}

TEST(DecodeAccepts, ArrayRootMatchesObjectRoot) {
  const RawLog log = decoded_ok(R"([[],["a","b","c","d"],["r",1],null,null,null,null,null])");
  EXPECT_TRUE(log.log.empty());
  EXPECT_EQ(log.name[3], "d");
  EXPECT_EQ(log.rule.disp, "r");
  EXPECT_EQ(log.rule.aka, 1);
  EXPECT_FALSE(log.ratingc || log.lobby || log.dan || log.rate || log.sx);

  const RawLog full = decoded_ok(R"([[],["a","b","c","d"],{},"R",3,["x"],[1.5],["s"]])");
  EXPECT_EQ(full.ratingc, "R");
  EXPECT_EQ(full.lobby, 3);
  EXPECT_EQ(full.rate, std::vector<double>{1.5});
}

TEST(DecodeAccepts, RoundPositions) {
  const RawLog log = decoded_ok(log_of_kyoku(join(kyoku_parts())));
  ASSERT_EQ(log.log.size(), 1u);
  const auto& kyoku = log.log[0];
  EXPECT_EQ(kyoku.meta.kyoku, 1);
  EXPECT_EQ(kyoku.meta.honba, 2);
  EXPECT_EQ(kyoku.meta.kyotaku, 3);
  EXPECT_EQ(kyoku.scores, (std::array<std::int32_t, 4>{25000, 24000, -100, 51100}));
  EXPECT_EQ(kyoku.dora_indicators, (std::vector<pairo::Tile>{pairo::Tile::M1, pairo::Tile::P5Red}));
  EXPECT_TRUE(kyoku.ura_indicators.empty());
  for (const auto& hand : kyoku.start_hands) {
    EXPECT_EQ(hand.front(), pairo::Tile::M1);
    EXPECT_EQ(hand.back(), pairo::Tile::P4);
  }
  ASSERT_EQ(kyoku.draws[0].size(), 1u);
  EXPECT_EQ(std::get<ActionItem::Tile>(kyoku.draws[0][0].value).tile, pairo::Tile::P1);
  ASSERT_EQ(kyoku.discards[0].size(), 1u);
  EXPECT_EQ(std::get<ActionItem::Number>(kyoku.discards[0][0].value).value, 60);
  for (int seat = 1; seat < 4; ++seat) EXPECT_TRUE(kyoku.draws[seat].empty() && kyoku.discards[seat].empty());
  ASSERT_EQ(kyoku.results.size(), 2u);
  EXPECT_EQ(std::get<ResultItem::Text>(kyoku.results[0].value).text, "和了");
  EXPECT_EQ(std::get<ResultItem::Deltas>(kyoku.results[1].value).values,
            (std::array<std::int32_t, 4>{1000, -1000, 0, 0}));
}

TEST(DecodeAccepts, EmptySequencesInRound) {
  auto parts = kyoku_parts();
  for (const std::size_t position : {2u, 3u, 5u, 6u, 8u, 9u, 11u, 12u, 14u, 15u, 16u}) parts[position] = "[]";
  const RawLog log = decoded_ok(log_of_kyoku(join(parts) + "," + join(kyoku_parts())));
  ASSERT_EQ(log.log.size(), 2u);
  EXPECT_TRUE(log.log[0].dora_indicators.empty() && log.log[0].results.empty());
  EXPECT_EQ(log.log[1].results.size(), 2u);
}

// ---- Items: each row is one element, rendered as what it decoded to.

std::string render(const JsonValue& v);

std::string render_all(const std::vector<JsonValue>& values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) out += (i ? "," : "") + render(values[i]);
  return out + "]";
}

std::string render(const JsonValue& v) {
  struct Visitor {
    std::string operator()(std::monostate) const { return "null"; }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(std::uint64_t n) const { return "u" + std::to_string(n); }
    std::string operator()(std::int64_t n) const { return "i" + std::to_string(n); }
    std::string operator()(double d) const {
      char buffer[32];
      return "d" + std::string(buffer, std::to_chars(buffer, buffer + 32, d).ptr);
    }
    std::string operator()(const std::string& s) const { return "'" + s + "'"; }
    std::string operator()(const JsonValue::Array& a) const { return render_all(a); }
    std::string operator()(const JsonValue::Object& o) const {
      std::string out = "{";
      for (std::size_t i = 0; i < o.size(); ++i) out += (i ? "," : "") + o[i].key + ":" + render(o[i].value);
      return out + "}";
    }
  };
  return std::visit(Visitor{}, v.value);
}

std::string render(const ActionItem& item) {
  if (const auto* tile = std::get_if<ActionItem::Tile>(&item.value)) {
    return "tile " + std::string(pairo::tile_name(tile->tile));
  }
  if (const auto* number = std::get_if<ActionItem::Number>(&item.value)) {
    return "number " + std::to_string(number->value);
  }
  return "text '" + std::get<ActionItem::Text>(item.value).text + "'";
}

std::string render(const ResultItem& item) {
  if (const auto* text = std::get_if<ResultItem::Text>(&item.value)) return "text '" + text->text + "'";
  if (const auto* deltas = std::get_if<ResultItem::Deltas>(&item.value)) {
    std::string out = "deltas";
    for (const auto d : deltas->values) out += " " + std::to_string(d);
    return out;
  }
  return "values " + render_all(std::get<ResultItem::Values>(item.value).values);
}

struct ItemCase {
  std::string json;
  std::string expected;  // the rendering, or "fail"
};

const char action_failure[] = "invalid stream item: ";
const char result_failure[] = "invalid result item: ";

TEST(DecodeItems, ActionItemAlternatives) {
  const std::vector<ItemCase> cases = {
      {"11", "tile 1m"},        {"0", "tile ?"},          {"-0", "tile ?"},         {"51", "tile 5mr"},
      {"53", "tile 5sr"},       {"47", "tile C"},         {"39", "tile 9s"},        {"60", "number 60"},
      {"1", "number 1"},        {"10", "number 10"},      {"20", "number 20"},      {"50", "number 50"},
      {"54", "number 54"},      {"255", "number 255"},    {R"("r15")", "text 'r15'"}, {R"("")", "text ''"},
      {R"("11")", "text '11'"}, {R"("\u0041\n")", "text 'A\n'"},
      {"256", "fail"},          {"-1", "fail"},           {"11.0", "fail"},         {"60.0", "fail"},
      {"1e1", "fail"},          {"true", "fail"},         {"null", "fail"},         {"[]", "fail"},
      {"[11]", "fail"},         {"{}", "fail"},           {"18446744073709551615", "fail"},
      {"-9223372036854775808", "fail"},
  };
  for (const auto& [json, expected] : cases) {
    // The same element in a draw stream and in a discard stream.
    for (const std::size_t position : {11u, 15u}) {
      const auto decoded = decode(log_with_kyoku_value(position, "[" + json + "]"));
      if (expected == "fail") {
        ASSERT_FALSE(decoded.has_value()) << json;
        EXPECT_EQ(decoded.error().kind, pairo::ErrorKind::NotAnItem) << json;
        EXPECT_TRUE(decoded.error().message.starts_with(action_failure)) << decoded.error().message;
        continue;
      }
      ASSERT_TRUE(decoded.has_value()) << json << ": " << decoded.error().message;
      const auto& kyoku = decoded->log[0];
      const auto& stream = position == 11 ? kyoku.draws[2] : kyoku.discards[3];
      ASSERT_EQ(stream.size(), 1u);
      EXPECT_EQ(render(stream[0]), expected) << json;
    }
  }
}

TEST(DecodeItems, ResultItemAlternatives) {
  const std::vector<ItemCase> cases = {
      {R"("流局")", "text '流局'"},
      {R"("")", "text ''"},
      {"[1000,-1000,0,0]", "deltas 1000 -1000 0 0"},
      {"[-2147483648,2147483647,-0,0]", "deltas -2147483648 2147483647 0 0"},
      {"[1000,-1000,0]", "values [u1000,i-1000,u0]"},
      {"[1,2,3,4,5]", "values [u1,u2,u3,u4,u5]"},
      {"[1,2,3,4.0]", "values [u1,u2,u3,d4]"},
      {R"([1,2,3,"4"])", "values [u1,u2,u3,'4']"},
      {"[1,2,3,2147483648]", "values [u1,u2,u3,u2147483648]"},
      {"[1,2,3,-2147483649]", "values [u1,u2,u3,i-2147483649]"},
      {"[1,2,3,[4]]", "values [u1,u2,u3,[u4]]"},
      {"[]", "values []"},
      {R"([null,true,false,-0.0,1e2,18446744073709551615,-9223372036854775808,-0])",
       "values [null,true,false,d-0,d100,u18446744073709551615,i-9223372036854775808,u0]"},
      {R"([{"k":[1,{"a":"b"}],"k":2},[[[]]]])", "values [{k:[u1,{a:'b'}],k:u2},[[[]]]]"},
      {"0", "fail"},
      {"1.5", "fail"},
      {"true", "fail"},
      {"null", "fail"},
      {"{}", "fail"},
      {R"({"a":[1,2,3,4]})", "fail"},
  };
  for (const auto& [json, expected] : cases) {
    const auto decoded = decode(log_with_kyoku_value(16, "[" + json + "]"));
    if (expected == "fail") {
      ASSERT_FALSE(decoded.has_value()) << json;
      EXPECT_EQ(decoded.error().kind, pairo::ErrorKind::NotAnItem) << json;
      EXPECT_TRUE(decoded.error().message.starts_with(result_failure)) << decoded.error().message;
      continue;
    }
    ASSERT_TRUE(decoded.has_value()) << json << ": " << decoded.error().message;
    const auto& results = decoded->log[0].results;
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(render(results[0]), expected) << json;
  }
}

// ---- Nesting: the root, `log`, the round and `results` are open around a
// result item, so the item and what it holds may open 123 more levels.

std::string nested_objects(std::size_t depth) {
  std::string s;
  for (std::size_t i = 0; i < depth; ++i) s += R"({"a":)";
  return s + "0" + std::string(depth, '}');
}

TEST(DecodeNesting, ResultValuesUseTheBudget) {
  const std::string too_deep = simdjson::error_message(simdjson::DEPTH_ERROR);
  const auto results_holding = [](const std::string& item) { return log_with_kyoku_value(16, "[" + item + "]"); };
  // The item is the 5th level; 123 arrays reach the 127th.
  const auto deepest = decode(results_holding(nested_arrays(123)));
  ASSERT_TRUE(deepest.has_value()) << deepest.error().message;
  EXPECT_EQ(render(deepest->log[0].results[0]), "values " + nested_arrays(123));
  const auto too_many = decode(results_holding(nested_arrays(124)));
  ASSERT_FALSE(too_many.has_value());
  EXPECT_EQ(too_many.error().message, too_deep);
  // Objects count the same way: the item array and 122 objects.
  EXPECT_TRUE(decode(results_holding("[" + nested_objects(122) + "]")).has_value());
  const auto objects = decode(results_holding("[" + nested_objects(123) + "]"));
  ASSERT_FALSE(objects.has_value());
  EXPECT_EQ(objects.error().message, too_deep);
}

TEST(DecodeNesting, ArrayRootCountsLikeObjectRoot) {
  const std::string too_deep = simdjson::error_message(simdjson::DEPTH_ERROR);
  const auto rooted = [](const std::string& item) {
    auto parts = kyoku_parts();
    parts[16] = "[" + item + "]";
    return "[[" + join(parts) + R"(],["a","b","c","d"],{},null,null,null,null,null])";
  };
  EXPECT_TRUE(decode(rooted(nested_arrays(123))).has_value());
  const auto refused = decode(rooted(nested_arrays(124)));
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().message, too_deep);
}

TEST(DecodeNesting, DeepValuesElsewhereFailCleanly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"UnclosedRoot", std::string(100000, '[')},
      {"ClosedRoot", nested_arrays(100000)},
      {"ObjectRoot", nested_objects(50000)},
      {"InDraws", log_with_kyoku_value(5, "[" + nested_arrays(1000) + "]")},
      {"InDora", log_with_kyoku_value(2, nested_arrays(1000))},
      {"InRule", R"({"log":[],"name":["a","b","c","d"],"rule":)" + nested_arrays(1000) + "}"},
      {"InResultObject", log_with_kyoku_value(16, "[" + nested_objects(1000) + "]")},
  };
  for (const auto& [name, text] : cases) EXPECT_FALSE(decode(text).has_value()) << name;
}

}  // namespace
