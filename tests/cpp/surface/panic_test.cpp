// Internal failures end the call with PanicException, never a crash, and
// leave a diagnostic on standard error.
#include <gtest/gtest.h>

#include <stdexcept>

#include "pyapi/pyapi.hpp"
#include "pyapi/py_ref.hpp"
#include "surface_support.hpp"

namespace {

using pairo::pyapi::PyRef;
using surface_test::take_raised;
using surface_test::text_of;
using surface_test::type_name;

class Interpreter : public ::testing::Environment {
 public:
  void SetUp() override { Py_InitializeEx(0); }
  void TearDown() override { Py_FinalizeEx(); }
};

TEST(Guarded, BrokenInvariantBecomesPanicExceptionWithItsPlace) {
  testing::internal::CaptureStderr();
  PyObject* result = pairo::pyapi::guarded([]() -> PyObject* { pairo::invariant_failed("seat 7 acted"); });
  const std::string diagnostic = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, nullptr);
  PyRef raised = take_raised();
  ASSERT_TRUE(raised);
  EXPECT_EQ(type_name(raised.get()), "PanicException");
  EXPECT_EQ(text_of(raised.get()), "seat 7 acted");
  EXPECT_TRUE(PyObject_IsInstance(raised.get(), PyExc_BaseException));
  EXPECT_FALSE(PyObject_IsInstance(raised.get(), PyExc_Exception));
  EXPECT_NE(diagnostic.find("panic_test.cpp"), std::string::npos) << diagnostic;
  EXPECT_NE(diagnostic.find("seat 7 acted"), std::string::npos) << diagnostic;
}

TEST(Guarded, PanicExceptionIsOneClassWithItsReason) {
  PyObject* first_call = pairo::pyapi::guarded([]() -> PyObject* { throw std::runtime_error("one"); });
  EXPECT_EQ(first_call, nullptr);
  PyRef first = take_raised();
  EXPECT_EQ(pairo::pyapi::guarded([]() -> PyObject* { throw 42; }), nullptr);
  PyRef second = take_raised();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(Py_TYPE(first.get()), Py_TYPE(second.get()));
  PyRef doc(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(first.get())), "__doc__"));
  EXPECT_NE(text_of(doc.get()).find("BaseException"), std::string::npos);
  PyRef module(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(first.get())), "__module__"));
  EXPECT_NE(text_of(module.get()), "_pairo");
}

// Both extension modules link this code, each with its own statics: the
// class lives in the interpreter's state, where either finds the one that
// the first to fail made.
TEST(Guarded, PanicExceptionLivesInTheInterpretersStateForEveryModule) {
  PyObject* state = PyInterpreterState_GetDict(PyInterpreterState_Get());
  ASSERT_NE(state, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(pairo::pyapi::guarded([]() -> PyObject* { throw std::runtime_error("again"); }), nullptr);
  testing::internal::GetCapturedStderr();
  PyRef raised = take_raised();
  PyRef stored = PyRef::borrow(PyDict_GetItemString(state, "pairo.PanicException"));
  ASSERT_TRUE(stored && raised);
  EXPECT_EQ(reinterpret_cast<PyObject*>(Py_TYPE(raised.get())), stored.get());
  EXPECT_EQ(pairo::pyapi::panic_class(), stored.get());
}

TEST(Guarded, OutOfMemoryIsMemoryError) {
  EXPECT_EQ(pairo::pyapi::guarded([]() -> PyObject* { throw std::bad_alloc(); }), nullptr);
  PyRef raised = take_raised();
  ASSERT_TRUE(raised);
  EXPECT_TRUE(PyErr_GivenExceptionMatches(raised.get(), PyExc_MemoryError));
}

TEST(Guarded, ValuesPassThrough) {
  PyObject* value = pairo::pyapi::guarded([]() -> PyObject* { return PyLong_FromLong(5); });
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(PyLong_AsLong(value), 5);
  Py_DECREF(value);
  EXPECT_FALSE(PyErr_Occurred());
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new Interpreter);  // gtest owns and deletes it
  return RUN_ALL_TESTS();
}
