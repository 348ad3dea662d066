"""Real logs mutated item by item: whatever comes out of the mutation, a call
returns the game's event texts or raises one of the module's four classes.
A PanicException (a BaseException), any other exception or a crash of the
interpreter is a fault. The mutations are drawn from fixed seeds so that a
run is repeatable."""

from __future__ import annotations

import copy
import json
import random
from collections import Counter

import pytest
from conftest import corpus_files

import _pairo

MODULE_ERRORS = (
    _pairo.JsonParsingError,
    _pairo.TenhouLogParsingError,
    _pairo.TenhouToMjaiError,
    _pairo.JsonSerializationError,
)

# The places of a round's items: start hands, draws and discards of each
# seat (after meta, scores, dora and ura indicators), then the results.
STREAMS = [4 + 3 * seat + part for seat in range(4) for part in (1, 2)]
HANDS = [4 + 3 * seat for seat in range(4)]
RESULTS = 16

CALL_TEXTS = [
    "c121314", "p454545", "45p4545", "4545p45", "m41414141", "41m414141", "414141m41",
    "414141a41", "4141k4141", "k41414141", "r23", "r60", "r", "c", "p", "m", "k", "a",
    "c1213", "p4545451", "c+5+6+7", "c515253", "r+9", "r99", "x121314", "",
]
RETYPED = [0, 60, 1, 10, 19, 30, 38, 40, 48, 50, 51, 52, 53, 54, 255, 256, -1, 1.5,
           None, True, [], {}, "60", "和了", "流局", [1, 0, 1], 2**31, 2**64]
RESULT_HEADS = ["和了", "流局", "九種九牌", "四風連打", "四家立直", "四開槓", "三家和", "流し満貫", "", 0]


def outcome(text: str) -> str:
    """The class name of what a conversion ends in; faults fail the test."""
    try:
        events = _pairo.tenhou_to_mjai(text)
    except MODULE_ERRORS as error:
        assert error.args == (error.args[0],) and error.__cause__ is None
        return type(error).__name__
    except BaseException as error:  # PanicException derives from BaseException
        pytest.fail(f"{type(error).__module__}.{type(error).__name__}: {error!r}\ninput: {text[:2000]!r}")
    assert type(events) is list and events
    decoded = [json.loads(line) for line in events]
    assert all(type(line) is str and "\n" not in line for line in events)
    assert decoded[0]["type"] == "start_game" and decoded[-1] == {"type": "end_game"}
    assert all(next(iter(event)) == "type" for event in decoded)
    return "ok"


def _rounds(doc):
    log = doc.get("log")
    return [r for r in log if isinstance(r, list) and len(r) >= 17] if isinstance(log, list) else []


def _some_list(rng, doc, places):
    """A random stream, hand or result list of a random round, or None."""
    rounds = _rounds(doc)
    if not rounds:
        return None
    round_ = rng.choice(rounds)
    place = rng.choice(places)
    return round_[place] if isinstance(round_[place], list) else None


def swap(rng, doc):
    items = _some_list(rng, doc, STREAMS + [RESULTS])
    if items and len(items) >= 2:
        i, j = rng.randrange(len(items)), rng.randrange(len(items))
        items[i], items[j] = items[j], items[i]


def drop(rng, doc):
    items = _some_list(rng, doc, STREAMS + [RESULTS] + HANDS)
    if items:
        del items[rng.randrange(len(items))]


def duplicate(rng, doc):
    items = _some_list(rng, doc, STREAMS + [RESULTS] + HANDS)
    if items:
        i = rng.randrange(len(items))
        items.insert(rng.randrange(len(items) + 1), copy.deepcopy(items[i]))


def retype(rng, doc):
    items = _some_list(rng, doc, STREAMS + HANDS + [RESULTS])
    if items:
        items[rng.randrange(len(items))] = copy.deepcopy(rng.choice(RETYPED + CALL_TEXTS))


def change_call(rng, doc):
    """Replaces a call text, or puts one in place of a plain tile."""
    items = _some_list(rng, doc, STREAMS)
    if not items:
        return
    texts = [i for i, item in enumerate(items) if isinstance(item, str)]
    i = rng.choice(texts) if texts and rng.random() < 0.7 else rng.randrange(len(items))
    old = items[i]
    if isinstance(old, str) and old and rng.random() < 0.5:
        # Keep the call's shape, change one character: its letter's place or a tile digit.
        chars = list(old)
        chars[rng.randrange(len(chars))] = rng.choice("cpmkar0123456789+")
        items[i] = "".join(chars)
    else:
        items[i] = rng.choice(CALL_TEXTS)


def move_between_seats(rng, doc):
    """Moves an item from one seat's stream to another's, as a misattributed call would."""
    rounds = _rounds(doc)
    if not rounds:
        return
    round_ = rng.choice(rounds)
    source, target = round_[rng.choice(STREAMS)], round_[rng.choice(STREAMS)]
    if isinstance(source, list) and source and isinstance(target, list):
        target.insert(rng.randrange(len(target) + 1), source.pop(rng.randrange(len(source))))


def change_results(rng, doc):
    items = _some_list(rng, doc, [RESULTS])
    if items is None:
        return
    choice = rng.randrange(4)
    if choice == 0 and items:
        items[0] = rng.choice(RESULT_HEADS)
    elif choice == 1:
        items.append([rng.randrange(-1, 5), rng.randrange(-1, 5), rng.randrange(-1, 5)])
    elif choice == 2:
        items.append([rng.randint(-20000, 20000) for _ in range(rng.choice([3, 4, 5]))])
    else:
        details = [i for i, item in enumerate(items) if isinstance(item, list) and len(item) > 4]
        if details:
            detail = items[rng.choice(details)]
            detail[rng.randrange(2)] = rng.choice([-1, 4, 1.0, "1", None, 3])


