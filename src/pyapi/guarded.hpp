// No C++ exception may unwind into the interpreter: each entry point runs
// its body through `guarded`.
#pragma once

#include <exception>
#include <new>

#include "base/invariant.hpp"

namespace pairo::pyapi {

template <class Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const InvariantViolation& failure) {
    return raise_panic(failure.what(), failure.where());
  } catch (const std::exception& failure) {
    return raise_panic(failure.what());
  } catch (...) {
    return raise_panic("unknown C++ exception");
  }
}

}  // namespace pairo::pyapi
