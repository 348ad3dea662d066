"""Tenhou XML game records: their tenhou.net/6 JSON against the JSON twins of
the corpus, their mjai events against the twins' events, the refusals, and
mutated records converted both ways."""

from __future__ import annotations

import csv
import gzip
import json
import random
import re

import pytest
from conftest import corpus_files

import _pairo
import pairo

# Tenhou's order of the document's keys; a record writes those it has.
TENHOU_KEYS = ["ver", "ref", "log", "connection", "ratingc", "rule", "lobby", "dan", "rate", "sx", "sc", "name"]
CLASSES = (pairo.MjlogParsingError, _pairo.TenhouLogParsingError, _pairo.TenhouToMjaiError,
           _pairo.JsonSerializationError, _pairo.JsonParsingError)


def pairs() -> list[tuple[str, str, str, set[str]]]:
    """(name, XML, twin's JSON, header keys edited in the twin) per record."""
    folder = corpus_files("xml", "*.xml")[0].parent
    with open(folder / "MANIFEST.tsv", encoding="utf-8", newline="") as manifest:
        rows = list(csv.DictReader(manifest, delimiter="\t"))
    return [(row["xml file"], (folder / row["xml file"]).read_text(encoding="utf-8"),
             (folder.parent / row["JSON twin"]).read_text(encoding="utf-8"),
             set() if row["differs"] == "none" else set(row["differs"].split(", "))) for row in rows]


PAIRS = pairs()
UNEDITED = [p for p in PAIRS if p[0].startswith("mjlog2json-")]
OTHERS = [p for p in PAIRS if not p[0].startswith("mjlog2json-")]
ids = [p[0] for p in PAIRS]


def test_corpus_has_the_six_unedited_twins():
    assert len(UNEDITED) == 6 and all(not edited for *_, edited in UNEDITED)


@pytest.mark.parametrize("name, xml, twin, edited", UNEDITED, ids=[p[0] for p in UNEDITED])
def test_unedited_twins_equal_on_every_key_in_tenhous_order(name, xml, twin, edited):
    expected = json.loads(twin)
    written = json.loads(pairo.mjlog_to_tenhou6(xml, expected["ref"]))
    assert written == expected
    assert list(written) == list(expected) == [key for key in TENHOU_KEYS if key in written]


@pytest.mark.parametrize("name, xml, twin, edited", OTHERS, ids=[p[0] for p in OTHERS])
def test_other_twins_equal_on_rounds_and_unedited_keys(name, xml, twin, edited):
    expected = json.loads(twin)
    written = json.loads(pairo.mjlog_to_tenhou6(xml))
    assert written["ref"] == ""
    assert list(written) == [key for key in TENHOU_KEYS if key in written]
    assert len(written["log"]) == len(expected["log"])
    for index, (mine, theirs) in enumerate(zip(written["log"], expected["log"], strict=True)):
        assert mine == theirs, f"round {index}"
    for key in set(TENHOU_KEYS) - edited - {"ref", "log"}:
        assert written.get(key) == expected.get(key), key


@pytest.mark.parametrize("name, xml, twin, edited", PAIRS, ids=ids)
def test_events_equal_the_twins(name, xml, twin, edited):
    events, expected = pairo.mjlog_to_mjai(xml), _pairo.tenhou_to_mjai(twin)
    start = 1 if edited & {"name", "rule"} else 0  # start_game holds the names and the rule's kind
    assert events[start:] == expected[start:]
    assert json.loads(events[0])["type"] == "start_game"


@pytest.mark.parametrize("name, xml, twin, edited", PAIRS[:3], ids=ids[:3])
def test_str_plain_bytes_and_gzip_agree(name, xml, twin, edited):
    data = xml.encode()
    assert pairo.mjlog_to_mjai(data) == pairo.mjlog_to_mjai(gzip.compress(data)) == pairo.mjlog_to_mjai(xml)
    text = pairo.mjlog_to_tenhou6(xml, "r")
    assert pairo.mjlog_to_tenhou6(gzip.compress(data), ref="r") == pairo.mjlog_to_tenhou6(data, "r") == text


