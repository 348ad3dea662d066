// Hiding what a seat cannot see, on the event texts themselves: the writer's
// compact form puts each hidden value at a place found without parsing.
#include "mjai/view.hpp"

namespace mjai {
namespace {

constexpr std::string_view tsumo_head = R"({"type":"tsumo","actor":)";
constexpr std::string_view start_kyoku_head = R"({"type":"start_kyoku",)";
constexpr std::string_view tehais_key = R"("tehais":[)";
constexpr std::string_view hidden_hand = R"(["?","?","?","?","?","?","?","?","?","?","?","?","?"])";

// {"type":"tsumo","actor":N,"pai":"T"...}: T becomes "?" unless N is the seat.
bool view_tsumo(std::string_view text, std::uint8_t seat, std::string& out) {
  std::string_view rest = text.substr(tsumo_head.size());
  constexpr std::string_view pai_key = R"(,"pai":")";
  if (rest.size() < 1 + pai_key.size() || rest[0] < '0' || rest[0] > '3' || rest.substr(1, pai_key.size()) != pai_key) {
    return false;
  }
  if (static_cast<std::uint8_t>(rest[0] - '0') == seat) {
    out += text;
    return true;
  }
  const std::size_t tile = tsumo_head.size() + 1 + pai_key.size();
  const std::size_t close = text.find('"', tile);
  if (close == std::string_view::npos) return false;
  out += text.substr(0, tile);
  out += '?';
  out += text.substr(close);
  return true;
}

// "tehais":[[...],[...],[...],[...]]: every hand but the seat's hidden.
bool view_start_kyoku(std::string_view text, std::uint8_t seat, std::string& out) {
  const std::size_t key = text.find(tehais_key);
  if (key == std::string_view::npos) return false;
  std::string viewed(text.substr(0, key + tehais_key.size()));
  std::size_t at = key + tehais_key.size();
  for (std::uint8_t hand = 0; hand < 4; ++hand) {
    if (hand != 0) {
      if (at >= text.size() || text[at] != ',') return false;
      viewed += ',';
      ++at;
    }
    if (at >= text.size() || text[at] != '[') return false;
    const std::size_t end = text.find(']', at);  // tile names hold no bracket
    if (end == std::string_view::npos) return false;
    viewed += hand == seat ? text.substr(at, end + 1 - at) : hidden_hand;
    at = end + 1;
  }
  viewed += text.substr(at);
  out += viewed;
  return true;
}

}  // namespace

bool view_text(std::string_view text, std::uint8_t seat, std::string& out) {
  if (!text.starts_with(R"({"type":")")) return false;
  if (text.starts_with(tsumo_head)) return view_tsumo(text, seat, out);
  if (text.starts_with(start_kyoku_head)) return view_start_kyoku(text, seat, out);
  out += text;
  return true;
}

EncodedEvents seat_view(const EncodedEvents& events, std::uint8_t seat) {
  EncodedEvents viewed;
  viewed.text.reserve(events.text.size() + 1024);
  viewed.ends.resize(events.size());
  viewed.common.resize(events.size());
  viewed.non_ascii = events.non_ascii;  // hiding writes ASCII only
  for (std::size_t i = 0; i < events.size(); ++i) {
    CommonTexts::Number number = events.common[i];
    const bool others_draw = number >= CommonTexts::first_tsumo && number < CommonTexts::first_dahai &&
                             (number - CommonTexts::first_tsumo) / tile_count != seat;
    if (number == CommonTexts::none || others_draw) {
      number = CommonTexts::none;
      if (!view_text(events.at(i), seat, viewed.text)) viewed.text += events.at(i);
    }
    viewed.common[i] = number;
    viewed.ends[i] = static_cast<std::uint32_t>(viewed.text.size());
  }
  return viewed;
}

}  // namespace mjai
