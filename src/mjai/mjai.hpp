// What the mjai side offers the rest of pairo: events and the compact JSON
// text of an event.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
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

// How many texts are fixed ones, the same in every game: the draws and
// discards of seats 0 to 3, the declarations of riichi, new dora markers and
// the end of a round.
[[nodiscard]] std::size_t common_text_count() noexcept;
// Common text `number`, 0 to common_text_count() - 1.
[[nodiscard]] std::string_view common_text(std::size_t number) noexcept;

// The texts of a whole game. A common text is only numbered; every other
// one is written in one buffer, text i at [end(i-1), end(i)).
struct EncodedEvents {
  std::string text;
  std::vector<std::uint32_t> ends;
  // Per text, 1 + its number among the common texts, or 0 when it is not one
  // of them: equal numbers mark equal texts.
  std::vector<std::uint16_t> common;
  // The texts that hold bytes above 0x7f, in order; every other one is ASCII.
  std::vector<std::uint32_t> non_ascii;

  [[nodiscard]] std::size_t size() const noexcept { return ends.size(); }
  [[nodiscard]] std::string_view at(std::size_t i) const noexcept {
    if (common[i] != 0) return common_text(common[i] - 1u);
    const std::size_t begin = i == 0 ? 0 : ends[i - 1];
    return std::string_view(text).substr(begin, ends[i] - begin);
  }
};

// Fails only when the texts together outgrow the 32-bit offsets.
[[nodiscard]] std::expected<EncodedEvents, pairo::Error> encode_events(std::span<const Event> events);

}  // namespace mjai
