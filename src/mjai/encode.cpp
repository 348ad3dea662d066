// Compact JSON for mjai events, written field by field straight into text.
#include <charconv>
#include <limits>

#include "mjai/mjai.hpp"

namespace mjai {
namespace {

class Writer {
 public:
  explicit Writer(std::string& out) noexcept : out_(out) {}

  void raw(std::string_view text) { out_.append(text); }

  void key(std::string_view name) {
    out_.push_back(',');
    out_.push_back('"');
    out_.append(name);
    out_.append("\":");
  }

  template <class Int>
  void integer(Int value) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out_.append(digits, end);
  }

  void boolean(bool value) { out_.append(value ? "true" : "false"); }

  void tile(Tile t) {
    out_.push_back('"');
    out_.append(tile_name(t));
    out_.push_back('"');
  }

  template <class Range>
  void tiles(const Range& range) {
    out_.push_back('[');
    bool first = true;
    for (Tile t : range) {
      if (!first) out_.push_back(',');
      tile(t);
      first = false;
    }
    out_.push_back(']');
  }

  void integers(const std::array<std::int32_t, 4>& values) {
    out_.push_back('[');
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i != 0) out_.push_back(',');
      integer(values[i]);
    }
    out_.push_back(']');
  }

  void string(std::string_view text);

 private:
  std::string& out_;
};

// Quote, backslash and the C0 controls are escaped; everything else, U+007F
// and non-ASCII included, goes out as its own UTF-8 bytes.
void Writer::string(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  out_.push_back('"');
  std::size_t clean = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out_.append(text.substr(clean, i - clean));
    clean = i + 1;
    switch (c) {
      case '"': out_.append("\\\""); break;
      case '\\': out_.append("\\\\"); break;
      case '\b': out_.append("\\b"); break;
      case '\t': out_.append("\\t"); break;
      case '\n': out_.append("\\n"); break;
      case '\f': out_.append("\\f"); break;
      case '\r': out_.append("\\r"); break;
      default:
        out_.append("\\u00");
        out_.push_back(hex[c >> 4]);
        out_.push_back(hex[c & 0xf]);
    }
  }
  out_.append(text.substr(clean));
  out_.push_back('"');
}

struct Fields {
  Writer& w;

  void operator()(const None&) {}
  void operator()(const StartGame& e) {
    w.key("names");
    w.raw("[");
    for (std::size_t i = 0; i < e.names.size(); ++i) {
      if (i != 0) w.raw(",");
      w.string(e.names[i]);
    }
    w.raw("]");
    w.key("kyoku_first");
    w.integer(e.kyoku_first);
    w.key("aka_flag");
    w.boolean(e.aka_flag);
  }
  void operator()(const StartKyoku& e) {
    w.key("bakaze");
    w.tile(e.bakaze);
    w.key("dora_marker");
    w.tile(e.dora_marker);
    w.key("kyoku");
    w.integer(e.kyoku);
    w.key("honba");
    w.integer(e.honba);
    w.key("kyotaku");
    w.integer(e.kyotaku);
    w.key("oya");
    w.integer(e.oya);
    w.key("scores");
    w.integers(e.scores);
    w.key("tehais");
    w.raw("[");
    for (std::size_t i = 0; i < e.tehais.size(); ++i) {
      if (i != 0) w.raw(",");
      w.tiles(e.tehais[i]);
    }
    w.raw("]");
  }
  void operator()(const Tsumo& e) {
    actor(e.actor);
    pai(e.pai);
  }
  void operator()(const Dahai& e) {
    actor(e.actor);
    pai(e.pai);
    w.key("tsumogiri");
    w.boolean(e.tsumogiri);
  }
  void operator()(const Chi& e) { claim(e); }
  void operator()(const Pon& e) { claim(e); }
  void operator()(const Daiminkan& e) { claim(e); }
  void operator()(const Kakan& e) {
    actor(e.actor);
    pai(e.pai);
    consumed(e.consumed);
  }
  void operator()(const Ankan& e) {
    actor(e.actor);
    consumed(e.consumed);
  }
  void operator()(const Dora& e) {
    w.key("dora_marker");
    w.tile(e.dora_marker);
  }
  void operator()(const Reach& e) { actor(e.actor); }
  void operator()(const ReachAccepted& e) { actor(e.actor); }
  void operator()(const Hora& e) {
    actor(e.actor);
    target(e.target);
    deltas(e.deltas);
    if (e.ura_markers) {
      w.key("ura_markers");
      w.tiles(*e.ura_markers);
    }
  }
  void operator()(const Ryukyoku& e) { deltas(e.deltas); }
  void operator()(const EndKyoku&) {}
  void operator()(const EndGame&) {}

 private:
  template <class Claim>
  void claim(const Claim& e) {
    actor(e.actor);
    target(e.target);
    pai(e.pai);
    consumed(e.consumed);
  }
  void actor(Seat seat) {
    w.key("actor");
    w.integer(seat);
  }
  void target(Seat seat) {
    w.key("target");
    w.integer(seat);
  }
  void pai(Tile t) {
    w.key("pai");
    w.tile(t);
  }
  template <class Range>
  void consumed(const Range& range) {
    w.key("consumed");
    w.tiles(range);
  }
  void deltas(const std::optional<Deltas>& values) {
    if (!values) return;
    w.key("deltas");
    w.integers(*values);
  }
};

}  // namespace

void write_event(const Event& event, std::string& out) {
  Writer w(out);
  w.raw("{\"type\":\"");
  w.raw(event_type_name(event));
  w.raw("\"");
  std::visit(Fields{w}, event);
  w.raw("}");
}

std::expected<std::string, EncodeError> encode_event(const Event& event) {
  std::string text;
  text.reserve(128);
  write_event(event, text);
  return text;
}

std::expected<EncodedEvents, EncodeError> encode_events(std::span<const Event> events) {
  EncodedEvents encoded;
  encoded.ends.reserve(events.size());
  // Most events are short; a game's texts average well under 64 bytes each.
  encoded.text.reserve(events.size() * 48);
  for (const Event& event : events) {
    write_event(event, encoded.text);
    if (encoded.text.size() > std::numeric_limits<std::uint32_t>::max()) {
      return std::unexpected(EncodeError{"event texts exceed 4 GiB"});
    }
    encoded.ends.push_back(static_cast<std::uint32_t>(encoded.text.size()));
  }
  return encoded;
}

}  // namespace mjai
