// Initialisation of the _pairo module: single-phase, once per process, and
// refused in any interpreter other than the first to import it.
#include <atomic>
#include <string>

#include "lib/lib.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::lib {
namespace {

constexpr const char* package_version = PAIRO_VERSION;  // CMake's project() version

std::atomic<std::int64_t> owner_interpreter{-1};
PyObject* module_slot = nullptr;  // owned for the rest of the process

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_pairo",
    "",       // the module's docstring is the empty text
    0,        // no per-module state
    nullptr,  // functions are added by the body, as objects
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyMethodDef file_function = {
    "tenhou_file_to_mjai",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&tenhou_file_to_mjai)),
    METH_FASTCALL | METH_KEYWORDS,
    "tenhou_file_to_mjai(filename, mjai_out=None)\n--\n\n",
};

PyMethodDef text_function = {
    "tenhou_to_mjai",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&tenhou_to_mjai)),
    METH_FASTCALL | METH_KEYWORDS,
    "tenhou_to_mjai(data)\n--\n\n",
};

// Records `name` in __all__ and sets the attribute. Returns false with an
// exception set.
bool add_attribute(PyObject* module, const char* name, PyObject* value) {
  PyRef key(PyUnicode_FromString(name));
  if (!key) return false;
  PyRef names(PyObject_GetAttrString(module, "__all__"));
  if (!names) {
    PyErr_Clear();
    names = PyRef(PyList_New(0));
    if (!names || PyObject_SetAttrString(module, "__all__", names.get()) < 0) {
      raise_panic("cannot create __all__");
      return false;
    }
  }
  if (!PyList_Check(names.get()) || PyList_Append(names.get(), key.get()) < 0) {
    raise_panic(std::string("cannot append ") + name + " to __all__");
    return false;
  }
  return PyObject_SetAttr(module, key.get(), value) == 0;
}

bool add_function(PyObject* module, PyMethodDef* def) {
  PyRef module_name(PyModule_GetNameObject(module));
  if (!module_name) return false;
  PyRef function(PyCMethod_New(def, module, module_name.get(), nullptr));
  if (!function) return false;
  return add_attribute(module, def->ml_name, function.get());
}

// "-alpha" and "-beta" pre-release markers take their short Python forms.
std::string python_version_text(std::string version) {
  for (auto [from, to] : {std::pair<std::string_view, std::string_view>{"-alpha", "a"}, {"-beta", "b"}}) {
    for (std::size_t at = version.find(from); at != std::string::npos; at = version.find(from, at)) {
      version.replace(at, from.size(), to);
      at += to.size();
    }
  }
  return version;
}

bool run_module_body(PyObject* module) {
  for (std::size_t i = 0; i < module_class_count; ++i) {
    const auto which = static_cast<ErrorClass>(i);
    PyObject* cls = error_class(which);  // borrowed from its slot
    if (!cls || !add_attribute(module, std::string(class_name(which)).c_str(), cls)) return false;
  }
  if (!add_function(module, &file_function) || !add_function(module, &text_function)) return false;
  const std::string version = python_version_text(package_version);
  PyRef dunder(PyUnicode_FromStringAndSize(version.data(), std::ssize(version)));
  if (!dunder || !add_attribute(module, "__version__", dunder.get())) return false;
  PyRef plain(PyUnicode_FromStringAndSize(version.data(), std::ssize(version)));
  return plain && add_attribute(module, "VERSION", plain.get());
}

PyObject* initialise() {
  const std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (current == -1) {
    if (!PyErr_Occurred()) {
      PyErr_SetString(PyExc_SystemError, texts::no_exception_set);
    }
    return nullptr;
  }
  std::int64_t recorded = -1;
  if (!owner_interpreter.compare_exchange_strong(recorded, current) && recorded != current) {
    PyErr_SetString(PyExc_ImportError,
                    "_pairo does not support sub-interpreters: it can be imported only in the "
                    "interpreter that imported it first");
    return nullptr;
  }
  if (module_slot) return Py_NewRef(module_slot);

  if (!pyapi::make_common_strs()) return nullptr;
  PyRef module(PyModule_Create2(&module_def, python_api_version));
  if (!module) return nullptr;
  if (!run_module_body(module.get())) return nullptr;  // nothing stored: a later import retries
  if (!module_slot) module_slot = module.release();
  return Py_NewRef(module_slot);
}

}  // namespace
}  // namespace pairo::lib

PyMODINIT_FUNC PyInit__pairo(void) {
  return pairo::lib::guarded([] { return pairo::lib::initialise(); });
}
