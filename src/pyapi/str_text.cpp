// The UTF-8 text of a str, written once into the padded buffer the parser
// reads.
//
// A str that is not ASCII keeps its characters as 1, 2 or 4 bytes each and
// makes its UTF-8 form only when asked, then holds it as long as it lives.
// A log's text is converted once, so asking would encode it, keep a second
// copy with the caller's str and copy it once more here. Instead the text is
// encoded straight into the buffer, and a UTF-8 form the str already holds is
// copied as it is. A build on the limited API (the abi3 wheel) cannot see
// the characters and asks the interpreter.
#include <bit>
#include <cstdint>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

#include "pyapi/pyapi.hpp"

namespace pairo::pyapi {
#ifndef Py_LIMITED_API
namespace {

// Code units taken together when looking for a run of ASCII.
constexpr std::size_t run = 16;

// Writes the next `run` units as bytes and gives how many of them, from the
// first, are ASCII: only those are meant, the bytes after them are to be
// written over. The output has room for the whole run.
template <class Unit>
[[nodiscard]] std::size_t copy_ascii_run(const Unit* units, char* out) noexcept {
#if defined(__SSE2__)
  const auto* in = reinterpret_cast<const __m128i*>(units);
  const __m128i zero = _mm_setzero_si128();
  unsigned ascii;  // a bit per unit
  if constexpr (sizeof(Unit) == 1) {
    const __m128i bytes = _mm_loadu_si128(in);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    ascii = ~static_cast<unsigned>(_mm_movemask_epi8(bytes));
  } else if constexpr (sizeof(Unit) == 2) {
    const __m128i low = _mm_loadu_si128(in);
    const __m128i high = _mm_loadu_si128(in + 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
    const __m128i beyond = _mm_set1_epi16(static_cast<short>(0xff80));
    const __m128i is_low = _mm_cmpeq_epi16(_mm_and_si128(low, beyond), zero);
    const __m128i is_high = _mm_cmpeq_epi16(_mm_and_si128(high, beyond), zero);
    ascii = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(is_low, is_high)));
  } else {
    const __m128i a = _mm_loadu_si128(in);
    const __m128i b = _mm_loadu_si128(in + 1);
    const __m128i c = _mm_loadu_si128(in + 2);
    const __m128i d = _mm_loadu_si128(in + 3);
    // Signed packs: a unit beyond 0x7fff'ffff is no code point, and beyond
    // 0x7f it fails the test below whatever its byte becomes.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
    const __m128i beyond = _mm_set1_epi32(~0x7f);
    const auto is = [&](__m128i v) { return _mm_cmpeq_epi32(_mm_and_si128(v, beyond), zero); };
    ascii = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_packs_epi16(_mm_packs_epi32(is(a), is(b)), _mm_packs_epi32(is(c), is(d)))));
  }
  return static_cast<std::size_t>(std::countr_one(ascii & 0xffffu));
#else
  std::size_t k = 0;
  while (k < run && units[k] < 0x80) {
    out[k] = static_cast<char>(units[k]);
    ++k;
  }
  return k;
#endif
}

// Two-byte units taken together by the AVX2 form: twice the units of
// copy_ascii_run for about the same instructions.
constexpr std::size_t wide_run = 32;

#if defined(__x86_64__)
// copy_ascii_run of `wide_run` two-byte units.
[[gnu::target("avx2"), nodiscard]] inline std::size_t copy_ascii_wide_run(const Py_UCS2* units, char* out) noexcept {
  const auto* in = reinterpret_cast<const __m256i*>(units);
  const __m256i low = _mm256_loadu_si256(in);
  const __m256i high = _mm256_loadu_si256(in + 1);
  // Packs work within 128-bit lanes: the quarters come out as low's first,
  // high's first, low's second, high's second, and are put in order.
  constexpr int in_order = 0xd8;
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                      _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), in_order));
  const __m256i beyond = _mm256_set1_epi16(static_cast<short>(0xff80));
  if (_mm256_testz_si256(_mm256_or_si256(low, high), beyond)) return wide_run;
  const __m256i zero = _mm256_setzero_si256();
  const __m256i is_low = _mm256_cmpeq_epi16(_mm256_and_si256(low, beyond), zero);
  const __m256i is_high = _mm256_cmpeq_epi16(_mm256_and_si256(high, beyond), zero);
  const __m256i is_ascii = _mm256_permute4x64_epi64(_mm256_packs_epi16(is_low, is_high), in_order);
  const auto ascii = static_cast<std::uint32_t>(_mm256_movemask_epi8(is_ascii));
  return static_cast<std::size_t>(std::countr_one(ascii));
}
#endif

