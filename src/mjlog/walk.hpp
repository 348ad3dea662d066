// The walk over a record's elements, in the order of play, and the two
// readers that feed it: the one pass over the bytes, which takes the fixed
// shape Tenhou writes, and the reader of pugixml's parsed document, which
// takes any well-formed XML and explains every refusal. Both hand the walk
// the same elements with the same attributes, so one set of rules reads a
// record whichever reader found its elements.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "mjlog/parts.hpp"

namespace mjlog::parts {

struct Attribute {
  std::string_view name;
  std::string_view value;
};

// An element's attributes as written; a name given twice counts once, the
// first time, as the parsed document's lookup does.
class Attributes {
 public:
  explicit Attributes(std::span<const Attribute> all) noexcept : all_(all) {}

  // The first value of `name`, or nullptr.
  [[nodiscard]] const std::string_view* find(std::string_view name) const noexcept {
    // Names are a few bytes: compared here rather than by a call. Names of
    // one length mostly differ in their last byte (`hai0`..`hai3`, `n0`..`n3`):
    // that is looked at first. No name is empty.
    const std::size_t last = name.size() - 1;
    for (const Attribute& a : all_) {
      if (a.name.size() != name.size() || a.name[last] != name[last]) continue;
      std::size_t i = 0;
      while (i < name.size() && a.name[i] == name[i]) ++i;
      if (i == name.size()) return &a.value;
    }
    return nullptr;
  }

 private:
  std::span<const Attribute> all_;
};

// `T12`, `D5`...: the seat (0-3) and the tile id, for a draw or discard
// element. The id is read here, the most frequent number of a record.
struct PlayName {
  bool is_draw = false;
  Seat seat = 0;
  std::string_view digits;
  int id = 0;  // tile_id_count when too large
};

[[nodiscard]] inline std::optional<PlayName> play_name(std::string_view name) noexcept {
  if (name.size() < 2) return std::nullopt;
  const char letter = name[0];
  const bool is_draw = letter >= 'T' && letter <= 'W';
  if (!is_draw && !(letter >= 'D' && letter <= 'G')) return std::nullopt;
  int id = 0;
  for (std::size_t i = 1; i < name.size(); ++i) {
    const unsigned d = static_cast<unsigned char>(name[i]) - unsigned{'0'};
    if (d > 9) return std::nullopt;
    id = std::min(10 * id + static_cast<int>(d), tile_id_count);
  }
  return PlayName{is_draw, static_cast<Seat>(letter - (is_draw ? 'T' : 'D')), name.substr(1), id};
}

class Walk {
 public:
  // The root's own attributes (`ver`).
  [[nodiscard]] Done root(const Attributes& attributes);
  // Reads one child of the root, which starts at byte `at` of the text (for
  // a text the record cannot write); a fault names what is wrong with it.
  [[nodiscard]] Done element(std::string_view name, const Attributes& attributes, std::size_t at);
  // A draw or discard element, named as play_name reads it.
  [[nodiscard]] Done play(const PlayName& name);
  // The same for the one pass: false where play refuses, which the one pass
  // leaves to the parsed document's reader to explain.
  [[nodiscard, gnu::always_inline]] bool took_play(bool is_draw, Seat seat, int id) {
    ++steps_;
    if (!play_ || result_seen_ || id >= tile_id_count) [[unlikely]] return false;
    const auto tile = static_cast<TileId>(id);
    return is_draw ? play_->drew(seat, tile) : play_->discarded(seat, tile);
  }
  // The run of plays the one pass reads at once: the round being played,
  // or nullptr where no play may come (before the first deal, after the
  // round's result); then how many plays the run took.
  [[nodiscard]] RoundPlay* playing() noexcept { return play_ && !result_seen_ ? &*play_ : nullptr; }
  void took_plays(std::uint32_t count) noexcept { steps_ += count; }
  [[nodiscard]] Done finish() const;
  [[nodiscard]] bool stopped() const noexcept { return record_.three_player; }
  // The round being played, as its INIT numbers it: where a fault lies.
  // None before the first deal and while an INIT is read.
  [[nodiscard]] std::optional<pairo::Round> round() const noexcept {
    if (!play_) return std::nullopt;
    const tenhou::KyokuMeta& meta = record_.log.log.back().meta;
    return pairo::Round{meta.kyoku, meta.honba};
  }
  [[nodiscard]] Record take() && { return std::move(record_); }

 private:
  [[nodiscard]] Done go(const Attributes& node);
  [[nodiscard]] Done player_list(const Attributes& node);
  [[nodiscard]] Done players(const Attributes& node);
  [[nodiscard]] Done reconnect(const Attributes& node);
  [[nodiscard]] Done bye(const Attributes& node);
  [[nodiscard]] Done init(const Attributes& node);
  [[nodiscard]] Done call(const Attributes& node);
  [[nodiscard]] Done reach(const Attributes& node);
  [[nodiscard]] Done dora(const Attributes& node);
  [[nodiscard]] Done agari(const Attributes& node);
  [[nodiscard]] Done ryuukyoku(const Attributes& node);
  [[nodiscard]] Done owari(const Attributes& node);
  [[nodiscard]] Done in_play() const;
  [[nodiscard]] Checked<std::array<std::int32_t, 4>> deltas(const Attributes& node);
  void stop_as_three_player();
  // Keeps the first text the record cannot write; reading goes on.
  void unwritable(const Fault& fault);

  Record record_;
  std::string_view name_;  // of the element being read
  std::size_t at_ = 0;     // where it starts
  bool go_seen_ = false;
  bool taikyoku_seen_ = false;
  bool players_seen_ = false;
  bool red_fives_ = true;
  RoundStreams streams_;  // the round's play until its result, shared by the rounds
  std::optional<RoundPlay> play_;
  Seat dealer_ = 0;
  bool result_seen_ = false;
  bool won_ = false;
  bool ura_seen_ = false;
  std::uint32_t steps_ = 0;  // elements of the round's play so far, for connection events
};

// The one pass: the record, or nothing where the text leaves the fixed shape
// or the walk refuses it; the parsed document's reader then reads it again.
[[nodiscard]] std::optional<Record> read_directly(std::string_view text);

// The reader of pugixml's document, parsed in place (the buffer is overwritten).
[[nodiscard]] std::expected<Record, ReadError> read_parsed(char* xml, std::size_t size);

}  // namespace mjlog::parts
