// The facts of a game read from its id, its XML record's header elements or
// its tenhou.net/6 log's header keys; the rounds are never looked at.
#include "formats/game_facts.hpp"

#include <simdjson.h>

#include <charconv>

#include "mjlog/game_type.hpp"

namespace formats {
namespace {

namespace type_bits = mjlog::game_type;

// The value of attribute `name` inside one element's text.
std::optional<std::string_view> attribute(std::string_view element, std::string_view name) {
  for (std::size_t at = element.find(name); at != std::string_view::npos; at = element.find(name, at + 1)) {
    const bool starts = at > 0 && (element[at - 1] == ' ' || element[at - 1] == '\t' || element[at - 1] == '\n');
    const std::size_t eq = at + name.size();
    if (!starts || eq + 1 >= element.size() || element[eq] != '=' || element[eq + 1] != '"') continue;
    const std::size_t close = element.find('"', eq + 2);
    if (close == std::string_view::npos) return std::nullopt;
    return element.substr(eq + 2, close - eq - 2);
  }
  return std::nullopt;
}

std::optional<std::uint32_t> number(std::string_view digits) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

GameFacts record_facts(std::string_view text) {
  GameFacts facts;
  // GO comes before the first round; a BYE only among the rounds.
  const auto go = text.find("<GO ");
  if (go != std::string_view::npos) {
    const std::string_view element = text.substr(go, text.find('>', go) - go);
    const auto type = attribute(element, "type");
    const auto bits = type ? number(*type) : std::nullopt;
    if (bits) {
      facts.type = *bits;
      const auto lobby = attribute(element, "lobby");
      const auto lobby_number = lobby ? number(*lobby) : std::optional<std::uint32_t>(0);
      if (lobby_number) facts.public_lobby = *lobby_number == 0 && *bits < 0x100;
    }
  }
  facts.disconnected = text.find("<BYE") != std::string_view::npos;
  return facts;
}

// The type bits that rule.disp ("鳳南喰赤速") and the aka values tell.
std::optional<std::uint32_t> rule_type(simdjson::dom::element rule) {
  std::string_view disp;
  if (rule["disp"].get(disp) != simdjson::SUCCESS) return std::nullopt;
  const auto has = [&](std::string_view mark) { return disp.find(mark) != std::string_view::npos; };
  // Another site's text (a Mahjong Soul room, a tournament's name) tells
  // no Tenhou rules.
  if (!has("般") && !has("上") && !has("特") && !has("鳳")) return std::nullopt;
  std::uint32_t type = 0;
  if (has("上")) type |= 0x80;
  if (has("特")) type |= 0x20;
  if (has("鳳")) type |= 0xa0;
  if (has("南")) type |= type_bits::east_south;
  if (!has("喰")) type |= type_bits::no_open_tanyao;
  bool red = has("赤");
  for (const char* key : {"aka", "aka51", "aka52", "aka53"}) {
    std::int64_t count = 0;
    if (rule[key].get(count) == simdjson::SUCCESS && count > 0) red = true;
  }
  if (!red) type |= type_bits::no_red_fives;
  if (has("速")) type |= type_bits::fast;
  if (has("三")) type |= type_bits::three_players;
  return type;
}

GameFacts log_facts(std::string_view text) {
  GameFacts facts;
  simdjson::dom::parser parser;
  simdjson::dom::element log;
  if (parser.parse(text.data(), text.size()).get(log) != simdjson::SUCCESS) return facts;
  std::string_view ref;
  if (log["ref"].get(ref) == simdjson::SUCCESS) {
    if (const auto id = archive::parse_game_id(ref)) {
      facts = facts_of(*id);
      facts.id = std::string(ref);
    }
  }
  GameFacts told;
  simdjson::dom::element rule;
  if (log["rule"].get(rule) == simdjson::SUCCESS) told.type = rule_type(rule);
  std::int64_t lobby = 0;
  const auto lobby_error = log["lobby"].get(lobby);
  if (lobby_error == simdjson::SUCCESS || lobby_error == simdjson::NO_SUCH_FIELD) told.public_lobby = lobby == 0;
  told.disconnected = false;  // a log without the list had no disconnection
  simdjson::dom::array connection;
  if (log["connection"].get(connection) == simdjson::SUCCESS) {
    for (simdjson::dom::element event : connection) {
      std::int64_t what = -1;
      if (event["what"].get(what) == simdjson::SUCCESS && what == 0) told.disconnected = true;
    }
  }
  facts.complete(told);
  return facts;
}

}  // namespace

void GameFacts::complete(const GameFacts& later) {
  if (!type) type = later.type;
  if (!public_lobby) public_lobby = later.public_lobby;
  if (!date) date = later.date;
  if (!disconnected) disconnected = later.disconnected;
  if (id.empty()) id = later.id;
}

GameFacts facts_of(const archive::GameId& id) {
  GameFacts facts;
  facts.type = id.type;
  facts.public_lobby = id.public_lobby;
  facts.date = id.date;
  return facts;
}

GameFacts facts_of(std::string_view text, Format format) {
  switch (format) {
    case Format::Xml: return record_facts(text);
    case Format::Json: return log_facts(text);
    case Format::Mjai: return {};
  }
  return {};
}

}  // namespace formats
