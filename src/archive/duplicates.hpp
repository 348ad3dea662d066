// Rows of one database that hold the same record as an earlier row (in id
// order): the downloader stored another game's record under their id.
//
// Records are decompressed on worker threads, in any order, but the verdict
// on a row depends only on the rows before it: a worker settles its row
// once every earlier row is settled, so the verdict is the same at any
// thread count and known before the row is written. Memory: a 64-bit digest
// of each record kept, compared byte for byte (the earlier record read
// again) only when two digests match.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/error.hpp"
#include "base/padded_text.hpp"

namespace archive {

// A fast, non-cryptographic 64-bit digest; equal texts, equal digests.
[[nodiscard]] std::uint64_t digest(std::string_view bytes) noexcept;

class DuplicateFinder {
 public:
  // The text of an earlier row, read and decompressed again; called with
  // the finder's lock held, so never from two threads at once.
  using Reread = std::function<std::expected<pairo::PaddedText, ArchiveError>(std::size_t row)>;

  // The name of a row, for the verdict.
  using NameOf = std::function<std::string(std::size_t row)>;

  DuplicateFinder(std::size_t rows, Reread reread, NameOf name_of);

  // Row `row` has no record to compare (skipped, failed, abandoned): later
  // rows need not wait for it. Never blocks for long.
  void pass(std::size_t row);

  // Waits until every earlier row is settled, then tells the earliest row
  // holding the same text, or records the text's digest for later rows.
  [[nodiscard]] std::optional<std::size_t> settle(std::size_t row, std::string_view text);

  [[nodiscard]] std::string name_of(std::size_t row) const { return name_of_(row); }

 private:
  void mark_done_locked(std::size_t row);
  [[nodiscard]] std::optional<std::size_t> find_locked(std::uint64_t hash, std::string_view text);
  void insert_locked(std::uint64_t hash, std::size_t row);

  struct Slot {
    std::uint64_t hash = 0;
    std::uint32_t row_plus_one = 0;  // 0: empty
  };

  Reread reread_;
  NameOf name_of_;
  std::mutex mutex_;
  std::condition_variable turn_;
  std::vector<std::uint8_t> done_;  // per row: settled or passed
  std::size_t next_ = 0;            // the first row not yet settled
  std::vector<Slot> slots_;         // open addressing on the digest, a power of two
  std::size_t used_ = 0;
};

// A row's claim on its turn in the finder: settled once by the worker that
// decompresses the row, or given up (passed) when dropped unsettled, so
// that a failed or cancelled record never holds later rows back.
class DuplicateTicket {
 public:
  DuplicateTicket() noexcept = default;
  DuplicateTicket(std::shared_ptr<DuplicateFinder> finder, std::size_t row) noexcept
      : finder_(std::move(finder)), row_(row) {}
  DuplicateTicket(DuplicateTicket&& other) noexcept = default;
  DuplicateTicket& operator=(DuplicateTicket&& other) noexcept {
    if (this != &other) {
      give_up();
      finder_ = std::move(other.finder_);
      row_ = other.row_;
    }
    return *this;
  }
  ~DuplicateTicket() { give_up(); }

  // The name of the earlier row with the same text, if any. Once; later
  // calls and tickets of containers without duplicates answer nothing.
  [[nodiscard]] std::optional<std::string> settle(std::string_view text) {
    if (!finder_) return std::nullopt;
    auto finder = std::move(finder_);
    const auto earlier = finder->settle(row_, text);
    if (!earlier) return std::nullopt;
    return finder->name_of(*earlier);
  }

 private:
  void give_up() noexcept {
    if (finder_) std::exchange(finder_, nullptr)->pass(row_);
  }
  std::shared_ptr<DuplicateFinder> finder_;
  std::size_t row_ = 0;
};

}  // namespace archive
