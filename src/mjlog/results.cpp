// How a round ended, in the texts of Tenhou's JSON: a win's detail list with
// its point text and yaku texts, and the head of a drawn round's result.
#include <array>
#include <charconv>

#include "mjlog/parts.hpp"

namespace mjlog::parts {
namespace {

constexpr std::array<std::string_view, 55> yaku_names = {
    "門前清自摸和", "立直", "一発", "槍槓", "嶺上開花", "海底摸月", "河底撈魚", "平和", "断幺九", "一盃口",
    "自風 東", "自風 南", "自風 西", "自風 北", "場風 東", "場風 南", "場風 西", "場風 北",
    "役牌 白", "役牌 發", "役牌 中", "両立直", "七対子", "混全帯幺九", "一気通貫", "三色同順",
    "三色同刻", "三槓子", "対々和", "三暗刻", "小三元", "混老頭", "二盃口", "純全帯幺九", "混一色",
    "清一色", "人和", "天和", "地和", "大三元", "四暗刻", "四暗刻単騎", "字一色", "緑一色", "清老頭",
    "九蓮宝燈", "純正九蓮宝燈", "国士無双", "国士無双１３面", "大四喜", "小四喜", "四槓子",
    "ドラ", "裏ドラ", "赤ドラ"};

constexpr std::array<std::string_view, 6> limit_names = {"", "満貫", "跳満", "倍満", "三倍満", "役満"};

[[nodiscard]] Checked<std::string_view> yaku_name(std::int64_t id) {
  if (id < 0 || id >= std::ssize(yaku_names)) {
    return std::unexpected(Fault{ErrorKind::Unwritable, std::to_string(id) + " names no yaku"});
  }
  return yaku_names[static_cast<std::size_t>(id)];
}

[[nodiscard]] std::int64_t round_up_100(std::int64_t value) noexcept { return (value + 99) / 100 * 100; }

// What each non-dealer pays on a non-dealer's tsumo below the limits:
// fu·2^(han+2), rounded up; the dealer pays twice the unrounded base, rounded up.
// Hans past any real hand are capped so that nothing overflows.
[[nodiscard]] std::pair<std::int64_t, std::int64_t> tsumo_payments(std::int64_t fu, std::int64_t han) noexcept {
  const std::int64_t base = fu << std::min<std::int64_t>(han + 2, 20);
  return {round_up_100(base), round_up_100(2 * base)};
}

// The texts are written straight into the document: they hold no
// character that JSON escapes.
void append_int(std::string& out, std::int64_t value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void append_point_text(std::string& out, const Win& win, std::int64_t han) {
  const bool tsumo = win.who == win.from_who;
  out += '"';
  if (win.limit == 0) {
    append_int(out, win.fu);
    out += "符";
    append_int(out, han);
    out += "飜";
  } else {
    out += limit_names[static_cast<std::size_t>(win.limit)];
  }
  if (!tsumo) {
    append_int(out, win.points);
    out += "点\"";
    return;
  }
  if (win.dealer) {
    append_int(out, win.points / 3);
    out += "点∀\"";
    return;
  }
  const auto [child, dealer] = win.limit == 0 ? tsumo_payments(win.fu, han)
                                              : std::pair{win.points / 4, win.points / 2};
  append_int(out, child);
  out += '-';
  append_int(out, dealer);
  out += "点\"";
}

}  // namespace

Done win_named(const Win& win) {
  if (win.limit < 0 || win.limit >= std::ssize(limit_names)) {
    return std::unexpected(Fault{ErrorKind::Unwritable, std::to_string(win.limit) + " names no limit"});
  }
  for (std::size_t i = 0; i + 1 < win.yaku.size(); i += 2) {
    if (auto name = yaku_name(win.yaku[i]); !name) return std::unexpected(std::move(name.error()));
  }
  for (const std::int64_t id : win.yakuman) {
    if (auto name = yaku_name(id); !name) return std::unexpected(std::move(name.error()));
  }
  return {};
}

// `,"30符1飜1000点","立直(1飜)",...,"四暗刻(役満)"`: the han are summed for
// the point text first.
void append_win_texts(std::string& json, const Win& win) {
  std::int64_t han = 0;
  for (std::size_t i = 1; i < win.yaku.size(); i += 2) han += win.yaku[i];
  json += ',';
  append_point_text(json, win, han);
  for (std::size_t i = 0; i + 1 < win.yaku.size(); i += 2) {
    if (win.yaku[i + 1] == 0) continue;
    json += ",\"";
    json += yaku_names[static_cast<std::size_t>(win.yaku[i])];
    json += '(';
    append_int(json, win.yaku[i + 1]);
    json += "飜)\"";
  }
  for (const std::int64_t id : win.yakuman) {
    json += ",\"";
    json += yaku_names[static_cast<std::size_t>(id)];
    json += "(役満)\"";
  }
}

Checked<DrawHead> draw_head(std::string_view type, bool has_type, int shown_hands) {
  if (!has_type) {
    if (shown_hands == 0) return DrawHead{"全員不聴", false};
    if (shown_hands == 4) return DrawHead{"全員聴牌", false};
    return DrawHead{"流局", true};
  }
  if (type == "nm") return DrawHead{"流し満貫", true};
  if (type == "yao9") return DrawHead{"九種九牌", false};
  if (type == "kaze4") return DrawHead{"四風連打", false};
  if (type == "reach4") return DrawHead{tenhou::four_riichi_result, false};
  if (type == "ron3") return DrawHead{"三家和了", false};
  if (type == "kan4") return DrawHead{"四槓散了", false};
  return std::unexpected(
      Fault{ErrorKind::InvalidValue, "type '" + std::string(type.substr(0, 16)) + "' names no drawn round"});
}

}  // namespace mjlog::parts
