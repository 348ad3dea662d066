// From the decoded log to the compact game record the driver walks: the
// three-player check, the game-level start values and each round's outcome.
#include <optional>
#include <string_view>

#include "pairo/conv/conv.hpp"

namespace pairo::conv {
namespace {

using tenhou::JsonValue;
using tenhou::ResultItem;

[[nodiscard]] bool contains(std::string_view text, std::string_view part) noexcept {
  return text.find(part) != std::string_view::npos;
}

[[nodiscard]] bool is_three_player(std::string_view disp) noexcept {
  return contains(disp, "三") || contains(disp, "3-Player");
}

// East-only games start their rounds at kyoku 4 in the mjai count.
[[nodiscard]] std::uint8_t kyoku_first_of(std::string_view disp) noexcept {
  return contains(disp, "東") || contains(disp, "East") ? 4 : 0;
}

// Any red five in play turns the flag on; the counts are not summed, so no
// combination of them can wrap around to zero.
[[nodiscard]] bool aka_flag_of(const tenhou::Rule& rule) noexcept {
  return rule.aka != 0 || rule.aka51 != 0 || rule.aka52 != 0 || rule.aka53 != 0;
}

// A seat in a win's detail list: an integer written without fraction or
// exponent, 0 to 3. Everything else makes the detail unusable.
[[nodiscard]] std::optional<Seat> seat_of(const JsonValue& value) noexcept {
  if (const auto* u = std::get_if<std::uint64_t>(&value.value)) {
    if (*u <= 3) return static_cast<Seat>(*u);
  } else if (const auto* i = std::get_if<std::int64_t>(&value.value)) {
    if (*i >= 0 && *i <= 3) return static_cast<Seat>(*i);
  }
  return std::nullopt;
}

[[gnu::cold]] Error three_player(std::string_view disp) {
  return Error(ErrorKind::ThreePlayer, "a three-player game (rule \"" + std::string(disp) + "\")");
}

constexpr const char* not_seats = "a win's detail does not begin with the winner's and the payer's seats, 0 to 3";

[[gnu::cold]] Error bad_win_detail(const char* message) { return Error(ErrorKind::BadWinDetail, message); }

// The items after the marker are whole (deltas, detail) pairs, at least
// one: anything else would drop a win without a word.
[[nodiscard]] std::expected<KyokuOutcome, Error> wins_of(const std::vector<ResultItem>& results) {
  const std::size_t items = results.size() - 1;
  if (items == 0 || items % 2 != 0) {
    return std::unexpected(bad_win_detail("a win's results are not whole pairs of score changes and detail"));
  }
  KyokuOutcome::Wins wins;
  wins.wins.reserve(items / 2);
  for (std::size_t at = 1; at < results.size(); at += 2) {
    const auto* deltas = std::get_if<ResultItem::Deltas>(&results[at].value);
    const auto* detail = std::get_if<ResultItem::Values>(&results[at + 1].value);
    if (deltas == nullptr || detail == nullptr) {
      return std::unexpected(bad_win_detail("a win's results are not whole pairs of score changes and detail"));
    }
    if (detail->values.size() < 2) return std::unexpected(bad_win_detail(not_seats));
    const auto actor = seat_of(detail->values[0]);
    const auto target = seat_of(detail->values[1]);
    if (!actor || !target) return std::unexpected(bad_win_detail(not_seats));
    wins.wins.push_back(WinRecord{deltas->values, *actor, *target});
  }
  return KyokuOutcome{std::move(wins)};
}

[[nodiscard]] std::expected<KyokuOutcome, Error> outcome_of(const std::vector<ResultItem>& results) {
  const auto* head = results.empty() ? nullptr : std::get_if<ResultItem::Text>(&results[0].value);
  if (head == nullptr) return KyokuOutcome{KyokuOutcome::Draw{}};
  if (head->text == tenhou::win_result) return wins_of(results);
  KyokuOutcome::Draw draw{.four_riichi = head->text == tenhou::four_riichi_result};
  if (results.size() >= 2) {
    if (const auto* deltas = std::get_if<ResultItem::Deltas>(&results[1].value)) draw.deltas = deltas->values;
  }
  return KyokuOutcome{draw};
}

}  // namespace

std::expected<PreparedLog, Error> prepare_log(tenhou::RawLog raw) {
  const std::string_view disp = raw.rule.disp;
  if (is_three_player(disp)) return std::unexpected(three_player(disp));

  PreparedLog log;
  log.kyoku_first = kyoku_first_of(disp);
  log.aka_flag = aka_flag_of(raw.rule);
  log.names = std::move(raw.name);
  log.kyokus.reserve(raw.log.size());
  for (tenhou::RawKyoku& round : raw.log) {
    auto outcome = outcome_of(round.results);
    if (!outcome) {
      outcome.error().round = Round{round.meta.kyoku, round.meta.honba};
      return std::unexpected(std::move(outcome.error()));
    }
    log.kyokus.push_back(PreparedKyoku{
        .dora_indicators = std::move(round.dora_indicators),
        .ura_indicators = std::move(round.ura_indicators),
        .draws = std::move(round.draws),
        .discards = std::move(round.discards),
        .start_hands = round.start_hands,
        .outcome = std::move(*outcome),
        .scores = round.scores,
        .kyoku = round.meta.kyoku,
        .honba = round.meta.honba,
        .kyotaku = round.meta.kyotaku,
    });
  }
  return log;
}

}  // namespace pairo::conv
