// tenhou_file_to_mjai(filename, mjai_out=None): the log from a file, the
// events optionally written out one per line.
#include <simdjson.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "lib/file_io.hpp"
#include "lib/lib.hpp"
#include "lib/py_ref.hpp"

namespace pairo::lib {
namespace {

constexpr Signature file_signature = {"tenhou_file_to_mjai", {"filename", "mjai_out"}, 2, 1};

std::string_view bytes_view(PyObject* bytes) noexcept {
  return {PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes))};
}

// ---- file failures: the message is the exception's only argument, so its
// errno, strerror and filename stay None ----------------------------------

void raise_with_message(PyObject* cls, PyObject* message) {
  if (message) PyErr_SetObject(cls, message);
}

[[gnu::cold]] void raise_open_failure(std::string_view path) {
  PyRef quoted(texts::quoted_file_name(path));
  if (!quoted) return;
  PyRef message(PyUnicode_FromFormat(texts::open_failed, quoted.get()));
  raise_with_message(PyExc_FileNotFoundError, message.get());
}

PyObject* read_failure_class(Errno error) noexcept {
  switch (error) {
    case ENOENT: return PyExc_FileNotFoundError;
    case EPERM:
    case EACCES: return PyExc_PermissionError;
    case ECONNREFUSED: return PyExc_ConnectionRefusedError;
    case ECONNRESET: return PyExc_ConnectionResetError;
    case ECONNABORTED: return PyExc_ConnectionAbortedError;
    case EPIPE: return PyExc_BrokenPipeError;
    case EEXIST: return PyExc_FileExistsError;
    case EAGAIN: return PyExc_BlockingIOError;
    case ETIMEDOUT: return PyExc_TimeoutError;
    case EINTR: return PyExc_InterruptedError;
    default: return PyExc_OSError;
  }
}

[[gnu::cold]] void raise_read_failure(Errno error) {
  char buffer[256];
  const char* description = ::strerror_r(error, buffer, sizeof buffer);  // the GNU form
  PyRef message(PyUnicode_FromFormat(texts::os_error, description, error));
  raise_with_message(read_failure_class(error), message.get());
}

[[gnu::cold]] void raise_fixed(PyObject* cls, const char* text) {
  PyRef message(PyUnicode_FromString(text));
  raise_with_message(cls, message.get());
}

[[gnu::cold]] void raise_create_failure(std::string_view path) {
  PyRef displayed(texts::displayed_file_name(path));
  if (!displayed) return;
  PyRef message(PyUnicode_FromFormat(texts::create_failed, displayed.get()));
  raise_with_message(PyExc_OSError, message.get());
}

// ---- the call -----------------------------------------------------------

// The Python exception is set; nothing more to say.
struct Raised {};

// A name with a NUL inside cannot be handed to the system: it names no file.
bool has_nul(std::string_view path) noexcept { return path.find('\0') != std::string_view::npos; }

std::expected<tenhou::PaddedText, Raised> read_log(std::string_view path, Fd& input) {
  auto opened = has_nul(path) ? std::unexpected(ENOENT) : open_for_reading(path.data());
  if (!opened) {
    raise_open_failure(path);
    return std::unexpected(Raised{});
  }
  input = std::move(*opened);
  auto text = read_whole(input.get());
  if (!text) {
    raise_read_failure(text.error());
    return std::unexpected(Raised{});
  }
  if (!simdjson::validate_utf8(text->data(), text->size())) {
    raise_fixed(PyExc_OSError, texts::not_utf8);
    return std::unexpected(Raised{});
  }
  return std::move(*text);
}

// Standard output closed by the caller: descriptor 1 is not open, or the
// input took its number when it was opened.
bool standard_output_closed(const Fd& input) noexcept {
  return input.get() == STDOUT_FILENO || !is_open(STDOUT_FILENO);
}

bool write_out(std::string_view path, const mjai::EncodedEvents& events, const Fd& input) {
  if (is_standard_output_path(path)) {
    if (write_lines({STDOUT_FILENO, standard_output_closed(input)}, events)) return true;
    raise_fixed(PyExc_OSError, texts::write_failed);
    return false;
  }
  auto created = has_nul(path) ? std::unexpected(ENOENT) : create_for_writing(path.data());
  if (!created) {
    raise_create_failure(path);
    return false;
  }
  const Fd output = std::move(*created);  // closed on both returns
  if (write_lines({output.get(), false}, events)) return true;
  raise_fixed(PyExc_OSError, texts::write_failed);
  return false;
}

PyObject* convert_file(PyObject* filename, PyObject* mjai_out) {
  PyRef input_path(path_argument(filename, "filename"));
  if (!input_path) return nullptr;
  PyRef output_path;
  if (mjai_out && mjai_out != Py_None) {
    output_path = PyRef(path_argument(mjai_out, "mjai_out"));
    if (!output_path) return nullptr;
  }

  Fd input;  // open from here until the call returns
  auto text = read_log(bytes_view(input_path.get()), input);
  if (!text) return nullptr;
  auto events = pairo::convert_log_text(*text);
  if (!events) {
    raise_error(events.error());
    return nullptr;
  }
  if (output_path && !write_out(bytes_view(output_path.get()), *events, input)) return nullptr;
  return build_result_list(*events);
}

}  // namespace

PyObject* tenhou_file_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 2> bound;
    if (!bind_arguments(file_signature, args, nargs, kwnames, bound)) return nullptr;
    return convert_file(bound[0], bound[1]);
  });
}

}  // namespace pairo::lib
