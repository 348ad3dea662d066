// Converting the shared game logs: each simulated game to exactly its true
// event lines, every real game and excerpt without error, and every broken
// league game to a conversion error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mjai/mjai.hpp"
#include "pairo/conv/conv.hpp"
#include "corpus.hpp"
#include "tenhou/tenhou.hpp"

namespace {

namespace fs = std::filesystem;

using corpus::logs_in;
using corpus::read_file;

std::vector<std::string> read_lines(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Which stage stopped a log, or its events.
struct Outcome {
  std::string failed_stage;  // empty on success
  mjai::Events events;
  std::optional<pairo::Error> convert_error;
};

Outcome convert(const fs::path& path) {
  auto raw = tenhou::decode_raw_log(tenhou::PaddedText(read_file(path)));
  if (!raw) return {"decode: " + raw.error().message, {}, {}};
  auto prepared = pairo::conv::prepare_log(std::move(*raw));
  if (!prepared) return {"prepare", {}, {}};
  auto events = pairo::conv::convert_log(*prepared);
  if (!events) return {"convert: " + events.error().detail(), {}, events.error()};
  return {"", std::move(*events), {}};
}

TEST(CorpusConverts, SimulatedGamesMatchTheirTruth) {
  const auto paths = logs_in("sim");
  REQUIRE_LOGS(paths, "sim");
  for (const auto& path : paths) {
    const auto outcome = convert(path);
    ASSERT_EQ(outcome.failed_stage, "") << path;
    fs::path truth_path = path;
    truth_path.replace_extension(".truth.jsonl");
    const auto truth = read_lines(truth_path);
    ASSERT_FALSE(truth.empty()) << truth_path;
    auto encoded = mjai::encode_events(outcome.events);
    ASSERT_TRUE(encoded) << path;
    const std::size_t common = std::min(encoded->size(), truth.size());
    for (std::size_t i = 0; i < common; ++i) {
      ASSERT_EQ(encoded->at(i), truth[i]) << path << " line " << i + 1;
    }
    EXPECT_EQ(encoded->size(), truth.size()) << path;
  }
}

TEST(CorpusConverts, RealGamesAndRounds) {
  for (const std::string folder : {"real", "real-rounds"}) {
    const auto paths = logs_in(folder);
    REQUIRE_LOGS(paths, folder);
    for (const auto& path : paths) {
      const auto outcome = convert(path);
      EXPECT_EQ(outcome.failed_stage, "") << path;
      if (!outcome.failed_stage.empty()) continue;
      EXPECT_TRUE(std::holds_alternative<mjai::StartGame>(outcome.events.front())) << path;
      EXPECT_TRUE(std::holds_alternative<mjai::EndGame>(outcome.events.back())) << path;
    }
  }
}

// These league logs lack the dora indicators their kans or rounds need.
TEST(CorpusConverts, BrokenLeagueGamesFailConversion) {
  const auto paths = logs_in("real-broken");
  REQUIRE_LOGS(paths, "real-broken");
  for (const auto& path : paths) {
    const auto outcome = convert(path);
    ASSERT_TRUE(outcome.convert_error.has_value()) << path << ": " << outcome.failed_stage;
    EXPECT_EQ(outcome.convert_error->kind, pairo::ErrorKind::NoDoraMarker)
        << path << ": " << outcome.failed_stage;
  }
}

}  // namespace
