#include "archive/byte_stream.hpp"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>

#include "sysio/fd.hpp"

namespace archive {
namespace {

constexpr std::size_t input_buffer = 256 * 1024;
// An xz stream asking for more memory than this to decode is refused.
constexpr std::uint64_t xz_memory_limit = std::uint64_t{256} << 20;

class FileStream final : public ByteStream {
 public:
  FileStream(sysio::Fd fd, sysio::Cancel cancel) : fd_(std::move(fd)), cancel_(cancel) {}
  std::expected<std::size_t, ArchiveError> read(char* out, std::size_t size) override {
    auto got = sysio::read_some(fd_.get(), out, size, cancel_);
    if (!got) return std::unexpected(ArchiveError{std::string("cannot read bundle: ") + std::strerror(got.error()), pairo::FailureCode::Unreadable});
    return *got;
  }

 private:
  sysio::Fd fd_;
  sysio::Cancel cancel_;
};

class MemoryStream final : public ByteStream {
 public:
  explicit MemoryStream(std::string_view bytes) : rest_(bytes) {}
  std::expected<std::size_t, ArchiveError> read(char* out, std::size_t size) override {
    const std::size_t n = std::min(size, rest_.size());
    if (n != 0) std::memcpy(out, rest_.data(), n);
    rest_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view rest_;
};

// The compressed side, refilled as the decoder takes it; `ended` once the
// input has nothing more.
class Refill {
 public:
  explicit Refill(std::unique_ptr<ByteStream> input)
      : input_(std::move(input)), buffer_(std::make_unique<char[]>(input_buffer)) {}
  // Fills the buffer when it is used up; false with `error` set on a read failure.
  [[nodiscard]] std::expected<void, ArchiveError> top_up(const char*& next, std::size_t& available) {
    if (available != 0 || ended_) return {};
    auto got = input_->read(buffer_.get(), input_buffer);
    if (!got) return std::unexpected(got.error());
    if (*got == 0) ended_ = true;
    next = buffer_.get();
    available = *got;
    return {};
  }
  [[nodiscard]] bool ended() const noexcept { return ended_; }

 private:
  std::unique_ptr<ByteStream> input_;
  std::unique_ptr<char[]> buffer_;
  bool ended_ = false;
};

// A failed stream keeps its failure: every later read repeats it.
class Decoding : public ByteStream {
 public:
  std::expected<std::size_t, ArchiveError> read(char* out, std::size_t size) final {
    if (failure_) return std::unexpected(*failure_);
    auto got = decode(out, size);
    if (!got) failure_ = got.error();
    return got;
  }

 protected:
  virtual std::expected<std::size_t, ArchiveError> decode(char* out, std::size_t size) = 0;

 private:
  std::optional<ArchiveError> failure_;
};

class GzipStream final : public Decoding {
 public:
  explicit GzipStream(std::unique_ptr<ByteStream> input) : refill_(std::move(input)) {
    if (inflateInit2(&z_, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
  }
  ~GzipStream() override { inflateEnd(&z_); }

 protected:
  std::expected<std::size_t, ArchiveError> decode(char* out, std::size_t size) override {
    std::size_t made = 0;
    while (made == 0 && !done_) {
      if (auto t = top_up(); !t) return std::unexpected(t.error());
      if (member_ended_) {
        // Another gzip member may follow; nothing else may.
        if (z_.avail_in == 0 && refill_.ended()) {
          done_ = true;
          break;
        }
        if (z_.next_in[0] != 0x1f) return std::unexpected(ArchiveError{"trailing data after the gzip stream"});
        inflateReset(&z_);
        member_ended_ = false;
      }
      if (z_.avail_in == 0 && refill_.ended()) return std::unexpected(ArchiveError{"truncated gzip stream"});
      z_.next_out = reinterpret_cast<Bytef*>(out);
      z_.avail_out = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
      const uInt room = z_.avail_out;
      const int rc = inflate(&z_, Z_NO_FLUSH);
      made = room - z_.avail_out;
      if (rc == Z_STREAM_END) {
        member_ended_ = true;
      } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
        return std::unexpected(ArchiveError{std::string("corrupt gzip stream: ") + (z_.msg ? z_.msg : "")});
      }
    }
    return made;
  }

 private:
  std::expected<void, ArchiveError> top_up() {
    const char* next = reinterpret_cast<const char*>(z_.next_in);
    std::size_t available = z_.avail_in;
    auto t = refill_.top_up(next, available);
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(next));
    z_.avail_in = static_cast<uInt>(available);
    return t;
  }
  Refill refill_;
  z_stream z_{};
  bool member_ended_ = false;
  bool done_ = false;
};

class Bzip2Stream final : public Decoding {
 public:
  explicit Bzip2Stream(std::unique_ptr<ByteStream> input) : refill_(std::move(input)) { begin(); }
  ~Bzip2Stream() override {
    if (live_) BZ2_bzDecompressEnd(&s_);
  }

