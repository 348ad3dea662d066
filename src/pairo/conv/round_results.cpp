// The close of a round: a hora per winner, or the ryukyoku, then end_kyoku.
#include "pairo/conv/conv.hpp"

namespace pairo::conv {

void append_round_results(Events& round_events, const PreparedKyoku& kyoku) {
  if (const auto* draw = std::get_if<KyokuOutcome::Draw>(&kyoku.outcome.value)) {
    round_events.emplace_back(mjai::Ryukyoku{draw->deltas});
  } else {
    // Every winner shows the round's ura indicators, riichi or not.
    for (const WinRecord& win : std::get<KyokuOutcome::Wins>(kyoku.outcome.value).wins) {
      round_events.emplace_back(mjai::Hora{win.actor, win.target, win.deltas, kyoku.ura_indicators});
    }
  }
  round_events.emplace_back(mjai::EndKyoku{});
}

}  // namespace pairo::conv
