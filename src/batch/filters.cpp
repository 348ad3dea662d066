// The filters' verdict on a game from the facts known of it so far: each
// filter decides on the one fact it needs, and a game is left out by the
// first filter that refuses it, kept once every filter has accepted it.
#include "batch/batch.hpp"
#include "mjlog/game_type.hpp"

namespace batch {
namespace {

namespace type_bits = mjlog::game_type;

std::uint8_t level_of(std::uint32_t type) noexcept {
  switch (type & type_bits::level_bits) {
    case 0x80: return joukyuu;
    case 0x20: return tokujou;
    case 0xa0: return houou;
    default: return ippan;
  }
}

std::uint8_t rules_of(std::uint32_t type) noexcept {
  std::uint8_t rules = 0;
  if (!(type & type_bits::no_red_fives)) rules |= red_fives;
  if (!(type & type_bits::no_open_tanyao)) rules |= open_tanyao;
  if (type & type_bits::fast) rules |= fast_play;
  return rules;
}

}  // namespace

Verdict judge(const Filters& filters, const formats::GameFacts& facts) noexcept {
  std::string_view undecided;
  // Whether the filter refuses the game; an unknown fact leaves it open.
  const auto refuses = [&](std::string_view name, bool active, bool known, auto&& accepts) {
    if (!active) return false;
    if (!known) {
      if (undecided.empty()) undecided = name;
      return false;
    }
    return !accepts();
  };
  const std::uint32_t type = facts.type.value_or(0);
  const auto date = facts.date.value_or(0);
  const std::pair<std::string_view, bool> refusals[] = {
      {"length", refuses("length", filters.length != Length::Any, facts.type.has_value(),
                         [&] { return ((type & type_bits::east_south) != 0) == (filters.length == Length::South); })},
      {"lobby", refuses("lobby", filters.levels != 0, facts.type.has_value(),
                        [&] { return (filters.levels & level_of(type)) != 0; })},
      {"public", refuses("public", filters.public_only, facts.public_lobby.has_value(),
                         [&] { return *facts.public_lobby; })},
      {"rules", refuses("rules", filters.required || filters.refused, facts.type.has_value(), [&] {
         const std::uint8_t rules = rules_of(type);
         return (rules & filters.required) == filters.required && (rules & filters.refused) == 0;
       })},
      {"since", refuses("since", filters.since != 0, facts.date.has_value(), [&] { return date >= filters.since; })},
      {"until", refuses("until", filters.until != 0, facts.date.has_value(), [&] { return date <= filters.until; })},
      {"skip-disconnected", refuses("skip-disconnected", filters.skip_disconnected, facts.disconnected.has_value(),
                                    [&] { return !*facts.disconnected; })},
  };
  for (const auto& [name, refused] : refusals) {
    if (refused) return {Verdict::Kind::Leave, name};
  }
  if (!undecided.empty()) return {Verdict::Kind::Undecided, undecided};
  return {};
}

}  // namespace batch
