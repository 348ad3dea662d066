// Reading a whole record: the XML parse in place, then one walk over the
// root's elements in the order of play, each read by its name into the
// header, a round's play, its result or the connection events.
#include <pugixml.hpp>

#include <algorithm>
#include <cstring>

#include "mjlog/game_type.hpp"
#include "mjlog/parts.hpp"

namespace mjlog {
namespace {

using namespace parts;
using pugi::xml_node;
using tenhou::ResultItem;

constexpr std::int64_t max_hundreds = 21'474'836;  // scores in hundreds whose points fit 32 bits
using game_type::no_red_fives;
using game_type::three_players;

// ---- Attributes.

[[nodiscard]] Fault missing(const char* name) { return std::string("attribute '") + name + "' is missing"; }

[[nodiscard]] Fault in_attribute(const char* name, const Fault& fault) {
  return std::string("attribute '") + name + "': " + fault;
}

// An element's attributes, gathered in one pass: most are looked up by
// name, several per element, and a record's elements have only a few.
class Attributes {
 public:
  explicit Attributes(xml_node node) : node_(node) {
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
      if (size_ == names_.size()) {
        truncated_ = true;
        break;
      }
      names_[size_] = a.name();
      values_[size_++] = a.value();
    }
  }

  // The first value of `name`, or nullptr.
  [[nodiscard]] const char* find(const char* name) const {
    for (std::size_t i = 0; i < size_; ++i) {
      if (names_[i][0] == name[0] && std::strcmp(names_[i], name) == 0) return values_[i];
    }
    if (truncated_) {
      if (const pugi::xml_attribute a = node_.attribute(name)) return a.value();
    }
    return nullptr;
  }

 private:
  xml_node node_;
  std::array<const char*, 16> names_{};
  std::array<const char*, 16> values_{};
  std::size_t size_ = 0;
  bool truncated_ = false;
};

[[nodiscard]] Checked<std::string_view> required(const Attributes& node, const char* name) {
  const char* value = node.find(name);
  if (value == nullptr) return std::unexpected(missing(name));
  return std::string_view(value);
}

[[nodiscard]] Checked<std::int64_t> int_of(const Attributes& node, const char* name, std::int64_t low, std::int64_t high) {
  auto text = required(node, name);
  if (!text) return std::unexpected(std::move(text.error()));
  auto value = parse_int(*text, low, high);
  if (!value) return std::unexpected(in_attribute(name, value.error()));
  return value;
}

// Exactly `count` values when count is not 0, else any number up to `max`.
template <std::size_t max>
struct Ints {
  std::array<std::int64_t, max> values{};
  std::size_t size = 0;
};

template <std::size_t max>
[[nodiscard]] Checked<Ints<max>> ints_of(std::string_view text, const char* name, std::int64_t low,
                                         std::int64_t high, std::size_t count) {
  Ints<max> ints;
  auto size = parse_ints(text, low, high, ints.values.data(), max);
  if (!size) return std::unexpected(in_attribute(name, size.error()));
  if (count != 0 && *size != count) {
    return std::unexpected(in_attribute(name, std::to_string(*size) + " values, not " + std::to_string(count)));
  }
  ints.size = *size;
  return ints;
}

template <std::size_t max>
[[nodiscard]] Checked<Ints<max>> required_ints(const Attributes& node, const char* name, std::int64_t low, std::int64_t high,
                                               std::size_t count) {
  auto text = required(node, name);
  if (!text) return std::unexpected(std::move(text.error()));
  return ints_of<max>(*text, name, low, high, count);
}

// An optional list: empty when the attribute is absent.
template <std::size_t max>
[[nodiscard]] Checked<Ints<max>> optional_ints(const Attributes& node, const char* name, std::int64_t low,
                                               std::int64_t high) {
  const char* value = node.find(name);
  if (value == nullptr) return Ints<max>{};
  return ints_of<max>(value, name, low, high, 0);
}

// `T12`, `D5`...: the seat (0-3) and the tile id, for a draw or discard
// element. The id is read here, the most frequent number of a record.
struct PlayName {
  bool is_draw = false;
  Seat seat = 0;
  std::string_view digits;
  int id = 0;  // tile_id_count when too large
};

[[nodiscard]] std::optional<PlayName> play_name(const char* name) {
  const char letter = name[0];
  const bool is_draw = letter >= 'T' && letter <= 'W';
  if (!is_draw && !(letter >= 'D' && letter <= 'G')) return std::nullopt;
  const char* c = name + 1;
  int id = 0;
  for (; *c >= '0' && *c <= '9'; ++c) id = std::min(10 * id + (*c - '0'), tile_id_count);
  if (*c != '\0' || c == name + 1) return std::nullopt;
  return PlayName{is_draw, static_cast<Seat>(letter - (is_draw ? 'T' : 'D')),
                  std::string_view(name + 1, static_cast<std::size_t>(c - name - 1)), id};
}

// ---- The walk.

class Reader {
 public:
  // Reads `node`; a fault names what is wrong with it.
  [[nodiscard]] Done element(xml_node node);
  [[nodiscard]] Done finish() const;
  [[nodiscard]] bool stopped() const noexcept { return record_.three_player; }
  [[nodiscard]] Record take() && { return std::move(record_); }

