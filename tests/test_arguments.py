"""Binding of the entry points' arguments, with the interpreter's wording."""

import json
import pathlib

import pytest
from conftest import minimal_log

import _pairo

TEXT = json.dumps(minimal_log())


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: _pairo.tenhou_to_mjai(), "tenhou_to_mjai() missing 1 required positional argument: 'data'"),
        (
            lambda: _pairo.tenhou_file_to_mjai(),
            "tenhou_file_to_mjai() missing 1 required positional argument: 'filename'",
        ),
        (
            lambda: _pairo.tenhou_file_to_mjai(mjai_out="x"),
            "tenhou_file_to_mjai() missing 1 required positional argument: 'filename'",
        ),
        (
            lambda: _pairo.tenhou_to_mjai(TEXT, TEXT),
            "tenhou_to_mjai() takes 1 positional arguments but 2 were given",
        ),
        (
            lambda: _pairo.tenhou_file_to_mjai("a", "b", "c"),
            "tenhou_file_to_mjai() takes from 1 to 2 positional arguments but 3 were given",
        ),
        (
            lambda: _pairo.tenhou_to_mjai(text=TEXT),
            "tenhou_to_mjai() got an unexpected keyword argument 'text'",
        ),
        (
            lambda: _pairo.tenhou_to_mjai(TEXT, data=TEXT),
            "tenhou_to_mjai() got multiple values for argument 'data'",
        ),
        (
            lambda: _pairo.tenhou_file_to_mjai("a", "b", mjai_out="c"),
            "tenhou_file_to_mjai() got multiple values for argument 'mjai_out'",
        ),
        (
            lambda: _pairo.tenhou_file_to_mjai("a", **{"out\u00e9": 1}),
            "tenhou_file_to_mjai() got an unexpected keyword argument 'out\u00e9'",
        ),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError
    assert str(info.value) == message


@pytest.mark.parametrize(
    "value, type_name",
    [(b"{}", "bytes"), (bytearray(b"{}"), "bytearray"), (1, "int"), (None, "NoneType"),
     (pathlib.Path("x"), "PosixPath")],
)
def test_data_must_be_a_str(value, type_name):
    with pytest.raises(TypeError) as info:
        _pairo.tenhou_to_mjai(value)
    assert str(info.value) == f"argument 'data': '{type_name}' object cannot be converted to 'PyString'"
    assert info.value.__cause__ is None


def test_qualified_type_name_is_used():
    class Outer:
        class Inner:
            pass

    with pytest.raises(TypeError, match=r"^argument 'data': 'test_qualified_type_name_is_used.<locals>.Outer.Inner' object"):
        _pairo.tenhou_to_mjai(Outer.Inner())


def test_lone_surrogate_raises_the_interpreters_encode_error():
    with pytest.raises(UnicodeEncodeError):
        _pairo.tenhou_to_mjai('{"name": "\ud800"}')


def test_keyword_and_str_subclass_are_accepted():
    class Text(str):
        pass

    assert _pairo.tenhou_to_mjai(data=Text(TEXT)) == _pairo.tenhou_to_mjai(TEXT)
