// The direct reading of a record: one pass over the bytes, each element's
// name and attributes handed to the walk as they are found, with no parsed
// document between and nothing written into the text.
//
// It takes the shape Tenhou and the archives that keep its records write:
// an XML declaration at the very start, comments and whitespace before the
// root, the root `mjloggm` holding only empty elements with attributes and
// whitespace between them, whitespace after it. At anything else (a zero
// byte, text, nesting, a comment or processing instruction inside or after
// the root, CDATA, a DOCTYPE, a name or attribute outside the plain ASCII
// forms) and at any refusal of the walk it gives up, and
// pugixml's reader reads the text again: that reader decides and explains.
// So this one takes no text that the other refuses, and it checks the syntax
// of the whole text, the part after a three-player record stops included.
// Attribute values are handed over as written, references unresolved, as
// pugixml's reader without escape processing hands them over.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "mjlog/walk.hpp"

namespace mjlog::parts {
namespace {

// More than any element of a record carries (AGARI has up to 15).
constexpr std::size_t most_attributes = 32;

enum CharClass : std::uint8_t { space = 1, name_start = 2, name_char = 4, digit = 8 };

constexpr std::array<std::uint8_t, 256> classes = [] {
  std::array<std::uint8_t, 256> table{};
  for (const char c : {' ', '\n', '\r', '\t'}) table[static_cast<unsigned char>(c)] = space;
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
    const bool number = c >= '0' && c <= '9';
    if (letter) table[c] = name_start | name_char;
    if (number) table[c] = name_char | digit;
    if (c == '-' || c == '.') table[c] = name_char;
  }
  return table;
}();

[[nodiscard]] inline bool is(char c, CharClass kind) noexcept { return classes[static_cast<unsigned char>(c)] & kind; }

// The letters of draws (T-W) and discards (D-G): the seat, and whether it
// draws; any other byte is not_a_play.
constexpr std::uint8_t not_a_play = 0xff;
constexpr std::uint8_t draw_letter = 4;
constexpr std::array<std::uint8_t, 256> play_letters = [] {
  std::array<std::uint8_t, 256> table{};
  table.fill(not_a_play);
  for (std::uint8_t seat = 0; seat < 4; ++seat) {
    table[static_cast<unsigned char>('D' + seat)] = seat;
    table[static_cast<unsigned char>('T' + seat)] = static_cast<std::uint8_t>(draw_letter | seat);
  }
  return table;
}();

enum class Tag : std::uint8_t { Empty, Start, Unread };

// A position in the text; every read checks the end.
class Scanner {
 public:
  explicit Scanner(std::string_view text) noexcept
      : begin_(text.data()), at_(text.data()), end_(text.data() + text.size()) {}

  [[nodiscard]] bool at_end() const noexcept { return at_ == end_; }
  [[nodiscard]] std::size_t offset() const noexcept { return static_cast<std::size_t>(at_ - begin_); }

  // Tenhou's own records have no space between elements and one between
  // attributes: those are told here, inline; the rest is skipped out of line.
  [[nodiscard, gnu::always_inline]] bool skip_space() noexcept {
    if (at_ == end_ || !is(*at_, space)) return false;
    ++at_;
    if (at_ != end_ && is(*at_, space)) skip_more_space();
    return true;
  }

