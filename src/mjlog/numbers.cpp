// Numbers in attribute values: decimal integers, comma-separated lists of
// them, and plain decimals with a fraction.
#include <simdjson.h>

#include "mjlog/parts.hpp"

namespace mjlog::parts {
namespace {

[[nodiscard, gnu::cold]] Fault not_a_number(std::string_view text) {
  constexpr std::size_t shown = 24;
  Fault fault{ErrorKind::InvalidValue, "'"};
  fault.text.append(text.substr(0, shown));
  fault.text.append(text.size() > shown ? "...'" : "'");
  fault.text.append(" is not a number");
  return fault;
}

[[nodiscard, gnu::cold]] Fault too_many(std::size_t max) {
  return {ErrorKind::InvalidLength, "more than " + std::to_string(max) + " values"};
}

[[nodiscard]] bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

}  // namespace

namespace {

// `-`? digits, at most 18 of them, from `p` on; false when there is none or
// too many. Leaves `p` after the number.
[[nodiscard]] bool read_integer(const char*& p, const char* end, std::int64_t& value) noexcept {
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  const char* digits = p;
  std::uint64_t v = 0;  // wraps harmlessly past 18 digits, which are refused
  for (unsigned d; p != end && (d = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10; ++p) v = 10 * v + d;
  if (p == digits || p - digits > 18) return false;
  value = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
  return true;
}

[[gnu::cold]] Fault out_of_range(std::int64_t value, std::int64_t low, std::int64_t high) {
  return {ErrorKind::InvalidValue,
          std::to_string(value) + " is outside " + std::to_string(low) + ".." + std::to_string(high)};
}

}  // namespace

Checked<std::int64_t> parse_int(std::string_view text, std::int64_t low, std::int64_t high) {
  const char* p = text.data();
  const char* end = p + text.size();
  std::int64_t value = 0;
  if (!read_integer(p, end, value) || p != end) [[unlikely]] return std::unexpected(not_a_number(text));
  if (value < low || value > high) [[unlikely]] return std::unexpected(out_of_range(value, low, high));
  return value;
}

Checked<std::size_t> parse_ints(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t* out,
                                std::size_t max) {
  const char* p = text.data();
  const char* end = p + text.size();
  std::size_t count = 0;
  while (true) {
    const char* start = p;
    std::int64_t value = 0;
    if (count == max) [[unlikely]] return std::unexpected(too_many(max));
    if (!read_integer(p, end, value) || (p != end && *p != ',')) [[unlikely]] {
      const std::string_view rest(start, static_cast<std::size_t>(end - start));
      return std::unexpected(not_a_number(rest.substr(0, rest.find(','))));
    }
    if (value < low || value > high) [[unlikely]] return std::unexpected(out_of_range(value, low, high));
    out[count++] = value;
    if (p == end) return count;
    ++p;  // the comma
  }
}

// `-`? digits (`.` digits)?: no exponent, no infinity, nothing JSON cannot write.
Checked<double> parse_decimal(std::string_view text) {
  std::size_t i = text.starts_with('-') ? 1 : 0;
  const std::size_t digits = i;
  while (i < text.size() && is_digit(text[i])) ++i;
  bool well_formed = i > digits;
  if (well_formed && i < text.size() && text[i] == '.') {
    const std::size_t fraction = ++i;
    while (i < text.size() && is_digit(text[i])) ++i;
    well_formed = i > fraction;
  }
  if (!well_formed || i != text.size()) return std::unexpected(not_a_number(text));
  // The JSON parser's own correctly rounded reading of a number it has
  // checked, as this one is: every C++ library this builds with has one, not
  // all a floating-point std::from_chars.
  return simdjson::internal::from_chars(text.data(), text.data() + text.size());
}

std::size_t split(std::string_view text, std::span<std::string_view> parts) noexcept {
  std::size_t count = 0;
  std::size_t begin = 0;
  for (std::size_t comma; (comma = text.find(',', begin)) != std::string_view::npos; begin = comma + 1) {
    if (count < parts.size()) parts[count] = text.substr(begin, comma - begin);
    ++count;
  }
  if (count < parts.size()) parts[count] = text.substr(begin);
  return count + 1;
}

}  // namespace mjlog::parts
