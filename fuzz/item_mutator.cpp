#include "item_mutator.hpp"

#include <array>
#include <charconv>
#include <utility>
#include <vector>

namespace pairo_fuzz {
namespace {

using simdjson::dom::element_type;

// Items of the log's vocabulary, written as JSON: tile numbers in and out of
// range, the tsumogiri and placeholder numbers, call and riichi texts, the
// result markers, and values of every other type.
constexpr std::array<std::string_view, 48> tokens = {
    "0", "60", "11", "19", "29", "37", "41", "47", "51", "52", "53", "10", "20", "38", "48", "54",
    "255", "256", "-1", "1.5", "null", "true", "[]", "{}", "\"\"",
    "\"c121314\"", "\"p454545\"", "\"45p4545\"", "\"4545p45\"", "\"m41414141\"", "\"41m414141\"",
    "\"414141m41\"", "\"414141a41\"", "\"4141k4141\"", "\"r23\"", "\"r60\"", "\"c+5+6+7\"",
    "\"\xe5\x92\x8c\xe4\xba\x86\"", "\"\xe6\xb5\x81\xe5\xb1\x80\"", "\"\xe4\xb9\x9d\xe7\xa8\xae\xe4\xb9\x9d\xe7\x89\x8c\"",
    "\"\xe5\x9b\x9b\xe9\x96\x8b\xe6\xa7\x93\"", "[0,0,0]", "[-1000,1000,0,0]", "[1,0,1,\"\"]", "[3,3,3]",
    "[4,0,0,\"\"]", "\"\xe4\xb8\x89\xe5\x8d\x97\"", "\"\xe6\x9d\xb1\"",
};
constexpr std::string_view text_alphabet = "cpmkar0123456789+";

}  // namespace

std::string ItemMutator::mutate(std::string_view input) {
  static simdjson::dom::parser parser;
  simdjson::dom::element root;
  if (parser.parse(simdjson::padded_string(input)).get(root) != simdjson::SUCCESS) return {};
  const std::size_t arrays = count_arrays(root);
  if (arrays == 0) return {};
  target_ = pick(arrays);
  op_ = static_cast<Op>(pick(6));
  arrays_seen_ = 0;
  out_.clear();
  out_.reserve(input.size() + 64);
  write(root);
  return std::move(out_);
}

std::size_t ItemMutator::count_arrays(simdjson::dom::element e) {
  std::size_t count = 0;
  if (e.type() == element_type::ARRAY) {
    count = 1;
    for (const auto value : e.get_array().value_unsafe()) count += count_arrays(value);
  } else if (e.type() == element_type::OBJECT) {
    for (const auto field : e.get_object().value_unsafe()) count += count_arrays(field.value);
  }
  return count;
}

void ItemMutator::write(simdjson::dom::element e) {
  char digits[32];
  switch (e.type()) {
    case element_type::ARRAY:
      write_array(e.get_array().value_unsafe());
      return;
    case element_type::OBJECT: {
      out_.push_back('{');
      bool first = true;
      for (const auto field : e.get_object().value_unsafe()) {
        if (!first) out_.push_back(',');
        first = false;
        write_string(field.key);
        out_.push_back(':');
        write(field.value);
      }
      out_.push_back('}');
      return;
    }
    case element_type::STRING:
      write_string(e.get_string().value_unsafe());
      return;
    case element_type::INT64:
      out_.append(digits, std::to_chars(digits, digits + sizeof digits, e.get_int64().value_unsafe()).ptr);
      return;
    case element_type::UINT64:
      out_.append(digits, std::to_chars(digits, digits + sizeof digits, e.get_uint64().value_unsafe()).ptr);
      return;
    case element_type::DOUBLE: {
      const auto end = std::to_chars(digits, digits + sizeof digits, e.get_double().value_unsafe()).ptr;
      const std::string_view number(digits, static_cast<std::size_t>(end - digits));
      out_.append(number);
      // Keep it a floating-point number when it is written without fraction or exponent.
      if (number.find_first_of(".eEn") == std::string_view::npos) out_.append(".0");
      return;
    }
    case element_type::BOOL:
      out_.append(e.get_bool().value_unsafe() ? "true" : "false");
      return;
    case element_type::NULL_VALUE:
      out_.append("null");
      return;
  }
}

void ItemMutator::write_array(simdjson::dom::array values) {
  const bool mutated = arrays_seen_++ == target_;
  std::vector<simdjson::dom::element> items(values.begin(), values.end());
  std::size_t edited = items.size();  // the element whose text is edited, if any
  bool token_at_end = false;
  if (mutated) {
    const std::size_t n = items.size();
    switch (op_) {
      case Op::Swap:
        if (n >= 2) std::swap(items[pick(n)], items[pick(n)]);
        break;
      case Op::Drop:
        if (n >= 1) items.erase(items.begin() + static_cast<std::ptrdiff_t>(pick(n)));
        break;
      case Op::Duplicate:
        if (n >= 1) items.insert(items.begin() + static_cast<std::ptrdiff_t>(pick(n + 1)), items[pick(n)]);
        break;
      case Op::Truncate:
        items.resize(pick(n + 1));
        break;
      case Op::Replace:
      case Op::EditText:
        edited = pick(n + 1);  // n: a new token at the end
        token_at_end = edited == n;
        break;
    }
  }
  out_.push_back('[');
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out_.push_back(',');
    if (i != edited) {
      write(items[i]);
    } else if (op_ == Op::EditText && items[i].type() == element_type::STRING) {
      write_edited_text(items[i]);
    } else {
      write_token();
    }
  }
  if (token_at_end) {
    if (!items.empty()) out_.push_back(',');
    write_token();
  }
  out_.push_back(']');
}

void ItemMutator::write_token() { out_.append(tokens[pick(tokens.size())]); }

void ItemMutator::write_edited_text(simdjson::dom::element e) {
  std::string text(e.get_string().value_unsafe());
  if (text.empty() || pick(4) == 0) {
    text.insert(pick(text.size() + 1), 1, text_alphabet[pick(text_alphabet.size())]);
  } else {
    text[pick(text.size())] = text_alphabet[pick(text_alphabet.size())];
  }
  write_string(text);  // a cut UTF-8 sequence stays in: the decoder must refuse it
}

void ItemMutator::write_string(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  out_.push_back('"');
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out_.push_back('\\');
      out_.push_back(c);
    } else if (u < 0x20) {
      out_.append("\\u00");
      out_.push_back(hex[u >> 4]);
      out_.push_back(hex[u & 15]);
    } else {
      out_.push_back(c);
    }
  }
  out_.push_back('"');
}

}  // namespace pairo_fuzz
