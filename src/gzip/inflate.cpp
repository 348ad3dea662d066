// Inflating a whole gzip file, member after member, into a padded buffer
// that never grows past the limit.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "gzip/gzip.hpp"

#include "base/fixed_texts.hpp"

namespace gzip {
namespace {

constexpr std::size_t first_guess_floor = 64 * 1024;

// The last member's own record of its size (modulo 2^32): a first guess
// for the buffer that is right for every file of one member.
std::size_t recorded_size(std::string_view data) noexcept {
  if (data.size() < 18) return 0;
  std::uint32_t size = 0;
  for (int i = 3; i >= 0; --i) size = (size << 8) | static_cast<std::uint8_t>(data[data.size() - 4 + i]);
  return size;
}


}  // namespace

pairo::Failure failure_of(InflateError error) {
  if (error == InflateError::TooLarge) return pairo::too_large_failure("inflated gzip data");
  pairo::Failure failure = pairo::coded_failure(pairo::FailureCode::InvalidCompressed, pairo::texts::invalid_gzip);
  failure.error_number = EINVAL;
  return failure;
}

bool is_gzip(std::string_view bytes) noexcept {
  return bytes.size() >= 2 && static_cast<std::uint8_t>(bytes[0]) == 0x1f &&
         static_cast<std::uint8_t>(bytes[1]) == 0x8b;
}

// The state is made on the first gzip input: most inputs are plain.
Inflater::Inflater() = default;

// A member that does not fit is inflated again into a buffer twice as big:
// each retry costs at most what the buffer already holds, and the limit
// bounds the buffer whatever the member claims about itself.
std::expected<pairo::PaddedText, InflateError> Inflater::inflate(std::string_view data, std::size_t limit) {
  if (!is_gzip(data)) return std::unexpected(InflateError::Invalid);
  if (!state_) {
    state_.reset(libdeflate_alloc_decompressor());
    if (!state_) throw std::bad_alloc();
  }
  const std::size_t guess = std::max(recorded_size(data), std::max(data.size() * 4, first_guess_floor));
  pairo::PaddedText text(std::min(guess, limit));
  std::size_t filled = 0;
  while (!data.empty()) {
    std::size_t used_in = 0;
    std::size_t made = 0;
    const auto result = libdeflate_gzip_decompress_ex(state_.get(), data.data(), data.size(),
                                                      text.data() + filled, text.capacity() - filled,
                                                      &used_in, &made);
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE) {
      if (text.capacity() >= limit) return std::unexpected(InflateError::TooLarge);
      text.regrow(filled, std::min(text.capacity() * 2, limit));
      continue;
    }
    if (result != LIBDEFLATE_SUCCESS) return std::unexpected(InflateError::Invalid);
    filled += made;
    data.remove_prefix(used_in);
    if (!data.empty() && !is_gzip(data)) return std::unexpected(InflateError::Invalid);
  }
  text.resize_within(filled);
  return text;
}

}  // namespace gzip
