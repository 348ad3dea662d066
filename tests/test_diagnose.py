"""pairo.diagnose: why a log does not convert, stage by stage, in agreement
with the class that tenhou_to_mjai (or, for an XML record, mjlog_to_mjai)
raises for the same input."""

from __future__ import annotations

import gzip
import json
import re

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


@pytest.mark.parametrize("data, error", [(bytearray(b"{}"), TypeError), ("\udc00", UnicodeEncodeError)])
def test_diagnose_refuses_what_is_no_text(data, error):
    with pytest.raises(error):
        pairo.diagnose(data)


def test_core_raises_the_classes_of_pairo():
    from pairo import _native

    for name in ("TenhouLogParsingError", "TenhouToMjaiError", "JsonSerializationError", "JsonParsingError"):
        assert getattr(_native, name) is getattr(_pairo, name)


# ---- what the converters take: either format, as str or bytes, gzipped or not

FORMS = {"str": lambda text: text, "bytes": str.encode, "gzip": lambda text: gzip.compress(text.encode())}


def record() -> str:
    return corpus_files("xml", "*.xml")[0].read_text(encoding="utf-8")


def in_round(xml: str, index: int, pattern: str, replacement: str) -> tuple[str, str]:
    """The record with the first match after its INIT number `index`
    replaced, and that round's label."""
    init = list(re.finditer(r'<INIT seed="(\d+),(\d+)', xml))[index]
    kyoku, honba = int(init.group(1)), int(init.group(2))
    rest = re.sub(pattern, replacement, xml[init.start() :], count=1)
    return xml[: init.start()] + rest, f"{'ESWN'[kyoku // 4]}{kyoku % 4 + 1}-{honba}"


def another_seats_tile(xml: str) -> tuple[str, str]:
    """Seat 0 discards, in the second round, a tile dealt to seat 1."""
    second = list(re.finditer("<INIT", xml))[1].start()
    held = re.search(r'hai1="(\d+)', xml[second:]).group(1)
    return in_round(xml, 1, r"<D\d+/>", f"<D{held}/>")


@pytest.mark.parametrize("form", FORMS)
def test_either_format_in_any_form_is_diagnosed(form):
    json_log, xml = corpus_files("real")[0].read_text(encoding="utf-8"), record()
    broken, _ = another_seats_tile(xml)
    wrap = FORMS[form]
    assert pairo.diagnose(wrap(json_log)) is None
    assert pairo.diagnose(wrap(xml)) is None  # a JSON reading would fail at once
    assert pairo.diagnose(wrap(UNMATCHED_PON)) == pairo.diagnose(UNMATCHED_PON)
    found = pairo.diagnose(wrap(broken))
    assert found == pairo.diagnose(broken) and (found.stage, found.kind) == ("decode", "tile_not_held")


RESULT = r"<(AGARI|RYUUKYOKU) [^>]*/>"

# (what, edit of the record -> (text, round or None), kind, seat, the element)
XML_FAULTS = [
    ("header", lambda xml: (xml.replace('<GO type="', '<GO typo="', 1), None), "missing_attribute", None, "GO"),
    ("not an element", lambda xml: in_round(xml, 1, r"<D\d+/>", r'\g<0><KAN who="1"/>'), "not_an_element", None, "KAN"),
    ("discard not held", another_seats_tile, "tile_not_held", 0, r"D\d+"),
    ("draw after the result", lambda xml: in_round(xml, 0, RESULT, r"\g<0><U5/>"), "out_of_order", 1, "U5"),
    ("syntax", lambda xml: (xml[: len(xml) // 2], None), "syntax", None, None),
]


@pytest.mark.parametrize("what, change, kind, seat, item", XML_FAULTS, ids=[f[0] for f in XML_FAULTS])
def test_a_record_that_does_not_read(what, change, kind, seat, item):
    xml, round_ = change(record())
    found = pairo.diagnose(xml)
    with pytest.raises(pairo.MjlogParsingError) as raised:
        pairo.mjlog_to_mjai(xml)
    assert found is not None and found.message == str(raised.value)
    assert (found.stage, found.kind, found.round, found.seat) == ("decode", kind, round_, seat)
    if item is None:
        assert found.item is None
    else:
        assert re.fullmatch(item, found.item) and found.message.startswith(found.item + ": ")
    place = ", ".join(p for p in (round_ and f"round {round_}", seat is not None and f"seat {seat}") if p)
    assert found.detail == (f"{place}: {found.message}" if place else found.message)


def test_a_record_that_reads_is_diagnosed_in_the_stage_that_refuses_it():
    xml = record()
    three_player = re.sub(r'n3="[^"]*"', 'n3=""', xml, count=1)
    no_dora = re.sub(r'<DORA hai="\d+" ?/>', "", xml, count=1)
    assert pairo.diagnose(three_player).stage == "prepare"
    assert (pairo.diagnose(no_dora).stage, pairo.diagnose(no_dora).kind) == ("convert", "no_dora_marker")


@pytest.mark.parametrize(
    "data",
    [gzip.compress(b"<mjloggm/>")[:-9], b'<mjloggm ver="2.3">\xff</mjloggm>', gzip.compress(b"[\xfe]")],
    ids=["gzip cut short", "not UTF-8", "gzipped, not UTF-8"],
)
def test_bytes_that_make_no_text_raise_as_the_converters_do(data):
    with pytest.raises(OSError) as converting:
        pairo.mjlog_to_mjai(data)
    with pytest.raises(OSError) as diagnosing:
        pairo.diagnose(data)
    assert type(diagnosing.value) is type(converting.value)
    assert str(diagnosing.value) == str(converting.value)
