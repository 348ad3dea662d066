// The engine's own conversions: XML records beside JSON logs, the
// tenhou.net/6 target with the game id from the file name, and bytes given
// in place of a file (standard input).
#include <gtest/gtest.h>

#include "batch/batch.hpp"
#include "batch_support.hpp"
#include "corpus.hpp"
#include "gzip/gzip.hpp"

namespace {

namespace fs = std::filesystem;
using batch::Target;
using batch_test::put;
using batch_test::read;
using batch_test::Scratch;

struct Named {
  std::string path;
  std::string id;
};

class GameId : public ::testing::TestWithParam<Named> {};

TEST_P(GameId, IsTheFileNameWithoutItsSuffixWhenItIsOne) {
  EXPECT_EQ(batch::game_id_of(GetParam().path), GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(
    Names, GameId,
    ::testing::Values(Named{"logs/2019021004gm-00a9-0000-e2f6516d.mjlog", "2019021004gm-00a9-0000-e2f6516d"},
                      Named{"2019021004gm-00a9-12345-e2f6516d.xml.gz", "2019021004gm-00a9-12345-e2f6516d"},
                      Named{"2019021004gm-00a9-0000-e2f6516d.xml", "2019021004gm-00a9-0000-e2f6516d"},
                      Named{"2019021004gm-00A9-0000-e2f6516d.xml", ""},      // upper-case hex
                      Named{"2019021004gm-00a9-000-e2f6516d.xml", ""},       // lobby of three digits
                      Named{"2019021004gm-00a9-0000-e2f6516d0.xml", ""},     // key of nine
                      Named{"201902100gm-00a9-0000-e2f6516d.mjlog", ""},     // hour of nine digits
                      Named{"x2019021004gm-00a9-0000-e2f6516d.mjlog", ""},   // anchored at the start
                      Named{"", ""}));

// The first unedited twin: Tenhou's own export of the record.
const fs::path record = corpus::root() / "xml" / "mjlog2json-1.xml";
const fs::path twin = corpus::root() / "real" / "mjlog2json-1.json";
constexpr const char* game_id = "2019021004gm-00a9-0000-e2f6516d";

class Converters : public Scratch {
 protected:
  void SetUp() override {
    Scratch::SetUp();
    if (!fs::exists(record)) GTEST_SKIP() << "no corpus at " << corpus::root();
  }

  // Every outcome described, each output read back.
  std::vector<std::string> run(const std::vector<std::string>& inputs, const batch::Options& options,
                               std::shared_ptr<const std::string> standard_input = nullptr) {
    auto jobs = batch::plan(inputs, (root / "out").string(), options);
    for (auto& job : jobs) {
      if (job.name == batch::standard_input) job.data = standard_input;
    }
    std::vector<std::string> outcomes;
    batch_test::run(std::move(jobs), options, batch::converter_for(options.target),
               [&](const batch::Outcome& outcome) {
                 const auto* failure = std::get_if<batch::Failure>(&outcome.result);
                 outcomes.push_back(failure ? batch_test::describe(*failure) : read(outcome.output));
               });
    return outcomes;
  }

  static std::string mjai_lines(const fs::path& log) { return batch_test::mjai_lines(corpus::read_file(log)); }
};

TEST_F(Converters, ReadXmlRecordsPlainAndGzipAsTheirJsonTwins) {
  put(root / "in" / "a.xml", corpus::read_file(record));
  put(root / "in" / "b.mjlog", gzip::Deflater().deflate(corpus::read_file(record)));
  put(root / "in" / "c.json", corpus::read_file(twin));
  const std::string lines = mjai_lines(twin);
  EXPECT_EQ(run({(root / "in").string()}, {}), (std::vector<std::string>{lines, lines, lines}));
}

TEST_F(Converters, WriteTenhou6WithTheGameIdOfTheFileNameAndRefuseJsonLogs) {
  const std::string named = (root / (std::string(game_id) + ".mjlog")).string();
  put(named, gzip::Deflater().deflate(corpus::read_file(record)));
  put(root / "other.xml", corpus::read_file(record));
  put(root / "c.json", corpus::read_file(twin));
  batch::Options options;
  options.target = Target::Tenhou6;
  const auto outcomes = run({named, (root / "other.xml").string(), (root / "c.json").string()}, options);
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_NE(outcomes[0].find("\"ref\":\"" + std::string(game_id) + "\""), std::string::npos);
  EXPECT_NE(outcomes[1].find("\"ref\":\"\""), std::string::npos);
  EXPECT_EQ(outcomes[2], "MjlogParsingError: not an XML game record: a tenhou.net/6 log is converted to mjai only");
  EXPECT_TRUE(fs::exists(root / "out" / (std::string(game_id) + ".json")));
}

TEST_F(Converters, ReportFailuresWithTheirClassAndWhy) {
  put(root / "in" / "a.xml", "<mjloggm ver=\"2.3\"><INIT/></mjloggm>");
  put(root / "in" / "b.xml", "<mjloggm ver=\"2.3\"");
  put(root / "in" / "c.json", "{\"log\": 1}");
  const auto outcomes = run({(root / "in").string()}, {});
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_EQ(outcomes[0], "MjlogParsingError: INIT: comes before the rules (GO) (at byte 20)");
  EXPECT_TRUE(outcomes[1].starts_with("MjlogParsingError: not well-formed XML: ")) << outcomes[1];
  EXPECT_TRUE(outcomes[2].starts_with("JsonParsingError: failed to parse tenhou.net/6 log (")) << outcomes[2];
}

TEST_F(Converters, TakeStandardInputFromTheBytesGiven) {
  const auto data = std::make_shared<const std::string>(gzip::Deflater().deflate(corpus::read_file(twin)));
  batch::Options options;
  options.gzip = true;
  const auto outcomes = run({"-", "-"}, options, data);
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(gzip::Inflater().inflate(outcomes[0]).value().view(), mjai_lines(twin));
  EXPECT_EQ(outcomes[1], "FileExistsError: " + (root / "out" / "stdin.mjai.jsonl.gz").string() +
                             " is also the output of -");
}

}  // namespace
