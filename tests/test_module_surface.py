"""The module's names, classes, version and import behaviour."""

import importlib
import sys

import pytest
from conftest import run_python

import _pairo
import pairo

NAMES = [
    "TenhouLogParsingError",
    "TenhouToMjaiError",
    "JsonSerializationError",
    "JsonParsingError",
    "tenhou_file_to_mjai",
    "tenhou_to_mjai",
    "__version__",
    "VERSION",
]
CLASSES = NAMES[:4]


def test_all_lists_the_eight_names_in_order():
    assert _pairo.__all__ == NAMES


def test_attributes_are_added_in_order():
    own = [name for name in vars(_pairo) if name in NAMES]
    assert own == NAMES


def test_version_attributes():
    assert _pairo.__version__ == "0.3.0"
    assert _pairo.VERSION == "0.3.0"
    assert type(_pairo.__version__) is str and type(_pairo.VERSION) is str
    assert _pairo.__version__ is not _pairo.VERSION


def test_module_docstring_is_empty():
    assert _pairo.__doc__ == ""


@pytest.mark.parametrize(
    "name, signature",
    [("tenhou_to_mjai", "(data)"), ("tenhou_file_to_mjai", "(filename, mjai_out=None)")],
)
def test_functions(name, signature):
    function = getattr(_pairo, name)
    assert function.__doc__ is None
    assert function.__text_signature__ == signature
    assert function.__module__ == "_pairo"
    assert function.__self__ is _pairo
    assert function.__name__ == name


@pytest.mark.parametrize("name", CLASSES)
def test_exception_classes(name):
    cls = getattr(_pairo, name)
    assert cls.__bases__ == (ValueError,)
    assert cls.__module__ == "_pairo"
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert cls.__doc__ is None
    others = [getattr(_pairo, other) for other in CLASSES if other != name]
    assert not any(issubclass(cls, other) or issubclass(other, cls) for other in others)


def test_panic_exception_is_not_exported():
    assert not hasattr(_pairo, "PanicException")


def test_reimport_returns_the_same_module():
    before = sys.modules.pop("_pairo")
    try:
        again = importlib.import_module("_pairo")
        assert again is before
        assert again.__all__ == NAMES
    finally:
        sys.modules["_pairo"] = before


def test_reload_keeps_the_module():
    assert importlib.reload(_pairo) is _pairo
    assert _pairo.__all__ == NAMES


def test_package_reexports_the_module():
    for name in NAMES:
        assert getattr(pairo, name) is getattr(_pairo, name)


def test_import_in_a_sub_interpreter_is_refused():
    # A legacy sub-interpreter: an isolated one refuses every single-phase
    # module before the module itself is asked.
    code = """
import _pairo, _testcapi, os, sys
r, w = os.pipe()
script = '''
import os
try:
    import _pairo
    os.write(%d, b"imported")
except ImportError as error:
    os.write(%d, ("ImportError: " + str(error)).encode())
''' % (w, w)
ret = _testcapi.run_in_subinterp(script)
os.close(w)
print(os.read(r, 1000).decode())
"""
    result = run_python(code)
    if "No module named '_testcapi'" in result.stderr:
        pytest.skip("this CPython has no _testcapi")
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("ImportError: "), result.stdout
    assert "sub-interpreter" in result.stdout


def test_import_in_a_fresh_process():
    result = run_python("import _pairo, pairo; print(_pairo.__all__ == pairo.__all__[:8])")
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "True"
