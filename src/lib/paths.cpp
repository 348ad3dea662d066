// Path arguments as operating-system bytes, and the path of standard output.
#include "lib/file_io.hpp"
#include "lib/lib.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::lib {

PyObject* path_argument(PyObject* argument, const char* parameter) {
  PyRef text(PyOS_FSPath(argument));
  if (!text) {
    pyapi::prefix_argument_error(parameter);
    return nullptr;
  }
  if (!PyUnicode_Check(text.get())) {
    pyapi::raise_not_a_str(text.get());
    pyapi::prefix_argument_error(parameter);
    return nullptr;
  }
  // A character with no file-system form leaves the interpreter's
  // UnicodeEncodeError set, raised as it stands, as open() does.
  return PyUnicode_EncodeFSDefault(text.get());
}

bool is_standard_output_path(std::string_view path) noexcept {
  // The first component is "-" itself: "-." and "--" are file names.
  if (!path.starts_with('-') || (path.size() > 1 && path[1] != '/')) return false;
  path.remove_prefix(1);
  // What follows the "-" may only be separators and current-directory steps.
  while (!path.empty()) {
    const std::size_t end = path.find('/');
    const std::string_view component = path.substr(0, end);
    if (!component.empty() && component != ".") return false;
    if (end == std::string_view::npos) break;
    path.remove_prefix(end + 1);
  }
  return true;
}

}  // namespace pairo::lib
