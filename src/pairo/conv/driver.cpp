// The whole game: each round's four seat streams merged into the order of
// play by simulating turns. A call that could belong to more than one discard
// of the same tile is first attributed to the earliest one; if the round then
// cannot be played out, it is replayed with that call refused there (see
// play_round for an example).
//
// Kan dora. Every kan turns over a new dora indicator, written as a dora
// event at a moment that depends on the kan:
//   - ankan: right after the kan, before the replacement draw
//       ankan, dora, tsumo, dahai
//   - daiminkan and kakan: after the replacement draw, just before the kan
//     seat's discard (or its next ankan), "dora after discard"
//       daiminkan, tsumo, dora, dahai        kakan, tsumo, dora, dahai
//   - a kan whose dora is still pending when the next kan comes writes it
//     first: before a further daiminkan, and before the replacement draw of
//     a kakan, "dora before draw"
//       daiminkan, tsumo, kakan, dora, tsumo, dora, dahai
// The flags dora_after_discard_ and dora_before_draw_ of an attempt hold the
// pending dora between those moments.
#include <algorithm>
#include <optional>
#include <string>

#include "pairo/conv/conv.hpp"
#include "pairo/conv/round.hpp"
#include "base/invariant.hpp"

namespace pairo::conv {
namespace {

[[nodiscard]] constexpr std::size_t code(Tile tile) noexcept { return static_cast<std::size_t>(tile); }

// The round's choice for an ambiguous call on a tile. Unset: accept it and
// remember that; Accepted: refuse it the next time; Refused: forget it.
enum class Decision : std::uint8_t { Unset, Accepted, Refused };
using Decisions = std::array<Decision, mjai::tile_count>;

[[nodiscard]] bool is_empty(const Decisions& decisions) noexcept {
  return std::ranges::all_of(decisions, [](Decision d) { return d == Decision::Unset; });
}

// What the merge needs to know of a chi, pon or daiminkan.
struct CallFacts {
  Seat target;
  Tile pai;
  int priority;  // pon over chi over daiminkan
};

// Whether the event is a chi, pon or daiminkan: their kinds stand side by
// side in the union, so one comparison of the kind number tells, where most
// draws would otherwise be tried against each of the three.
[[nodiscard]] bool is_call(const Event& event) noexcept {
  constexpr std::size_t chi = Event(std::in_place_type<mjai::Chi>).index();
  static_assert(Event(std::in_place_type<mjai::Pon>).index() == chi + 1 &&
                Event(std::in_place_type<mjai::Daiminkan>).index() == chi + 2);
  return event.index() - chi <= 2;
}

[[nodiscard]] std::optional<CallFacts> call_facts(const Event& event) noexcept {
  if (const auto* pon = std::get_if<mjai::Pon>(&event)) return CallFacts{pon->target, pon->pai, 1};
  if (const auto* chi = std::get_if<mjai::Chi>(&event)) return CallFacts{chi->target, chi->pai, 0};
  if (const auto* kan = std::get_if<mjai::Daiminkan>(&event)) return CallFacts{kan->target, kan->pai, -1};
  return std::nullopt;
}

[[gnu::cold]] Error no_dora_marker(std::string message) {
  return Error(ErrorKind::NoDoraMarker, std::move(message));
}

[[gnu::cold]] Error draws_exhausted(Seat seat) {
  Error error(ErrorKind::DrawsExhausted, "no draw is left for the seat's turn");
  error.seat = seat;
  return error;
}

[[gnu::cold]] Error no_discard_after_reach(Seat seat) {
  Error error(ErrorKind::NoDiscardAfterReach, "a riichi declaration has no discard after it");
  error.seat = seat;
  return error;
}

[[nodiscard]] bool ends_in_four_riichi(const PreparedKyoku& kyoku) noexcept {
  const auto* draw = std::get_if<KyokuOutcome::Draw>(&kyoku.outcome.value);
  return draw != nullptr && draw->four_riichi;
}

[[nodiscard]] mjai::StartKyoku start_kyoku(const PreparedKyoku& kyoku) {
  const int wind = std::min(kyoku.kyoku / 4, 3);
  return mjai::StartKyoku{
      .bakaze = static_cast<Tile>(code(Tile::East) + wind),
      .dora_marker = kyoku.dora_indicators.front(),
      .kyoku = static_cast<std::uint8_t>(kyoku.kyoku % 4 + 1),
      .honba = kyoku.honba,
      .kyotaku = kyoku.kyotaku,
      .oya = static_cast<std::uint8_t>(kyoku.kyoku % 4),
      .scores = kyoku.scores,
      .tehais = kyoku.start_hands,
  };
}

// One attempt at playing a round out, appending its events to `out`.
class Attempt {
 public:
  Attempt(const PreparedKyoku& kyoku, const std::array<SeatEvents, 4>& seats, Decisions& decisions,
          Events& out)
      : kyoku_(kyoku), decisions_(decisions), out_(out), actor_(static_cast<Seat>(kyoku.kyoku % 4)) {
    for (Seat s = 0; s < 4; ++s) {
      draws_[s] = Unread(seats[s].draw_events);
      discards_[s] = Unread(seats[s].discard_events);
      draws_left_ += seats[s].draw_events.size();
      note_next_draw(s);
    }
  }

