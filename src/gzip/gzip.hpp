// Whole-buffer gzip: logs stored compressed are inflated into the padded
// buffer the log parsers read in place, and outputs deflated in one call.
#pragma once

#include <libdeflate.h>

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "base/failure.hpp"
#include "base/padded_text.hpp"

namespace gzip {


// The level of gzip outputs: zlib's usual default. The cheaper levels save
// little time on a log's output and cost size (on the corpus logs level 5
// is 11% bigger, level 4 15%; bench/gzip_level_bench.cpp measures it).
inline constexpr int default_level = 6;

enum class InflateError : std::uint8_t { Invalid, TooLarge };

// Each failure as a log's: OSError "invalid gzip data", or the record
// bound's "inflated gzip data is larger than 64 MiB".
[[nodiscard]] pairo::Failure failure_of(InflateError error);

// Whether the bytes begin with gzip's magic number.
[[nodiscard]] bool is_gzip(std::string_view bytes) noexcept;

// An inflater, kept by one thread for all the logs it reads.
class Inflater {
 public:
  Inflater();

  // Every member of `data` inflated and concatenated; nothing may follow
  // the last member.
  [[nodiscard]] std::expected<pairo::PaddedText, InflateError> inflate(std::string_view data,
                                                                        std::size_t limit = pairo::record_limit);

 private:
  struct Free {
    void operator()(libdeflate_decompressor* d) const noexcept { libdeflate_free_decompressor(d); }
  };
  std::unique_ptr<libdeflate_decompressor, Free> state_;
};

// A deflater at one level, kept by one thread for all the outputs it writes.
class Deflater {
 public:
  explicit Deflater(int level = default_level);

  // `text` as one gzip member, with no name and a zero time, so that the
  // same text always gives the same bytes.
  [[nodiscard]] std::string deflate(std::string_view text);

 private:
  struct Free {
    void operator()(libdeflate_compressor* c) const noexcept { libdeflate_free_compressor(c); }
  };
  std::unique_ptr<libdeflate_compressor, Free> state_;
};

}  // namespace gzip