# A record is read where the caller holds it. One the one pass hands over
# (a comment between elements) goes to a parser that writes into what it
# parses, which must never be the caller's bytes or str.
@pytest.mark.parametrize("given", ["str", "bytes"])
@pytest.mark.parametrize("edit", ["<!-- 東 --><INIT", "<!-- a comment --><INIT"], ids=["non-ASCII", "ASCII"])
def test_a_record_read_in_place_is_left_as_given(given, edit):
    name, xml, twin, _ = UNEDITED[0]
    edited = xml.replace("<INIT", edit, 1)
    data = edited if given == "str" else edited.encode()
    kept = edited if given == "str" else bytes(edited.encode())
    assert pairo.mjlog_to_mjai(data) == pairo.mjlog_to_mjai(xml)
    assert pairo.mjlog_to_tenhou6(data, "r") == pairo.mjlog_to_tenhou6(xml, "r")
    assert data == kept


@pytest.mark.parametrize("suffix", [".mjlog", ".xml", ".xml.gz"])
def test_convert_path_reads_records(tmp_path, suffix):
    name, xml, twin, _ = UNEDITED[0]
    path = tmp_path / f"game{suffix}"
    data = ("\n  " + xml).encode()  # told from JSON by the first non-blank byte
    path.write_bytes(data if suffix == ".xml" else gzip.compress(data))
    assert pairo.convert_path(path) == _pairo.tenhou_to_mjai(twin)


def test_convert_path_tells_why_a_record_does_not_convert(tmp_path):
    xml = next(p[1] for p in PAIRS if p[0] == "pantheon-3.xml")  # four kans
    path = tmp_path / "game.mjlog"
    path.write_bytes(gzip.compress(re.sub(r'<DORA hai="\d+" ?/>', "", xml, count=1).encode()))
    with pytest.raises(_pairo.TenhouToMjaiError) as info:
        pairo.convert_path(path)
    assert info.value.__notes__ == ["round S1-0: a kan reveals a new dora, but no dora indicator is left"]


# ---- refusals: (what, edit of the first unedited record, class, message pattern)

def edit(pattern: str, replacement: str, count: int = 1):
    return lambda xml: re.sub(pattern, replacement, xml, count=count)


def deal_twice(xml: str) -> str:
    first = re.search(r'hai0="(\d+)', xml).group(1)
    return re.sub(r'hai1="\d+', f'hai1="{first}', xml, count=1)


def discard_from_another_hand(xml: str) -> str:
    held_by_seat_1 = re.search(r'hai1="(\d+)', xml).group(1)
    return re.sub(r"<D\d+/>", f"<D{held_by_seat_1}/>", xml, count=1)