  [[nodiscard]] std::expected<void, Error> run() {
    if (kyoku_.dora_indicators.empty()) return std::unexpected(no_dora_marker("the round has no dora indicator"));
    out_.emplace_back(start_kyoku(kyoku_));
    for (;;) {
      if (auto taken = take(); !taken) return taken;
      auto after = discard();
      if (!after) return std::unexpected(std::move(after.error()));
      if (*after == After::RoundOver) return {};
    }
  }

 private:
  enum class After : std::uint8_t { Continue, RoundOver };

  // The part of a seat's list not yet played.
  struct Unread {
    const Event* next = nullptr;
    const Event* end = nullptr;
    Unread() = default;
    explicit Unread(const SeatEventList& list) noexcept : next(list.data()), end(list.data() + list.size()) {}
    [[nodiscard]] bool empty() const noexcept { return next == end; }
    // Whether a dahai of `tile` is still to come.
    [[nodiscard]] bool discards(Tile tile) const noexcept {
      return std::any_of(next, end, [tile](const Event& event) {
        const auto* dahai = std::get_if<mjai::Dahai>(&event);
        return dahai != nullptr && dahai->pai == tile;
      });
    }
  };

  // Appends a seat's event. Draws and discards, most of them, are copied as
  // what they are, without the union's copy dispatching on the kind; kept
  // inline in the turn's loop, where its call would cost more than the copy.
  [[gnu::always_inline]] void emit(const Event& event) {
    if (const auto* tsumo = std::get_if<mjai::Tsumo>(&event)) {
      out_.emplace_back(*tsumo);
    } else if (const auto* dahai = std::get_if<mjai::Dahai>(&event)) {
      out_.emplace_back(*dahai);
    } else {
      out_.push_back(event);
    }
  }

  [[nodiscard]] std::expected<void, Error> reveal_dora() {
    if (dora_at_ >= kyoku_.dora_indicators.size()) {
      return std::unexpected(no_dora_marker("a kan reveals a new dora, but no dora indicator is left"));
    }
    out_.emplace_back(mjai::Dora{kyoku_.dora_indicators[dora_at_++]});
    return {};
  }

  // The actor's next draw event; a call must take the last discard, from
  // another seat.
  [[nodiscard]] std::expected<const Event*, Error> next_draw() {
    Unread& draws = draws_[actor_];
    if (draws.empty()) return std::unexpected(draws_exhausted(actor_));
    const Event& event = *draws.next++;
    --draws_left_;
    note_next_draw(actor_);
    if (!is_call(event)) return &event;
    if (const auto call = call_facts(event)) {
      const bool matches = call->pai == last_tile_ &&
                           (!discard_seen_ || (call->target == last_discarder_ && last_discarder_ != actor_));
      if (!matches) return std::unexpected(unmatched_call(event));
    }
    return &event;
  }

