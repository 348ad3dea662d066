// The decoder's messages. Built only on failure, so none of this is on the
// path of a log that decodes.
#include <charconv>
#include <string>

#include "tenhou/decode_read.hpp"

namespace tenhou::decoding {
namespace {

Error error(pairo::ErrorKind kind, std::string message) { return Error(kind, std::move(message)); }

using enum pairo::ErrorKind;

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
      return "array";
    case ElementType::OBJECT:
      return "object";
    case ElementType::INT64:
      return "integer `" + std::to_string(found.get_int64().value_unsafe()) + "`";
    case ElementType::UINT64:
      return "integer `" + std::to_string(found.get_uint64().value_unsafe()) + "`";
    case ElementType::DOUBLE:
      return "number `" + float_text(found.get_double().value_unsafe()) + "`";
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

Error invalid_type(Element found, std::string_view expectation) {
  return error(InvalidType, "invalid type: " + describe(found) + ", expected " + std::string(expectation));
}

Error invalid_value(Element found, std::string_view expectation) {
  return error(InvalidValue, "invalid value: " + describe(found) + ", expected " + std::string(expectation));
}

Error invalid_length(std::size_t count, std::string_view expectation) {
  return error(InvalidLength, "invalid length " + std::to_string(count) + ", expected " + std::string(expectation));
}

Error missing_field(std::string_view key) { return error(MissingField, "missing field `" + std::string(key) + "`"); }

Error duplicate_field(std::string_view key) {
  return error(DuplicateField, "duplicate field `" + std::string(key) + "`");
}

Error too_many_values(std::size_t limit) {
  return error(InvalidLength, "invalid length: more than " + std::to_string(limit) + " values");
}

// The parser's own wording for the same limit.
Error nesting_too_deep() { return error(Syntax, simdjson::error_message(simdjson::DEPTH_ERROR)); }

Error parse_failure(simdjson::error_code code) { return error(Syntax, simdjson::error_message(code)); }

Error not_an_action_item(Element found) {
  return error(NotAnItem, "invalid stream item: " + describe(found) +
                              ", expected a tile number, another integer from 0 to 255 or a text");
}

Error not_a_result_item(Element found) {
  return error(NotAnItem, "invalid result item: " + describe(found) + ", expected a text or an array");
}

Error not_a_tile(std::uint8_t number) {
  return error(NotATile, "invalid tile: " + std::to_string(number) +
                             " is no Tenhou tile number (0, 11 to 19, 21 to 29, 31 to 39, 41 to 47, 51 to 53)");
}

}  // namespace tenhou::decoding
