// The replay: the table's state after each event (hands, river, turn, kans
// and dora indicators, riichi, scores and sticks) and the checks each event
// must pass against it. Tiles are counted per code in fixed arrays; a hand
// holding hidden tiles ("?", as a player's view shows the others') is
// checked for what it shows and not for its shape.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "base/failure.hpp"
#include "validate/event.hpp"
#include "validate/hand.hpp"
#include "validate/validate.hpp"

namespace pairo::validate {
namespace {

constexpr int live_wall = 70;  // 136 tiles less 52 dealt and 14 in the dead wall
constexpr std::size_t unknown = static_cast<std::size_t>(Tile::Unknown);

std::string name(Tile tile) { return std::string(tile_name(tile)); }
std::string seat_text(int seat) { return "seat " + std::to_string(seat); }

struct Hand {
  std::array<std::uint8_t, tile_count> tiles{};  // by code; hidden tiles at Unknown
  int melds = 0;
  bool open = false;
  std::uint64_t pons = 0;  // kinds called by pon, one bit each, for an added kan
  bool riichi = false;     // its riichi discard is made
  Tile drawn = Tile::Unknown;
  bool has_drawn = false;
  std::uint64_t forbidden = 0;  // kinds the discard after a call may not be

  [[nodiscard]] bool hidden() const noexcept { return tiles[unknown] != 0; }
  [[nodiscard]] Kinds kinds() const noexcept {
    Kinds k{};
    for (std::size_t code = 0; code < unknown; ++code) k[kind_of(static_cast<Tile>(code))] += tiles[code];
    return k;
  }
  // Takes a tile out; a hidden tile stands for any.
  [[nodiscard]] bool take(Tile tile) noexcept {
    auto& count = tiles[static_cast<std::size_t>(tile)];
    if (count != 0) {
      --count;
      return true;
    }
    if (tiles[unknown] == 0) return false;
    --tiles[unknown];
    return true;
  }
};

enum class Phase : std::uint8_t {
  BeforeGame,  // nothing read yet
  Between,     // after start_game or end_kyoku
  Draw,        // `turn` draws next; the last discard may be called or won on
  Act,         // `turn` holds a tile more and acts: discards, kans, riichi, wins
  Riichi,      // `turn` declared riichi and discards next
  Rinshan,     // `turn` made a kan and draws its replacement next
  Result,      // the round has its result; another ron, or end_kyoku
  AfterGame,   // after end_game
};

enum class KanKind : std::uint8_t { Closed, Open, Added };

// One lobby length's view of the game's end after a round.
enum class Ending : std::uint8_t { GoesOn, May, Must };

class Replay {
 public:
  explicit Replay(Options options) : options_(options) {}
  // Reads and checks one line; false once the stream is found invalid.
  bool line(std::string_view text, std::uint64_t number);
  // Checks the event read from a line; false once the stream is found invalid.
  bool event(std::expected<void, Unreadable> read, std::uint64_t number);
  // The event each line is read into.
  Event& next_event() noexcept { return event_; }
  Verdict finish();

 private:
  using Fault = std::optional<Finding>;

  Finding finding(Check check, std::optional<int> seat, std::string message) const {
    Finding f{check, line_, std::nullopt, std::nullopt, std::move(message)};
    if (in_round_) f.round = Round{static_cast<std::uint8_t>(wind_ * 4 + kyoku_ - 1), static_cast<std::uint8_t>(honba_)};
    if (seat && *seat >= 0) f.seat = static_cast<std::uint8_t>(*seat);
    return f;
  }
  Fault fault(Check check, std::optional<int> seat, std::string message) const {
    return finding(check, seat, std::move(message));
  }
  void warn(Check check, std::optional<int> seat, std::string message) {
    verdict_.warnings.push_back(finding(check, seat, std::move(message)));
  }

  Fault apply(const Event& e);
  Fault start_game(const Event& e);
  Fault start_kyoku(const Event& e);
  Fault tsumo(const Event& e);
  Fault dahai(const Event& e);
  Fault call(const Event& e);
  Fault ankan(const Event& e);
  Fault kakan(const Event& e);
  Fault dora(const Event& e);
  Fault reach(const Event& e);
  Fault reach_accepted(const Event& e);
  Fault hora(const Event& e);
  Fault ryukyoku(const Event& e);
  Fault end_kyoku();
  Fault end_game();