  // Between attributes stands one space; edited records put a line break
  // and a short indent before each element, and a longer one before each
  // attribute of a long element: a few bytes one by one, then sixteen bytes
  // at a time where the text leaves room for it.
  [[gnu::noinline]] void skip_more_space() noexcept {
    for (int few = 0; few < 4; ++few, ++at_) {
      if (at_ == end_ || !is(*at_, space)) return;
    }
#if defined(__SSE2__)
    while (end_ - at_ >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at_));
      const __m128i spaces = _mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
          _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t'))));
      const unsigned others = ~static_cast<unsigned>(_mm_movemask_epi8(spaces)) & 0xffffu;
      if (others != 0) {
        at_ += std::countr_zero(others);
        return;
      }
      at_ += 16;
    }
#endif
    while (at_ != end_ && is(*at_, space)) ++at_;
  }

  [[nodiscard]] bool take(char c) noexcept {
    if (at_ == end_ || *at_ != c) return false;
    ++at_;
    return true;
  }

  [[nodiscard]] bool take(std::string_view literal) noexcept {
    if (static_cast<std::size_t>(end_ - at_) < literal.size() || std::string_view(at_, literal.size()) != literal) {
      return false;
    }
    at_ += literal.size();
    return true;
  }

  // Past the next `literal`; false when there is none, or a zero byte
  // comes before it.
  [[nodiscard]] bool skip_past(std::string_view literal) noexcept {
    const std::string_view rest(at_, static_cast<std::size_t>(end_ - at_));
    const std::size_t found = rest.find(literal);
    if (found == std::string_view::npos || rest.substr(0, found).find('\0') != std::string_view::npos) return false;
    at_ += found + literal.size();
    return true;
  }

  // A name in the plain ASCII form; empty when none starts here.
  [[nodiscard]] std::string_view name() noexcept {
    const char* start = at_;
    if (at_ == end_ || !is(*at_, name_start)) return {};
    ++at_;
    while (at_ != end_ && is(*at_, name_char)) ++at_;
    return std::string_view(start, static_cast<std::size_t>(at_ - start));
  }

  // `T12/>`, `D5/>`: a draw or discard written the short way, read at once;
  // anything else leaves the position as it was. Runs of them are read by
  // plays(); this takes those it leaves: after a three-player record stops,
  // and near the end of the text.
  struct ShortPlay {
    bool is_draw;
    Seat seat;
    int id;
  };
  [[nodiscard]] std::optional<ShortPlay> short_play() noexcept {
    const char* p = at_;
    if (end_ - p < 4) return std::nullopt;
    const char letter = *p;
    const bool is_draw = letter >= 'T' && letter <= 'W';
    if (!is_draw && !(letter >= 'D' && letter <= 'G')) return std::nullopt;
    // At least three bytes follow the letter: up to three digits, then `/>`.
    ++p;
    if (!is(*p, digit)) return std::nullopt;
    int id = *p++ - '0';
    for (int more = 0; more < 2 && p != end_ && is(*p, digit); ++more) id = 10 * id + (*p++ - '0');
    if (end_ - p < 2 || p[0] != '/' || p[1] != '>') return std::nullopt;
    at_ = p + 2;
    return ShortPlay{is_draw, static_cast<Seat>(letter - (is_draw ? 'T' : 'D')), id};
  }

  // Draws and discards in a row, `<T12/><D5/>...` with or without space
  // between them: most of a record's elements, read here with the position
  // held in a register. Stops before anything else, or too near the end to
  // read without checks (where the element-by-element reading takes over);
  // false where the walk refuses a play, or a play comes where none may.
  [[nodiscard]] bool plays(Walk& walk) noexcept {
    const char* p = at_;
    const char* const end = end_;
    RoundPlay* const round = walk.playing();  // unchanged by the plays of a run
    if (round == nullptr) {
      // No play may come here: an element named as one (a letter, then a
      // digit) is either a play or unknown, and the walk refuses both.
      return !(end - p >= 3 && p[0] == '<' && play_letters[static_cast<unsigned char>(p[1])] != not_a_play &&
               is(p[2], digit));
    }
    std::uint32_t count = 0;
    // Edited records put the same line break and indent before each element:
    // the last run of space between two plays, up to seven bytes, is kept and
    // the bytes after the next play are compared with it at once; any other
    // run is stepped over byte by byte and becomes the one compared.
    std::uint64_t gap = 0;       // the bytes from the start of the last run
    std::uint64_t gap_mask = 0;  // the run's bytes among them
    std::size_t gap_size = 0;
    // Seven bytes are there: `<`, the letter, up to three digits and `/>`.
    // Checked once a play: before the first, then where each one ends.
    const auto another = [end](const char* at) { return end - at >= 7 && at[0] == '<'; };
    if (!another(p)) {
      at_ = p;
      return true;
    }
    while (true) {
      const std::uint8_t letter = play_letters[static_cast<unsigned char>(p[1])];
      unsigned id = static_cast<unsigned char>(p[2]) - unsigned{'0'};
      if (letter == not_a_play || id > 9) break;
      const char* q = p + 3;
      if (const unsigned d1 = static_cast<unsigned char>(*q) - unsigned{'0'}; d1 <= 9) [[likely]] {
        id = 10 * id + d1;
        ++q;
        if (const unsigned d2 = static_cast<unsigned char>(*q) - unsigned{'0'}; d2 <= 9) {
          id = 10 * id + d2;
          ++q;
        }
      }
      if (q[0] != '/' || q[1] != '>') break;
      if (id >= tile_id_count) [[unlikely]] return false;
      const auto seat = static_cast<Seat>(letter & 3u);
      const auto tile = static_cast<TileId>(id);
      if (!((letter & draw_letter) != 0 ? round->drew(seat, tile) : round->discarded(seat, tile))) [[unlikely]] {
        return false;
      }
      ++count;
      p = q + 2;
      // Tenhou's own records: the next element follows at once.
      if (another(p)) continue;
      if (end - p >= 8) [[likely]] {
        std::uint64_t next = 0;
        std::memcpy(&next, p, sizeof next);
        if (((next ^ gap) & gap_mask) == 0 && !is(p[gap_size], space)) {
          p += gap_size;
          if (another(p)) continue;
          break;
        }
      }
      const char* const run = p;
      while (p != end && is(*p, space)) ++p;
      gap_size = static_cast<std::size_t>(p - run);
      if (gap_size < sizeof gap && end - run >= 8) {
        std::memcpy(&gap, run, sizeof gap);
        std::array<unsigned char, sizeof gap_mask> mask{};
        std::fill_n(mask.begin(), gap_size, 0xff);
        std::memcpy(&gap_mask, mask.data(), sizeof gap_mask);
      } else {
        gap_size = 0;
        gap_mask = 0;
      }
      if (!another(p)) break;
    }
    walk.took_plays(count);
    at_ = p;
    return true;
  }

  // The attributes after a tag's name, up to `/>` (an empty element) or `>`.
  [[nodiscard]] Tag attributes() noexcept {
    count_ = 0;
    while (true) {
      const bool spaced = skip_space();
      if (at_ == end_) return Tag::Unread;
      const char c = *at_;
      if (c == '/') {
        ++at_;
        return take('>') ? Tag::Empty : Tag::Unread;
      }
      if (c == '>') {
        ++at_;
        return Tag::Start;
      }
      if (!spaced || count_ == most_attributes) return Tag::Unread;
      const std::string_view key = name();
      if (key.empty()) return Tag::Unread;
      (void)skip_space();
      if (!take('=')) return Tag::Unread;
      (void)skip_space();
      if (at_ == end_ || (*at_ != '"' && *at_ != '\'')) return Tag::Unread;
      const char quote = *at_++;
      const char* value = at_;
      const char* close = closing(quote);
      if (close == nullptr) return Tag::Unread;
      at_ = close;
      list_[count_++] = Attribute{key, std::string_view(value, static_cast<std::size_t>(at_ - value))};
      ++at_;
    }
  }

  // The quote that closes a value; nullptr where a zero byte comes first.
  // Values are a few bytes, a hand's some forty: sixteen bytes are looked at
  // a time, inline, rather than by a call.
  [[nodiscard, gnu::always_inline]] const char* closing(char quote) const noexcept {
    const char* p = at_;
#if defined(__SSE2__)
    const __m128i quotes = _mm_set1_epi8(quote);
    for (; end_ - p >= 16; p += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i stops = _mm_or_si128(_mm_cmpeq_epi8(bytes, quotes), _mm_cmpeq_epi8(bytes, _mm_setzero_si128()));
      if (const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(stops))) {
        p += std::countr_zero(found);
        return *p == quote ? p : nullptr;
      }
    }
