// No C++ exception may unwind into the interpreter: each entry point runs
// its body through `guarded`.
#pragma once

#include <exception>
#include <new>
#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

#include "base/invariant.hpp"

namespace pairo::pyapi {

// One exception passes: the unwinding by which the interpreter ends a
// daemon thread that wakes during finalisation (it must not take the lock
// again, so it exits where it stands). Caught, it would be answered with
// calls into the interpreter without the lock, and the process aborts.
template <class Body>
PyObject* guarded(Body&& body) {
  try {
    return body();
#if defined(__GLIBCXX__)
  } catch (abi::__forced_unwind&) {
    throw;
#endif
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
