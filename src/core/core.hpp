// What the parts of pairo._core offer each other: its functions, the
// classes it raises, and the text of an XML game record as a caller gives it.
#pragma once

#include <Python.h>

#include <expected>
#include <optional>
#include <string_view>
#include <variant>

#include "base/error.hpp"
#include "mjlog/mjlog.hpp"
#include "tenhou/tenhou.hpp"

namespace pairo::core {

// diagnose(data): why the log text `data` does not convert, as the tuple
// (stage, kind, round, seat, item, message, detail), or None when it converts.
PyObject* diagnose(PyObject* module, PyObject* data);

// mjlog_to_tenhou6(data, ref=None): the tenhou.net/6 JSON text of the XML
// game record `data`; mjlog_to_mjai(data): its mjai event texts.
PyObject* mjlog_to_tenhou6(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* mjlog_to_mjai(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// ---- classes (errors.cpp) -------------------------------------------------

// Adds _pairo's four classes and MjlogParsingError to `module`, keeping them
// for raising. False with an exception set.
[[nodiscard]] bool add_error_classes(PyObject* module);

// The class and fixed message _pairo raises for the stage that failed.
void raise_conversion_error(const pairo::Error& error);

// MjlogParsingError with the element, what is wrong, and the byte offset.
void raise_record_error(const mjlog::Error& error);

// ---- the record's text (record_input.cpp) ---------------------------------

// A str's text, copied out, or a bytes' content, viewed: the caller's
// reference keeps the bytes alive, and bytes never change.
using Given = std::variant<tenhou::PaddedText, std::string_view>;

// The argument `data` of `function` as a record's text; nothing, with
// TypeError or UnicodeEncodeError set, when it is neither str nor bytes or
// holds a lone surrogate.
[[nodiscard]] std::optional<Given> given_record(PyObject* data, const char* function);

// The text to read, in a buffer of its own: gzip data inflated. Needs no
// interpreter lock.
[[nodiscard]] std::expected<tenhou::PaddedText, mjlog::Error> record_text(Given given);

}  // namespace pairo::core
