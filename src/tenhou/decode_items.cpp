// The mixed-type elements of a round: the items of the draw and discard
// streams, and those of the result list with the JSON values they may carry.
//
// The parsed document already holds each element whole, so the alternatives
// are tried in their order on the element itself, none consuming it.
#include <cstdint>
#include <optional>

#include "tenhou/decode_read.hpp"

namespace tenhou::decoding {
namespace {

using simdjson::dom::array;
using simdjson::dom::object;

// Four integers within i32, and nothing else.
std::optional<std::array<std::int32_t, 4>> as_deltas(array values) {
  if (values.size() != 4) return std::nullopt;
  std::array<std::int32_t, 4> deltas{};
  std::size_t position = 0;
  for (const Element value : values) {
    if (value.type() != ElementType::INT64) return std::nullopt;
    const std::int64_t delta = value.get_int64().value_unsafe();
    if (!std::in_range<std::int32_t>(delta)) return std::nullopt;
    deltas[position++] = static_cast<std::int32_t>(delta);
  }
  return deltas;
}

Decoded<JsonValue> read_json_value(Element e, int level);

// The elements of an array whose own level is `level`.
Decoded<JsonValue::Array> read_json_array(array values, int level) {
  JsonValue::Array out;
  out.reserve(values.size());
  for (const Element value : values) {
    auto decoded = read_json_value(value, level + 1);
    if (!decoded) return std::unexpected(std::move(decoded.error()));
    out.push_back(std::move(*decoded));
  }
  return out;
}

// Keys keep their text order; a repeated key is kept as often as it appears.
Decoded<JsonValue::Object> read_json_object(object fields, int level) {
  JsonValue::Object out;
  out.reserve(fields.size());
  for (const simdjson::dom::key_value_pair field : fields) {
    auto decoded = read_json_value(field.value, level + 1);
    if (!decoded) return std::unexpected(std::move(decoded.error()));
    out.push_back(JsonMember{std::string(field.key), std::move(*decoded)});
  }
  return out;
}

template <class T>
Decoded<JsonValue> wrap(Decoded<T>&& decoded) {
  if (!decoded) return std::unexpected(std::move(decoded.error()));
  return JsonValue{std::move(*decoded)};
}

// `level`: the level that `e` opens if it is an array or an object.
Decoded<JsonValue> read_json_value(Element e, int level) {
  switch (e.type()) {
    case ElementType::NULL_VALUE:
      return JsonValue{};
    case ElementType::BOOL:
      return JsonValue{e.get_bool().value_unsafe()};
    case ElementType::INT64: {
      // Integers keep their sign form: the non-negative ones are unsigned.
      const std::int64_t value = e.get_int64().value_unsafe();
      if (value >= 0) return JsonValue{static_cast<std::uint64_t>(value)};
      return JsonValue{value};
    }
    case ElementType::UINT64:
      return JsonValue{e.get_uint64().value_unsafe()};
    case ElementType::DOUBLE:
      return JsonValue{e.get_double().value_unsafe()};
    case ElementType::STRING:
      return JsonValue{std::string(e.get_string().value_unsafe())};
    case ElementType::ARRAY:
      if (level >= nesting_budget) return std::unexpected(nesting_too_deep());
      return wrap(read_json_array(e.get_array().value_unsafe(), level));
    case ElementType::OBJECT:
      if (level >= nesting_budget) return std::unexpected(nesting_too_deep());
      return wrap(read_json_object(e.get_object().value_unsafe(), level));
  }
  return std::unexpected(not_a_result_item(e));
}

}  // namespace

// A stream's items, each tried as a tile, then any other u8, then text, and
// made in its place in the list.
Decoded<std::vector<ActionItem>> read_action_items(array items) {
  std::vector<ActionItem> out;
  out.reserve(items.size());
  for (const Element e : items) {
    if (e.type() == ElementType::INT64) {
      const std::int64_t value = e.get_int64().value_unsafe();
      if (std::in_range<std::uint8_t>(value)) {
        const auto number = static_cast<std::uint8_t>(value);
        // Each item is made in its place, not moved there: a move of the
        // union would dispatch on its kind.
        if (const auto tile = pairo::tile_from_tenhou(number)) {
          out.emplace_back(ActionItem::Tile{*tile});
        } else {
          out.emplace_back(ActionItem::Number{number});
        }
        continue;
      }
    } else if (e.type() == ElementType::STRING) {
      out.emplace_back(ActionItem::Text{std::string(e.get_string().value_unsafe())});
      continue;
    }
    return std::unexpected(not_an_action_item(e));
  }
  return out;
}

// Text, then four i32 deltas, then any other array as JSON values.
Decoded<ResultItem> read_result_item(Element e, int level) {
  if (e.type() == ElementType::STRING) {
    return ResultItem{ResultItem::Text{std::string(e.get_string().value_unsafe())}};
  }
  if (e.type() != ElementType::ARRAY) return std::unexpected(not_a_result_item(e));
  if (level >= nesting_budget) return std::unexpected(nesting_too_deep());
  const array values = e.get_array().value_unsafe();
  if (const auto deltas = as_deltas(values)) return ResultItem{ResultItem::Deltas{*deltas}};
  auto decoded = read_json_array(values, level);
  if (!decoded) return std::unexpected(std::move(decoded.error()));
  return ResultItem{ResultItem::Values{std::move(*decoded)}};
}

}  // namespace tenhou::decoding