// Copies the ASCII from units[i] on, as long as whole runs remain, advancing
// `i` and `at` past it. `Wide`: two-byte units, AVX2 at hand.
template <class Unit, bool Wide>
void copy_ascii(const Unit* units, std::size_t count, std::size_t& i, char*& at) noexcept {
#if defined(__x86_64__)
  if constexpr (Wide) {
    while (i + wide_run <= count) {
      const std::size_t ascii = copy_ascii_wide_run(units + i, at);
      i += ascii;
      at += ascii;
      if (ascii < wide_run) return;
    }
  }
#endif
  while (i + run <= count) {
    const std::size_t ascii = copy_ascii_run(units + i, at);
    i += ascii;
    at += ascii;
    if (ascii < run) return;
  }
}

// Encodes `count` code points as UTF-8 from `out`, which has room for four
// bytes each; gives the bytes written, or nothing at a surrogate.
template <class Unit, bool Wide = false>
[[nodiscard]] std::optional<std::size_t> encode(const Unit* units, std::size_t count, char* out) noexcept {
  char* at = out;
  std::size_t i = 0;
  while (i < count) {
    // Logs are mostly digits and punctuation: whole runs of ASCII go at once,
    // up to the next character that is not ASCII (a few in a round's results).
    copy_ascii<Unit, Wide>(units, count, i, at);
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

#if defined(__x86_64__)
// The two-byte kind, that of every str holding Japanese text, with the wide
// runs: compiled for AVX2 as a whole (everything it calls inlined into it),
// so that the runs' test is not a call.
[[gnu::target("avx2"), gnu::flatten, nodiscard]] std::optional<std::size_t> encode_ucs2_avx2(
    const Py_UCS2* units, std::size_t count, char* out) noexcept {
  return encode<Py_UCS2, true>(units, count, out);
}

// Asked of the processor itself rather than of the compiler's runtime, which
// not every toolchain links into a shared module: AVX2 present, and the
// system saving the vector registers it uses.
[[nodiscard]] bool ask_avx2() noexcept {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  if ((ecx & bit_OSXSAVE) == 0 || (ecx & bit_AVX) == 0) return false;
  unsigned low = 0, high = 0;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  constexpr unsigned sse_and_avx_state = 0b110;
  if ((low & sse_and_avx_state) != sse_and_avx_state) return false;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (ebx & bit_AVX2) != 0;
}

[[nodiscard]] bool has_avx2() noexcept {
  static const bool present = ask_avx2();
  return present;
}
#endif

[[nodiscard]] std::optional<std::size_t> encode_ucs2(const Py_UCS2* units, std::size_t count, char* out) noexcept {
#if defined(__x86_64__)
  if (has_avx2()) return encode_ucs2_avx2(units, count, out);
#endif
  return encode(units, count, out);
}

// The UTF-8 form the str holds already, if any. Its slot is read directly
// only where its layout is the one tested and nothing else may be writing it
// meanwhile: the GIL builds of CPython 3.12 and 3.13. Elsewhere the text is
// encoded from the characters, as for a str that holds no UTF-8 form.
[[nodiscard]] std::optional<std::string_view> held_utf8([[maybe_unused]] PyObject* str) noexcept {
#if !defined(Py_GIL_DISABLED) && PY_VERSION_HEX < 0x030E0000
  const auto* compact = reinterpret_cast<const PyCompactUnicodeObject*>(str);
  if (compact->utf8 == nullptr) return std::nullopt;
  return std::string_view(compact->utf8, static_cast<std::size_t>(compact->utf8_length));
#else
  return std::nullopt;
#endif
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

bool read_str_text(PyObject* str, PaddedText& text) {
  const auto count = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
  const void* data = PyUnicode_DATA(str);
  if (PyUnicode_IS_ASCII(str)) {
    text = PaddedText(std::string_view(static_cast<const char*>(data), count));
    return true;
  }
  if (const auto utf8 = held_utf8(str)) {
    text = PaddedText(*utf8);
    return true;
  }
  const int kind = PyUnicode_KIND(str);
  text = PaddedText(utf8_room(kind, count));
  std::optional<std::size_t> size;
  switch (kind) {
    case PyUnicode_1BYTE_KIND: size = encode(static_cast<const Py_UCS1*>(data), count, text.data()); break;
    case PyUnicode_2BYTE_KIND: size = encode_ucs2(static_cast<const Py_UCS2*>(data), count, text.data()); break;
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

#else

// The limited API gives no access to a str's characters: the interpreter
// encodes the text (and keeps that UTF-8 form with the str as long as it
// lives), and it is copied once into the buffer.
bool read_str_text(PyObject* str, PaddedText& text) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(str, &size);
  if (utf8 == nullptr) return false;  // UnicodeEncodeError as it stands
  text = PaddedText(std::string_view(utf8, static_cast<std::size_t>(size)));
  return true;
}

#endif
}  // namespace pairo::pyapi
