// Whole-buffer gzip: round trips, several members, corrupt data and bombs.
#include "gzip/gzip.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string sample_text() {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += R"({"type":"dahai","actor":)" + std::to_string(i % 4) + R"(,"pai":"5m"})" "\n";
  return text;
}

class RoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(RoundTrip, InflatesBackToTheTextWithZeroPadding) {
  gzip::Deflater deflater(GetParam());
  gzip::Inflater inflater;
  for (const std::string& text : {std::string(), std::string("x"), sample_text()}) {
    const std::string packed = deflater.deflate(text);
    ASSERT_TRUE(gzip::is_gzip(packed));
    auto unpacked = inflater.inflate(packed);
    ASSERT_TRUE(unpacked.has_value());
    EXPECT_EQ(unpacked->view(), text);
    for (std::size_t i = 0; i < pairo::PaddedText::padding; ++i) ASSERT_EQ(unpacked->data()[text.size() + i], 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip, ::testing::Values(1, gzip::default_level, 6, 12));

TEST(Inflate, JoinsEveryMember) {
  gzip::Deflater deflater;
  const std::string text = sample_text();
  // A first member bigger than the first guess, which is taken from the last.
  const std::string packed = deflater.deflate(text + text + text) + deflater.deflate("tail\n");
  auto unpacked = gzip::Inflater().inflate(packed);
  ASSERT_TRUE(unpacked.has_value());
  EXPECT_EQ(unpacked->view(), text + text + text + "tail\n");
}

TEST(Inflate, RefusesCorruptData) {
  gzip::Deflater deflater;
  const std::string packed = deflater.deflate(sample_text());
  std::string bad_crc = packed;
  bad_crc[bad_crc.size() - 6] ^= 0x55;
  std::string bad_body = packed;
  bad_body[packed.size() / 2] ^= 0xff;
  for (const std::string& data : {packed.substr(0, packed.size() / 2), packed.substr(0, 2), bad_crc, bad_body,
                                  packed + "garbage", std::string("{\"log\": []}")}) {
    auto unpacked = gzip::Inflater().inflate(data);
    ASSERT_FALSE(unpacked.has_value());
    EXPECT_EQ(gzip::failure_of(unpacked.error()).message, "invalid gzip data");
  }
}

TEST(Inflate, StopsAtTheLimit) {
  gzip::Deflater deflater(1);
  const std::string text(1000, 'a');
  EXPECT_TRUE(gzip::Inflater().inflate(deflater.deflate(text), 1000).has_value());
  auto over = gzip::Inflater().inflate(deflater.deflate(text + "a"), 1000);
  ASSERT_FALSE(over.has_value());
  EXPECT_EQ(over.error(), gzip::InflateError::TooLarge);
  // Over two members, the limit holds for the whole.
  EXPECT_FALSE(gzip::Inflater().inflate(deflater.deflate(text) + deflater.deflate("a"), 1000).has_value());
}

TEST(Inflate, RefusesABombPastSixtyFourMebibytes) {
  // 65 MiB of zeros pack into some 64 KiB; its size record says 1 MiB.
  const std::string zeros((std::size_t{65} << 20), '\0');
  std::string bomb = gzip::Deflater(1).deflate(zeros);
  const std::uint32_t lie = 1u << 20;
  for (int i = 0; i < 4; ++i) bomb[bomb.size() - 4 + i] = static_cast<char>(lie >> (8 * i));
  auto unpacked = gzip::Inflater().inflate(bomb);
  ASSERT_FALSE(unpacked.has_value());
  EXPECT_EQ(unpacked.error(), gzip::InflateError::TooLarge);
  EXPECT_EQ(gzip::failure_of(unpacked.error()).message, "inflated gzip data is larger than 64 MiB");
}

}  // namespace
