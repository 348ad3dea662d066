// The direct reader against the reader of the parsed document: it takes every
// log of the corpus, gives the same records, and takes no text the other one
// refuses, however small the fault or wherever it hides.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "corpus.hpp"
#include "tenhou/decode_read.hpp"

namespace {

using tenhou::PaddedText;
using tenhou::decoding::read_directly;
using tenhou::decoding::read_document;

const std::string hand = "[11,12,13,14,15,16,17,18,19,21,22,23,24]";
const std::string kyoku = "[[1,2,3],[25000,24000,-100,51100],[11,52],[],"
                          + hand + ",[21,\"c212223\"],[60,\"r25\"]," + hand + ",[],[]," + hand + ",[],[]," + hand +
                          R"j(,[],[],["和了",[1000,-1000,0,0],[0,1,0,"30符1飜1000点","立直(1飜)"]]])j";

// A plain log with `extra` before its fields and `after` after its root.
std::string log_text(std::string_view extra = "", std::string_view after = "") {
  return "{" + std::string(extra) + R"("log":[)" + kyoku + R"(],"name":["a","b","c","d"],"rule":{"disp":"般南喰赤","aka":1}})" +
         std::string(after);
}

TEST(DirectReader, TakesAPlainLog) {
  const PaddedText text(log_text());
  const auto direct = read_directly(text);
  ASSERT_TRUE(direct.has_value());
  const auto document = read_document(text);
  ASSERT_TRUE(document.has_value()) << document.error().message;
  EXPECT_EQ(*direct, *document);
  EXPECT_EQ(direct->log.at(0).draws[0].size(), 2u);
}

class DirectReaderCorpus : public testing::TestWithParam<std::string> {};

TEST_P(DirectReaderCorpus, TakesEveryLogAsTheDocumentReaderDoes) {
  const auto paths = corpus::logs_in(GetParam());
  REQUIRE_LOGS(paths, GetParam());
  for (const auto& path : paths) {
    const PaddedText text(corpus::read_file(path));
    const auto direct = read_directly(text);
    const auto document = read_document(text);
    ASSERT_TRUE(document.has_value()) << path;
    ASSERT_TRUE(direct.has_value()) << path;
    EXPECT_TRUE(*direct == *document) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, DirectReaderCorpus, testing::Values("real", "real-rounds", "sim"));

// The plain log with its first draw stream replaced.
std::string with_stream(std::string_view stream) {
  std::string text = log_text();
  const std::string plain = "[21,\"c212223\"]";
  return text.replace(text.find(plain), plain.size(), stream);
}

// Faults the document reader refuses, most of them in values that neither
// reader keeps: the direct reader must give up on each.
class DirectReaderGivesUp : public testing::TestWithParam<std::string> {};

TEST_P(DirectReaderGivesUp, WhereTheDocumentReaderRefuses) {
  const PaddedText text(GetParam());
  EXPECT_FALSE(read_document(text).has_value()) << GetParam();
  EXPECT_FALSE(read_directly(text).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DirectReaderGivesUp,
    testing::Values(log_text("", " x"), log_text("", "{}"), log_text("", "]"), log_text("", ","),
                    log_text("\"title\":\"a\tb\","), log_text("\"title\":\"\\q\","), log_text("\"title\":\"\xff\","),
                    log_text("\"title\":\"\\ud800\","), log_text("\"title\":tru,"), log_text("\"title\":nul,"),
                    log_text("\"title\":falsey,"), log_text("\"title\":[1,],"), log_text("\"title\":{\"a\":1,},"),
                    log_text("\"title\":[1 2],"), log_text("\"title\":{\"a\" 1},"), log_text("\"title\":01,"),
                    log_text("\"title\":1.,"), log_text("\"title\":-,"), log_text("\"title\":.5,"),
                    log_text("\"title\":+1,"), log_text("\"title\":1e,"), log_text("\"title\":123456789012345678901234,"),
                    log_text("\"title\":[[[[]]],"), log_text("\"log\":[],"), log_text("\"ti\\x\":1,"),
                    log_text("\"ratingc\":\"PF4\",\"ratingc\":null,"), log_text("\"sx\":[\"\\ud800\"],"),
                    log_text("\"sx\":[\"\xc3\"],"), with_stream("[21,]"), with_stream("[021]"), with_stream("[256]"),
                    with_stream("[21.0]"), with_stream("[21 22]"), with_stream("[\"c1\t2\"]"), with_stream("[\"\\x\"]")));

// Rarer forms both readers take: the direct one gives the same records or
// gives up.
class DirectReaderAgrees : public testing::TestWithParam<std::string> {};

TEST_P(DirectReaderAgrees, OrGivesUp) {
  const PaddedText text(GetParam());
  const auto document = read_document(text);
  ASSERT_TRUE(document.has_value()) << document.error().message;
  if (const auto direct = read_directly(text)) EXPECT_TRUE(*direct == *document) << GetParam();
}

std::string kyoku_with_results(std::string_view results) {
  std::string text = log_text();
  const std::string plain = R"j(["和了",[1000,-1000,0,0],[0,1,0,"30符1飜1000点","立直(1飜)"]])j";
  return text.replace(text.find(plain), plain.size(), results);
}

// The same log with its "log" key written with an escape.
std::string with_escaped_key(std::string text) { return text.replace(text.find("\"log\""), 5, "\"lo\\u0067\""); }

INSTANTIATE_TEST_SUITE_P(
    Forms, DirectReaderAgrees,
    testing::Values(log_text("\"ratingc\":null,\"lobby\":-3,\"dan\":[\"初段\"],\"rate\":[1500,1500.5,-0,-0.0],\"sx\":null,"),
                    log_text("\"title\":" + std::string(40, '[') + std::string(40, ']') + ","),
                    R"([[],["a","b","c","d"],["般南喰赤",1],null,null,null,null,null])",
                    kyoku_with_results(R"(["和了",[1000,-1000,0,2147483648],[-0,1.0,9223372036854775807]])"),
                    kyoku_with_results(R"(["流局",[-9223372036854775808,18446744073709551615,1e300]])")));

// Forms the direct reader itself takes: escapes, zeros and exponents,
// whitespace anywhere, repeated keys inside result values.
class DirectReaderTakes : public testing::TestWithParam<std::string> {};

TEST_P(DirectReaderTakes, AsTheDocumentReaderDoes) {
  const PaddedText text(GetParam());
  const auto document = read_document(text);
  ASSERT_TRUE(document.has_value()) << document.error().message;
  const auto direct = read_directly(text);
  ASSERT_TRUE(direct.has_value()) << GetParam();
  EXPECT_TRUE(*direct == *document) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DirectReaderTakes,
    testing::Values(log_text("\"title\":[\"x\",{\"k\":[true,false,null,-1.5e3]}],"), with_escaped_key(log_text()),
                    log_text("\"sc\":[0.0,1e-5,2.5E+3],\"rate\":[0.0,1.25e2,-3],\"sx\":[\"\\u5927\\ud83c\\udc04\\n\\\"\"],"),
                    with_stream("[ 21 ,\n \"c\\u0032\\u00312\\/\" ]"), " \n" + log_text() + " \r\n\t",
                    kyoku_with_results(R"(["和了",[0,0,0,0],[{"a":1,"a":[{}]},"\u00e9\n",-2.5e-3]])"),
                    kyoku_with_results(R"(["和了",[0,0,0],[0,0,0,0,0]])")));

}  // namespace
