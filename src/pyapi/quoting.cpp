// The fixed texts that take code to write: a file name quoted as a
// debugging string literal, as failed opens show it, and the TypeError of a
// value that is not text. They look odd in places; they are what callers
// have matched for years, so they are never "fixed". base/fixed_texts.hpp
// holds the constant ones.
#include "pyapi/pyapi.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/utf8.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::pyapi {
namespace {

// ---- the quoted form ----------------------------------------------------

// Grapheme-extending characters outside the mark categories (the spacing
// vowel signs and length marks, the halfwidth sound marks; the rest are
// format characters, escaped anyway).
constexpr std::array<std::pair<char32_t, char32_t>, 25> other_grapheme_extend = {{
    {0x09BE, 0x09BE}, {0x09D7, 0x09D7}, {0x0B3E, 0x0B3E}, {0x0B57, 0x0B57}, {0x0BBE, 0x0BBE},
    {0x0BD7, 0x0BD7}, {0x0CC2, 0x0CC2}, {0x0CD5, 0x0CD6}, {0x0D3E, 0x0D3E}, {0x0D57, 0x0D57},
    {0x0DCF, 0x0DCF}, {0x0DDF, 0x0DDF}, {0x1B35, 0x1B35}, {0x200C, 0x200C}, {0x302E, 0x302F},
    {0xFF9E, 0xFF9F}, {0x1133E, 0x1133E}, {0x11357, 0x11357}, {0x114B0, 0x114B0}, {0x114BD, 0x114BD},
    {0x115AF, 0x115AF}, {0x11930, 0x11930}, {0x1D165, 0x1D165}, {0x1D16E, 0x1D172}, {0xE0020, 0xE007F},
}};

bool in_other_grapheme_extend(char32_t code_point) noexcept {
  for (const auto& [first, last] : other_grapheme_extend) {
    if (code_point >= first && code_point <= last) return true;
  }
  return false;
}

// Whether a non-ASCII character is written as an escape: not printable
// (control, format, surrogate, private-use, unassigned, separators) or a
// grapheme-extending mark. The interpreter's Unicode tables answer; this
// runs only while building an error message. Null with an exception set
// where they cannot be asked.
std::optional<bool> escaped_non_ascii(PyObject* unicodedata, char32_t code_point) {
  PyRef category(PyObject_CallMethod(unicodedata, "category", "C", static_cast<int>(code_point)));
  if (!category) return std::nullopt;
  const char* name = PyUnicode_AsUTF8AndSize(category.get(), nullptr);
  if (!name) return std::nullopt;
  static constexpr std::array<std::string_view, 10> escaped_categories = {"Cc", "Cf", "Cs", "Co", "Cn",
                                                                          "Zl", "Zp", "Zs", "Mn", "Me"};
  for (std::string_view escaped : escaped_categories) {
    if (escaped == name) return true;
  }
  return in_other_grapheme_extend(code_point);
}

void append_hex(std::string& out, std::uint32_t value, const char* digits) {
  char buffer[8];
  std::size_t used = 0;
  do {
    buffer[used++] = digits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (used != 0) out.push_back(buffer[--used]);
}

void append_code_point_escape(std::string& out, char32_t code_point) {
  out += "\\u{";
  append_hex(out, code_point, "0123456789abcdef");
  out += '}';
}

void append_byte_escape(std::string& out, std::uint8_t byte) {
  out += "\\x";
  constexpr const char* digits = "0123456789ABCDEF";
  out += digits[byte >> 4];
  out += digits[byte & 0xF];
}

void append_ascii(std::string& out, char c) {
  switch (c) {
    case '\0': out += "\\0"; return;
    case '\t': out += "\\t"; return;
    case '\r': out += "\\r"; return;
    case '\n': out += "\\n"; return;
    case '\\': out += "\\\\"; return;
    case '"': out += "\\\""; return;
    case '\'': out += "\\'"; return;
    default: break;
  }
  if (c < 0x20 || c == 0x7F) {
    append_code_point_escape(out, static_cast<char32_t>(c));
  } else {
    out += c;
  }
}

}  // namespace

void raise_not_a_str(PyObject* value) {
  PyRef name(PyType_GetQualName(Py_TYPE(value)));
  if (!name) return;
  PyErr_Format(PyExc_TypeError, texts::not_a_str, name.get());
}

PyObject* quoted_file_name(std::string_view path) {
  PyRef unicodedata;  // imported at the first character that needs it
  std::string out = "\"";
  while (!path.empty()) {
    const Utf8Step decoded = read_utf8(path);
    if (!decoded.valid) {
      append_byte_escape(out, static_cast<std::uint8_t>(path.front()));
      path.remove_prefix(1);
      continue;
    }
    if (decoded.length == 1) {
      append_ascii(out, path.front());
    } else {
      if (!unicodedata) {
        unicodedata = PyRef(PyImport_ImportModule("unicodedata"));
        if (!unicodedata) return nullptr;
      }
      const auto escaped = escaped_non_ascii(unicodedata.get(), decoded.code_point);
      if (!escaped) return nullptr;
      if (*escaped) {
        append_code_point_escape(out, decoded.code_point);
      } else {
        out.append(path.substr(0, decoded.length));
      }
    }
    path.remove_prefix(decoded.length);
  }
  out += '"';
  return PyUnicode_DecodeUTF8(out.data(), std::ssize(out), "strict");
}

}  // namespace pairo::pyapi
