"""tenhou_to_mjai: each stage's failure maps to its class and fixed message."""

import ctypes
import json
import random

import pytest
from conftest import minimal_log

import _pairo

PARSE = "failed to parse tenhou.net/6 log"
INVALID = "invalid log"
CONVERT = "failed to convert tenhou.net/6 log to mjai"

GOOD = json.dumps(minimal_log())
START = '{"type":"start_game","names":["A","B","C","D"],"kyoku_first":0,"aka_flag":false}'


def game(**overrides) -> str:
    return json.dumps(minimal_log(**overrides), ensure_ascii=False)


def one_round(results, dora=(23,)) -> list:
    hand = [11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24]
    return [[0, 0, 0], [25000] * 4, list(dora), [], hand, [31], [31], hand, [], [], hand, [], [], hand, [], [], results]


def assert_raises_exactly(text, cls, message):
    with pytest.raises(cls) as info:
        _pairo.tenhou_to_mjai(text)
    assert type(info.value) is cls
    assert info.value.args == (message,)
    assert info.value.__cause__ is None
    assert isinstance(info.value, ValueError)


@pytest.mark.parametrize(
    "text",
    [
        "",
        "   \n\t",
        "\ufeff" + GOOD,
        GOOD[:-1],
        GOOD + " x",
        GOOD + "{}",
        "null",
        "[]",
        '"log"',
        "{}",
        game(log=None),
        game(rule=None),
        game(name=["A", "B", "C"]),
        game(lobby=1.0),
        GOOD.replace('"log"', '"l\\og"'),
        '{"log": [], "name": ["A","B","C","D"], "rule": {}, "x": [1, 2,]}',
        '{"log": [], "log": [], "name": ["A","B","C","D"], "rule": {}}',
        "[" * 100000,
        '{"log": [], "name": ["A","B","C","D"], "rule": {}, "x": 123456789012345678901234567890}',
    ],
    ids=lambda text: text[:40],
)
def test_texts_that_are_not_logs(text):
    assert_raises_exactly(text, _pairo.JsonParsingError, PARSE)


@pytest.mark.parametrize(
    "text",
    [
        game(rule={"disp": "三般東喰赤"}),
        game(rule={"disp": "3-Player South"}),
        game(log=[one_round(["和了", [0, 0, 0, 0], [], ])]),
        game(log=[one_round(["和了", [0, 0, 0, 0], [2]])]),
        game(log=[one_round(["和了", [0, 0, 0, 0], ["2", 0]])]),
        # a won round's results are whole pairs of deltas and detail, one at least
        game(log=[one_round(["和了"])]),
        game(log=[one_round(["和了", [0, 1000, -1000, 0]])]),
        game(log=[one_round(["和了", [0, 1000, -1000, 0], [1, 2], [0, 1000, -1000, 0]])]),
        game(log=[one_round(["和了", [0, 1000.0, -1000, 0], [1, 2]])]),
        game(log=[one_round(["和了", [0, 1000, -1000, 0, 0], [1, 2]])]),
        game(log=[one_round(["和了", [0, 1000, -1000, 0], [0, 0, 0, 0]])]),
        game(log=[one_round(["和了", [0, 1000, -1000, 0], "x"])]),
    ],
)
def test_logs_that_are_not_acceptable(text):
    assert_raises_exactly(text, _pairo.TenhouLogParsingError, INVALID)


def test_log_whose_play_cannot_be_rebuilt():
    assert_raises_exactly(game(log=[one_round(["流局"], dora=())]), _pairo.TenhouToMjaiError, CONVERT)


def test_log_without_rounds_gives_start_and_end():
    assert _pairo.tenhou_to_mjai(GOOD) == [START, '{"type":"end_game"}']


def test_unknown_keys_of_any_depth_are_ignored():
    text = game(extra=[[[[{"a": [1, 2.5, None, True]}]]]], ver=2.3, ref="x")
    assert _pairo.tenhou_to_mjai(text) == [START, '{"type":"end_game"}']


def test_names_keep_their_text():
    names = ['quote"', "back\\slash", "tab\tnew\nline", "東方不敗😀"]
    events = _pairo.tenhou_to_mjai(game(name=names))
    assert json.loads(events[0])["names"] == names
    assert "東方不敗😀" in events[0]


class Text(str):
    """A str subclass: its characters are held apart from the object."""


def with_utf8_form(text: str) -> str:
    """The str after the interpreter has made and kept its UTF-8 form."""
    as_utf8 = ctypes.pythonapi.PyUnicode_AsUTF8AndSize
    as_utf8.argtypes = [ctypes.py_object, ctypes.c_void_p]
    as_utf8.restype = ctypes.c_void_p
    assert as_utf8(text, None)
    return text


# A str holds 1, 2 or 4 bytes per character, by its widest one; the names put
# wide characters at the edges of runs of plain text and between them.
@pytest.mark.parametrize(
    "name",
    ["plain", "café", "東方不敗", "😀", "x" * 15 + "é", "é" + "y" * 40, "a東" * 9 + "😀" + "b" * 17],
)
@pytest.mark.parametrize("kind", [str, Text, with_utf8_form])
def test_every_str_width_converts_as_its_utf8_bytes(tmp_path, name, kind):
    text = game(name=[name, "B", "C", name[::-1]], skipped=["pad " * 7 + name + "é" * 3])
    path = tmp_path / "log.json"
    path.write_bytes(text.encode("utf-8"))
    events = _pairo.tenhou_to_mjai(kind(text))
    assert events == _pairo.tenhou_file_to_mjai(str(path))
    assert json.loads(events[0])["names"] == [name, "B", "C", name[::-1]]


def test_random_names_keep_their_text_in_every_str_width():
    """Names of random length and characters from each UTF-8 length, so that
    wide characters fall at every place of a run of plain text."""
    rng = random.Random(20261207)
    alphabet = ["a", "Z", "0", " ", "\x7f", "\x80", "é", "ÿ", "Ā", "߿", "ࠀ", "東", "\uffff", "😀", "\U0010ffff"]
    for _ in range(400):
        names = ["".join(rng.choices(alphabet, k=rng.randrange(0, 70))) for _ in range(4)]
        events = _pairo.tenhou_to_mjai(game(name=names))
        assert json.loads(events[0])["names"] == names


@pytest.mark.parametrize(
    "text",
    [
        '{"name": "東\udc80"}',
        '{"name": "😀\udfff"}',
        '{"a": "' + "z" * 40 + '\ud800"}',
        '{"a": "' + "z" * 70 + '\udbff' + "z" * 70 + '"}',  # inside a run of plain text
    ],
)
def test_lone_surrogate_in_any_str_width_raises_encode_error(text):
    with pytest.raises(UnicodeEncodeError) as info:
        _pairo.tenhou_to_mjai(text)
    assert info.value.reason == "surrogates not allowed"