  // "pon of 5m names seat 1, but the last discard was seat 2's 6m"
  [[gnu::cold]] Error unmatched_call(const Event& call) const {
    const CallFacts facts = *call_facts(call);
    std::string message = std::string(mjai::event_type_name(call)) + " of " + std::string(pairo::tile_name(facts.pai)) +
                          " names seat " + std::to_string(facts.target) + ", but ";
    if (discard_seen_) {
      message += "the last discard was seat " + std::to_string(last_discarder_) + "'s " +
                 std::string(pairo::tile_name(last_tile_));
    } else {
      message += "no tile has been discarded yet";
    }
    Error error(ErrorKind::UnmatchedCall, std::move(message));
    error.seat = actor_;
    return error;
  }

  [[nodiscard]] std::expected<void, Error> take() {
    auto next = next_draw();
    if (!next) return std::unexpected(std::move(next.error()));
    const Event& event = **next;
    if (reach_pending_) out_.emplace_back(mjai::ReachAccepted{last_discarder_});
    if (const auto* tsumo = std::get_if<mjai::Tsumo>(&event)) return take_tile(*tsumo);
    if (std::holds_alternative<mjai::Daiminkan>(event)) return take_after_daiminkan(event);
    emit(event);
    return {};
  }

  // A plain draw, most of a round's, told by one test of its kind. The dora
  // still pending from a kakan is shown before it (the kakan's replacement
  // draw).
  [[nodiscard]] std::expected<void, Error> take_tile(const mjai::Tsumo& tsumo) {
    if (dora_before_draw_) {
      dora_before_draw_ = false;
      if (auto dora = reveal_dora(); !dora) return dora;
    }
    out_.emplace_back(tsumo);
    return {};
  }

  // A daiminkan is followed by the rinshan draw, or by a further daiminkan
  // whose kan dora comes right before it.
  [[nodiscard]] std::expected<void, Error> take_after_daiminkan(const Event& kan) {
    if (dora_after_discard_) {
      if (auto dora = reveal_dora(); !dora) return dora;
    }
    emit(kan);
    for (;;) {
      auto next = next_draw();
      if (!next) return std::unexpected(std::move(next.error()));
      const Event& event = **next;
      if (std::holds_alternative<mjai::Daiminkan>(event)) {
        if (auto dora = reveal_dora(); !dora) return dora;
        emit(event);
        continue;
      }
      dora_after_discard_ = true;
      if (const auto* tsumo = std::get_if<mjai::Tsumo>(&event)) return take_tile(*tsumo);
      emit(event);
      return {};
    }
  }

  void note_dahai(const Event& event) noexcept {
    if (const auto* dahai = std::get_if<mjai::Dahai>(&event)) last_tile_ = dahai->pai;
  }

  [[nodiscard]] std::expected<After, Error> discard() {
    Unread& discards = discards_[actor_];
    if (discards.empty()) return After::RoundOver;
    const Event& event = *discards.next++;
    if (const auto* dahai = std::get_if<mjai::Dahai>(&event)) return discard_tile(*dahai);
    return discard_other(event, discards);
  }

  // A plain discard, most of a round's, told by one test of its kind: it
  // shows a kan dora still pending, ends the round when no draw is left, and
  // passes the turn.
  [[nodiscard]] std::expected<After, Error> discard_tile(const mjai::Dahai& dahai) {
    last_tile_ = dahai.pai;
    if (dora_after_discard_) {
      if (auto dora = reveal_dora(); !dora) return std::unexpected(std::move(dora.error()));
      dora_after_discard_ = false;
    }
    out_.emplace_back(dahai);
    reach_pending_ = false;
    if (draws_left_ == 0) return After::RoundOver;
    pass_turn();
    return After::Continue;
  }