#endif
    for (; p != end_; ++p) {
      if (*p == quote) return p;
      if (*p == '\0') return nullptr;
    }
    return nullptr;
  }

  [[nodiscard]] Attributes found() const noexcept { return Attributes(std::span(list_.data(), count_)); }

 private:
  const char* begin_;
  const char* at_;
  const char* end_;
  std::array<Attribute, most_attributes> list_;
  std::size_t count_ = 0;
};

// An XML declaration at the very start, then comments and whitespace.
[[nodiscard]] bool skip_prolog(Scanner& s) {
  if (s.take("<?xml")) {
    if (!s.skip_space() || !s.skip_past("?>")) return false;
  }
  while (true) {
    (void)s.skip_space();
    if (!s.take("<!--")) return true;
    if (!s.skip_past("-->")) return false;
  }
}

}  // namespace

std::optional<Record> read_directly(std::string_view text) {
  // A zero byte is taken nowhere: not in a name, a play or space, and the
  // values and the prolog's declaration and comments are looked through.
  Scanner s(text);
  if (!skip_prolog(s) || !s.take('<') || s.name() != "mjloggm" || s.attributes() != Tag::Start) return std::nullopt;
  Walk walk;
  if (!walk.root(s.found())) return std::nullopt;
  while (true) {
    (void)s.skip_space();
    if (!walk.stopped() && !s.plays(walk)) return std::nullopt;
    if (!s.take('<')) return std::nullopt;
    if (s.take('/')) break;
    if (const auto play = s.short_play()) {
      if (!walk.stopped() && !walk.took_play(play->is_draw, play->seat, play->id)) return std::nullopt;
      continue;
    }
    const std::size_t at = s.offset();
    const std::string_view name = s.name();
    if (name.empty() || s.attributes() != Tag::Empty) return std::nullopt;
    // After a three-player record stops, the rest is only checked.
    if (!walk.stopped() && !walk.element(name, s.found(), at)) return std::nullopt;
  }
  if (s.name() != "mjloggm") return std::nullopt;
  (void)s.skip_space();
  if (!s.take('>')) return std::nullopt;
  (void)s.skip_space();
  if (!s.at_end()) return std::nullopt;
  if (!walk.stopped() && !walk.finish()) return std::nullopt;
  return std::move(walk).take();
}

}  // namespace mjlog::parts
