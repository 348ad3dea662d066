#include "base/error.hpp"

#include "base/failure.hpp"

#include <array>

namespace pairo {
namespace {

constexpr std::array<std::string_view, stage_count> stage_names = {"decode", "prepare", "convert", "encode"};

}  // namespace

// A kind's stage and name are its row's in the failure table.
Stage stage_of(ErrorKind kind) noexcept {
  const std::string_view stage = failure_row(code_of(kind)).stage;
  std::size_t at = 0;
  while (at + 1 < stage_names.size() && stage_names[at] != stage) ++at;
  return static_cast<Stage>(at);
}

std::string_view stage_name(Stage stage) noexcept { return stage_names[static_cast<std::size_t>(stage)]; }

std::string_view kind_name(ErrorKind kind) noexcept { return failure_row(code_of(kind)).kind; }

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
