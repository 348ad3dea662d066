// The text of an XML game record as a caller gives it: a str, or bytes that
// are plain or gzip-compressed (as .mjlog files are). The reader parses the
// text in place, so it always gets a buffer of its own.
#include "native/native.hpp"
#include "gzip/gzip.hpp"
#include "lib/lib.hpp"

namespace pairo::native {

std::optional<Given> given_record(PyObject* data, const char* function) {
  if (PyBytes_Check(data)) {
    return Given{std::string_view(PyBytes_AS_STRING(data), static_cast<std::size_t>(PyBytes_GET_SIZE(data)))};
  }
  if (!PyUnicode_Check(data)) {
    PyErr_Format(PyExc_TypeError, "%s() argument 'data' must be str or bytes, not %.200s", function,
                 Py_TYPE(data)->tp_name);
    return std::nullopt;
  }
  tenhou::PaddedText text;
  if (!lib::read_str_text(data, text)) return std::nullopt;  // UnicodeEncodeError as it stands
  return Given{std::move(text)};
}

// Inflating gzip data is bounded (gzip::inflate_limit), so that a bomb fails
// as this one record's error instead of exhausting memory.
std::expected<tenhou::PaddedText, mjlog::Error> record_text(Given given) {
  if (auto* text = std::get_if<tenhou::PaddedText>(&given)) return std::move(*text);
  const std::string_view bytes = std::get<std::string_view>(given);
  if (!gzip::is_gzip(bytes)) return tenhou::PaddedText(bytes);
  auto inflated = gzip::Inflater().inflate(bytes);
  if (!inflated) return std::unexpected(mjlog::Error{std::string(gzip::message(inflated.error())), std::nullopt});
  return std::move(*inflated);
}

}  // namespace pairo::native
