// What a record's header tells the filters without converting it, and how
// the filters weigh facts still unknown against a refusal already known.
#include <gtest/gtest.h>

#include "batch/batch.hpp"
#include "formats/game_facts.hpp"

namespace {

using formats::Format;

struct FactsCase {
  const char* name;
  std::string text;
  Format format;
  std::optional<std::uint32_t> type;
  std::optional<bool> public_lobby;
  std::optional<std::uint32_t> date;
  std::optional<bool> disconnected;
};

class GameFactsOfText : public testing::TestWithParam<FactsCase> {};

TEST_P(GameFactsOfText, ReadOnlyTheHeaderAndTheDisconnections) {
  const FactsCase& c = GetParam();
  const formats::GameFacts facts = formats::facts_of(c.text, c.format);
  EXPECT_EQ(facts.type, c.type);
  EXPECT_EQ(facts.public_lobby, c.public_lobby);
  EXPECT_EQ(facts.date, c.date);
  EXPECT_EQ(facts.disconnected, c.disconnected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, GameFactsOfText,
    testing::Values(
        FactsCase{"record", R"(<mjloggm ver="2.3"><GO type="169" lobby="0"/><UN n0="a"/><INIT/></mjloggm>)",
                  Format::Xml, 169, true, std::nullopt, false},
        FactsCase{"record_private_lobby_bye", R"(<mjloggm><GO type="9" lobby="1111" /><INIT/><BYE who="2"/>)",
                  Format::Xml, 9, false, std::nullopt, true},
        FactsCase{"record_without_go", "<mjloggm><INIT/>", Format::Xml, std::nullopt, std::nullopt, std::nullopt,
                  false},
        // The ref is an id: its facts come first, the rule text fills nothing it knows.
        FactsCase{"log_with_ref",
                  R"({"ref":"2019021004gm-0061-0000-e2f6516d","rule":{"disp":"般南"},"lobby":0,"log":[]})",
                  Format::Json, 0x61, true, 20190210, false},
        FactsCase{"log_rule_text",
                  R"({"rule":{"disp":"特東赤速","aka51":1},"lobby":3,"log":[],"connection":[{"what":1},{"what":0}]})",
                  Format::Json, 0x20 | 0x04 | 0x40, false, std::nullopt, true},
        FactsCase{"log_without_red_or_lobby", R"({"rule":{"disp":"鳳南喰","aka":0},"log":[]})", Format::Json,
                  0xa0 | 0x08 | 0x02, true, std::nullopt, false},
        FactsCase{"another_sites_rules", R"({"rule":{"disp":"玉の間南喰赤","aka":1},"log":[]})", Format::Json,
                  std::nullopt, true, std::nullopt, false},
        FactsCase{"not_json", "{", Format::Json, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        FactsCase{"mjai_stream", R"({"type":"start_game"})", Format::Mjai, std::nullopt, std::nullopt,
                  std::nullopt, std::nullopt}),
    [](const testing::TestParamInfo<FactsCase>& info) { return std::string(info.param.name); });

TEST(FilterVerdict, ARefusalKnownWinsOverAFactUnknownAndTheFirstUnknownIsNamed) {
  batch::Filters filters;
  filters.levels = batch::houou;
  filters.since = 20190101;
  filters.skip_disconnected = true;
  formats::GameFacts facts;
  facts.disconnected = false;
  auto verdict = batch::judge(filters, facts);
  EXPECT_EQ(verdict.kind, batch::Verdict::Kind::Undecided);
  EXPECT_EQ(verdict.filter, "lobby");
  facts.type = 0x29;  // tokujou
  verdict = batch::judge(filters, facts);
  EXPECT_EQ(verdict.kind, batch::Verdict::Kind::Leave);
  EXPECT_EQ(verdict.filter, "lobby");
  facts.type = 0xa9;
  verdict = batch::judge(filters, facts);
  EXPECT_EQ(verdict.kind, batch::Verdict::Kind::Undecided);
  EXPECT_EQ(verdict.filter, "since");
  facts.date = 20190101;
  EXPECT_EQ(batch::judge(filters, facts).kind, batch::Verdict::Kind::Keep);
  EXPECT_EQ(batch::judge(batch::Filters{}, formats::GameFacts{}).kind, batch::Verdict::Kind::Keep);
}

}  // namespace