  Fault see(Tile tile, std::optional<int> seat);
  Fault take(int seat, Tile tile, std::string_view what);
  Fault open_riichi_stick(int seat);
  Fault pay(const Event& e, bool win);
  Fault new_kan(int seat, KanKind kind);
  Ending ending_after(int length) const;

  Options options_;
  Event event_;
  Verdict verdict_;
  std::uint64_t line_ = 0;
  Phase phase_ = Phase::BeforeGame;
  std::optional<bool> aka_;

  // The round.
  bool in_round_ = false;
  int wind_ = 0, kyoku_ = 1, honba_ = 0, oya_ = 0;
  std::array<Hand, 4> hands_{};
  std::array<std::uint8_t, kind_count> seen_{};
  std::array<std::uint8_t, 3> red_seen_{};
  int turn_ = 0;
  int draws_ = 0;
  int kans_ = 0;
  int indicators_ = 0;  // shown for kans
  bool open_kan_undrawn_ = false;
  KanKind kan_kind_ = KanKind::Closed;
  Tile kan_tile_ = Tile::Unknown;
  bool has_discard_ = false;  // the last discard still lies in the river, callable
  int discarder_ = 0;
  Tile discarded_ = Tile::Unknown;
  int riichi_pending_ = -1;  // a riichi discard made, its stick not yet paid
  // The results.
  int wins_ = 0;
  bool last_was_ron_ = false;
  int ron_target_ = -1;
  std::uint8_t winners_ = 0;
  bool draw_ = false;
  std::optional<bool> dealer_kept_;
  bool dealer_won_ = false;
  bool stick_collected_ = false;