 private:
  [[nodiscard]] Done go(const Attributes& node);
  [[nodiscard]] Done players(const Attributes& node);
  [[nodiscard]] Done reconnect(const Attributes& node);
  [[nodiscard]] Done bye(const Attributes& node);
  [[nodiscard]] Done init(const Attributes& node);
  [[nodiscard]] Done play(const PlayName& name);
  [[nodiscard]] Done call(const Attributes& node);
  [[nodiscard]] Done reach(const Attributes& node);
  [[nodiscard]] Done dora(const Attributes& node);
  [[nodiscard]] Done agari(const Attributes& node);
  [[nodiscard]] Done ryuukyoku(const Attributes& node);
  [[nodiscard]] Done owari(const Attributes& node);
  [[nodiscard]] Done in_play() const;
  [[nodiscard]] Checked<std::array<std::int32_t, 4>> deltas(const Attributes& node);
  void stop_as_three_player();

  Record record_;
  bool go_seen_ = false;
  bool players_seen_ = false;
  bool red_fives_ = true;
  std::optional<RoundPlay> play_;
  Seat dealer_ = 0;
  bool result_seen_ = false;
  bool won_ = false;
  bool ura_seen_ = false;
  std::uint32_t steps_ = 0;  // elements of the round's play so far, for connection events
};

void Reader::stop_as_three_player() {
  record_.three_player = true;
  std::string& disp = record_.log.rule.disp;
  if (!disp.starts_with("三")) disp.insert(0, "三");
}

Done Reader::element(xml_node node) {
  const char* name = node.name();
  if (const auto named = play_name(name)) {  // most elements: checked first
    ++steps_;
    return play(*named);
  }
  const std::string_view n = name;
  const Attributes attributes(node);
  if (n == "UN") return play_ ? reconnect(attributes) : players(attributes);
  if (n == "BYE") return bye(attributes);
  ++steps_;  // every element but these two is a step of the round's play
  if (n == "N") return call(attributes);
  if (n == "REACH") return reach(attributes);
  if (n == "DORA") return dora(attributes);
  if (n == "INIT") return init(attributes);
  if (n == "AGARI") return agari(attributes);
  if (n == "RYUUKYOKU") return ryuukyoku(attributes);
  if (n == "GO") return go(attributes);
  if (n == "SHUFFLE" || n == "TAIKYOKU") return {};
  return std::unexpected(std::string("is not an element of a game record"));
}

Done Reader::finish() const {
  if (record_.log.log.empty()) return std::unexpected(std::string("holds no round (no INIT)"));
  if (!result_seen_) return std::unexpected(std::string("ends in a round without its result"));
  return {};
}

Done Reader::go(const Attributes& node) {
  if (go_seen_ || play_) return std::unexpected(std::string("the game's rules are given again"));
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

// The players: names n0-n3 (an empty fourth is a three-player game), and,
// when present, four ranks, ratings and sexes.
Done Reader::players(const Attributes& node) {
  if (players_seen_) return std::unexpected(std::string("the players are given again"));
  players_seen_ = true;
  tenhou::RawLog& log = record_.log;
  for (std::size_t seat = 0; seat < 4; ++seat) {
    const char key[3] = {'n', static_cast<char>('0' + seat), '\0'};
    auto text = required(node, key);
    if (!text) return std::unexpected(std::move(text.error()));
    auto name = decode_name(*text);
    if (!name) return std::unexpected(in_attribute(key, name.error()));
    log.name[seat] = std::move(*name);
  }
  if (log.name[3].empty()) {
    stop_as_three_player();
    return {};
  }
  if (node.find("dan")) {
    auto dan = required_ints<4>(node, "dan", 0, 255, 4);
    if (!dan) return std::unexpected(std::move(dan.error()));
    log.dan.emplace();
    for (const std::int64_t index : dan->values) {
      auto rank = dan_name(index);
      if (!rank) return std::unexpected(in_attribute("dan", rank.error()));
      log.dan->push_back(std::move(*rank));
    }
  }
  if (const char* rate = node.find("rate")) {
    const auto parts = split(rate);
    if (parts.size() != 4) return std::unexpected(in_attribute("rate", std::to_string(parts.size()) + " values, not 4"));
    log.rate.emplace();
    for (const std::string_view part : parts) {
      auto value = parse_decimal(part);
      if (!value) return std::unexpected(in_attribute("rate", value.error()));
      log.rate->push_back(*value);
    }
  }
  if (const char* written = node.find("sx")) {
    auto sx = attribute_text(written);
    if (!sx) return std::unexpected(in_attribute("sx", sx.error()));
    const auto parts = split(*sx);
    if (parts.size() != 4) return std::unexpected(in_attribute("sx", std::to_string(parts.size()) + " values, not 4"));
    if (!is_utf8(*sx)) return std::unexpected(in_attribute("sx", "not UTF-8"));
    log.sx.emplace(parts.begin(), parts.end());
  }
  return {};
}

// A later UN names the one seat that came back.
Done Reader::reconnect(const Attributes& node) {
  for (std::uint8_t seat = 0; seat < 4; ++seat) {
    const char key[3] = {'n', static_cast<char>('0' + seat), '\0'};
    if (node.find(key)) {
      record_.connection.push_back(Connection{1, static_cast<std::uint32_t>(record_.log.log.size() - 1), seat, steps_});
      return {};
    }
  }
  return std::unexpected(std::string("names no seat"));
}

Done Reader::bye(const Attributes& node) {
  auto who = int_of(node, "who", 0, 3);
  if (!who) return std::unexpected(std::move(who.error()));
  if (!play_) return {};  // before the first round: nothing to place it in
  record_.connection.push_back(Connection{0, static_cast<std::uint32_t>(record_.log.log.size() - 1),
                                          static_cast<std::uint8_t>(*who), steps_});
  return {};
}

Done Reader::init(const Attributes& node) {
  if (!go_seen_) return std::unexpected(std::string("comes before the rules (GO)"));
  if (!players_seen_) return std::unexpected(std::string("comes before the players (UN)"));
  if (play_ && !result_seen_) return std::unexpected(std::string("comes before the previous round's result"));
  if (const char* hai3 = node.find("hai3"); hai3 && *hai3 == '\0') {
    stop_as_three_player();
    return {};
  }
  auto seed = required_ints<6>(node, "seed", 0, 255, 6);
  if (!seed) return std::unexpected(std::move(seed.error()));
  if (seed->values[5] >= tile_id_count) return std::unexpected(in_attribute("seed", "the dora indicator is no tile"));
  auto ten = required_ints<4>(node, "ten", -max_hundreds, max_hundreds, 4);
  if (!ten) return std::unexpected(std::move(ten.error()));
  auto oya = int_of(node, "oya", 0, 3);
  if (!oya) return std::unexpected(std::move(oya.error()));
  std::array<std::array<TileId, 13>, 4> hands{};
  for (std::size_t seat = 0; seat < 4; ++seat) {
    const char key[5] = {'h', 'a', 'i', static_cast<char>('0' + seat), '\0'};
    auto hand = required_ints<13>(node, key, 0, tile_id_count - 1, 13);
    if (!hand) return std::unexpected(std::move(hand.error()));
    for (std::size_t i = 0; i < 13; ++i) hands[seat][i] = static_cast<TileId>(hand->values[i]);
  }
  tenhou::RawKyoku& kyoku = record_.log.log.emplace_back();
  kyoku.meta = {static_cast<std::uint8_t>(seed->values[0]), static_cast<std::uint8_t>(seed->values[1]),
                static_cast<std::uint8_t>(seed->values[2])};
  for (std::size_t seat = 0; seat < 4; ++seat) kyoku.scores[seat] = static_cast<std::int32_t>(ten->values[seat] * 100);
  Done status;
  play_.emplace(kyoku, hands, static_cast<TileId>(seed->values[5]), red_fives_, status);
  dealer_ = static_cast<Seat>(*oya);
  result_seen_ = won_ = ura_seen_ = false;
  steps_ = 0;
  return status;
}

Done Reader::in_play() const {
  if (!play_) return std::unexpected(std::string("comes before the first round (INIT)"));
  if (result_seen_) return std::unexpected(std::string("comes after the round's result"));
  return {};
}

Done Reader::play(const PlayName& name) {
  if (!play_ || result_seen_) [[unlikely]] return in_play();
  if (name.id >= tile_id_count) [[unlikely]] {
    return std::unexpected("tile id " + std::string(name.digits.substr(0, 12)) + " is outside 0..135");
  }
  const auto tile = static_cast<TileId>(name.id);
  return name.is_draw ? play_->draw(name.seat, tile) : play_->discard(name.seat, tile);
}

Done Reader::call(const Attributes& node) {
  if (auto ok = in_play(); !ok) return ok;
  auto who = int_of(node, "who", 0, 3);
  if (!who) return std::unexpected(std::move(who.error()));
  auto code = int_of(node, "m", 0, 0xffff);
  if (!code) return std::unexpected(std::move(code.error()));
  return play_->call(static_cast<Seat>(*who), static_cast<std::uint32_t>(*code));
}

Done Reader::reach(const Attributes& node) {
  if (auto ok = in_play(); !ok) return ok;
  auto who = int_of(node, "who", 0, 3);
  if (!who) return std::unexpected(std::move(who.error()));
  auto step = int_of(node, "step", 1, 2);
  if (!step) return std::unexpected(std::move(step.error()));
  return play_->reach(static_cast<Seat>(*who), *step);
}

Done Reader::dora(const Attributes& node) {
  if (auto ok = in_play(); !ok) return ok;
  auto id = int_of(node, "hai", 0, tile_id_count - 1);
  if (!id) return std::unexpected(std::move(id.error()));
  return play_->dora(static_cast<TileId>(*id));
}

// `sc`: per seat the score before and the change, in hundreds.
Checked<std::array<std::int32_t, 4>> Reader::deltas(const Attributes& node) {
  auto sc = required_ints<8>(node, "sc", -max_hundreds, max_hundreds, 8);
  if (!sc) return std::unexpected(std::move(sc.error()));
  std::array<std::int32_t, 4> deltas{};
  for (std::size_t seat = 0; seat < 4; ++seat) deltas[seat] = static_cast<std::int32_t>(sc->values[2 * seat + 1] * 100);
  return deltas;
}

// `owari`, on the game's last result: per seat the final score in hundreds
// and the game points after uma.
Done Reader::owari(const Attributes& node) {
  const char* owari = node.find("owari");
  if (owari == nullptr) return {};
  const auto parts = split(owari);
  if (parts.size() != 8) return std::unexpected(in_attribute("owari", std::to_string(parts.size()) + " values, not 8"));
  std::array<double, 8> sc{};
  for (std::size_t i = 0; i < 8; ++i) {
    if (i % 2 == 0) {
      auto score = parse_int(parts[i], -max_hundreds, max_hundreds);
      if (!score) return std::unexpected(in_attribute("owari", score.error()));
      sc[i] = static_cast<double>(*score * 100);
    } else {
      auto points = parse_decimal(parts[i]);
      if (!points) return std::unexpected(in_attribute("owari", points.error()));
      sc[i] = *points;
    }
  }
  record_.sc = sc;
  return {};
}

// A win; a second one on the same discard (double ron) extends the result.
Done Reader::agari(const Attributes& node) {
  if (!play_) return std::unexpected(std::string("comes before the first round (INIT)"));
  if (result_seen_ && !won_) return std::unexpected(std::string("comes after the round's result"));
  Win win;
  auto who = int_of(node, "who", 0, 3);
  if (!who) return std::unexpected(std::move(who.error()));
  auto from_who = int_of(node, "fromWho", 0, 3);
  if (!from_who) return std::unexpected(std::move(from_who.error()));
  win.who = static_cast<Seat>(*who);
  win.from_who = static_cast<Seat>(*from_who);
  win.pao = win.who;
  if (node.find("paoWho")) {
    auto pao = int_of(node, "paoWho", 0, 3);
    if (!pao) return std::unexpected(std::move(pao.error()));
    win.pao = static_cast<Seat>(*pao);
  }
  win.dealer = win.who == dealer_;
  auto ten = required_ints<3>(node, "ten", 0, 1'000'000'000, 3);
  if (!ten) return std::unexpected(std::move(ten.error()));
  if (ten->values[0] > 100'000) return std::unexpected(in_attribute("ten", "no hand has " + std::to_string(ten->values[0]) + " fu"));
  win.fu = ten->values[0];
  win.points = ten->values[1];
  win.limit = ten->values[2];
  auto yaku = optional_ints<128>(node, "yaku", 0, 255);
  if (!yaku) return std::unexpected(std::move(yaku.error()));
  if (yaku->size % 2) return std::unexpected(in_attribute("yaku", "an odd number of values"));
  win.yaku.assign(yaku->values.begin(), yaku->values.begin() + yaku->size);
  auto yakuman = optional_ints<64>(node, "yakuman", 0, 255);
  if (!yakuman) return std::unexpected(std::move(yakuman.error()));
  win.yakuman.assign(yakuman->values.begin(), yakuman->values.begin() + yakuman->size);
  auto ura = optional_ints<16>(node, "doraHaiUra", 0, tile_id_count - 1);
  if (!ura) return std::unexpected(std::move(ura.error()));
  auto deltas = this->deltas(node);
  if (!deltas) return std::unexpected(std::move(deltas.error()));
  auto detail = win_detail(win);
  if (!detail) return std::unexpected(std::move(detail.error()));

  tenhou::RawKyoku& kyoku = record_.log.log.back();
  if (!ura_seen_ && ura->size > 0) {
    ura_seen_ = true;
    for (std::size_t i = 0; i < ura->size; ++i) {
      kyoku.ura_indicators.push_back(tile_of_id(static_cast<TileId>(ura->values[i]), red_fives_));
    }
  }
  if (!result_seen_) kyoku.results.push_back(ResultItem{ResultItem::Text{"和了"}});
  kyoku.results.push_back(ResultItem{ResultItem::Deltas{*deltas}});
  kyoku.results.push_back(std::move(*detail));
  result_seen_ = won_ = true;
  return owari(node);
}

Done Reader::ryuukyoku(const Attributes& node) {
  if (auto ok = in_play(); !ok) return ok;
  const char* type = node.find("type");
  int shown = 0;
  for (const char* key : {"hai0", "hai1", "hai2", "hai3"}) shown += node.find(key) ? 1 : 0;
  auto head = draw_head(type ? type : "", type != nullptr, shown);
  if (!head) return std::unexpected(in_attribute("type", head.error()));
  tenhou::RawKyoku& kyoku = record_.log.log.back();
  kyoku.results.push_back(ResultItem{ResultItem::Text{std::string(head->text)}});
  if (head->deltas) {
    auto deltas = this->deltas(node);
    if (!deltas) return std::unexpected(std::move(deltas.error()));
    kyoku.results.push_back(ResultItem{ResultItem::Deltas{*deltas}});
  }
  result_seen_ = true;
  return owari(node);
}

// ---- Errors: the element's name and where it starts.

[[nodiscard]] Error element_error(xml_node node, const Fault& fault) {
  Error error{std::string(node.name()) + ": " + fault, std::nullopt};
  if (const std::ptrdiff_t offset = node.offset_debug(); offset >= 0) error.offset = static_cast<std::size_t>(offset);
  return error;
}

[[nodiscard]] std::expected<xml_node, Error> root_of(const pugi::xml_document& document) {
  xml_node root;
  for (xml_node node = document.first_child(); node; node = node.next_sibling()) {
    if (node.type() != pugi::node_element) continue;
    if (root) return std::unexpected(element_error(node, "a second root element"));
    root = node;
  }
  if (!root) return std::unexpected(Error{"not a game record: no root element", std::nullopt});
  if (std::string_view(root.name()) != "mjloggm") {
    return std::unexpected(element_error(root, "not a game record: the root element is not mjloggm"));
  }
  return root;
}

[[nodiscard]] std::expected<Record, Error> read_root(xml_node root) {
  auto ver_text = required(Attributes(root), "ver");
  if (!ver_text) return std::unexpected(element_error(root, ver_text.error()));
  auto ver = parse_decimal(*ver_text);
  if (!ver) return std::unexpected(element_error(root, in_attribute("ver", ver.error())));
  Reader reader;
  for (xml_node node = root.first_child(); node; node = node.next_sibling()) {
    const pugi::xml_node_type type = node.type();
    if (type != pugi::node_element) [[unlikely]] {
      if (type == pugi::node_pcdata) return std::unexpected(element_error(root, "holds text between its elements"));
      continue;
    }
    if (auto done = reader.element(node); !done) return std::unexpected(element_error(node, done.error()));
    if (reader.stopped()) break;
  }
  if (!reader.stopped()) {
    if (auto done = reader.finish(); !done) return std::unexpected(element_error(root, done.error()));
  }
  Record record = std::move(reader).take();
  record.ver = *ver;
  return record;
}

}  // namespace

// Only elements and their attributes are kept; references in attribute
// values are resolved where a text is kept (names, sexes), and numbers hold none.
std::expected<Record, Error> read_record(char* xml, std::size_t size) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer_inplace(xml, size, pugi::parse_minimal, pugi::encoding_utf8);
  if (!parsed) {
    return std::unexpected(Error{std::string("not well-formed XML: ") + parsed.description(),
                                 static_cast<std::size_t>(parsed.offset)});
  }
  auto root = root_of(document);
  if (!root) return std::unexpected(std::move(root.error()));
  return read_root(*root);
}

}  // namespace mjlog
