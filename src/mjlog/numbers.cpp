// Numbers in attribute values: decimal integers, comma-separated lists of
// them, and plain decimals with a fraction.
#include <charconv>

#include "mjlog/parts.hpp"

namespace mjlog::parts {
namespace {

[[nodiscard]] Fault not_a_number(std::string_view text) {
  constexpr std::size_t shown = 24;
  Fault fault = "'";
  fault.append(text.substr(0, shown));
  fault.append(text.size() > shown ? "...'" : "'");
  fault.append(" is not a number");
  return fault;
}

[[nodiscard]] bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

}  // namespace

Checked<std::int64_t> parse_int(std::string_view text, std::int64_t low, std::int64_t high) {
  std::int64_t value = 0;
  // from_chars takes a leading minus but no plus sign, which is what is wanted.
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || text.empty()) {
    return std::unexpected(not_a_number(text));
  }
  if (value < low || value > high) {
    return std::unexpected(std::to_string(value) + " is outside " + std::to_string(low) + ".." +
                           std::to_string(high));
  }
  return value;
}

Checked<std::size_t> parse_ints(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t* out,
                                std::size_t max) {
  std::size_t count = 0;
  std::size_t begin = 0;
  while (true) {
    const std::size_t comma = text.find(',', begin);
    const std::string_view part = text.substr(begin, comma == std::string_view::npos ? comma : comma - begin);
    if (count == max) return std::unexpected("more than " + std::to_string(max) + " values");
    auto value = parse_int(part, low, high);
    if (!value) return std::unexpected(std::move(value.error()));
    out[count++] = *value;
    if (comma == std::string_view::npos) return count;
    begin = comma + 1;
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
  double value = 0;
  if (!well_formed || i != text.size() ||
      std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc{}) {
    return std::unexpected(not_a_number(text));
  }
  return value;
}

std::vector<std::string_view> split(std::string_view text) {
  std::vector<std::string_view> parts;
  std::size_t begin = 0;
  for (std::size_t comma; (comma = text.find(',', begin)) != std::string_view::npos; begin = comma + 1) {
    parts.push_back(text.substr(begin, comma - begin));
  }
  parts.push_back(text.substr(begin));
  return parts;
}

}  // namespace mjlog::parts
