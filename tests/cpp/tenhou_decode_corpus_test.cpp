// Decoding the shared game logs: every four-player log decodes, the
// three-player ones do not, and no prefix of a log decodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "corpus.hpp"
#include "tenhou/tenhou.hpp"

namespace {

namespace fs = std::filesystem;

using corpus::logs_in;
using corpus::read_file;

class CorpusDecodes : public testing::TestWithParam<std::string> {};

TEST_P(CorpusDecodes, EveryLog) {
  const auto paths = logs_in(GetParam());
  REQUIRE_LOGS(paths, GetParam());
  for (const auto& path : paths) {
    const auto decoded = tenhou::decode_raw_log(tenhou::PaddedText(read_file(path)));
    EXPECT_TRUE(decoded.has_value()) << path << ": " << decoded.error().message;
    if (decoded) EXPECT_FALSE(decoded->log.empty()) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, CorpusDecodes, testing::Values("real", "real-rounds", "real-broken", "sim"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST(CorpusRefused, ThreePlayerLogsHaveAnEmptyHand) {
  const auto paths = logs_in("real3p");
  REQUIRE_LOGS(paths, "real3p");
  for (const auto& path : paths) {
    const auto decoded = tenhou::decode_raw_log(tenhou::PaddedText(read_file(path)));
    ASSERT_FALSE(decoded.has_value()) << path;
    EXPECT_EQ(decoded.error().message, "invalid length 0, expected a hand of 13 tiles") << path;
  }
}

TEST(CorpusRefused, EveryPrefixOfALog) {
  const auto paths = logs_in("real-rounds");
  REQUIRE_LOGS(paths, "real-rounds");
  const auto smallest = *std::min_element(paths.begin(), paths.end(), [](const auto& a, const auto& b) {
    return fs::file_size(a) < fs::file_size(b);
  });
  std::string text = read_file(smallest);
  // Whitespace after the root value may go; anything shorter must fail.
  text.erase(text.find_last_not_of(" \t\r\n") + 1);
  tenhou::PaddedText padded(text);
  ASSERT_TRUE(tenhou::decode_raw_log(padded).has_value()) << smallest;
  for (std::size_t size = 0; size < text.size(); ++size) {
    padded.resize_within(size);
    const auto decoded = tenhou::decode_raw_log(padded);
    ASSERT_FALSE(decoded.has_value()) << "prefix of " << size << " bytes of " << smallest;
    EXPECT_FALSE(decoded.error().message.empty());
  }
}

}  // namespace
