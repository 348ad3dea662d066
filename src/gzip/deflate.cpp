// Deflating a whole output into one gzip member.
#include <new>

#include "gzip/gzip.hpp"

namespace gzip {

Deflater::Deflater(int level) : state_(libdeflate_alloc_compressor(level)) {
  if (!state_) throw std::bad_alloc();  // also an unknown level: a caller's slip
}

std::string Deflater::deflate(std::string_view text) {
  std::string out(libdeflate_gzip_compress_bound(state_.get(), text.size()), '\0');
  const std::size_t size =
      libdeflate_gzip_compress(state_.get(), text.data(), text.size(), out.data(), out.size());
  out.resize(size);  // the bound always fits, so size is never 0
  return out;
}

}  // namespace gzip