  // A riichi declaration with its discard, a kakan or an ankan.
  [[nodiscard]] std::expected<After, Error> discard_other(const Event& event, Unread& discards) {
    if (dora_after_discard_) {
      if (std::holds_alternative<mjai::Ankan>(event)) {
        if (auto dora = reveal_dora(); !dora) return std::unexpected(std::move(dora.error()));
        dora_after_discard_ = false;
      } else if (std::holds_alternative<mjai::Kakan>(event)) {
        dora_before_draw_ = true;
      }
    }
    emit(event);
    if (std::holds_alternative<mjai::Reach>(event)) {
      // The declaring discard; a kan dora still pending waits past it.
      if (discards.empty()) return std::unexpected(no_discard_after_reach(actor_));
      const Event& declared = *discards.next++;
      note_dahai(declared);
      emit(declared);
      reach_pending_ = true;
    } else {
      reach_pending_ = false;
    }
    if (draws_left_ == 0) {
      // The fourth riichi's stick is paid although the round ends on it;
      // a riichi discard won on never is.
      if (reach_pending_ && ends_in_four_riichi(kyoku_)) out_.emplace_back(mjai::ReachAccepted{actor_});
      return After::RoundOver;
    }
    if (std::holds_alternative<mjai::Kakan>(event)) {
      dora_after_discard_ = true;
      return After::Continue;
    }
    if (std::holds_alternative<mjai::Ankan>(event)) {
      if (auto dora = reveal_dora(); !dora) return std::unexpected(std::move(dora.error()));
      return After::Continue;
    }
    pass_turn();
    return After::Continue;
  }

  // Keeps the mark of whether seat s's next draw event is a call.
  void note_next_draw(Seat s) noexcept {
    const Unread& draws = draws_[s];
    const bool calls = !draws.empty() && is_call(*draws.next);
    const auto bit = static_cast<std::uint8_t>(1u << s);
    calling_ = static_cast<std::uint8_t>(calls ? calling_ | bit : calling_ & ~bit);
  }

  // The seat whose next draw event calls the discard just made, pon before
  // chi before daiminkan, the later seat on a tie. Most discards are called
  // by no one, and no seat's next draw is a call at all: the mark of calling
  // seats skips the search then, which saves 2.2% of a call's instructions
  // over the real games of the corpus (callgrind), against looking at every
  // seat's next draw.
  [[nodiscard]] std::optional<Seat> caller() const noexcept {
    if (calling_ == 0) return std::nullopt;
    std::optional<Seat> pick;
    int best = 0;
    for (Seat s = 0; s < 4; ++s) {
      if (s == actor_ || !(calling_ & (1u << s))) continue;
      const auto call = call_facts(*draws_[s].next);
      if (!call || call->target != actor_ || call->pai != last_tile_) continue;
      if (!pick || call->priority >= best) {
        pick = s;
        best = call->priority;
      }
    }
    return pick;
  }

  // A call is ambiguous when the discarder will discard the same tile again;
  // the round's decisions say whether this discard is the one called. Calls
  // are few, so the discarder's unread list is searched only for them, where
  // counting every seat's tiles ahead cost each attempt a pass and a copy.
  [[nodiscard]] bool accept_call() {
    if (!discards_[actor_].discards(last_tile_)) return true;
    Decision& decision = decisions_[code(last_tile_)];
    switch (decision) {
      case Decision::Unset: decision = Decision::Accepted; return true;
      case Decision::Accepted: decision = Decision::Refused; return false;
      case Decision::Refused: decision = Decision::Unset; return false;
    }
    invariant_failed("call decision out of range");
  }

  void pass_turn() {
    const auto pick = caller();
    Seat next = static_cast<Seat>((actor_ + 1) % 4);
    if (pick && accept_call()) next = *pick;
    discard_seen_ = true;
    last_discarder_ = actor_;
    actor_ = next;
  }