UNREAD = pairo.MjlogParsingError  # a record that cannot be read
REFUSALS = [
    ("not well-formed", lambda xml: xml[: len(xml) // 2], UNREAD, r"^not well-formed XML: .* \(at byte \d+\)$"),
    ("not mjloggm", edit(r"mjloggm", "mjlog", 0), UNREAD, r"^mjlog: not a game record"),
    ("unknown meld code", edit(r'(<N who="\d") m="\d+"', r'\1 m="137"'), UNREAD,
     r"^N: meld code 137 is not a pon code \(at byte \d+\)$"),
    ("tile id out of range", edit(r"<D\d+", "<D136"), UNREAD, r"^D136: tile id 136 is outside 0\.\.135"),
    ("tile dealt twice", deal_twice, UNREAD, r"^INIT: tile \d+ is dealt twice"),
    ("discard not held", discard_from_another_hand, UNREAD, r"^D(\d+): seat 0 does not hold tile \1 \(at byte \d+\)$"),
    ("chi not from the seat before", edit(r'm="54647"', 'm="54646"'), UNREAD,
     r"^N: meld code 54646 is a chi not from the seat before \(at byte \d+\)$"),
    ("missing attribute", edit(r' ten="[\d,]+"', ""), UNREAD, r"^INIT: attribute 'ten' is missing"),
    ("play before INIT", edit(r"<INIT", "<T0/><INIT"), UNREAD, r"^T0: comes before the first round"),
    ("three-player", edit(r'<GO type="(\d+)"', lambda m: f'<GO type="{int(m.group(1)) | 0x10}"'),
     _pairo.TenhouLogParsingError, r"^invalid log$"),
    # The package's bytes path, as for every other entry point: OSError, as
    # the standard library's gzip.BadGzipFile is.
    ("gzip bomb", lambda xml: gzip.compress(b" " * (65 << 20), compresslevel=1), OSError,
     r"^inflated gzip data is larger than 64 MiB$"),
    ("gzip cut short", lambda xml: gzip.compress(xml.encode())[:-9], OSError, r"^invalid gzip data$"),
    ("not UTF-8", lambda xml: xml.encode().replace(b"<INIT", b"<INIT\xff", 1), OSError,
     r"^stream did not contain valid UTF-8$"),
    ("a JSON log", lambda xml: '{"log": []}', UNREAD, r"\(at byte \d+\)$"),
]


@pytest.mark.parametrize("what, change, cls, message", REFUSALS, ids=[r[0] for r in REFUSALS])
def test_refusals(what, change, cls, message):
    data = change(UNEDITED[0][1])
    assert data != UNEDITED[0][1]
    for call in (pairo.mjlog_to_mjai, pairo.mjlog_to_tenhou6):
        with pytest.raises(cls) as info:
            call(data)
        assert type(info.value) is cls and re.search(message, str(info.value)), str(info.value)
        assert info.value.__cause__ is None
        # A log that reads but does not convert says why in a note.
        assert hasattr(info.value, "__notes__") == (cls is _pairo.TenhouLogParsingError)
    assert issubclass(pairo.MjlogParsingError, _pairo.TenhouLogParsingError)
    assert pairo.MjlogParsingError.__module__ == "pairo"


@pytest.mark.parametrize("call", [pairo.mjlog_to_mjai, pairo.mjlog_to_tenhou6])
@pytest.mark.parametrize("data", [None, 1, bytearray(b"<mjloggm/>")], ids=["None", "int", "bytearray"])
def test_data_of_another_type(call, data):
    with pytest.raises(TypeError, match="argument 'data' must be str or bytes"):
        call(data)


# ---- mutated records: the direct conversion and the one through the JSON text agree

def mutate(rng: random.Random, xml: str) -> str:
    """One change to one element: a number replaced, an element dropped,
    repeated or swapped with the next one."""
    elements = [m.span() for m in re.finditer(r"<[A-Z][^>]*/>", xml)]
    start, end = rng.choice(elements)
    element = xml[start:end]
    kind = rng.randrange(4)
    if kind == 0:
        numbers = list(re.finditer(r"\d+", element))
        if numbers:
            number = rng.choice(numbers)
            value = rng.choice([0, 1, 3, 4, 35, 60, 135, 136, 255, int(number.group()) + rng.choice([-1, 1])])
            element = element[: number.start()] + str(value) + element[number.end() :]
        return xml[:start] + element + xml[end:]
    if kind == 1:
        return xml[:start] + xml[end:]
    if kind == 2:
        return xml[:start] + element + xml[start:]
    following = next(((s, e) for s, e in elements if s >= end), None)
    if following is None:
        return xml
    return xml[:start] + xml[following[0] : following[1]] + xml[end : following[0]] + element + xml[following[1] :]


def outcome(call, data):
    try:
        return call(data)
    except CLASSES as error:
        return type(error), str(error)


@pytest.mark.parametrize("seed", range(4))
def test_mutated_records_convert_alike_both_ways(seed):
    rng = random.Random(seed)
    converted = 0
    for _ in range(80):
        xml = rng.choice(PAIRS)[1]
        for _ in range(rng.choice([1, 1, 2, 3])):
            xml = mutate(rng, xml)
        direct = outcome(pairo.mjlog_to_mjai, xml)
        text = outcome(pairo.mjlog_to_tenhou6, xml)
        if isinstance(text, str):
            assert outcome(_pairo.tenhou_to_mjai, text) == direct, xml
        elif re.search(r"names no (yaku|limit|rank) \(at byte", text[1]):
            # a text only the document holds: the record reads, mjai has no use for it
            assert isinstance(direct, list) or direct[0] is not pairo.MjlogParsingError, xml
        else:
            assert not isinstance(direct, list) and direct[0] is text[0], xml
        converted += isinstance(direct, list)
    assert 0 < converted < 80  # some mutations convert, some are refused


# ---- records of other lobbies and eras, crafted from a corpus record:
# (what, edit, the document's expected change)

def chip_lobby(xml: str) -> str:
    """Eight chip values after every sc and owari, a chip on each win."""
    xml = re.sub(r'(sc="[-\d,]+)"', r'\1,0,3,0,-1,0,-1,0,-1"', xml)
    xml = re.sub(r"<AGARI ", '<AGARI chip="54,1" ', xml)
    return re.sub(r'(owari="[-\d.,]+)"', r'\1,3,0,-1,0,-1,0,-1,0"', xml)


def reconnect_before_first_round(xml: str) -> str:
    name = re.search(r'<UN n0="([^"]*)"', xml).group(1)
    return re.sub(r"(<TAIKYOKU[^>]*/>)", rf'\1<BYE who="0"/><UN n0="{name}"/>', xml, count=1)


def gold_player_list(xml: str) -> str:
    return re.sub(r' dan="[\d,]+"', ' gold="0,1,2,3"', xml, count=1)


def chips_in_sc(document: dict) -> dict:
    return {**document, "sc": document["sc"] + [3, 0, -1, 0, -1, 0, -1, 0]}


def without_dan(document: dict) -> dict:
    return {key: value for key, value in document.items() if key != "dan"}


OTHER_RECORDS = [
    ("chip lobby", chip_lobby, chips_in_sc),
    ("reconnection before the first round", reconnect_before_first_round, lambda document: document),
    ("player list with gold", gold_player_list, without_dan),
]


@pytest.mark.parametrize("what, change, document_change", OTHER_RECORDS, ids=[r[0] for r in OTHER_RECORDS])
def test_records_of_other_lobbies_and_eras(what, change, document_change):
    name, xml, twin, _ = UNEDITED[0]
    crafted = change(xml)
    assert crafted != xml
    assert pairo.mjlog_to_mjai(crafted) == pairo.mjlog_to_mjai(xml)
    expected = document_change(json.loads(pairo.mjlog_to_tenhou6(xml, "r")))
    written = pairo.mjlog_to_tenhou6(crafted, "r")
    assert json.loads(written) == expected
    assert _pairo.tenhou_to_mjai(written) == pairo.mjlog_to_mjai(crafted)


# ---- texts no mjai event holds: converted to mjai, refused as a document

def first_agari(pattern: str, replacement: str):
    return lambda xml: re.sub(r"(<AGARI[^>]*?)" + pattern, r"\1" + replacement, xml, count=1)


UNWRITABLE = [
    ("unknown yaku", first_agari(r'yaku="\d+', 'yaku="60'), r"^AGARI: 60 names no yaku \(at byte (\d+)\)$"),
    ("unknown limit", first_agari(r'ten="(\d+),(\d+),\d+"', r'ten="\2,\3,9"'), r"^AGARI: 9 names no limit \(at byte (\d+)\)$"),
    ("unknown rank", edit(r'dan="\d+', 'dan="21'), r"^UN: attribute 'dan': 21 names no rank \(at byte (\d+)\)$"),
]


@pytest.mark.parametrize("what, change, message", UNWRITABLE, ids=[r[0] for r in UNWRITABLE])
def test_texts_no_event_holds(what, change, message):
    xml = UNEDITED[0][1]
    crafted = change(xml)
    assert crafted != xml
    assert pairo.mjlog_to_mjai(crafted) == pairo.mjlog_to_mjai(xml)
    for data in (crafted, crafted.encode()):
        with pytest.raises(pairo.MjlogParsingError) as info:
            pairo.mjlog_to_tenhou6(data)
        found = re.search(message, str(info.value))
        assert found, str(info.value)
        assert crafted[int(found.group(1)):].startswith(str(info.value)[:2])


@pytest.mark.parametrize("ver", ["18446744073709551616", "-1" + "0" * 30])
def test_written_document_reads_back(ver):
    xml = UNEDITED[0][1].replace('ver="2.3"', f'ver="{ver}"', 1)
    written = pairo.mjlog_to_tenhou6(xml)
    assert _pairo.tenhou_to_mjai(written) == pairo.mjlog_to_mjai(xml)
    assert json.loads(written)["ver"] == float(ver)
