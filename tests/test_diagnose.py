"""pairo.diagnose: why a log does not convert, stage by stage, in agreement
with the class that tenhou_to_mjai raises for the same text."""

from __future__ import annotations

import json

import pytest
from conftest import corpus_files, minimal_log

import _pairo
import pairo

HAND = [11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24]
STAGE_CLASSES = {
    "decode": _pairo.JsonParsingError,
    "prepare": _pairo.TenhouLogParsingError,
    "convert": _pairo.TenhouToMjaiError,
}


def one_round(kyoku: int, honba: int, draws: list[list], discards: list[list], results=("流局",)) -> str:
    seats = []
    for seat in range(4):
        seats += [HAND, draws[seat], discards[seat]]
    round_ = [[kyoku, honba, 0], [25000] * 4, [11], [], *seats, list(results)]
    return json.dumps(minimal_log(log=[round_]), ensure_ascii=False)


# South 2 (kyoku 5), one repeat: dealer seat 1 discards, seat 2 discards 6m,
# then seat 3's next draw is a pon of 5m from seat 1.
UNMATCHED_PON = one_round(5, 1, [[], [21], [22], ["15p1515"]], [[], [21], [16], [15]])


@pytest.mark.parametrize(
    "text, expected",
    [
        ("[]", ("decode", "invalid_length", None, None, None, "invalid length 0, expected a log array of 8 values")),
        ("{", ("decode", "syntax", None, None, None, None)),
        (
            json.dumps(minimal_log(rule={"disp": "三鳳南喰赤"}), ensure_ascii=False),
            ("prepare", "three_player", None, None, None, 'a three-player game (rule "三鳳南喰赤")'),
        ),
        (
            one_round(0, 0, [[], [], [], []], [[], [], [], []], ["和了", [0, 0, 0, 0], [7, 0]]),
            ("prepare", "bad_win_detail", "E1-0", None, None, None),
        ),
        (
            UNMATCHED_PON,
            ("convert", "unmatched_call", "S2-1", 3, None, "pon of 5m names seat 1, but the last discard was seat 2's 6m"),
        ),
        (
            one_round(2, 0, [["c1x1213"], [], [], []], [[], [], [], []]),
            ("convert", "bad_tile_text", "E3-0", 0, "c1x1213", '"1x" in "c1x1213" is no tile number'),
        ),
    ],
)
def test_diagnosis_agrees_with_the_raised_class(text, expected):
    stage, kind, round_, seat, item, message = expected
    found = pairo.diagnose(text)
    assert isinstance(found, pairo.Diagnosis)
    assert (found.stage, found.kind, found.round, found.seat, found.item) == (stage, kind, round_, seat, item)
    if message is not None:
        assert found.message == message
    place = ", ".join(p for p in (round_ and f"round {round_}", seat is not None and f"seat {seat}") if p)
    assert found.detail == str(found) == (f"{place}: {found.message}" if place else found.message)
    with pytest.raises(STAGE_CLASSES[stage]) as raised:
        _pairo.tenhou_to_mjai(text)
    # _pairo itself passes nothing of the detail on.
    assert not hasattr(raised.value, "__notes__")
    assert found.message not in str(raised.value)


def test_logs_that_convert_have_no_diagnosis():
    for path in corpus_files("real")[:10]:
        assert pairo.diagnose(path.read_text(encoding="utf-8")) is None, path


def test_every_broken_corpus_log_is_diagnosed_in_its_stage():
    for folder, stage in (("real-broken", "convert"), ("real3p", "decode")):
        for path in corpus_files(folder):
            found = pairo.diagnose(path.read_text(encoding="utf-8"))
            assert found is not None and found.stage == stage, path


def test_diagnosis_is_a_frozen_value():
    found = pairo.diagnose(UNMATCHED_PON)
    with pytest.raises(AttributeError):
        found.seat = 0  # type: ignore[misc]
    assert found == pairo.diagnose(UNMATCHED_PON)


@pytest.mark.parametrize("data, error", [(b"{}", TypeError), ("\udc00", UnicodeEncodeError)])
def test_diagnose_refuses_what_is_no_text(data, error):
    with pytest.raises(error):
        pairo.diagnose(data)


def test_core_raises_the_classes_of_pairo():
    from pairo import _native

    for name in ("TenhouLogParsingError", "TenhouToMjaiError", "JsonSerializationError", "JsonParsingError"):
        assert getattr(_native, name) is getattr(_pairo, name)
