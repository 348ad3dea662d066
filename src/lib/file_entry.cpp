// tenhou_file_to_mjai(filename, mjai_out=None): the log from a file, the
// events optionally written out one per line.
#include <cerrno>
#include <string>

#include "lib/file_io.hpp"
#include "lib/lib.hpp"
#include "base/utf8.hpp"
#include "sysio/input.hpp"

namespace pairo::lib {
namespace {

constexpr Signature file_signature = {"tenhou_file_to_mjai", {"filename", "mjai_out"}, 2, 1};

std::string_view bytes_view(PyObject* bytes) noexcept {
  return pyapi::bytes_view(bytes);
}

// ---- the call -----------------------------------------------------------

// A name with a NUL inside cannot be handed to the system: it names no file.
bool has_nul(std::string_view path) noexcept { return path.find('\0') != std::string_view::npos; }

std::expected<PaddedText, Failure> read_log(std::string_view path, Fd& input) {
  auto text = sysio::read_input(path, input);
  if (text && !is_utf8(text->view())) return std::unexpected(not_utf8_failure());
  return text;
}

// Standard output closed by the caller: descriptor 1 is not open, or the
// input took its number when it was opened.
bool standard_output_closed(const Fd& input) noexcept {
  return input.get() == STDOUT_FILENO || !is_open(STDOUT_FILENO);
}

std::expected<void, Failure> write_out(std::string_view path, const mjai::EncodedEvents& events, const Fd& input) {
  if (is_standard_output_path(path)) {
    if (write_lines({STDOUT_FILENO, standard_output_closed(input)}, events)) return {};
    return std::unexpected(write_failure());
  }
  auto created = has_nul(path) ? std::unexpected(ENOENT) : create_for_writing(path.data());
  if (!created) return std::unexpected(create_failure(std::string(path)));
  const Fd output = std::move(*created);  // closed on both returns
  if (write_lines({output.get(), false}, events)) return {};
  return std::unexpected(write_failure());
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
  if (!text) return raise_failure(text.error());
  auto events = pairo::convert_log_text(*text);
  if (!events) return raise_failure(conversion_failure(events.error()));
  if (output_path) {
    auto written = write_out(bytes_view(output_path.get()), *events, input);
    if (!written) return raise_failure(written.error());
  }
  return pyapi::build_result_list(*events);
}

}  // namespace

PyObject* tenhou_file_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 2> bound;
    if (!pyapi::bind_arguments(file_signature, args, nargs, kwnames, bound)) return nullptr;
    return convert_file(bound[0], bound[1]);
  });
}

}  // namespace pairo::lib
