// The UTF-8 text of a str, written once into the padded buffer the parser
// reads.
//
// A str that is not ASCII keeps its characters as 1, 2 or 4 bytes each and
// makes its UTF-8 form only when asked, then holds it as long as it lives.
// A log's text is converted once, so asking would encode it, keep a second
// copy with the caller's str and copy it once more here. Instead the text is
// encoded straight into the buffer, and a UTF-8 form the str already holds is
// copied as it is.
#include <cstdint>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "lib/lib.hpp"

namespace pairo::lib {
namespace {

// Code units taken together when looking for a run of ASCII.
constexpr std::size_t run = 16;

// Writes the next `run` units as bytes if all of them are ASCII.
template <class Unit>
[[nodiscard]] bool copy_ascii_run(const Unit* units, char* out) noexcept {
#if defined(__SSE2__)
  const auto* in = reinterpret_cast<const __m128i*>(units);
  if constexpr (sizeof(Unit) == 1) {
    const __m128i bytes = _mm_loadu_si128(in);
    if (_mm_movemask_epi8(bytes) != 0) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  } else if constexpr (sizeof(Unit) == 2) {
    const __m128i low = _mm_loadu_si128(in);
    const __m128i high = _mm_loadu_si128(in + 1);
    const __m128i beyond = _mm_and_si128(_mm_or_si128(low, high), _mm_set1_epi16(static_cast<short>(0xff80)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(beyond, _mm_setzero_si128())) != 0xffff) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
  } else {
    const __m128i a = _mm_loadu_si128(in);
    const __m128i b = _mm_loadu_si128(in + 1);
    const __m128i c = _mm_loadu_si128(in + 2);
    const __m128i d = _mm_loadu_si128(in + 3);
    const __m128i any = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
    const __m128i beyond = _mm_and_si128(any, _mm_set1_epi32(~0x7f));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(beyond, _mm_setzero_si128())) != 0xffff) return false;
    const __m128i words = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), words);
  }
  return true;
#else
  Unit any = 0;
  for (std::size_t k = 0; k < run; ++k) any |= units[k];
  if (any >= 0x80) return false;
  for (std::size_t k = 0; k < run; ++k) out[k] = static_cast<char>(units[k]);
  return true;
#endif
}

// Encodes `count` code points as UTF-8 from `out`, which has room for four
// bytes each; gives the bytes written, or nothing at a surrogate.
template <class Unit>
[[nodiscard]] std::optional<std::size_t> encode(const Unit* units, std::size_t count, char* out) noexcept {
  char* at = out;
  std::size_t i = 0;
  while (i < count) {
    // Logs are mostly digits and punctuation: whole runs of ASCII go at once.
    while (i + run <= count && copy_ascii_run(units + i, at)) {
      at += run;
      i += run;
    }
    if (i == count) break;
    const std::uint32_t c = units[i++];
    if (c < 0x80) {
      *at++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *at++ = static_cast<char>(0xc0 | (c >> 6));
      *at++ = static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
      if (c >= 0xd800 && c <= 0xdfff) return std::nullopt;
      *at++ = static_cast<char>(0xe0 | (c >> 12));
      *at++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
      *at++ = static_cast<char>(0x80 | (c & 0x3f));
    } else {
      *at++ = static_cast<char>(0xf0 | (c >> 18));
      *at++ = static_cast<char>(0x80 | ((c >> 12) & 0x3f));
      *at++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
      *at++ = static_cast<char>(0x80 | (c & 0x3f));
    }
  }
  return static_cast<std::size_t>(at - out);
}

// The UTF-8 form the str holds already, if any.
[[nodiscard]] std::optional<std::string_view> held_utf8(PyObject* str) noexcept {
  const auto* compact = reinterpret_cast<const PyCompactUnicodeObject*>(str);
  if (compact->utf8 == nullptr) return std::nullopt;
  return std::string_view(compact->utf8, static_cast<std::size_t>(compact->utf8_length));
}

// The most UTF-8 bytes a str of `count` characters of this kind can take.
[[nodiscard]] std::size_t utf8_room(int kind, std::size_t count) noexcept {
  switch (kind) {
    case PyUnicode_1BYTE_KIND: return 2 * count;
    case PyUnicode_2BYTE_KIND: return 3 * count;
    default: return 4 * count;
  }
}

}  // namespace

bool read_str_text(PyObject* str, tenhou::PaddedText& text) {
  const auto count = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
  const void* data = PyUnicode_DATA(str);
  if (PyUnicode_IS_ASCII(str)) {
    text = tenhou::PaddedText(std::string_view(static_cast<const char*>(data), count));
    return true;
  }
  if (const auto utf8 = held_utf8(str)) {
    text = tenhou::PaddedText(*utf8);
    return true;
  }
  const int kind = PyUnicode_KIND(str);
  text = tenhou::PaddedText(utf8_room(kind, count));
  std::optional<std::size_t> size;
  switch (kind) {
    case PyUnicode_1BYTE_KIND: size = encode(static_cast<const Py_UCS1*>(data), count, text.data()); break;
    case PyUnicode_2BYTE_KIND: size = encode(static_cast<const Py_UCS2*>(data), count, text.data()); break;
    default: size = encode(static_cast<const Py_UCS4*>(data), count, text.data()); break;
  }
  if (!size) {
    // A lone surrogate: the interpreter's own encoder raises its error.
    Py_ssize_t ignored = 0;
    if (PyUnicode_AsUTF8AndSize(str, &ignored) != nullptr) raise_panic("a str with a surrogate has a UTF-8 form");
    return false;
  }
  text.resize_within(*size);
  return true;
}

}  // namespace pairo::lib
