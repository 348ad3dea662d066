#include "archive/duplicates.hpp"

#include <bit>
#include <cstring>

namespace archive {
namespace {

constexpr std::uint64_t k1 = 0x9e3779b97f4a7c15ull;
constexpr std::uint64_t k2 = 0xc2b2ae3d27d4eb4full;
constexpr std::uint64_t k3 = 0x165667b19e3779f9ull;

[[nodiscard]] std::uint64_t load64(const char* p) noexcept {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

[[nodiscard]] std::uint64_t mix(std::uint64_t w) noexcept { return std::rotl(w * k2, 31) * k1; }

[[nodiscard]] std::uint64_t finish(std::uint64_t h) noexcept {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  return h ^ (h >> 33);
}

constexpr std::size_t first_slots = 1024;

}  // namespace

// Four independent lanes of 8 bytes, so that the multiplications overlap.
std::uint64_t digest(std::string_view bytes) noexcept {
  const char* p = bytes.data();
  std::size_t n = bytes.size();
  std::uint64_t a = k1 ^ n, b = k2, c = k3, d = k1 + k2;
  while (n >= 32) {
    a = std::rotl(a ^ mix(load64(p)), 27) * k1 + k3;
    b = std::rotl(b ^ mix(load64(p + 8)), 27) * k1 + k3;
    c = std::rotl(c ^ mix(load64(p + 16)), 27) * k1 + k3;
    d = std::rotl(d ^ mix(load64(p + 24)), 27) * k1 + k3;
    p += 32;
    n -= 32;
  }
  std::uint64_t h = std::rotl(a, 1) + std::rotl(b, 7) + std::rotl(c, 12) + std::rotl(d, 18);
  while (n >= 8) {
    h = std::rotl(h ^ mix(load64(p)), 27) * k1 + k3;
    p += 8;
    n -= 8;
  }
  std::uint64_t tail = 0;
  if (n != 0) std::memcpy(&tail, p, n);
  h = std::rotl(h ^ mix(tail ^ (std::uint64_t{n} << 59)), 27) * k1 + k3;
  return finish(h);
}

DuplicateFinder::DuplicateFinder(std::size_t rows, Reread reread, NameOf name_of)
    : reread_(std::move(reread)), name_of_(std::move(name_of)), done_(rows, 0), slots_(first_slots) {}

void DuplicateFinder::mark_done_locked(std::size_t row) {
  if (row >= done_.size() || done_[row]) return;
  done_[row] = 1;
  const std::size_t before = next_;
  while (next_ < done_.size() && done_[next_]) ++next_;
  if (next_ != before) turn_.notify_all();
}

void DuplicateFinder::pass(std::size_t row) {
  std::lock_guard lock(mutex_);
  mark_done_locked(row);
}

std::optional<std::size_t> DuplicateFinder::find_locked(std::uint64_t hash, std::string_view text) {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask; slots_[i].row_plus_one != 0; i = (i + 1) & mask) {
    if (slots_[i].hash != hash) continue;
    const std::size_t earlier = slots_[i].row_plus_one - 1;
    const auto earlier_text = reread_(earlier);
    if (earlier_text && earlier_text->view() == text) return earlier;
  }
  return std::nullopt;
}

void DuplicateFinder::insert_locked(std::uint64_t hash, std::size_t row) {
  if ((used_ + 1) * 4 > slots_.size() * 3) {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    used_ = 0;
    for (const Slot& slot : old) {
      if (slot.row_plus_one != 0) insert_locked(slot.hash, slot.row_plus_one - 1);
    }
  }
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash & mask;
  while (slots_[i].row_plus_one != 0) i = (i + 1) & mask;
  slots_[i] = Slot{hash, static_cast<std::uint32_t>(row + 1)};
  ++used_;
}

std::optional<std::size_t> DuplicateFinder::settle(std::size_t row, std::string_view text) {
  const std::uint64_t hash = digest(text);
  std::unique_lock lock(mutex_);
  if (row >= done_.size() || done_[row]) return std::nullopt;
  turn_.wait(lock, [&] { return next_ == row; });
  auto earlier = find_locked(hash, text);
  if (!earlier) insert_locked(hash, row);
  mark_done_locked(row);
  return earlier;
}

}  // namespace archive