def change_round_head(rng, doc):
    """Meta, scores, dora and ura indicators of a round, and the rule."""
    rounds = _rounds(doc)
    if rounds and rng.random() < 0.8:
        round_ = rng.choice(rounds)
        place = rng.randrange(4)
        value = round_[place]
        if isinstance(value, list) and value and rng.random() < 0.5:
            del value[rng.randrange(len(value))]
        elif isinstance(value, list) and rng.random() < 0.5:
            value.append(rng.choice(RETYPED))
        else:
            round_[place] = rng.choice([[], [0, 0, 0], [255, 255, 255], [52], [11, 11, 11, 11, 11]])
    elif isinstance(doc.get("rule"), dict):
        doc["rule"][rng.choice(["disp", "aka", "aka51", "aka52", "aka53"])] = rng.choice(
            ["三南喰赤", "東喰赤", "", 0, 1, 3, 255, 256, -1, None])


def resize_round(rng, doc):
    """A round that ends early, or carries items past its results."""
    rounds = _rounds(doc)
    if not rounds:
        return
    round_ = rng.choice(rounds)
    if rng.random() < 0.5:
        del round_[rng.randrange(len(round_)):]
    else:
        round_.extend(copy.deepcopy(rng.sample(RETYPED, rng.randint(1, 3))))


MUTATIONS = [swap, drop, duplicate, retype, change_call, move_between_seats, change_results,
             change_round_head, resize_round]


def source_logs() -> list[str]:
    paths = corpus_files("real") + corpus_files("real-rounds") + corpus_files("sim")[:20]
    return [path.read_text(encoding="utf-8") for path in paths]


@pytest.fixture(scope="module")
def sources() -> list[str]:
    return source_logs()


@pytest.mark.parametrize("mutation", MUTATIONS, ids=lambda m: m.__name__)
def test_item_mutations_return_events_or_a_module_error(sources, mutation):
    rng = random.Random(f"pairo-{mutation.__name__}")
    seen = Counter()
    for _ in range(200):
        doc = json.loads(rng.choice(sources))
        for _ in range(rng.choice([1, 1, 2, 3])):
            mutation(rng, doc)
        seen[outcome(json.dumps(doc, ensure_ascii=rng.random() < 0.2))] += 1
    # A mutation that never lets a log through, or never breaks one, tests little.
    assert seen["ok"] > 0 and sum(seen.values()) > seen["ok"], seen


def test_mixed_mutations_reach_every_stage(sources):
    """Several kinds at once; together they must reach each stage's failure,
    or the mutants would not be testing the later stages at all."""
    rng = random.Random("pairo-mixed")
    seen = Counter()
    for _ in range(600):
        doc = json.loads(rng.choice(sources))
        for _ in range(rng.randint(1, 4)):
            rng.choice(MUTATIONS)(rng, doc)
        seen[outcome(json.dumps(doc, ensure_ascii=False))] += 1
    assert {"ok", "JsonParsingError", "TenhouLogParsingError", "TenhouToMjaiError"} <= seen.keys(), seen


def test_cut_texts_fail_to_parse_or_convert(sources):
    rng = random.Random("pairo-cut")
    seen = Counter()
    for _ in range(400):
        text = rng.choice(sources)
        cut = text[: rng.randrange(len(text) + 1)]
        seen[outcome(cut)] += 1
    # Only a cut inside the trailing white space leaves a whole document.
    assert seen["JsonParsingError"] >= 350, seen


def test_failed_mutants_write_no_output_file(sources, tmp_path):
    """Through the file entry point: a failed conversion leaves no output
    file; a successful one writes exactly the returned lines."""
    rng = random.Random("pairo-file")
    log, out = tmp_path / "log.json", tmp_path / "out.jsonl"
    seen = Counter()
    for _ in range(60):
        doc = json.loads(rng.choice(sources))
        rng.choice(MUTATIONS)(rng, doc)
        log.write_text(json.dumps(doc, ensure_ascii=False), encoding="utf-8")
        try:
            events = _pairo.tenhou_file_to_mjai(log, out)
        except MODULE_ERRORS as error:
            assert not out.exists(), f"{type(error).__name__} left {out.name} behind"
            seen["failed"] += 1
            continue
        assert out.read_text(encoding="utf-8") == "".join(line + "\n" for line in events)
        out.unlink()
        seen["ok"] += 1
    assert seen["ok"] and seen["failed"], seen


def round_blocks(events: list[str]) -> list[list[str]]:
    blocks, current = [], None
    for line in events[1:-1]:
        if line.startswith('{"type":"start_kyoku"'):
            current = []
            blocks.append(current)
        current.append(line)
    return blocks


def test_rounds_convert_on_their_own(sources):
    """Reordering, repeating or dropping whole rounds reorders, repeats or
    drops their blocks of events and changes nothing else."""
    rng = random.Random("pairo-rounds")
    for text in sources[:30]:
        doc = json.loads(text)
        blocks = round_blocks(_pairo.tenhou_to_mjai(text))
        assert len(blocks) == len(doc["log"])
        order = [rng.randrange(len(blocks)) for _ in range(rng.randint(1, len(blocks) + 2))]
        doc["log"] = [doc["log"][i] for i in order]
        events = _pairo.tenhou_to_mjai(json.dumps(doc, ensure_ascii=False))
        assert round_blocks(events) == [blocks[i] for i in order]
        assert events[0] == _pairo.tenhou_to_mjai(text)[0]
