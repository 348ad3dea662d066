// The walk over the root's elements in the order of play, each read by its
// name into the header, a round's play, its result or the connection events.
#include <algorithm>
#include <cstring>

#include "base/utf8.hpp"
#include "mjlog/game_type.hpp"
#include "mjlog/walk.hpp"

namespace mjlog::parts {
namespace {

using tenhou::ResultItem;

constexpr std::int64_t max_hundreds = 21'474'836;  // scores in hundreds whose points fit 32 bits
constexpr std::int64_t max_id = 0x7fff'ffff;       // yaku and rank ids: any the record may name
using game_type::no_red_fives;
using game_type::three_players;

// ---- Attributes.

[[nodiscard, gnu::cold]] Fault missing(std::string_view name) {
  return {ErrorKind::MissingAttribute, "attribute '" + std::string(name) + "' is missing"};
}

[[nodiscard, gnu::cold]] Fault in_attribute(std::string_view name, const Fault& fault) {
  return {fault.kind, "attribute '" + std::string(name) + "': " + fault.text, fault.seat};
}

[[nodiscard, gnu::cold]] Fault value_count(std::string_view name, std::size_t size, std::string_view expected) {
  return in_attribute(name, {ErrorKind::InvalidLength, std::to_string(size) + " values, not " + std::string(expected)});
}

[[nodiscard]] Checked<std::string_view> required(const Attributes& node, std::string_view name) {
  const std::string_view* value = node.find(name);
  if (value == nullptr) [[unlikely]] return std::unexpected(missing(name));
  return *value;
}

[[nodiscard]] Checked<std::int64_t> int_of(const Attributes& node, std::string_view name, std::int64_t low,
                                           std::int64_t high) {
  auto text = required(node, name);
  if (!text) [[unlikely]] return std::unexpected(std::move(text.error()));
  auto value = parse_int(*text, low, high);
  if (!value) [[unlikely]] return std::unexpected(in_attribute(name, value.error()));
  return value;
}

// A seat, a tile or a meld code as Tenhou writes it, a few plain digits in
// range: read here, inline, as most numbers of a round are; any other text
// goes the long way, which says what is wrong with it.
template <std::int64_t low, std::int64_t high>
[[nodiscard, gnu::always_inline]] inline Checked<std::int64_t> small_int(const Attributes& node, std::string_view name) {
  static_assert(0 <= low && high <= 99'999);
  if (const std::string_view* text = node.find(name); text != nullptr && !text->empty() && text->size() <= 5) {
    std::int64_t value = 0;
    bool digits = true;
    for (const char c : *text) {
      const unsigned d = static_cast<unsigned char>(c) - unsigned{'0'};
      digits &= d < 10;
      value = 10 * value + d;
    }
    if (digits && value >= low && value <= high) [[likely]] return value;
  }
  return int_of(node, name, low, high);
}

// Up to `max` values; `counts` lists the numbers of values allowed (any
// when empty), `expected` says them in a refusal.
template <std::size_t max>
struct Ints {
  std::array<std::int64_t, max> values;
  std::size_t size = 0;
};

template <std::size_t max>
[[nodiscard]] Done ints_of(Ints<max>& ints, std::string_view text, std::string_view name, std::int64_t low,
                           std::int64_t high) {
  auto size = parse_ints(text, low, high, ints.values.data(), max);
  if (!size) [[unlikely]] return std::unexpected(in_attribute(name, size.error()));
  ints.size = *size;
  return {};
}

// Exactly `count` values.
template <std::size_t count>
[[nodiscard]] Done required_ints(Ints<count>& ints, const Attributes& node, std::string_view name, std::int64_t low,
                                 std::int64_t high) {
  auto text = required(node, name);
  if (!text) [[unlikely]] return std::unexpected(std::move(text.error()));
  if (auto done = ints_of(ints, *text, name, low, high); !done) [[unlikely]] return done;
  if (ints.size != count) [[unlikely]] return std::unexpected(value_count(name, ints.size, std::to_string(count)));
  return {};
}

// An optional list: empty when the attribute is absent.
template <std::size_t max>
[[nodiscard]] Done optional_ints(Ints<max>& ints, const Attributes& node, std::string_view name, std::int64_t low,
                                 std::int64_t high) {
  const std::string_view* value = node.find(name);
  if (value == nullptr) return {};
  return ints_of(ints, *value, name, low, high);
}

[[nodiscard, gnu::cold]] Done seated(Done done, Seat seat) {
  if (!done) done.error().seat = seat;
  return done;
}

[[nodiscard, gnu::cold]] Fault outside_ids(const PlayName& name) {
  const std::string id(name.digits.substr(0, 12));
  return {ErrorKind::InvalidValue, "tile id " + id + " is outside 0..135", name.seat};
}

// A hand as records write it, 13 ids of at most three digits: read at once,
// from a copy with zeros after it, which end any id, so that no byte is
// looked for past the end.
[[nodiscard]] bool read_hand(std::string_view text, std::array<TileId, 13>& hand) noexcept {
  constexpr std::size_t longest = 13 * 4 - 1;  // ids of three digits and their commas
  std::array<char, longest + 3> copy{};         // room for two digits looked at past the last
  if (text.size() > longest) return false;
  std::memcpy(copy.data(), text.data(), text.size());
  const auto digit_at = [](const char* at) { return static_cast<unsigned>(static_cast<unsigned char>(*at)) - '0'; };
  const char* p = copy.data();
  for (std::size_t i = 0; i < 13; ++i) {
    if (i > 0 && *p++ != ',') return false;
    unsigned id = digit_at(p);
    if (id > 9) return false;
    if (const unsigned d1 = digit_at(p + 1); d1 > 9) {
      p += 1;
    } else if (const unsigned d2 = digit_at(p + 2); d2 > 9) {
      id = 10 * id + d1;
      p += 2;
    } else {
      id = 100 * id + 10 * d1 + d2;
      p += 3;
    }
    if (id >= tile_id_count) return false;
    hand[i] = static_cast<TileId>(id);
  }
  return p == copy.data() + text.size();
}

// Exactly 13 tile ids; anything but the usual form is read, and refused
// where it must be, as any list of numbers.
[[nodiscard]] Done hand_of(std::array<TileId, 13>& hand, const Attributes& node, std::string_view name) {
  if (const std::string_view* text = node.find(name); text != nullptr && read_hand(*text, hand)) return {};
  Ints<13> ids;
  if (auto read = required_ints(ids, node, name, 0, tile_id_count - 1); !read) return read;
  for (std::size_t i = 0; i < 13; ++i) hand[i] = static_cast<TileId>(ids.values[i]);
  return {};
}

[[nodiscard]] std::size_t named_seats(const Attributes& node) {
  std::size_t named = 0;
  for (const std::string_view key : {"n0", "n1", "n2", "n3"}) named += node.find(key) != nullptr;
  return named;
}

}  // namespace

// ---- The walk.

Done Walk::root(const Attributes& attributes) {
  auto text = required(attributes, "ver");
  if (!text) return std::unexpected(std::move(text.error()));
  auto ver = parse_decimal(*text);
  if (!ver) return std::unexpected(in_attribute("ver", ver.error()));
  record_.ver = *ver;
  return {};
}

void Walk::stop_as_three_player() {
  record_.three_player = true;
  if (!record_.log.rule.disp.starts_with("三")) record_.log.rule.disp.insert(0, "三");
}

void Walk::unwritable(const Fault& fault) {
  if (!record_.unwritable) record_.unwritable = Unwritable{std::string(name_) + ": " + fault.text, at_};
}

Done Walk::element(std::string_view name, const Attributes& attributes, std::size_t at) {
  if (const auto named = play_name(name)) return play(*named);  // most elements: checked first
  name_ = name;
  at_ = at;
  switch (name.size()) {
    case 1:
      if (name == "N") {
        ++steps_;
        return call(attributes);
      }
      break;
    case 2:
      if (name == "UN") return player_list(attributes);
      if (name == "GO") {
        ++steps_;
        return go(attributes);
      }
      break;
    case 3:
      if (name == "BYE") return bye(attributes);
      break;
    case 4:
      ++steps_;  // every element but UN and BYE is a step of the round's play
      if (name == "INIT") return init(attributes);
      if (name == "DORA") return dora(attributes);
      break;
    case 5:
      ++steps_;
      if (name == "REACH") return reach(attributes);
      if (name == "AGARI") return agari(attributes);
      break;
    case 7:
      ++steps_;
      if (name == "SHUFFLE") return {};
      break;
    case 8:
      ++steps_;
      if (name == "TAIKYOKU") {
        taikyoku_seen_ = true;
        return {};
      }
      break;
    case 9:
      ++steps_;
      if (name == "RYUUKYOKU") return ryuukyoku(attributes);
      break;
    default: break;
  }
  return refuse(ErrorKind::NotAnElement, "is not an element of a game record");
}

Done Walk::finish() const {
  if (record_.log.log.empty()) return refuse(ErrorKind::Incomplete, "holds no round (no INIT)");
  if (!result_seen_) return refuse(ErrorKind::Incomplete, "ends in a round without its result");
  return {};
}

Done Walk::go(const Attributes& node) {
  if (go_seen_ || play_) return refuse(ErrorKind::DuplicateElement, "the game's rules are given again");
  go_seen_ = true;
  auto type = int_of(node, "type", 0, 0xffff);
  if (!type) return std::unexpected(std::move(type.error()));
  const auto bits = static_cast<std::uint32_t>(*type);
  red_fives_ = !(bits & no_red_fives);
  tenhou::Rule& rule = record_.log.rule;
  rule.disp = rule_disp(bits);
  rule.aka51 = rule.aka52 = rule.aka53 = red_fives_ ? 1 : 0;
  record_.log.ratingc = "PF4";
  if (node.find("lobby")) {
    auto lobby = int_of(node, "lobby", INT32_MIN, INT32_MAX);
    if (!lobby) return std::unexpected(std::move(lobby.error()));
    record_.log.lobby = static_cast<std::int32_t>(*lobby);
  }
  if (bits & three_players) stop_as_three_player();
  return {};
}

// After the first round any UN is a reconnection. Before it, once the game
// has begun (TAIKYOKU), a UN naming one seat without a rank is one too: a
// seat that dropped and came back before the first deal. Otherwise a UN is
// the player list, given once.
Done Walk::player_list(const Attributes& node) {
  if (play_) return reconnect(node);
  if (taikyoku_seen_ && named_seats(node) == 1 && !node.find("dan")) return {};  // no round to place it in
  return players(node);
}

// The players: names n0-n3 (an empty fourth is a three-player game), and,
// when present, four ranks, ratings and sexes. Older records give `gold`
// instead of ranks.
Done Walk::players(const Attributes& node) {
  if (players_seen_) return refuse(ErrorKind::DuplicateElement, "the players are given again");
  players_seen_ = true;
  tenhou::RawLog& log = record_.log;
  for (std::size_t seat = 0; seat < 4; ++seat) {
    const char key[2] = {'n', static_cast<char>('0' + seat)};
    const std::string_view name(key, 2);
    auto text = required(node, name);
    if (!text) return std::unexpected(std::move(text.error()));
    auto decoded = decode_name(*text);
    if (!decoded) return std::unexpected(in_attribute(name, decoded.error()));
    log.name[seat] = std::move(*decoded);
  }
  if (log.name[3].empty()) {
    stop_as_three_player();
    return {};
  }
  if (node.find("dan")) {
    Ints<4> ranks;
    if (auto read = required_ints(ranks, node, "dan", -max_id, max_id); !read) return read;
    std::vector<std::string> names;
    names.reserve(4);
    for (const std::int64_t index : ranks.values) {
      auto rank = dan_name(index);
      if (!rank) {
        // No event holds the ranks: the record converts, but has no document.
        unwritable(in_attribute("dan", rank.error()));
        names.clear();
        break;
      }
      names.push_back(std::move(*rank));
    }
    if (!names.empty()) log.dan = std::move(names);
  }
  if (const std::string_view* rate = node.find("rate")) {
    std::array<std::string_view, 4> parts;
    if (const std::size_t count = split(*rate, parts); count != 4) {
      return std::unexpected(value_count("rate", count, "4"));
    }
    log.rate.emplace();
    log.rate->reserve(4);
    for (const std::string_view part : parts) {
      auto value = parse_decimal(part);
      if (!value) return std::unexpected(in_attribute("rate", value.error()));
      log.rate->push_back(*value);
    }
  }
  if (const std::string_view* written = node.find("sx")) {
    auto sx = attribute_text(*written);
    if (!sx) return std::unexpected(in_attribute("sx", sx.error()));
    std::array<std::string_view, 4> parts;
    if (const std::size_t count = split(*sx, parts); count != 4) return std::unexpected(value_count("sx", count, "4"));
    if (!pairo::is_utf8(*sx)) return std::unexpected(in_attribute("sx", {ErrorKind::InvalidValue, "not UTF-8"}));
    log.sx.emplace(parts.begin(), parts.end());
  }
  return {};
}

// A later UN names the one seat that came back.
Done Walk::reconnect(const Attributes& node) {
  for (std::uint8_t seat = 0; seat < 4; ++seat) {
    const char key[2] = {'n', static_cast<char>('0' + seat)};
    if (node.find(std::string_view(key, 2))) {
      record_.connection.push_back(Connection{1, static_cast<std::uint32_t>(record_.log.log.size() - 1), seat, steps_});
      return {};
    }
  }
  return refuse(ErrorKind::MissingAttribute, "names no seat");
}

Done Walk::bye(const Attributes& node) {
  auto who = small_int<0, 3>(node, "who");
  if (!who) return std::unexpected(std::move(who.error()));
  if (!play_) return {};  // before the first round: nothing to place it in
  record_.connection.push_back(Connection{0, static_cast<std::uint32_t>(record_.log.log.size() - 1),
                                          static_cast<std::uint8_t>(*who), steps_});
  return {};
}

Done Walk::init(const Attributes& node) {
  if (!go_seen_) return refuse(ErrorKind::OutOfOrder, "comes before the rules (GO)");
  if (!players_seen_) return refuse(ErrorKind::OutOfOrder, "comes before the players (UN)");
  if (play_ && !result_seen_) return refuse(ErrorKind::OutOfOrder, "comes before the previous round's result");
  play_.reset();  // a fault before the deal lies in no round
  if (const std::string_view* hai3 = node.find("hai3"); hai3 && hai3->empty()) {
    stop_as_three_player();
    return {};
  }
  Ints<6> seed;
  if (auto read = required_ints(seed, node, "seed", 0, 255); !read) return read;
  if (seed.values[5] >= tile_id_count) {
    return std::unexpected(in_attribute("seed", {ErrorKind::InvalidValue, "the dora indicator is no tile"}));
  }
  Ints<4> ten;
  if (auto read = required_ints(ten, node, "ten", -max_hundreds, max_hundreds); !read) return read;
  auto oya = small_int<0, 3>(node, "oya");
  if (!oya) return std::unexpected(std::move(oya.error()));
  std::array<std::array<TileId, 13>, 4> hands{};
  for (std::size_t seat = 0; seat < 4; ++seat) {
    const char key[4] = {'h', 'a', 'i', static_cast<char>('0' + seat)};
    if (auto read = hand_of(hands[seat], node, std::string_view(key, 4)); !read) return read;
  }
  if (record_.log.log.empty()) record_.log.log.reserve(12);  // a whole game's rounds, a few repeats
  tenhou::RawKyoku& kyoku = record_.log.log.emplace_back();
  kyoku.meta = {static_cast<std::uint8_t>(seed.values[0]), static_cast<std::uint8_t>(seed.values[1]),
                static_cast<std::uint8_t>(seed.values[2])};
  for (std::size_t seat = 0; seat < 4; ++seat) kyoku.scores[seat] = static_cast<std::int32_t>(ten.values[seat] * 100);
  Done status;
  play_.emplace(kyoku, streams_, hands, static_cast<TileId>(seed.values[5]), red_fives_, status);
  dealer_ = static_cast<Seat>(*oya);
  result_seen_ = won_ = ura_seen_ = false;
  steps_ = 0;
  return status;
}

Done Walk::in_play() const {
  if (!play_) return refuse(ErrorKind::OutOfOrder, "comes before the first round (INIT)");
  if (result_seen_) return refuse(ErrorKind::OutOfOrder, "comes after the round's result");
  return {};
}

Done Walk::play(const PlayName& name) {
  ++steps_;
  if (!play_ || result_seen_) [[unlikely]] return seated(in_play(), name.seat);
  if (name.id >= tile_id_count) [[unlikely]] {
    return std::unexpected(outside_ids(name));
  }
  const auto tile = static_cast<TileId>(name.id);
  return name.is_draw ? play_->draw(name.seat, tile) : play_->discard(name.seat, tile);
}

Done Walk::call(const Attributes& node) {
  if (auto ok = in_play(); !ok) return ok;
  auto who = small_int<0, 3>(node, "who");
  if (!who) return std::unexpected(std::move(who.error()));
  auto code = small_int<0, 0xffff>(node, "m");
  if (!code) return std::unexpected(std::move(code.error()));
  return play_->call(static_cast<Seat>(*who), static_cast<std::uint32_t>(*code));
}

Done Walk::reach(const Attributes& node) {
  if (auto ok = in_play(); !ok) return ok;
  auto who = small_int<0, 3>(node, "who");
  if (!who) return std::unexpected(std::move(who.error()));
  auto step = small_int<1, 2>(node, "step");
  if (!step) return std::unexpected(std::move(step.error()));
  return play_->reach(static_cast<Seat>(*who), *step);
}

Done Walk::dora(const Attributes& node) {
  if (auto ok = in_play(); !ok) return ok;
  auto id = small_int<0, tile_id_count - 1>(node, "hai");
  if (!id) return std::unexpected(std::move(id.error()));
  return play_->dora(static_cast<TileId>(*id));
}

// `sc`: per seat the score before and the change, in hundreds; a chip lobby
// follows them with each seat's chips before and their change, which no
// round has a place for.
Checked<std::array<std::int32_t, 4>> Walk::deltas(const Attributes& node) {
  auto text = required(node, "sc");
  if (!text) return std::unexpected(std::move(text.error()));
  Ints<16> sc;
  if (auto read = ints_of(sc, *text, "sc", -max_hundreds, max_hundreds); !read) return std::unexpected(read.error());
  if (sc.size != 8 && sc.size != 16) return std::unexpected(value_count("sc", sc.size, "8 or 16"));
  std::array<std::int32_t, 4> deltas{};
  for (std::size_t seat = 0; seat < 4; ++seat) deltas[seat] = static_cast<std::int32_t>(sc.values[2 * seat + 1] * 100);
  return deltas;
}

// `owari`, on the game's last result: per seat the final score in hundreds
// and the game points after uma; in a chip lobby, then per seat the final
// chips and a second number.
Done Walk::owari(const Attributes& node) {
  const std::string_view* owari = node.find("owari");
  if (owari == nullptr) return {};
  std::array<std::string_view, 16> parts;
  const std::size_t count = split(*owari, parts);
  if (count != 8 && count != 16) return std::unexpected(value_count("owari", count, "8 or 16"));
  std::array<double, 16> values{};
  for (std::size_t i = 0; i < count; ++i) {
    if (i < 8 && i % 2 == 0) {
      auto score = parse_int(parts[i], -max_hundreds, max_hundreds);
      if (!score) return std::unexpected(in_attribute("owari", score.error()));
      values[i] = static_cast<double>(*score * 100);
    } else {
      auto number = parse_decimal(parts[i]);
      if (!number) return std::unexpected(in_attribute("owari", number.error()));
      values[i] = *number;
    }
  }
  record_.sc.emplace();
  std::copy_n(values.begin(), 8, record_.sc->begin());
  if (count == 16) {
    record_.chips.emplace();
    std::copy_n(values.begin() + 8, 8, record_.chips->begin());
  }
  return {};
}

// A win; a second one on the same discard (double ron) extends the result.
Done Walk::agari(const Attributes& node) {
  if (!play_) return refuse(ErrorKind::OutOfOrder, "comes before the first round (INIT)");
  if (result_seen_ && !won_) return refuse(ErrorKind::OutOfOrder, "comes after the round's result");
  Win win;
  auto who = small_int<0, 3>(node, "who");
  if (!who) return std::unexpected(std::move(who.error()));
  auto from_who = small_int<0, 3>(node, "fromWho");
  if (!from_who) return std::unexpected(std::move(from_who.error()));
  win.who = static_cast<Seat>(*who);
  win.from_who = static_cast<Seat>(*from_who);
  win.pao = win.who;
  if (node.find("paoWho")) {
    auto pao = small_int<0, 3>(node, "paoWho");
    if (!pao) return std::unexpected(std::move(pao.error()));
    win.pao = static_cast<Seat>(*pao);
  }
  win.dealer = win.who == dealer_;
  Ints<3> ten;
  if (auto read = required_ints(ten, node, "ten", 0, 1'000'000'000); !read) return read;
  if (ten.values[0] > 100'000) {
    return std::unexpected(
        in_attribute("ten", {ErrorKind::InvalidValue, "no hand has " + std::to_string(ten.values[0]) + " fu"}));
  }
  win.fu = ten.values[0];
  win.points = ten.values[1];
  win.limit = ten.values[2];
  Ints<128> yaku;
  if (auto read = optional_ints(yaku, node, "yaku", 0, max_id); !read) return read;
  if (yaku.size % 2) {
    return std::unexpected(in_attribute("yaku", {ErrorKind::InvalidLength, "an odd number of values"}));
  }
  win.yaku = std::span(yaku.values.data(), yaku.size);
  Ints<64> yakuman;
  if (auto read = optional_ints(yakuman, node, "yakuman", 0, max_id); !read) return read;
  win.yakuman = std::span(yakuman.values.data(), yakuman.size);
  Ints<16> ura;
  if (auto read = optional_ints(ura, node, "doraHaiUra", 0, tile_id_count - 1); !read) return read;
  auto deltas = this->deltas(node);
  if (!deltas) return std::unexpected(std::move(deltas.error()));
  // A yaku or limit past the known ones: no event holds its text, so the
  // record converts all the same, but it has no tenhou.net/6 text.
  if (auto named = win_named(win); !named) unwritable(named.error());
  if (record_.wins.empty()) {
    record_.wins.reserve(16);  // a game's wins, most of the time
    record_.yaku_values.reserve(128);
  }
  record_.wins.push_back(WinScore{win.who, win.from_who, win.dealer, win.fu, win.points, win.limit,
                                  static_cast<std::uint32_t>(yaku.size), static_cast<std::uint32_t>(yakuman.size)});
  record_.yaku_values.insert(record_.yaku_values.end(), win.yaku.begin(), win.yaku.end());
  record_.yaku_values.insert(record_.yaku_values.end(), win.yakuman.begin(), win.yakuman.end());
  ResultItem detail{ResultItem::Values{}};
  auto& seats = std::get<ResultItem::Values>(detail.value).values;
  seats.reserve(3);
  for (const Seat seat : {win.who, win.from_who, win.pao}) seats.push_back(tenhou::JsonValue{std::uint64_t{seat}});

  tenhou::RawKyoku& kyoku = record_.log.log.back();
  if (!ura_seen_ && ura.size > 0) {
    ura_seen_ = true;
    for (std::size_t i = 0; i < ura.size; ++i) {
      kyoku.ura_indicators.push_back(tile_of_id(static_cast<TileId>(ura.values[i]), red_fives_));
    }
  }
  if (!result_seen_) {
    play_->close();
    kyoku.results.reserve(3);  // a double ron grows it
    kyoku.results.push_back(ResultItem{ResultItem::Text{std::string(tenhou::win_result)}});
  }
  kyoku.results.push_back(ResultItem{ResultItem::Deltas{*deltas}});
  kyoku.results.push_back(std::move(detail));
  result_seen_ = won_ = true;
  return owari(node);
}

Done Walk::ryuukyoku(const Attributes& node) {
  if (auto ok = in_play(); !ok) return ok;
  const std::string_view* type = node.find("type");
  int shown = 0;
  for (const std::string_view key : {"hai0", "hai1", "hai2", "hai3"}) shown += node.find(key) ? 1 : 0;
  auto head = draw_head(type ? *type : std::string_view(), type != nullptr, shown);
  if (!head) return std::unexpected(in_attribute("type", head.error()));
  tenhou::RawKyoku& kyoku = record_.log.log.back();
  kyoku.results.reserve(2);
  kyoku.results.push_back(ResultItem{ResultItem::Text{std::string(head->text)}});
  if (head->deltas) {
    auto deltas = this->deltas(node);
    if (!deltas) return std::unexpected(std::move(deltas.error()));
    kyoku.results.push_back(ResultItem{ResultItem::Deltas{*deltas}});
  }
  play_->close();
  result_seen_ = true;
  return owari(node);
}

}  // namespace mjlog::parts
