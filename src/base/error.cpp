#include "base/error.hpp"

#include <array>

namespace pairo {
namespace {

struct KindInfo {
  Stage stage;
  std::string_view name;
};

// In the order of ErrorKind.
constexpr std::array<KindInfo, 18> kinds = {{
    {Stage::Decode, "syntax"},
    {Stage::Decode, "invalid_type"},
    {Stage::Decode, "invalid_value"},
    {Stage::Decode, "invalid_length"},
    {Stage::Decode, "missing_field"},
    {Stage::Decode, "duplicate_field"},
    {Stage::Decode, "not_a_tile"},
    {Stage::Decode, "not_an_item"},
    {Stage::Prepare, "three_player"},
    {Stage::Prepare, "bad_win_detail"},
    {Stage::Convert, "bad_item_text"},
    {Stage::Convert, "bad_tile_text"},
    {Stage::Convert, "number_in_draws"},
    {Stage::Convert, "no_dora_marker"},
    {Stage::Convert, "draws_exhausted"},
    {Stage::Convert, "no_discard_after_reach"},
    {Stage::Convert, "unmatched_call"},
    {Stage::Encode, "texts_too_large"},
}};
static_assert(static_cast<std::size_t>(ErrorKind::TextsTooLarge) + 1 == kinds.size());

constexpr std::array<std::string_view, stage_count> stage_names = {"decode", "prepare", "convert", "encode"};

}  // namespace

Stage stage_of(ErrorKind kind) noexcept { return kinds[static_cast<std::size_t>(kind)].stage; }

std::string_view stage_name(Stage stage) noexcept { return stage_names[static_cast<std::size_t>(stage)]; }

std::string_view kind_name(ErrorKind kind) noexcept { return kinds[static_cast<std::size_t>(kind)].name; }

std::string round_label(Round round) {
  static constexpr std::string_view winds = "ESWN";
  const std::size_t wind = round.kyoku / 4 < 3 ? round.kyoku / 4 : 3;
  std::string label(1, winds[wind]);
  label += std::to_string(round.kyoku - 4 * wind + 1);
  label += '-';
  label += std::to_string(round.honba);
  return label;
}

std::string placed(std::optional<Round> round, std::optional<std::uint8_t> seat, std::string_view message) {
  std::string place;
  if (round) place = "round " + round_label(*round);
  if (seat) place += (place.empty() ? "seat " : ", seat ") + std::to_string(*seat);
  return place.empty() ? std::string(message) : place + ": " + std::string(message);
}

std::string Error::detail() const { return placed(round, seat, message); }

Diagnosis diagnosis_of(const Error& error) {
  return {stage_of(error), kind_name(error.kind), error.round, error.seat, error.item, error.message};
}

}  // namespace pairo
