// The list of event texts handed back to Python, and the strs it shares.
//
// The str of every common event text (the draws, discards, riichi
// declarations, dora markers and round ends of seats 0 to 3) is made once when
// the module is loaded. A result list takes a reference to them, so most of a
// game's events cost no new str, and lists held together share them.
//
// They are immutable and live for the rest of the process, like the module;
// only identity among equal texts shows it, which no one can count on for str.
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "pyapi/pyapi.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::pyapi {
namespace {

// Indexed by the common texts' number: entry none is null, and so is every
// entry until they are made. Of fixed size, so that a number read from the
// encoder needs no test against it. Plain pointers, so that nothing is
// released after the interpreter ends.
std::array<PyObject*, mjai::CommonTexts::last + 1> common_strs{};  // owned for the rest of the process

}  // namespace

bool make_common_strs() {
  using mjai::CommonTexts;
  if (common_strs[CommonTexts::last] != nullptr) return true;
  std::vector<PyRef> made(CommonTexts::last + 1);  // made[none] stays null
  for (CommonTexts::Number number = 1; number <= CommonTexts::last; ++number) {
    const std::string_view text = CommonTexts::text(number);
    made[number] = PyRef(ascii_str(text));  // common texts are ASCII
    if (!made[number]) return false;
  }
  for (std::size_t number = 0; number < made.size(); ++number) common_strs[number] = made[number].release();
  return true;
}

namespace {

PyObject* utf8_str(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), std::ssize(text), "strict");
}

}  // namespace

// Common texts are listed as the module's own strs. The encoder tells which
// other texts are not ASCII (only those holding player names can be); all
// the rest take the one-byte form without a scan.
PyObject* build_result_list(const mjai::EncodedEvents& events) {
  const Py_ssize_t count = std::ssize(events.ends);
  PyRef list(PyList_New(count));
  if (!list) return nullptr;
  std::size_t next_non_ascii = 0;
  for (Py_ssize_t i = 0; i < count; ++i) {
    const auto at = static_cast<std::size_t>(i);
    PyObject* str = common_strs[events.common[at]];  // null for none; the encoder numbers no further
    if (str != nullptr) {
      Py_INCREF(str);
    } else {
      const std::string_view one = events.at(at);
      if (next_non_ascii < events.non_ascii.size() && events.non_ascii[next_non_ascii] == at) {
        ++next_non_ascii;
        str = utf8_str(one);
      } else {
        str = ascii_str(one);
      }
      if (!str) return nullptr;  // the list releases the texts set so far
    }
    list_fill(list.get(), i, str);  // steals str
  }
  return list.release();
}

}  // namespace pairo::pyapi
