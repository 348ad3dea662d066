// The names of the checks, one row each in the order of Check: reports and
// tests match on them, so a name once given is never changed.
#include <array>

#include "validate/validate.hpp"

namespace pairo::validate {
namespace {

constexpr std::array<std::string_view, check_count> names = {
    "not_json", "line_too_long", "unknown_type", "missing_key", "bad_value", "not_a_seat", "not_a_tile",
    "no_start_game", "event_out_of_place", "truncated", "round_without_result", "too_many_wins",
    "tile_seen_five_times", "red_five_not_in_game", "hand_not_thirteen", "too_many_draws", "too_many_kans",
    "draw_out_of_turn", "discard_out_of_turn", "tile_not_in_hand", "tsumogiri_wrong",
    "call_from_wrong_seat", "call_not_last_discard", "call_tiles_wrong", "swap_call", "dora_without_kan",
    "dora_missing",
    "riichi_open_hand", "riichi_without_points", "riichi_wall_too_short", "riichi_hand_not_ready",
    "riichi_not_accepted", "reach_accepted_out_of_place", "riichi_hand_changed",
    "hand_not_complete", "wrong_win_target", "wrong_winning_tile",
    "deltas_do_not_sum", "scores_do_not_carry", "sticks_do_not_carry",
    "dealer_does_not_follow", "honba_does_not_follow", "game_ends_early", "game_goes_on",
};

}  // namespace

std::string_view check_name(Check check) noexcept { return names[static_cast<std::size_t>(check)]; }

std::string shown(const Finding& finding) {
  std::string text = "line " + std::to_string(finding.line);
  if (finding.round || finding.seat) {
    text += " (";
    if (finding.round) text += "round " + round_label(*finding.round);
    if (finding.seat) text += (finding.round ? ", seat " : "seat ") + std::to_string(*finding.seat);
    text += ')';
  }
  return text + ": " + finding.message;
}

}  // namespace pairo::validate
