// Complete and ready hands. A suit splits into sets by its lowest tile: the
// tiles of that kind that do not fit three to a triplet must each start a
// run, since three equal runs hold the same tiles as three triplets. So one
// pass per suit decides it, once the pair is taken out.
#include "validate/hand.hpp"

namespace pairo::validate {
namespace {

constexpr std::array<int, 13> orphans = {0, 8, 9, 17, 18, 26, 27, 28, 29, 30, 31, 32, 33};

bool suit_in_sets(const std::uint8_t* suit) noexcept {
  std::array<int, 11> c{};  // two spare zeros past the nine
  for (int i = 0; i < 9; ++i) c[i] = suit[i];
  for (int i = 0; i < 9; ++i) {
    const int runs = c[i] % 3;
    if (runs == 0) continue;
    if (c[i + 1] < runs || c[i + 2] < runs || i > 6) return false;
    c[i + 1] -= runs;
    c[i + 2] -= runs;
  }
  return true;
}

bool all_in_sets(const Kinds& k) noexcept {
  for (int i = 27; i < kind_count; ++i) {
    if (k[i] % 3 != 0) return false;
  }
  return suit_in_sets(&k[0]) && suit_in_sets(&k[9]) && suit_in_sets(&k[18]);
}

bool seven_pairs(const Kinds& k) noexcept {
  int pairs = 0;
  for (int i = 0; i < kind_count; ++i) {
    if (k[i] == 2) {
      ++pairs;
    } else if (k[i] != 0) {
      return false;
    }
  }
  return pairs == 7;
}

bool thirteen_orphans(const Kinds& k) noexcept {
  int total = 0;
  for (int i : orphans) {
    if (k[i] == 0) return false;
    total += k[i];
  }
  return total == 14;
}

int total_of(const Kinds& k) noexcept {
  int total = 0;
  for (std::uint8_t count : k) total += count;
  return total;
}

}  // namespace

bool complete(const Kinds& kinds, int melds) noexcept {
  if (melds < 0 || melds > 4 || total_of(kinds) != 14 - 3 * melds) return false;
  if (melds == 0 && (seven_pairs(kinds) || thirteen_orphans(kinds))) return true;
  Kinds k = kinds;
  for (int pair = 0; pair < kind_count; ++pair) {
    if (k[pair] < 2) continue;
    k[pair] -= 2;
    const bool sets = all_in_sets(k);
    k[pair] += 2;
    if (sets) return true;
  }
  return false;
}

std::uint64_t waits(const Kinds& kinds, int melds) noexcept {
  if (melds < 0 || melds > 4 || total_of(kinds) != 13 - 3 * melds) return 0;
  // Only a kind held, or a suit's neighbour of one held, can complete a
  // hand: any other would stand alone.
  std::uint64_t near = 0;
  for (int kind = 0; kind < kind_count; ++kind) {
    if (kinds[kind] == 0) continue;
    near |= std::uint64_t{1} << kind;
    if (kind >= 27) continue;
    const int in_suit = kind % 9;
    for (int step = 1; step <= 2; ++step) {
      if (in_suit - step >= 0) near |= std::uint64_t{1} << (kind - step);
      if (in_suit + step <= 8) near |= std::uint64_t{1} << (kind + step);
    }
  }
  if (melds == 0) {  // thirteen orphans wait on a kind it may not yet hold
    for (int kind : orphans) near |= std::uint64_t{1} << kind;
  }
  std::uint64_t found = 0;
  Kinds k = kinds;
  for (int kind = 0; kind < kind_count; ++kind) {
    if (!(near & (std::uint64_t{1} << kind)) || k[kind] >= 4) continue;
    ++k[kind];
    if (complete(k, melds)) found |= std::uint64_t{1} << kind;
    --k[kind];
  }
  return found;
}

}  // namespace pairo::validate
