// mjai events: one record per kind, in the protocol's order, gathered in one
// tagged union whose index is the kind's number.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "base/tile.hpp"

namespace mjai {

// Events name tiles by the codes below both layers.
using pairo::Tile;
using pairo::tile_count;
using pairo::tile_name;
using pairo::tile_names;

using Seat = std::uint8_t;
using Deltas = std::array<std::int32_t, 4>;
using Hand = std::array<Tile, 13>;

// A value held out of line, for the bulky fields of the rare kinds (the
// player names, the starting hands): they would otherwise widen every event
// of the union to their size. It behaves as the value it holds: built from
// the same initialisers, copied deeply, read through * and ->, and indexed and
// iterated like it when it is an array.
template <class T>
class OutOfLine {
 public:
  OutOfLine() : value_(std::make_unique<T>()) {}
  template <class... Args>
    requires(sizeof...(Args) > 0 && !(std::is_same_v<std::remove_cvref_t<Args>, OutOfLine> || ...))
  OutOfLine(Args&&... args)  // NOLINT: as implicit as the value's own initialisers
      : value_(std::make_unique<T>(T{std::forward<Args>(args)...})) {}
  OutOfLine(const OutOfLine& other) : value_(other.value_ ? std::make_unique<T>(*other.value_) : nullptr) {}
  OutOfLine(OutOfLine&&) noexcept = default;
  OutOfLine& operator=(const OutOfLine& other) {
    if (this != &other) value_ = other.value_ ? std::make_unique<T>(*other.value_) : nullptr;
    return *this;
  }
  OutOfLine& operator=(OutOfLine&&) noexcept = default;
  ~OutOfLine() = default;

  [[nodiscard]] const T& operator*() const noexcept { return *value_; }
  [[nodiscard]] const T* operator->() const noexcept { return value_.get(); }
  [[nodiscard]] std::size_t size() const noexcept { return value_->size(); }
  [[nodiscard]] const auto& operator[](std::size_t i) const noexcept { return (*value_)[i]; }
  [[nodiscard]] auto begin() const noexcept { return value_->begin(); }
  [[nodiscard]] auto end() const noexcept { return value_->end(); }

 private:
  std::unique_ptr<T> value_;
};

struct None {};
struct StartGame {
  OutOfLine<std::array<std::string, 4>> names;
  std::uint8_t kyoku_first = 0;
  bool aka_flag = false;
};
struct StartKyoku {
  Tile bakaze = Tile::East;
  Tile dora_marker = Tile::Unknown;
  std::uint8_t kyoku = 0;
  std::uint8_t honba = 0;
  std::uint8_t kyotaku = 0;
  std::uint8_t oya = 0;
  std::array<std::int32_t, 4> scores{};
  OutOfLine<std::array<Hand, 4>> tehais;
};
struct Tsumo {
  Seat actor = 0;
  Tile pai = Tile::Unknown;
};
struct Dahai {
  Seat actor = 0;
  Tile pai = Tile::Unknown;
  bool tsumogiri = false;
};
struct Chi {
  Seat actor = 0;
  Seat target = 0;
  Tile pai = Tile::Unknown;
  std::array<Tile, 2> consumed{};
};
struct Pon {
  Seat actor = 0;
  Seat target = 0;
  Tile pai = Tile::Unknown;
  std::array<Tile, 2> consumed{};
};
struct Daiminkan {
  Seat actor = 0;
  Seat target = 0;
  Tile pai = Tile::Unknown;
  std::array<Tile, 3> consumed{};
};
struct Kakan {
  Seat actor = 0;
  Tile pai = Tile::Unknown;
  std::array<Tile, 3> consumed{};
};
struct Ankan {
  Seat actor = 0;
  std::array<Tile, 4> consumed{};
};
struct Dora {
  Tile dora_marker = Tile::Unknown;
};
struct Reach {
  Seat actor = 0;
};
struct ReachAccepted {
  Seat actor = 0;
};
struct Hora {
  Seat actor = 0;
  Seat target = 0;
  std::optional<Deltas> deltas;
  std::optional<std::vector<Tile>> ura_markers;
};
struct Ryukyoku {
  std::optional<Deltas> deltas;
};
struct EndKyoku {};
struct EndGame {};

// The alternatives stand in the protocol's order, so index() is the kind number.
using Event = std::variant<None, StartGame, StartKyoku, Tsumo, Dahai, Chi, Pon, Daiminkan, Kakan,
                           Ankan, Dora, Reach, ReachAccepted, Hora, Ryukyoku, EndKyoku, EndGame>;

// A bit per kind of Event whose alternative owns memory (is not trivially
// destructible), by the kind's index: derived from the alternatives
// themselves, so a new owning kind cannot be forgotten.
inline constexpr std::uint32_t owning_kinds = []<class... Kinds>(std::type_identity<std::variant<Kinds...>>) {
  static_assert(sizeof...(Kinds) <= 32);
  std::uint32_t mask = 0;
  std::uint32_t bit = 1;
  ((mask |= std::is_trivially_destructible_v<Kinds> ? 0 : bit, bit <<= 1), ...);
  return mask;
}(std::type_identity<Event>{});

// What the allocators of event lists share: plain memory, any two equal.
// `Self` says how the events' lifetimes end.
template <class Self>
struct EventListAllocator {
  using value_type = Event;
  template <class U>
  struct rebind {
    static_assert(std::is_same_v<U, Event>, "event lists hold events only");
    using other = Self;
  };

  [[nodiscard]] Event* allocate(std::size_t n) { return std::allocator<Event>{}.allocate(n); }
  void deallocate(Event* p, std::size_t n) noexcept { std::allocator<Event>{}.deallocate(p, n); }
  friend bool operator==(Self, Self) noexcept { return true; }
};

// The allocator of event lists. Most kinds own nothing, so ending their
// lifetime needs no destructor; the union's own destructor would still be
// reached through an indirect call per event. Only the kinds that own memory
// are destroyed.
struct EventAllocator : EventListAllocator<EventAllocator> {
  void destroy(Event* event) noexcept {
    if ((owning_kinds >> event->index()) & 1u) std::destroy_at(event);
  }
};

using Events = std::vector<Event, EventAllocator>;

inline constexpr std::array<std::string_view, std::variant_size_v<Event>> event_type_names = {
    "none", "start_game", "start_kyoku", "tsumo", "dahai", "chi", "pon", "daiminkan", "kakan",
    "ankan", "dora", "reach", "reach_accepted", "hora", "ryukyoku", "end_kyoku", "end_game",
};

[[nodiscard]] inline std::string_view event_type_name(const Event& event) noexcept {
  return event_type_names[event.index()];
}

}  // namespace mjai
