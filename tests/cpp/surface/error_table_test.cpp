// Every kind of error raises its stage's class with the stage's fixed
// message, and nothing of its detail.
#include <gtest/gtest.h>

#include "lib/lib.hpp"
#include "surface_support.hpp"

namespace {

using surface_test::PyRef;
using surface_test::take_raised;
using surface_test::text_of;
using surface_test::type_name;

struct Expected {
  const char* class_name;
  const char* message;
};

// By stage: decode, prepare, convert, encode.
constexpr Expected by_stage[] = {
    {"JsonParsingError", "failed to parse tenhou.net/6 log"},
    {"TenhouLogParsingError", "invalid log"},
    {"TenhouToMjaiError", "failed to convert tenhou.net/6 log to mjai"},
    {"JsonSerializationError", "failed to serialize"},
};

TEST(ErrorTable, EveryKindRaisesItsStagesClassAndFixedMessageOnly) {
  for (int k = 0; k <= static_cast<int>(pairo::ErrorKind::TextsTooLarge); ++k) {
    const auto kind = static_cast<pairo::ErrorKind>(k);
    pairo::Error error(kind, "the detail");
    error.round = pairo::Round{5, 1};
    error.seat = 3;
    error.item = "p151515";
    pairo::lib::raise_failure(pairo::conversion_failure(error));
    PyRef raised = take_raised();
    ASSERT_TRUE(raised) << pairo::kind_name(kind);
    const Expected& expected = by_stage[static_cast<int>(pairo::stage_of(kind))];
    EXPECT_EQ(type_name(raised.get()), expected.class_name) << pairo::kind_name(kind);
    PyRef args(PyObject_GetAttrString(raised.get(), "args"));
    ASSERT_TRUE(args && PyTuple_Check(args.get()));
    ASSERT_EQ(PyTuple_GET_SIZE(args.get()), 1);
    EXPECT_EQ(text_of(PyTuple_GET_ITEM(args.get(), 0)), expected.message) << pairo::kind_name(kind);
    EXPECT_EQ(PyException_GetCause(raised.get()), nullptr);
    PyRef module(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(raised.get())), "__module__"));
    EXPECT_EQ(text_of(module.get()), "_pairo");
  }
}

TEST(ErrorTable, KindsNameTheirStage) {
  EXPECT_EQ(pairo::stage_name(pairo::stage_of(pairo::ErrorKind::Syntax)), "decode");
  EXPECT_EQ(pairo::stage_name(pairo::stage_of(pairo::ErrorKind::BadWinDetail)), "prepare");
  EXPECT_EQ(pairo::stage_name(pairo::stage_of(pairo::ErrorKind::UnmatchedCall)), "convert");
  EXPECT_EQ(pairo::stage_name(pairo::stage_of(pairo::ErrorKind::TextsTooLarge)), "encode");
  EXPECT_EQ(pairo::kind_name(pairo::ErrorKind::NoDiscardAfterReach), "no_discard_after_reach");
}

}  // namespace