 protected:
  std::expected<std::size_t, ArchiveError> decode(char* out, std::size_t size) override {
    std::size_t made = 0;
    while (made == 0 && !done_) {
      if (auto t = top_up(); !t) return std::unexpected(t.error());
      if (stream_ended_) {
        if (s_.avail_in == 0 && refill_.ended()) {
          done_ = true;
          break;
        }
        if (s_.next_in[0] != 'B') return std::unexpected(ArchiveError{"trailing data after the bzip2 stream"});
        BZ2_bzDecompressEnd(&s_);
        live_ = false;
        const char* next = s_.next_in;
        const unsigned available = s_.avail_in;
        begin();
        s_.next_in = const_cast<char*>(next);
        s_.avail_in = available;
        stream_ended_ = false;
      }
      if (s_.avail_in == 0 && refill_.ended()) return std::unexpected(ArchiveError{"truncated bzip2 stream"});
      s_.next_out = out;
      s_.avail_out = static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30));
      const unsigned room = s_.avail_out;
      const int rc = BZ2_bzDecompress(&s_);
      made = room - s_.avail_out;
      if (rc == BZ_STREAM_END) {
        stream_ended_ = true;
      } else if (rc != BZ_OK) {
        return std::unexpected(ArchiveError{"corrupt bzip2 stream"});
      }
    }
    return made;
  }

 private:
  void begin() {
    s_ = bz_stream{};
    if (BZ2_bzDecompressInit(&s_, 0, 0) != BZ_OK) throw std::bad_alloc();
    live_ = true;
  }
  std::expected<void, ArchiveError> top_up() {
    const char* next = s_.next_in;
    std::size_t available = s_.avail_in;
    auto t = refill_.top_up(next, available);
    s_.next_in = const_cast<char*>(next);
    s_.avail_in = static_cast<unsigned>(available);
    return t;
  }
  Refill refill_;
  bz_stream s_{};
  bool live_ = false;
  bool stream_ended_ = false;
  bool done_ = false;
};

class XzStream final : public Decoding {
 public:
  explicit XzStream(std::unique_ptr<ByteStream> input) : refill_(std::move(input)) {
    if (lzma_stream_decoder(&s_, xz_memory_limit, LZMA_CONCATENATED) != LZMA_OK) throw std::bad_alloc();
  }
  ~XzStream() override { lzma_end(&s_); }

 protected:
  std::expected<std::size_t, ArchiveError> decode(char* out, std::size_t size) override {
    std::size_t made = 0;
    while (made == 0 && !done_) {
      const char* next = reinterpret_cast<const char*>(s_.next_in);
      std::size_t available = s_.avail_in;
      if (auto t = refill_.top_up(next, available); !t) return std::unexpected(t.error());
      s_.next_in = reinterpret_cast<const std::uint8_t*>(next);
      s_.avail_in = available;
      s_.next_out = reinterpret_cast<std::uint8_t*>(out);
      s_.avail_out = size;
      const lzma_ret rc = lzma_code(&s_, refill_.ended() ? LZMA_FINISH : LZMA_RUN);
      made = size - s_.avail_out;
      if (rc == LZMA_STREAM_END) {
        done_ = true;
      } else if (rc == LZMA_BUF_ERROR && refill_.ended()) {
        return std::unexpected(ArchiveError{"truncated xz stream"});
      } else if (rc == LZMA_MEMLIMIT_ERROR) {
        return std::unexpected(ArchiveError{"xz stream needs more than 256 MiB to decode"});
      } else if (rc != LZMA_OK && rc != LZMA_BUF_ERROR) {
        return std::unexpected(ArchiveError{"corrupt xz stream"});
      }
    }
    return made;
  }

 private:
  Refill refill_;
  lzma_stream s_ = LZMA_STREAM_INIT;
  bool done_ = false;
};

}  // namespace

std::expected<std::unique_ptr<ByteStream>, ArchiveError> open_file_stream(const std::string& path,
                                                                         sysio::Cancel cancel) {
  auto fd = sysio::open_for_reading(path.c_str());
  if (!fd) return std::unexpected(ArchiveError{std::string("cannot open bundle: ") + std::strerror(fd.error()), pairo::FailureCode::Unreadable});
  if (auto ready = sysio::await_writer(fd->get(), cancel); !ready) {
    return std::unexpected(ArchiveError{std::string("cannot read bundle: ") + std::strerror(ready.error()), pairo::FailureCode::Unreadable});
  }
  return std::make_unique<FileStream>(std::move(*fd), cancel);
}

std::unique_ptr<ByteStream> memory_byte_stream(std::string_view bytes) { return std::make_unique<MemoryStream>(bytes); }

std::unique_ptr<ByteStream> gzip_stream(std::unique_ptr<ByteStream> compressed) {
  return std::make_unique<GzipStream>(std::move(compressed));
}

std::unique_ptr<ByteStream> bzip2_stream(std::unique_ptr<ByteStream> compressed) {
  return std::make_unique<Bzip2Stream>(std::move(compressed));
}

std::unique_ptr<ByteStream> xz_stream(std::unique_ptr<ByteStream> compressed) {
  return std::make_unique<XzStream>(std::move(compressed));
}

}  // namespace archive