  const PreparedKyoku& kyoku_;
  Decisions& decisions_;
  Events& out_;
  std::array<Unread, 4> draws_{};
  std::array<Unread, 4> discards_{};
  std::size_t draws_left_ = 0;  // over all seats
  std::uint8_t calling_ = 0;     // a bit per seat whose next draw event is a call
  std::size_t dora_at_ = 1;
  Seat actor_;
  Tile last_tile_ = Tile::Unknown;
  Seat last_discarder_ = 0;  // meaningful once a discard was seen
  bool discard_seen_ = false;
  bool reach_pending_ = false;
  bool dora_after_discard_ = false;
  bool dora_before_draw_ = false;
};

// Converts the four seats' streams, each once, into the game's seat lists,
// then plays the round out.
[[nodiscard]] std::expected<void, Error> convert_round(const PreparedKyoku& kyoku,
                                                       std::array<SeatEvents, 4>& seats, Events& out) {
  std::expected<void, Error> done;
  for (Seat s = 0; s < 4 && done; ++s) done = convert_seat_streams(kyoku, s, seats[s]);
  if (done) done = play_round(kyoku, seats, out);
  if (!done) done.error().round = Round{kyoku.kyoku, kyoku.honba};
  return done;
}

// Room for every event of the game, so that the list grows once: each item
// of a stream gives about one event, plus a few per round for the start,
// riichi, kan dora and results.
[[nodiscard]] std::size_t expected_event_count(const PreparedLog& log) noexcept {
  std::size_t count = 2;
  for (const PreparedKyoku& kyoku : log.kyokus) {
    count += 16;
    for (Seat s = 0; s < 4; ++s) count += kyoku.draws[s].size() + kyoku.discards[s].size();
  }
  return count;
}

}  // namespace

// Retries while the decisions change; a decisions state met before would
// only replay an attempt that already failed.
//
// Example: seat 0 discards 2p twice in the round, and seat 1's next draw
// item is a pon of 2p from seat 0.
//   attempt 1, decisions {2p: Unset}: at the first 2p seat 0 still has a 2p
//     to discard, so the pon is ambiguous; the decision becomes Accepted and
//     the pon takes the first 2p. Later a call finds no discard to match,
//     and the attempt fails.
//   attempt 2, from {2p: Accepted}: at the first 2p the decision becomes
//     Refused and the turn passes on; at the second 2p seat 0 has no 2p left,
//     so the pon takes it without asking. The round plays out.
// Had attempt 2 failed too, attempt 3 would start from {2p: Refused}, refuse
// the first 2p again and leave the decision Unset, the state attempt 1 began
// from: the round then fails with attempt 3's error.
std::expected<void, Error> play_round(const PreparedKyoku& kyoku, const std::array<SeatEvents, 4>& seats,
                                             Events& out, std::size_t max_attempts) {
  Decisions decisions{};
  std::vector<Decisions> tried;  // start states of the retries
  const std::size_t round_start = out.size();
  for (std::size_t attempts = 1;; ++attempts) {
    auto attempt = Attempt(kyoku, seats, decisions, out).run();
    if (attempt) {
      append_round_results(out, kyoku);
      return {};
    }
    out.erase(out.begin() + static_cast<std::ptrdiff_t>(round_start), out.end());
    if (is_empty(decisions) || attempts >= max_attempts) return attempt;
    if (std::ranges::find(tried, decisions) != tried.end()) return attempt;
    tried.push_back(decisions);
  }
}

std::expected<Events, Error> convert_log(const PreparedLog& log) {
  Events events;
  events.reserve(expected_event_count(log));
  events.emplace_back(mjai::StartGame{log.names, log.kyoku_first, log.aka_flag});
  std::array<SeatEvents, 4> seats;  // made once, refilled by each round
  for (const PreparedKyoku& kyoku : log.kyokus) {
    if (auto round = convert_round(kyoku, seats, events); !round) return std::unexpected(std::move(round.error()));
  }
  events.emplace_back(mjai::EndGame{});
  return events;
}

}  // namespace pairo::conv