  // Carried between rounds.
  std::array<std::int64_t, 4> scores_{};
  std::int64_t sticks_ = 0;
  bool played_round_ = false;
  int last_wind_ = 0, last_kyoku_ = 1, last_honba_ = 0;
  std::optional<bool> last_dealer_kept_;
  bool last_draw_ = false, last_dealer_won_ = false;
  bool must_end_ = false;  // the last round ended the game under either length
  bool may_end_ = false;   // the last round may have ended it under one
};

bool Replay::line(std::string_view text, std::uint64_t number) {
  // One parser a thread, reused from game to game: its buffers grow to the
  // longest line met and stay.
  thread_local simdjson::dom::parser parser;
  line_ = number;
  if (text.size() > record_limit) {
    verdict_.fault = finding(Check::LineTooLong, std::nullopt,
                             "the line holds " + std::to_string(text.size()) + " bytes, more than the 64 MiB a record may");
    return false;
  }
  return event(read_event(parser, text, event_), number);
}

bool Replay::event(std::expected<void, Unreadable> read, std::uint64_t number) {
  line_ = number;
  if (!read) {
    verdict_.fault = finding(read.error().check, std::nullopt, std::move(read.error().message));
    return false;
  }
  if (auto f = apply(event_)) {
    verdict_.fault = std::move(f);
    return false;
  }
  return true;
}

Verdict Replay::finish() {
  if (!verdict_.fault && phase_ != Phase::AfterGame) {
    ++line_;
    verdict_.fault = phase_ == Phase::BeforeGame
                         ? finding(Check::NoStartGame, std::nullopt, "the stream holds no event")
                         : finding(Check::Truncated, std::nullopt, "the stream ends before end_game");
  }
  return std::move(verdict_);
}

Replay::Fault Replay::apply(const Event& e) {
  if (phase_ == Phase::BeforeGame && e.kind != Kind::StartGame) {
    return fault(Check::NoStartGame, std::nullopt, "the stream does not begin with start_game");
  }
  if (phase_ == Phase::AfterGame) return fault(Check::EventOutOfPlace, std::nullopt, "an event after end_game");
  const bool round_kind = e.kind != Kind::StartGame && e.kind != Kind::StartKyoku && e.kind != Kind::EndGame;
  if (round_kind && !in_round_) return fault(Check::EventOutOfPlace, e.actor, "an event of a round outside any round");
  if (phase_ == Phase::Result && e.kind != Kind::Hora && e.kind != Kind::EndKyoku) {
    return fault(Check::EventOutOfPlace, e.actor, "an event after the round's result");
  }
  switch (e.kind) {
    case Kind::StartGame: return start_game(e);
    case Kind::StartKyoku: return start_kyoku(e);
    case Kind::Tsumo: return tsumo(e);
    case Kind::Dahai: return dahai(e);
    case Kind::Chi:
    case Kind::Pon:
    case Kind::Daiminkan: return call(e);
    case Kind::Kakan: return kakan(e);
    case Kind::Ankan: return ankan(e);
    case Kind::Dora: return dora(e);
    case Kind::Reach: return reach(e);
    case Kind::ReachAccepted: return reach_accepted(e);
    case Kind::Hora: return hora(e);
    case Kind::Ryukyoku: return ryukyoku(e);
    case Kind::EndKyoku: return end_kyoku();
    case Kind::EndGame: return end_game();
  }
  return std::nullopt;
}

Replay::Fault Replay::start_game(const Event& e) {
  if (phase_ != Phase::BeforeGame) return fault(Check::EventOutOfPlace, std::nullopt, "a second start_game");
  aka_ = e.aka_flag;  // a stream that does not say allows red fives
  phase_ = Phase::Between;
  return std::nullopt;
}

Replay::Fault Replay::see(Tile tile, std::optional<int> seat) {
  const int kind = kind_of(tile);
  if (kind < 0) return std::nullopt;
  if (++seen_[kind] > 4) return fault(Check::TileSeenFiveTimes, seat, name(tile) + " is seen a fifth time this round");
  const int red = static_cast<int>(tile) - static_cast<int>(Tile::M5Red);
  if (red >= 0 && red < 3) {
    if (aka_ && !*aka_) return fault(Check::RedFiveNotInGame, seat, name(tile) + " in a game without red fives");
    if (++red_seen_[red] > 1) return fault(Check::TileSeenFiveTimes, seat, name(tile) + " is seen twice this round");
  }
  return std::nullopt;
}

Replay::Fault Replay::take(int seat, Tile tile, std::string_view what) {
  if (hands_[seat].take(tile)) return std::nullopt;
  return fault(Check::TileNotInHand, seat, std::string(what) + " of " + name(tile) + ", which the hand does not hold");
}

Ending Replay::ending_after(int length) const {
  if (std::ranges::any_of(scores_, [](std::int64_t s) { return s < 0; })) return Ending::Must;
  const int round = wind_ * 4 + kyoku_ - 1;
  const int all_last = length * 4 - 1;
  if (round < all_last) return Ending::GoesOn;
  if (round > all_last + 4) return Ending::Must;
  const bool over = std::ranges::any_of(scores_, [](std::int64_t s) { return s >= 30000; });
  const std::int64_t top = *std::ranges::max_element(scores_);
  if (!dealer_kept_ || *dealer_kept_) return scores_[oya_] == top || over ? Ending::May : Ending::GoesOn;
  return over || round == all_last + 4 ? Ending::Must : Ending::GoesOn;
}

Replay::Fault Replay::start_kyoku(const Event& e) {
  if (phase_ != Phase::Between) return fault(Check::EventOutOfPlace, std::nullopt, "start_kyoku inside a round");
  if (e.oya != e.kyoku - 1) {
    return fault(Check::BadValue, e.oya, "the dealer of kyoku " + std::to_string(e.kyoku) + " is seat " +
                                             std::to_string(e.kyoku - 1) + ", not seat " + std::to_string(e.oya));
  }
  const bool first = !played_round_;
  wind_ = e.wind, kyoku_ = e.kyoku, honba_ = e.honba, oya_ = e.oya;
  in_round_ = true;
  if (!first) {
    for (int seat = 0; seat < 4; ++seat) {
      if (e.scores[seat] != scores_[seat]) {
        return fault(Check::ScoresDoNotCarry, seat, "the round starts with " + std::to_string(e.scores[seat]) +
                                                        " points, but the last one left " + std::to_string(scores_[seat]));
      }
    }
    if (e.kyotaku != sticks_) {
      return fault(Check::SticksDoNotCarry, std::nullopt, "the round starts with " + std::to_string(e.kyotaku) +
                                                              " riichi sticks, but the last one left " + std::to_string(sticks_));
    }
    // The lobby's rules: warnings only.
    if (must_end_) warn(Check::GameGoesOn, std::nullopt, "the game goes on after the last round ended it");
    const int last = last_wind_ * 4 + last_kyoku_ - 1;
    const int now = e.wind * 4 + e.kyoku - 1;
    if (last_dealer_kept_ && now != (*last_dealer_kept_ ? last : last + 1)) {
      warn(Check::DealerDoesNotFollow, e.oya,
           *last_dealer_kept_ ? "the dealer kept the deal, but the next round has another" : "the dealer lost the deal, but the next round is not the next dealer's");
    }
    const int honba = last_draw_ || last_dealer_won_ ? last_honba_ + 1 : 0;
    if (e.honba != honba) {
      warn(Check::HonbaDoesNotFollow, std::nullopt,
           "the repeat counter is " + std::to_string(e.honba) + " after the last round, not " + std::to_string(honba));
    }
  }
  scores_ = e.scores;
  sticks_ = e.kyotaku;
  hands_ = {};
  seen_ = {};
  red_seen_ = {};
  for (int seat = 0; seat < 4; ++seat) {
    if (e.tehai_sizes[seat] != 13) {
      return fault(Check::HandNotThirteen, seat, "dealt " + std::to_string(e.tehai_sizes[seat]) + " tiles, not 13");
    }
    for (int i = 0; i < 13; ++i) {
      const Tile tile = e.tehais[seat][i];
      ++hands_[seat].tiles[static_cast<std::size_t>(tile)];
      if (auto f = see(tile, seat)) return f;
    }
  }
  if (auto f = see(e.dora_marker, std::nullopt)) return f;
  turn_ = e.oya;
  draws_ = kans_ = indicators_ = 0;
  open_kan_undrawn_ = false;
  has_discard_ = false;
  riichi_pending_ = -1;
  wins_ = 0;
  winners_ = 0;
  ron_target_ = -1;
  last_was_ron_ = draw_ = dealer_won_ = stick_collected_ = false;
  dealer_kept_.reset();
  phase_ = Phase::Draw;
  return std::nullopt;
}

Replay::Fault Replay::tsumo(const Event& e) {
  const bool replacement = phase_ == Phase::Rinshan;
  if ((phase_ != Phase::Draw && !replacement) || e.actor != (replacement || !has_discard_ ? turn_ : (turn_ + 1) % 4)) {
    return fault(Check::DrawOutOfTurn, e.actor, "draws out of turn");
  }
  if (riichi_pending_ >= 0) {
    return fault(Check::RiichiNotAccepted, riichi_pending_, "the riichi is not accepted before the next draw");
  }
  if (replacement && kans_ - indicators_ > (kan_kind_ == KanKind::Closed ? 0 : 1)) {
    return fault(Check::DoraMissing, e.actor, "a replacement draw before the last kan's dora indicator");
  }
  if (++draws_ > live_wall) return fault(Check::TooManyDraws, e.actor, "a 71st draw in the round");
  if (auto f = see(e.pai, e.actor)) return f;
  Hand& hand = hands_[e.actor];
  ++hand.tiles[static_cast<std::size_t>(e.pai)];
  hand.drawn = e.pai;
  hand.has_drawn = true;
  hand.forbidden = 0;
  turn_ = e.actor;
  has_discard_ = false;
  if (replacement) open_kan_undrawn_ = false;
  phase_ = Phase::Act;
  return std::nullopt;
}

Replay::Fault Replay::dahai(const Event& e) {
  if ((phase_ != Phase::Act && phase_ != Phase::Riichi) || e.actor != turn_) {
    return fault(Check::DiscardOutOfTurn, e.actor, "discards out of turn");
  }
  Hand& hand = hands_[e.actor];
  const bool drawn = hand.has_drawn && hand.drawn == e.pai;
  if (hand.riichi && hand.has_drawn && hand.drawn != Tile::Unknown && !drawn) {
    return fault(Check::RiichiHandChanged, e.actor, "in riichi, discards " + name(e.pai) + " but drew " + name(hand.drawn));
  }
  const int kind = kind_of(e.pai);
  if (hand.forbidden & (std::uint64_t{1} << kind)) {
    return fault(Check::SwapCall, e.actor, "discards " + name(e.pai) + ", which the call just made may not be swapped for");
  }
  if (auto f = take(e.actor, e.pai, "a discard")) return f;
  const bool hidden_draw = hand.has_drawn && hand.drawn == Tile::Unknown;
  if (e.tsumogiri && !drawn && !hidden_draw) {
    return fault(Check::TsumogiriWrong, e.actor,
                 hand.has_drawn ? "tsumogiri of " + name(e.pai) + ", but the tile drawn was " + name(hand.drawn)
                                : "tsumogiri of " + name(e.pai) + " after a call, with no tile drawn");
  }
  if (!e.tsumogiri && drawn && hand.tiles[static_cast<std::size_t>(e.pai)] == 0 && !hand.hidden()) {
    return fault(Check::TsumogiriWrong, e.actor, "the discard of " + name(e.pai) + " is the tile just drawn, but not marked tsumogiri");
  }
  if (phase_ == Phase::Riichi) {
    if (options_.hand_shapes && !hand.hidden() && waits(hand.kinds(), hand.melds) == 0) {
      return fault(Check::RiichiHandNotReady, e.actor, "riichi with a hand that is not ready after discarding " + name(e.pai));
    }
    hand.riichi = true;
    riichi_pending_ = e.actor;
  }
  hand.has_drawn = false;
  hand.forbidden = 0;
  has_discard_ = true;
  discarder_ = e.actor;
  discarded_ = e.pai;
  phase_ = Phase::Draw;
  return std::nullopt;
}

Replay::Fault Replay::new_kan(int seat, KanKind kind) {
  if (++kans_ > 4) return fault(Check::TooManyKans, seat, "a fifth kan in the round");
  kan_kind_ = kind;
  open_kan_undrawn_ = kind != KanKind::Closed;
  Hand& hand = hands_[seat];
  hand.has_drawn = false;
  turn_ = seat;
  phase_ = Phase::Rinshan;
  return std::nullopt;
}

Replay::Fault Replay::call(const Event& e) {
  const std::string_view what = e.kind == Kind::Chi ? "chi" : e.kind == Kind::Pon ? "pon" : "daiminkan";
  if (phase_ != Phase::Draw) return fault(Check::EventOutOfPlace, e.actor, std::string(what) + " with no discard to call");
  if (!has_discard_ || e.target != discarder_ || e.pai != discarded_) {
    return fault(Check::CallNotLastDiscard, e.actor, std::string(what) + " of " + name(e.pai) + " from seat " +
                                                         std::to_string(e.target) + ", which is not the last discard");
  }
  if (e.kind == Kind::Chi ? e.actor != (e.target + 1) % 4 : e.actor == e.target) {
    return fault(Check::CallFromWrongSeat, e.actor, std::string(what) + " from " + seat_text(e.target));
  }
  if (riichi_pending_ >= 0) {
    return fault(Check::RiichiNotAccepted, riichi_pending_, "the riichi is not accepted before the call");
  }
  Hand& hand = hands_[e.actor];
  if (hand.riichi) return fault(Check::RiichiHandChanged, e.actor, "calls " + std::string(what) + " in riichi");
  std::array<int, 4> kinds{kind_of(e.pai)};
  for (int i = 0; i < e.consumed_count; ++i) kinds[i + 1] = kind_of(e.consumed[i]);
  const int n = e.consumed_count + 1;
  for (int i = 1; i < n; ++i) {  // four at most: an insertion sort
    for (int j = i; j > 0 && kinds[j - 1] > kinds[j]; --j) std::swap(kinds[j - 1], kinds[j]);
  }
  const bool same = kinds[0] == kinds[n - 1];
  const bool run = kinds[2] < 27 && kinds[0] / 9 == kinds[2] / 9 && kinds[1] == kinds[0] + 1 && kinds[2] == kinds[0] + 2;
  if (e.kind == Kind::Chi ? !run : !same) {
    return fault(Check::CallTilesWrong, e.actor, std::string(what) + " of " + name(e.pai) + " with tiles that do not make its set");
  }
  for (int i = 0; i < e.consumed_count; ++i) {
    if (auto f = take(e.actor, e.consumed[i], what)) return f;
  }
  ++hand.melds;
  hand.open = true;
  has_discard_ = false;
  if (e.kind == Kind::Daiminkan) return new_kan(e.actor, KanKind::Open);
  const int called = kind_of(e.pai);
  hand.forbidden = std::uint64_t{1} << called;
  if (e.kind == Kind::Pon) {
    hand.pons |= std::uint64_t{1} << called;
  } else if (called == kinds[0] && kinds[2] % 9 != 8) {
    hand.forbidden |= std::uint64_t{1} << (kinds[2] + 1);
  } else if (called == kinds[2] && kinds[0] % 9 != 0) {
    hand.forbidden |= std::uint64_t{1} << (kinds[0] - 1);
  }
  hand.has_drawn = false;
  turn_ = e.actor;
  phase_ = Phase::Act;
  return std::nullopt;
}

Replay::Fault Replay::ankan(const Event& e) {
  Hand& hand = hands_[e.actor];
  if (phase_ != Phase::Act || e.actor != turn_ || !hand.has_drawn) {
    return fault(Check::EventOutOfPlace, e.actor, "ankan out of turn");
  }
  const int kind = kind_of(e.consumed[0]);
  for (int i = 1; i < 4; ++i) {
    if (kind_of(e.consumed[i]) != kind) return fault(Check::CallTilesWrong, e.actor, "ankan of tiles of more than one kind");
  }
  std::uint64_t before = 0;
  const bool riichi = options_.hand_shapes && hand.riichi && !hand.hidden();
  if (riichi) {
    Hand waiting = hand;
    (void)waiting.take(hand.drawn);
    before = waits(waiting.kinds(), hand.melds);
  }
  for (int i = 0; i < 4; ++i) {
    if (auto f = take(e.actor, e.consumed[i], "ankan")) return f;
  }
  ++hand.melds;
  if (riichi && (kind_of(hand.drawn) != kind || waits(hand.kinds(), hand.melds) != before)) {
    return fault(Check::RiichiHandChanged, e.actor, "in riichi, a closed kan that changes the wait");
  }
  kan_tile_ = e.consumed[0];
  return new_kan(e.actor, KanKind::Closed);
}

Replay::Fault Replay::kakan(const Event& e) {
  Hand& hand = hands_[e.actor];
  if (phase_ != Phase::Act || e.actor != turn_ || !hand.has_drawn) {
    return fault(Check::EventOutOfPlace, e.actor, "kakan out of turn");
  }
  if (hand.riichi) return fault(Check::RiichiHandChanged, e.actor, "kakan in riichi");
  const int kind = kind_of(e.pai);
  if (!(hand.pons & (std::uint64_t{1} << kind))) {
    return fault(Check::CallTilesWrong, e.actor, "kakan of " + name(e.pai) + " with no pon of it");
  }
  if (auto f = take(e.actor, e.pai, "kakan")) return f;
  hand.pons &= ~(std::uint64_t{1} << kind);
  kan_tile_ = e.pai;
  return new_kan(e.actor, KanKind::Added);
}

Replay::Fault Replay::dora(const Event& e) {
  if (kans_ - indicators_ - (open_kan_undrawn_ ? 1 : 0) <= 0) {
    return fault(Check::DoraWithoutKan, std::nullopt, "a dora indicator with no kan to show it for");
  }
  ++indicators_;
  return see(e.dora_marker, std::nullopt);
}

Replay::Fault Replay::reach(const Event& e) {
  Hand& hand = hands_[e.actor];
  if (phase_ != Phase::Act || e.actor != turn_ || !hand.has_drawn || hand.riichi) {
    return fault(Check::EventOutOfPlace, e.actor, hand.riichi ? "a second riichi" : "riichi out of turn");
  }
  if (hand.open) return fault(Check::RiichiOpenHand, e.actor, "riichi with an open hand");
  if (scores_[e.actor] < 1000) {
    return fault(Check::RiichiWithoutPoints, e.actor, "riichi with " + std::to_string(scores_[e.actor]) + " points");
  }
  if (live_wall - draws_ < 4) {
    return fault(Check::RiichiWallTooShort, e.actor, "riichi with " + std::to_string(live_wall - draws_) + " tiles left in the wall");
  }
  phase_ = Phase::Riichi;
  return std::nullopt;
}

Replay::Fault Replay::reach_accepted(const Event& e) {
  if (e.actor != riichi_pending_) {
    return fault(Check::ReachAcceptedOutOfPlace, e.actor, "reach_accepted with no riichi discard of this seat to accept");
  }
  riichi_pending_ = -1;
  scores_[e.actor] -= 1000;
  ++sticks_;
  return std::nullopt;
}

Replay::Fault Replay::pay(const Event& e, bool win) {
  if (!e.has_deltas) return std::nullopt;
  std::int64_t sum = 0;
  for (std::int64_t delta : e.deltas) sum += delta;
  const std::int64_t table = win && !stick_collected_ ? 1000 * sticks_ : 0;
  if (sum != 0 && sum != table) {
    return fault(Check::DeltasDoNotSum, e.actor,
                 "the deltas sum to " + std::to_string(sum) +
                     (table != 0 ? ", not to 0 or to the " + std::to_string(table) + " of the sticks on the table" : ", not to 0"));
  }
  if (sum != 0) stick_collected_ = true;
  for (int seat = 0; seat < 4; ++seat) scores_[seat] += e.deltas[seat];
  return std::nullopt;
}

Replay::Fault Replay::hora(const Event& e) {
  const bool ron = e.actor != e.target;
  Hand& hand = hands_[e.actor];
  Tile tile = Tile::Unknown;
  bool closed_kan = false;
  if (phase_ == Phase::Result) {
    if (!last_was_ron_ || !ron || e.target != ron_target_ || (winners_ & (1u << e.actor)) || wins_ >= 2) {
      return fault(Check::TooManyWins, e.actor, draw_ ? "a win after the round's draw" : "a further win after the round's result");
    }
    tile = kan_tile_;
    if (has_discard_) tile = discarded_;
  } else if (!ron) {
    if (phase_ != Phase::Act || e.actor != turn_ || !hand.has_drawn) {
      return fault(Check::WrongWinTarget, e.actor, "a win by tsumo without a tile just drawn");
    }
    tile = hand.drawn;
  } else if (phase_ == Phase::Draw && has_discard_ && e.target == discarder_) {
    tile = discarded_;
  } else if (phase_ == Phase::Rinshan && e.target == turn_ && open_kan_undrawn_ && kan_kind_ == KanKind::Added) {
    tile = kan_tile_;
  } else if (phase_ == Phase::Rinshan && e.target == turn_ && kan_kind_ == KanKind::Closed) {
    tile = kan_tile_;
    closed_kan = true;
  } else {
    return fault(Check::WrongWinTarget, e.actor, "a ron on " + seat_text(e.target) + ", whose tile is not the one to win on");
  }
  if (e.has_pai && e.pai != tile && tile != Tile::Unknown) {
    return fault(Check::WrongWinningTile, e.actor, "the win names " + name(e.pai) + ", but the tile won on is " + name(tile));
  }
  if (options_.hand_shapes && !hand.hidden() && tile != Tile::Unknown) {
    Kinds kinds = hand.kinds();
    if (ron) ++kinds[kind_of(tile)];
    if (!complete(kinds, hand.melds)) {
      return fault(Check::HandNotComplete, e.actor, "wins on " + name(tile) + " with a hand that is not complete");
    }
    if (closed_kan && !(hand.melds == 0 && kinds[kind_of(tile)] == 2 && std::ranges::count(kinds, 0) == 34 - 13)) {
      return fault(Check::WrongWinTarget, e.actor, "a ron on a closed kan with a hand that is not thirteen orphans");
    }
  }
  if (ron && riichi_pending_ == e.target) riichi_pending_ = -1;  // the riichi discard won on pays no stick
  if (auto f = pay(e, true)) return f;
  ++wins_;
  winners_ |= static_cast<std::uint8_t>(1u << e.actor);
  last_was_ron_ = ron;
  ron_target_ = e.target;
  if (e.actor == oya_) dealer_won_ = true;
  dealer_kept_ = dealer_won_;
  phase_ = Phase::Result;
  return std::nullopt;
}

Replay::Fault Replay::ryukyoku(const Event& e) {
  if (phase_ == Phase::Riichi) return fault(Check::EventOutOfPlace, std::nullopt, "a draw between a riichi and its discard");
  if (auto f = pay(e, false)) return f;
  draw_ = true;
  if (draws_ < live_wall) {
    dealer_kept_ = true;  // an abortive draw keeps the dealer
  } else if (!hands_[oya_].hidden()) {
    dealer_kept_ = waits(hands_[oya_].kinds(), hands_[oya_].melds) != 0;
  }
  phase_ = Phase::Result;
  return std::nullopt;
}

Replay::Fault Replay::end_kyoku() {
  if (phase_ != Phase::Result) return fault(Check::RoundWithoutResult, std::nullopt, "end_kyoku before the round's result");
  if (wins_ > 0 && sticks_ > 0 && !stick_collected_) {
    return fault(Check::DeltasDoNotSum, std::nullopt,
                 "the win leaves the " + std::to_string(sticks_) + " riichi sticks on the table uncollected");
  }
  if (wins_ > 0) sticks_ = 0;
  // The game's end after this round, under either length of game.
  must_end_ = ending_after(1) == Ending::Must && ending_after(2) == Ending::Must;
  may_end_ = ending_after(1) != Ending::GoesOn || ending_after(2) != Ending::GoesOn;
  played_round_ = true;
  last_wind_ = wind_, last_kyoku_ = kyoku_, last_honba_ = honba_;
  last_dealer_kept_ = dealer_kept_;
  last_draw_ = draw_;
  last_dealer_won_ = dealer_won_;
  in_round_ = false;
  phase_ = Phase::Between;
  return std::nullopt;
}

Replay::Fault Replay::end_game() {
  if (phase_ != Phase::Between) return fault(Check::RoundWithoutResult, std::nullopt, "end_game inside a round");
  if (!may_end_) warn(Check::GameEndsEarly, std::nullopt, "the game ends before its length is played out");
  phase_ = Phase::AfterGame;
  return std::nullopt;
}

// Feeds each line of `all` to the replay; `padded` says whether the bytes
// past a line may be read, else a line the plain reader does not take is
// copied into a padded buffer first (a line past the bound is refused
// before any copy).
Verdict replay_lines(std::string_view all, bool padded, Options options) {
  Replay replay(options);
  PaddedText scratch;
  std::uint64_t number = 0;
  for (std::size_t at = 0; at < all.size();) {
    const void* newline = std::memchr(all.data() + at, '\n', all.size() - at);
    const std::size_t end = newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - all.data()) : all.size();
    std::string_view line = all.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (options.plain_reader && line.size() <= record_limit && read_plain_event(line, replay.next_event())) {
      if (!replay.event({}, number)) break;
      continue;
    }
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (!padded && line.size() <= record_limit) {
      if (scratch.capacity() < line.size()) scratch = PaddedText(std::max(line.size(), 2 * scratch.capacity()));
      std::memcpy(scratch.data(), line.data(), line.size());
      scratch.resize_within(line.size());
      line = scratch.view();
    }
    if (!replay.line(line, number)) break;
  }
  return replay.finish();
}

}  // namespace

Verdict validate_stream(const PaddedText& text, Options options) { return replay_lines(text.view(), true, options); }

Verdict validate_text(std::string_view text, Options options) { return replay_lines(text, false, options); }

Verdict validate_events(std::span<const std::string_view> events, Options options) {
  Replay replay(options);
  PaddedText scratch;
  std::uint64_t number = 0;
  for (std::string_view event : events) {
    ++number;
    while (!event.empty() && (event.back() == '\n' || event.back() == '\r')) event.remove_suffix(1);
    if (options.plain_reader && event.size() <= record_limit && read_plain_event(event, replay.next_event())) {
      if (!replay.event({}, number)) break;
      continue;
    }
    if (event.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (event.size() <= record_limit) {
      if (scratch.capacity() < event.size()) scratch = PaddedText(std::max(event.size(), 2 * scratch.capacity()));
      std::memcpy(scratch.data(), event.data(), event.size());
      scratch.resize_within(event.size());
      event = scratch.view();
    }
    if (!replay.line(event, number)) break;
  }
  return replay.finish();
}

}  // namespace pairo::validate
