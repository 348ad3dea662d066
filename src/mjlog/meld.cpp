// The 16-bit meld codes of N elements, and the calls they put in the streams.
#include <optional>

#include "mjlog/parts.hpp"

namespace mjlog::parts {
namespace {

[[nodiscard]] unsigned bits(std::uint32_t code, int low, int count) noexcept {
  return (code >> low) & ((1u << count) - 1);
}

[[nodiscard]] Fault bad_code(std::uint32_t code, std::string_view why) {
  return {ErrorKind::BadMeldCode, "meld code " + std::to_string(code) + " " + std::string(why)};
}

// Bits 3-8: the copy of each tile of the run; bits 10-15: its lowest tile
// and which of the three was called.
[[nodiscard]] Checked<Meld> decode_chi(std::uint32_t code) {
  if (bits(code, 0, 2) != 3) return std::unexpected(bad_code(code, "is a chi not from the seat before"));
  if (bits(code, 9, 1) != 0) return std::unexpected(bad_code(code, "is not a chi code"));
  const unsigned t = bits(code, 10, 6);
  const unsigned run = t / 3;
  if (run >= 21) return std::unexpected(bad_code(code, "names no run"));
  const unsigned lowest = 9 * (run / 7) + run % 7;
  Meld meld{.kind = MeldKind::Chi, .from = 3, .size = 3};
  for (unsigned j = 0; j < 3; ++j) {
    meld.tiles[j] = static_cast<TileId>(4 * (lowest + j) + bits(code, 3 + 2 * static_cast<int>(j), 2));
  }
  meld.called = meld.tiles[t % 3];
  return meld;
}

// Bits 5-6: the copy left out of the pon (a kakan's added tile); bits 9-15:
// the kind and which of the other three copies was called.
[[nodiscard]] Checked<Meld> decode_pon(std::uint32_t code, bool kakan) {
  const unsigned from = bits(code, 0, 2);
  if (from == 0) return std::unexpected(bad_code(code, "is a pon from no one"));
  if (bits(code, 7, 2) != 0) return std::unexpected(bad_code(code, "is not a pon code"));
  const unsigned t = bits(code, 9, 7);
  const unsigned kind = t / 3;
  if (kind >= 34) return std::unexpected(bad_code(code, "names no tile"));
  const unsigned left_out = bits(code, 5, 2);
  Meld meld{.kind = kakan ? MeldKind::Kakan : MeldKind::Pon, .from = static_cast<std::uint8_t>(from)};
  for (unsigned copy = 0; copy < 4; ++copy) {
    if (copy != left_out) meld.tiles[meld.size++] = static_cast<TileId>(4 * kind + copy);
  }
  meld.called = meld.tiles[t % 3];
  meld.added = static_cast<TileId>(4 * kind + left_out);
  return meld;
}

// Bits 8-15: the called tile (any copy of the kind for an ankan).
[[nodiscard]] Checked<Meld> decode_kan(std::uint32_t code) {
  if (bits(code, 6, 2) != 0) return std::unexpected(bad_code(code, "is not a kan code"));
  const unsigned t = bits(code, 8, 8);
  if (t >= tile_id_count) return std::unexpected(bad_code(code, "names no tile"));
  const unsigned from = bits(code, 0, 2);
  Meld meld{.kind = from == 0 ? MeldKind::Ankan : MeldKind::Daiminkan,
            .from = static_cast<std::uint8_t>(from),
            .called = static_cast<TileId>(t),
            .size = 4};
  for (unsigned copy = 0; copy < 4; ++copy) meld.tiles[copy] = static_cast<TileId>(4 * (t / 4) + copy);
  return meld;
}

}  // namespace

Checked<Meld> decode_meld(std::uint32_t code) {
  if (code > 0xffff) return std::unexpected(bad_code(code, "is more than 16 bits"));
  if (bits(code, 2, 1)) return decode_chi(code);
  const bool pon = bits(code, 3, 1) != 0;
  const bool kakan = bits(code, 4, 1) != 0;
  if (pon && kakan) return std::unexpected(bad_code(code, "is both a pon and a kakan"));
  if (pon || kakan) return decode_pon(code, kakan);
  if (bits(code, 5, 1)) return std::unexpected(bad_code(code, "is a kita, which four-player games have not"));
  return decode_kan(code);
}

namespace {

using Marked = tenhou::ActionItem::Marked;

// The tiles of a pon or kan other than `skip`, in Tenhou's order. They are
// of one kind, so that order only puts a red five after the plain ones.
std::size_t others(const Meld& meld, TileId skip, bool red_fives, std::array<Tile, 4>& out) {
  std::size_t n = 0;
  std::optional<TileId> red;
  for (std::uint8_t i = 0; i < meld.size; ++i) {
    const TileId id = meld.tiles[i];
    if (id == skip) continue;
    if (is_red_five(id, red_fives)) {
      red = id;
    } else {
      out[n++] = tile_of_id(id, red_fives);
    }
  }
  if (red) out[n++] = tile_of_id(*red, red_fives);
  return n;
}

// A chi keeps the run's order for the two other tiles.
Marked chi(const Meld& meld, bool red_fives) {
  Marked marked{.letter = 'c', .at = 0, .count = 2, .pai = tile_of_id(meld.called, red_fives)};
  std::uint8_t n = 0;
  for (std::uint8_t i = 0; i < meld.size; ++i) {
    if (meld.tiles[i] != meld.called) marked.others[n++] = tile_of_id(meld.tiles[i], red_fives);
  }
  return marked;
}

// The four tiles in order, the letter before the last.
Marked ankan(const Meld& meld, bool red_fives) {
  std::array<Tile, 4> tiles{};
  others(meld, tile_id_count, red_fives, tiles);
  return {.letter = 'a', .at = 3, .count = 3, .pai = tiles[3], .others = {tiles[0], tiles[1], tiles[2]}};
}

}  // namespace

// The marked part (letter, [added tile], called tile) goes before the other
// tiles for the seat before, after the first for the seat opposite, and last
// for the next seat. A kakan's added tile follows the letter; its pon's
// called tile stands among the others, just after it.
Marked marked_of(const Meld& meld, bool red_fives) {
  if (meld.kind == MeldKind::Chi) return chi(meld, red_fives);
  if (meld.kind == MeldKind::Ankan) return ankan(meld, red_fives);
  std::array<Tile, 4> rest{};
  const std::size_t n = others(meld, meld.called, red_fives, rest);
  const std::size_t at = meld.from == 3 ? 0 : meld.from == 2 ? 1 : n;
  Marked marked{.letter = meld.kind == MeldKind::Pon ? 'p' : meld.kind == MeldKind::Kakan ? 'k' : 'm',
                .at = static_cast<std::uint8_t>(at)};
  if (meld.kind == MeldKind::Kakan) {
    marked.pai = tile_of_id(meld.added, red_fives);
    for (std::size_t i = 0; i <= n; ++i) {
      marked.others[marked.count++] = i == at ? tile_of_id(meld.called, red_fives) : rest[i < at ? i : i - 1];
    }
  } else {
    marked.pai = tile_of_id(meld.called, red_fives);
    for (std::size_t i = 0; i < n; ++i) marked.others[marked.count++] = rest[i];
  }
  return marked;
}

}  // namespace mjlog::parts
