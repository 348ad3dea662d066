// The XML records of the corpus against their tenhou.net/6 twins: the same
// rounds once read, the same document once written (every key for Tenhou's
// own twins; rounds and unedited keys for the others), the same events.
#include <gtest/gtest.h>
#include <simdjson.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "corpus.hpp"
#include "mjai/mjai.hpp"
#include "mjlog/mjlog.hpp"
#include "mjlog/walk.hpp"
#include "pairo/conv/conv.hpp"
#include "tenhou/tenhou.hpp"

namespace {

namespace fs = std::filesystem;
using simdjson::dom::element;

struct Pair {
  std::string xml_name;
  fs::path xml;
  fs::path twin;
  std::string differs;  // the edited keys, comma-separated, or "none"
  [[nodiscard]] bool edited(std::string_view key) const {
    std::stringstream parts(differs);
    for (std::string part; std::getline(parts, part, ',');) {
      if (std::string_view(part).substr(part.find_first_not_of(' ')) == key) return true;
    }
    return false;
  }
};

std::vector<Pair> pairs() {
  std::vector<Pair> pairs;
  std::ifstream in(corpus::root() / "xml" / "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // the column names
  while (std::getline(in, line)) {
    std::vector<std::string> columns;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) columns.push_back(field);
    if (columns.size() < 6) continue;
    pairs.push_back({columns[0], corpus::root() / "xml" / columns[0], corpus::root() / columns[4], columns[5]});
  }
  return pairs;
}

std::expected<mjlog::Record, mjlog::ReadError> read(const fs::path& path) {
  return mjlog::read_record(corpus::read_file(path));
}

std::vector<std::string> texts_of(tenhou::RawLog raw) {
  auto prepared = pairo::conv::prepare_log(std::move(raw));
  if (!prepared) return {"prepare failed"};
  auto events = pairo::conv::convert_log(*prepared);
  if (!events) return {"convert failed"};
  auto encoded = mjai::encode_events(*events);
  if (!encoded) return {"encode failed"};
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < encoded->size(); ++i) texts.emplace_back(encoded->at(i));
  return texts;
}

// Equal JSON values, object keys in the same order.
bool same_json(element a, element b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case simdjson::dom::element_type::ARRAY: {
      auto x = a.get_array().value_unsafe(), y = b.get_array().value_unsafe();
      if (x.size() != y.size()) return false;
      for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
        if (!same_json(*i, *j)) return false;
      }
      return true;
    }
    case simdjson::dom::element_type::OBJECT: {
      auto x = a.get_object().value_unsafe(), y = b.get_object().value_unsafe();
      if (x.size() != y.size()) return false;
      for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
        if (i.key() != j.key() || !same_json(i.value(), j.value())) return false;
      }
      return true;
    }
    case simdjson::dom::element_type::INT64: return int64_t(a) == int64_t(b);
    case simdjson::dom::element_type::UINT64: return uint64_t(a) == uint64_t(b);
    case simdjson::dom::element_type::DOUBLE: return double(a) == double(b);
    case simdjson::dom::element_type::STRING: return std::string_view(a) == std::string_view(b);
    case simdjson::dom::element_type::BOOL: return bool(a) == bool(b);
    case simdjson::dom::element_type::NULL_VALUE: return true;
  }
  return false;
}

// The results with each win's detail cut to its three seats.
std::vector<tenhou::ResultItem> seats_only(std::vector<tenhou::ResultItem> results) {
  for (tenhou::ResultItem& item : results) {
    if (auto* detail = std::get_if<tenhou::ResultItem::Values>(&item.value); detail && detail->values.size() > 3) {
      detail->values.resize(3);
    }
  }
  return results;
}

// A stream with each marked call, kan or riichi written as its text.
std::vector<tenhou::ActionItem> as_texts(std::vector<tenhou::ActionItem> items) {
  for (tenhou::ActionItem& item : items) {
    if (const auto* marked = std::get_if<tenhou::ActionItem::Marked>(&item.value)) {
      item.value = tenhou::ActionItem::Text{tenhou::marked_text(*marked)};
    }
  }
  return items;
}

std::string shown(element e) { return simdjson::minify(e).substr(0, 400); }

class XmlTwins : public testing::Test {
 protected:
  void SetUp() override {
    pairs_ = pairs();
    if (pairs_.empty()) {
      if (corpus::in_ci()) FAIL() << "no XML records under " << corpus::root();
      GTEST_SKIP() << "no XML records under " << corpus::root();
    }
  }
  std::vector<Pair> pairs_;
};

