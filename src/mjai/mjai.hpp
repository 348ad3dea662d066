// What the mjai side offers the rest of pairo: events and the compact JSON
// text of an event.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/error.hpp"
#include "mjai/event.hpp"

namespace mjai {

// Appends the compact JSON object of `event` to `out`: "type" first, the
// other keys in protocol order, absent optional keys left out, no whitespace.
void write_event(const Event& event, std::string& out);

// The most bytes that the text of `event` can take.
[[nodiscard]] std::size_t event_text_bound(const Event& event) noexcept;

// The text of one event on its own.
[[nodiscard]] std::expected<std::string, pairo::Error> encode_event(const Event& event);

// The texts that are the same in every game: the draws and discards of
// seats 0 to 3, their riichi declarations and acceptances, the new dora
// markers and the end of a round. Together they are most of a game's events.
// They are written once, when the program is loaded, by the same writer as
// every other text, and numbered here: number 0 (`none`) marks a text that is
// not one of them, 1 to `last` the ready ones. Whatever is indexed by the
// number (EncodedEvents::common, the module's strs) uses it as it is.
struct CommonTexts {
  using Number = std::uint16_t;
  static constexpr Number none = 0;

  // Where each kind's texts begin.
  static constexpr std::size_t seats = 4;
  static constexpr Number first_tsumo = 1;                                                // by seat, tile
  static constexpr Number first_dahai = first_tsumo + seats * tile_count;                 // by seat, tile, tsumogiri
  static constexpr Number first_reach = first_dahai + seats * tile_count * 2;             // by seat
  static constexpr Number first_reach_accepted = first_reach + seats;                     // by seat
  static constexpr Number first_dora = first_reach_accepted + seats;                      // by tile
  static constexpr Number end_kyoku = first_dora + tile_count;
  static constexpr Number last = end_kyoku;

  // Text `number`, 1 to `last`.
  [[nodiscard]] static std::string_view text(Number number) noexcept;
};

// The allocator of lists whose every entry is written right after the room
// is made: making the room leaves the entries as they are, rather than
// filling them with zeros first to be overwritten.
template <class T>
struct UnfilledAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UnfilledAllocator<U>;
  };
  UnfilledAllocator() noexcept = default;
  template <class U>
  UnfilledAllocator(const UnfilledAllocator<U>&) noexcept {}  // NOLINT: converts like std::allocator

  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    std::construct_at(p, std::forward<Args>(args)...);
  }
};

// The texts of a whole game. A common text is only numbered; every other
// one is written in one buffer, text i at [end(i-1), end(i)).
struct EncodedEvents {
  std::string text;
  std::vector<std::uint32_t, UnfilledAllocator<std::uint32_t>> ends;
  // Per text, its number among the common texts, or CommonTexts::none:
  // equal numbers other than none mark equal texts.
  std::vector<CommonTexts::Number, UnfilledAllocator<CommonTexts::Number>> common;
  // The texts that hold bytes above 0x7f, in order; every other one is ASCII.
  std::vector<std::uint32_t> non_ascii;

  [[nodiscard]] std::size_t size() const noexcept { return ends.size(); }
  [[nodiscard]] std::string_view at(std::size_t i) const noexcept {
    if (common[i] != CommonTexts::none) return CommonTexts::text(common[i]);
    const std::size_t begin = i == 0 ? 0 : ends[i - 1];
    return std::string_view(text).substr(begin, ends[i] - begin);
  }
};

// Fails only when the texts together outgrow the 32-bit offsets.
[[nodiscard]] std::expected<EncodedEvents, pairo::Error> encode_events(std::span<const Event> events);

}  // namespace mjai
