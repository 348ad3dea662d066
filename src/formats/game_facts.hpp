// What a game's id and record tell of it without converting it: the facts
// users choose data sets by (its rules' type bits, whether it was played in
// a public lobby, its day, whether a player was disconnected) and its game
// id. Read from the cheapest place that knows each: the id first, then a
// record's GO and BYE elements, or a tenhou.net/6 log's ref, rule, lobby
// and connection list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "archive/game_id.hpp"
#include "formats/registry.hpp"

namespace formats {

struct GameFacts {
  std::optional<std::uint32_t> type;  // the GO type bits (from 0x100 up only where an id or GO tells them)
  std::optional<bool> public_lobby;   // lobby number 0 and no type bits from 0x100 up
  std::optional<std::uint32_t> date;  // YYYYMMDD, Japan time
  std::optional<bool> disconnected;   // a BYE, or a disconnection in the connection list
  std::string id;                     // a tenhou.net/6 log's ref when it is a game id; else empty

  // Fills what this does not know from `later`.
  void complete(const GameFacts& later);
};

[[nodiscard]] GameFacts facts_of(const archive::GameId& id);
// A log's text, in its format: an XML record's GO (type, lobby) and BYE; a
// tenhou.net/6 log's ref (and through it the rest), rule.disp and aka
// values, lobby, and connection list (none: no disconnection). Nothing for
// an mjai stream, or a text that does not parse.
[[nodiscard]] GameFacts facts_of(std::string_view text, Format format);

}  // namespace formats
