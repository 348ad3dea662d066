// A text followed by zeroed bytes that a parser may read past its end, so
// that the text is parsed where it lies, without another copy. Logs and
// records are read, inflated and decoded into it; it knows nothing of them.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace pairo {

class PaddedText {
 public:
  static constexpr std::size_t padding = 64;

  PaddedText() = default;
  explicit PaddedText(std::size_t size)
      : data_(std::make_unique_for_overwrite<char[]>(size + padding)), size_(size), capacity_(size) {
    std::memset(data_.get() + size, 0, padding);
  }
  explicit PaddedText(std::string_view text) : PaddedText(text.size()) {
    if (!text.empty()) std::memcpy(data_.get(), text.data(), text.size());
  }

  [[nodiscard]] char* data() noexcept { return data_.get(); }
  [[nodiscard]] const char* data() const noexcept { return data_.get(); }
  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] std::size_t capacity() const noexcept { return capacity_; }
  [[nodiscard]] std::string_view view() const noexcept { return {data_.get(), size_}; }

  // Moves the first `kept` bytes into a new buffer of `capacity` bytes (at
  // least `kept`); what lay beyond them is gone.
  void regrow(std::size_t kept, std::size_t capacity) {
    PaddedText bigger(capacity);
    if (kept != 0) std::memcpy(bigger.data(), data(), kept);
    *this = std::move(bigger);
  }

  // Shortens the text to `size` bytes (at most the capacity), re-zeroing the padding.
  void resize_within(std::size_t size) noexcept {
    size_ = size;
    std::memset(data_.get() + size, 0, padding);
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace pairo
