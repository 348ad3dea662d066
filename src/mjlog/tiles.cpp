// Tenhou tile numbers, sorted as Tenhou sorts them.
#include "mjlog/parts.hpp"

namespace mjlog::parts {

namespace {

// Twice the number, plus one for a red five, which follows its plain fives.
[[nodiscard]] std::uint8_t sort_key(std::uint8_t number) noexcept {
  return static_cast<std::uint8_t>(number >= 51 ? 2 * (10 * (number - 50) + 5) + 1 : 2 * number);
}

[[nodiscard]] std::uint8_t number_of_key(std::uint8_t key) noexcept {
  return static_cast<std::uint8_t>(key % 2 ? 50 + (key / 2 - 5) / 10 : key / 2);
}

}  // namespace

// Insertion sort on the keys: a hand is 13 tiles, a call 4.
void sort_numbers(std::uint8_t* first, std::uint8_t* last) noexcept {
  for (std::uint8_t* p = first; p != last; ++p) *p = sort_key(*p);
  for (std::uint8_t* p = first; p != last; ++p) {
    const std::uint8_t key = *p;
    std::uint8_t* q = p;
    for (; q != first && q[-1] > key; --q) *q = q[-1];
    *q = key;
  }
  for (std::uint8_t* p = first; p != last; ++p) *p = number_of_key(*p);
}

}  // namespace mjlog::parts
