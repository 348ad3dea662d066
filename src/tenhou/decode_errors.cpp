// The decoder's messages. Built only on failure, so none of this is on the
// path of a log that decodes.
#include <charconv>
#include <string>

#include "tenhou/decode_read.hpp"

namespace tenhou::decoding {
namespace {

DecodeError error(std::string message) { return DecodeError{std::move(message), std::nullopt}; }

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      constexpr std::string_view hex = "0123456789abcdef";
      out += "\\u{";
      if (c >= 0x10) out += hex[static_cast<unsigned char>(c) >> 4];
      out += hex[static_cast<unsigned char>(c) & 0xf];
      out += '}';
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

// Shortest round-trip form, always showing that it is a floating-point number.
std::string float_text(double value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  std::string text(buffer, end);
  if (text.find_first_of(".eEni") == std::string::npos) text += ".0";
  return text;
}

// What stood in the text: its kind, and the value of scalars.
std::string describe(Element found) {
  switch (found.type()) {
    case ElementType::ARRAY:
      return "sequence";
    case ElementType::OBJECT:
      return "map";
    case ElementType::INT64:
      return "integer `" + std::to_string(found.get_int64().value_unsafe()) + "`";
    case ElementType::UINT64:
      return "integer `" + std::to_string(found.get_uint64().value_unsafe()) + "`";
    case ElementType::DOUBLE:
      return "floating point `" + float_text(found.get_double().value_unsafe()) + "`";
    case ElementType::STRING:
      return "string " + quoted(found.get_string().value_unsafe());
    case ElementType::BOOL:
      return found.get_bool().value_unsafe() ? "boolean `true`" : "boolean `false`";
    case ElementType::NULL_VALUE:
      return "null";
  }
  return "unknown value";
}

}  // namespace

DecodeError invalid_type(Element found, std::string_view expectation) {
  return error("invalid type: " + describe(found) + ", expected " + std::string(expectation));
}

DecodeError invalid_value(Element found, std::string_view expectation) {
  return error("invalid value: " + describe(found) + ", expected " + std::string(expectation));
}

DecodeError invalid_length(std::size_t count, std::string_view expectation) {
  return error("invalid length " + std::to_string(count) + ", expected " + std::string(expectation));
}

DecodeError missing_field(std::string_view key) { return error("missing field `" + std::string(key) + "`"); }

DecodeError duplicate_field(std::string_view key) { return error("duplicate field `" + std::string(key) + "`"); }

DecodeError trailing_element() { return error("trailing characters"); }

// The parser's own wording for the same limit.
DecodeError nesting_too_deep() { return error(simdjson::error_message(simdjson::DEPTH_ERROR)); }

DecodeError parse_failure(simdjson::error_code code) { return error(simdjson::error_message(code)); }

DecodeError no_matching_variant(std::string_view union_name) {
  return error("data did not match any variant of untagged enum " + std::string(union_name));
}

// "invalid value: N, expected one of: 0, 11, ..., 53".
DecodeError not_a_tile(std::uint8_t number) {
  std::string message = "invalid value: " + std::to_string(number) + ", expected one of: ";
  bool first = true;
  for (std::size_t n = 0; n < pairo::detail::tenhou_codes.size(); ++n) {
    if (!pairo::tile_from_tenhou(static_cast<std::uint8_t>(n))) continue;
    if (!first) message += ", ";
    message += std::to_string(n);
    first = false;
  }
  return error(std::move(message));
}

}  // namespace tenhou::decoding