TEST_F(XmlTwins, RoundsEqualTheDecodedTwin) {
  for (const Pair& pair : pairs_) {
    const auto record = read(pair.xml);
    ASSERT_TRUE(record) << pair.xml_name << ": " << record.error().message;
    EXPECT_FALSE(record->three_player);
    const auto twin = tenhou::decode_raw_log(tenhou::PaddedText(corpus::read_file(pair.twin)));
    ASSERT_TRUE(twin) << pair.twin;
    ASSERT_EQ(record->log.log.size(), twin->log.size()) << pair.xml_name;
    for (std::size_t i = 0; i < twin->log.size(); ++i) {
      const tenhou::RawKyoku& x = record->log.log[i];
      const tenhou::RawKyoku& j = twin->log[i];
      const std::string where = pair.xml_name + " round " + std::to_string(i);
      EXPECT_TRUE(x.meta.kyoku == j.meta.kyoku && x.meta.honba == j.meta.honba && x.meta.kyotaku == j.meta.kyotaku)
          << where;
      EXPECT_EQ(x.scores, j.scores) << where;
      EXPECT_EQ(x.dora_indicators, j.dora_indicators) << where;
      EXPECT_EQ(x.ura_indicators, j.ura_indicators) << where;
      EXPECT_EQ(x.start_hands, j.start_hands) << where;
      for (std::size_t seat = 0; seat < 4; ++seat) {
        EXPECT_TRUE(as_texts(x.draws[seat]) == j.draws[seat]) << where << " draws of seat " << seat;
        EXPECT_TRUE(as_texts(x.discards[seat]) == j.discards[seat]) << where << " discards of seat " << seat;
      }
      // A win's detail keeps its seats only: its texts are made by the
      // writer (WrittenDocumentEqualsTheTwin).
      EXPECT_TRUE(x.results == seats_only(j.results)) << where << " results";
    }
  }
}

TEST_F(XmlTwins, WrittenDocumentEqualsTheTwin) {
  simdjson::dom::parser twin_parser, own_parser;
  for (const Pair& pair : pairs_) {
    auto record = read(pair.xml);
    ASSERT_TRUE(record) << pair.xml_name << ": " << record.error().message;
    element twin;
    ASSERT_EQ(twin_parser.load(pair.twin.string()).get(twin), simdjson::SUCCESS) << pair.twin;
    const std::string_view ref = twin["ref"].get_string().value_unsafe();
    const std::string text = mjlog::write_tenhou6(*record, ref);
    element own;
    ASSERT_EQ(own_parser.parse(text).get(own), simdjson::SUCCESS) << pair.xml_name << ": " << text.substr(0, 400);
    if (pair.differs == "none") {
      EXPECT_TRUE(same_json(own, twin)) << pair.xml_name << "\nown:  " << shown(own) << "\ntwin: " << shown(twin);
      const std::string tenhou = simdjson::minify(twin);  // Tenhou's own text, byte for byte
      const auto differ = std::mismatch(text.begin(), text.end(), tenhou.begin(), tenhou.end());
      EXPECT_TRUE(text == tenhou) << pair.xml_name << " differs from byte " << (differ.first - text.begin())
                                  << ": " << std::string(differ.first, text.end()).substr(0, 80);
      continue;
    }
    const simdjson::dom::object twin_keys = twin.get_object().value_unsafe();
    const simdjson::dom::object own_keys = own.get_object().value_unsafe();
    for (const auto field : twin_keys) {
      if (pair.edited(field.key)) continue;
      element mine;
      ASSERT_EQ(own[field.key].get(mine), simdjson::SUCCESS) << pair.xml_name << " lacks " << field.key;
      EXPECT_TRUE(same_json(mine, field.value))
          << pair.xml_name << " key " << field.key << "\nown:  " << shown(mine) << "\ntwin: " << shown(field.value);
    }
    for (const auto field : own_keys) {
      EXPECT_TRUE(pair.edited(field.key) || twin[field.key].error() == simdjson::SUCCESS)
          << pair.xml_name << " writes " << field.key << ", the twin has not";
    }
  }
}

// Every record of the corpus is read in one pass, none handed over to the
// parsed document's reader, into the record that reader gives.
TEST_F(XmlTwins, OnePassTakesEveryRecord) {
  for (const Pair& pair : pairs_) {
    std::string text = corpus::read_file(pair.xml);
    const auto direct = mjlog::parts::read_directly(text);
    ASSERT_TRUE(direct) << pair.xml_name << " was handed over";
    const auto parsed = mjlog::parts::read_parsed(text.data(), text.size());
    ASSERT_TRUE(parsed) << pair.xml_name << ": " << parsed.error().message;
    EXPECT_TRUE(*direct == *parsed) << pair.xml_name;
  }
}

// The record's events, directly and through its written text, are the twin's.
TEST_F(XmlTwins, EventsEqualTheTwins) {
  for (const Pair& pair : pairs_) {
    auto record = read(pair.xml);
    ASSERT_TRUE(record) << pair.xml_name << ": " << record.error().message;
    const std::string written = mjlog::write_tenhou6(*record, "");
    auto through_text = tenhou::decode_raw_log(tenhou::PaddedText(written));
    ASSERT_TRUE(through_text) << pair.xml_name << ": " << through_text.error().message;
    auto twin = tenhou::decode_raw_log(tenhou::PaddedText(corpus::read_file(pair.twin)));
    ASSERT_TRUE(twin) << pair.twin;

    const auto own = texts_of(std::move(record->log));
    const auto twins = texts_of(std::move(*twin));
    ASSERT_GT(own.size(), 2u) << pair.xml_name << ": " << own.front();
    EXPECT_EQ(own, texts_of(std::move(*through_text))) << pair.xml_name;
    ASSERT_EQ(own.size(), twins.size()) << pair.xml_name;
    const bool start_edited = pair.edited("name") || pair.edited("rule");
    for (std::size_t i = start_edited ? 1 : 0; i < own.size(); ++i) {
      ASSERT_EQ(own[i], twins[i]) << pair.xml_name << " event " << i;
    }
  }
}

}  // namespace
