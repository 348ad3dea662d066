// What a data set's options are on the Python side: the filters and the
// seat of the view, as convert_files and open_archive hand them to the
// engine; and seat_view(events, seat), the view of a list of event texts.
#include "mjai/view.hpp"
#include "native/native.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {

using pyapi::PyRef;

bool dataset_options(PyObject* filters, PyObject* view, batch::Options& options) {
  if (filters != Py_None) {
    int length, levels, public_only, required, refused, skip_disconnected;
    unsigned int since, until;
    if (!PyArg_ParseTuple(filters, "iipiiIIp:filters", &length, &levels, &public_only, &required, &refused, &since,
                          &until, &skip_disconnected)) {
      return false;
    }
    if (length < 0 || length > 2 || levels < 0 || levels > 15 || required < 0 || required > 7 || refused < 0 ||
        refused > 7) {
      PyErr_SetString(PyExc_ValueError, "filters out of range");
      return false;
    }
    options.filters = batch::Filters{static_cast<batch::Length>(length), static_cast<std::uint8_t>(levels),
                                     public_only != 0, static_cast<std::uint8_t>(required),
                                     static_cast<std::uint8_t>(refused), since, until, skip_disconnected != 0};
  }
  if (view != Py_None) {
    const long seat = PyLong_AsLong(view);
    if (seat == -1 && PyErr_Occurred()) return false;
    if (seat < 0 || seat > 3) {
      PyErr_Format(PyExc_ValueError, "view must be a seat, 0 to 3, not %ld", seat);
      return false;
    }
    options.view = static_cast<std::uint8_t>(seat);
  }
  return true;
}

PyObject* seat_view(PyObject*, PyObject* args) {
  return pyapi::guarded([&]() -> PyObject* {
    PyObject* events;
    int seat;
    if (!PyArg_ParseTuple(args, "Oi:seat_view", &events, &seat)) return nullptr;
    if (seat < 0 || seat > 3) return PyErr_Format(PyExc_ValueError, "seat must be 0 to 3, not %d", seat);
    PyRef items(PySequence_Fast(events, "events must be a sequence of str"));
    if (!items) return nullptr;
    const Py_ssize_t count = pyapi::fast_size(items.get());
    PyRef viewed(PyList_New(count));
    if (!viewed) return nullptr;
    std::string text;
    for (Py_ssize_t i = 0; i < count; ++i) {
      PyObject* item = pyapi::fast_item(items.get(), i);
      if (!PyUnicode_Check(item)) {
        PyRef type(pyapi::type_name(item));
        return type ? PyErr_Format(PyExc_TypeError, "events must be str, not %.100U", type.get()) : nullptr;
      }
      Py_ssize_t size;
      const char* utf8 = PyUnicode_AsUTF8AndSize(item, &size);
      if (!utf8) return nullptr;
      const std::string_view given(utf8, static_cast<std::size_t>(size));
      text.clear();
      if (!mjai::view_text(given, static_cast<std::uint8_t>(seat), text)) {
        return PyErr_Format(PyExc_ValueError, "event %zd is not an mjai event as pairo writes it: %R", i, item);
      }
      PyObject* out = text == given ? Py_NewRef(item) : PyUnicode_FromStringAndSize(text.data(), std::ssize(text));
      if (!out) return nullptr;
      pyapi::list_fill(viewed.get(), i, out);
    }
    return viewed.release();
  });
}

}  // namespace pairo::native
