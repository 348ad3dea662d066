// The str of every common event text (the draws, discards, riichi
// declarations, dora markers and round ends of seats 0 to 3), made once when
// the module is loaded. A result list takes a reference to them, so most of a
// game's events cost no new str, and lists held together share them.
//
// They are immutable and live for the rest of the process, like the module;
// only identity among equal texts shows it, which no one can count on for str.
#include <cstring>
#include <vector>

#include "lib/lib.hpp"
#include "lib/py_ref.hpp"

namespace pairo::lib {
namespace {

// Indexed by the encoder's number: slot 0 stands for "not a common text".
// Plain pointers, so that nothing is released after the interpreter ends.
std::vector<PyObject*> common_strs;  // owned for the rest of the process

}  // namespace

bool make_common_strs() {
  if (!common_strs.empty()) return true;
  const std::size_t count = mjai::common_text_count();
  std::vector<PyRef> made;
  made.reserve(count);
  for (std::size_t number = 0; number < count; ++number) {
    const std::string_view text = mjai::common_text(number);
    PyRef str(PyUnicode_New(std::ssize(text), 127));  // common texts are ASCII
    if (!str) return false;
    std::memcpy(PyUnicode_1BYTE_DATA(str.get()), text.data(), text.size());
    made.push_back(std::move(str));
  }
  std::vector<PyObject*> strs(count + 1, nullptr);
  for (std::size_t number = 0; number < count; ++number) strs[number + 1] = made[number].release();
  common_strs = std::move(strs);
  return true;
}

std::span<PyObject* const> common_str_table() noexcept { return common_strs; }

}  // namespace pairo::lib
