"""pairo.validate_mjai: the corpus's converted games hold, each check is
named by a mutation of a real stream that breaks it, broken text is one
invalid game, and the hand check agrees with the `mahjong` package."""

from __future__ import annotations

import json
import re
from collections import Counter
from functools import cache

import pytest
from conftest import corpus_files
from mahjong.shanten import Shanten

import pairo

TILES = [f"{n}{s}" for s in "mps" for n in range(1, 10)] + list("ESWNPFC")


def kind(tile: str) -> int:
    return TILES.index(tile[:2] if tile.endswith("r") else tile)


@cache
def real_streams() -> tuple[tuple[str, tuple[dict, ...]], ...]:
    streams = [(p.name, pairo.tenhou_to_mjai(p.read_text(encoding="utf-8"))) for p in corpus_files("real")]
    return tuple((name, tuple(json.loads(e) for e in events)) for name, events in streams)


def texts(events) -> list[str]:
    return [json.dumps(e) for e in events]


def closed_hands(events):
    """Each hora with the winner's closed tiles before the win (a light
    tracking of tiles only; the validator is what checks the play; the
    `mahjong` package tells the melds from the closed tiles' count)."""
    hands: list[Counter] = []
    for i, e in enumerate(events):
        t = e["type"]
        if t == "start_kyoku":
            hands = [Counter(h) for h in e["tehais"]]
        elif t == "tsumo":
            hands[e["actor"]][e["pai"]] += 1
        elif t == "dahai":
            hands[e["actor"]][e["pai"]] -= 1
        elif t in ("chi", "pon", "daiminkan", "ankan"):
            hands[e["actor"]].subtract(e["consumed"])
        elif t == "kakan":
            hands[e["actor"]][e["pai"]] -= 1
        elif t == "hora":
            yield i, +hands[e["actor"]]


# ---- no false alarm ---------------------------------------------------------


def corpus_streams():
    for folder in ("real", "real-rounds"):
        for path in corpus_files(folder):
            yield folder, path.name, pairo.tenhou_to_mjai(path.read_text(encoding="utf-8"))
    for path in corpus_files("xml", "*.xml"):
        yield "xml", path.name, pairo.mjlog_to_mjai(path.read_bytes())


def test_every_converted_corpus_game_is_valid():
    faults, warned = [], []
    for folder, name, events in corpus_streams():
        warnings: list[pairo.StreamWarning] = []
        found = pairo.validate_mjai(events, warnings=warnings)
        if found is not None:
            faults.append(f"{folder}/{name}: {found.check}: {found}")
        # A round cut out of a game may end it early; a whole game follows the lobby's rules.
        allowed = {"game_ends_early"} if folder == "real-rounds" else set()
        if {w.check for w in warnings} - allowed:
            warned.append(f"{folder}/{name}: {[str(w) for w in warnings]}")
    assert not faults, faults
    assert not warned, warned


# ---- no false pass: one family of mutations per check -----------------------


def first(events, test, start=0):
    return next((i for i in range(start, len(events)) if test(events[i])), None)


def replaced(events, i, **changes):
    return events[:i] + ({**events[i], **changes},) + events[i + 1:]


def swap_discard(ev):
    # The dealer's first discard swapped for a kind it holds none of.
    i = first(ev, lambda e: e["type"] == "dahai")
    held = {kind(t) for t in ev[first(ev, lambda e: e["type"] == "start_kyoku")]["tehais"][ev[i]["actor"]]}
    held.add(kind(ev[i - 1]["pai"]))
    other = next(t for t in TILES if kind(t) not in held)
    return i, replaced(ev, i, pai=other, tsumogiri=False)


def chi_from_wrong_seat(ev):
    i = first(ev, lambda e: e["type"] == "chi")
    return None if i is None else (i, replaced(ev, i, actor=(ev[i]["target"] + 2) % 4))


def pon_of_another_tile(ev):
    i = first(ev, lambda e: e["type"] == "pon")
    if i is None:
        return None
    other = TILES[(kind(ev[i]["pai"]) + 1) % 34]
    return i, replaced(ev, i, pai=other)


def chi_not_a_run(ev):
    i = first(ev, lambda e: e["type"] == "chi")
    if i is None:
        return None
    consumed = [ev[i]["consumed"][0], ev[i]["consumed"][0]]
    return i, replaced(ev, i, consumed=consumed)


def swap_after_call(ev):
    i = first(ev, lambda e: e["type"] == "pon")
    return None if i is None else (i + 1, replaced(ev, i + 1, pai=ev[i]["pai"], tsumogiri=False))


def delta_changed(ev):
    i = first(ev, lambda e: e["type"] == "hora")
    deltas = list(ev[i]["deltas"])
    deltas[ev[i]["actor"]] += 100
    return i, replaced(ev, i, deltas=deltas)


def reach_accepted_dropped(ev):
    i = first(ev, lambda e: e["type"] == "reach_accepted")
    if i is None or ev[i + 1]["type"] not in ("tsumo", "chi", "pon", "daiminkan"):
        return None
    return i, ev[:i] + ev[i + 1:]


def reach_accepted_twice(ev):
    i = first(ev, lambda e: e["type"] == "reach_accepted")
    return None if i is None else (i + 1, ev[:i + 1] + ev[i:])


def tsumogiri_flipped(ev):
    i = first(ev, lambda e: e["type"] == "dahai" and not e["tsumogiri"] and ev_drawn(ev, e) not in (None, e["pai"]))
    return i, replaced(ev, i, tsumogiri=True)


def ev_drawn(ev, e):
    i = ev.index(e)
    before = ev[i - 1]
    return before["pai"] if before["type"] == "tsumo" and before["actor"] == e["actor"] else None


def later_round(ev):
    return first(ev, lambda e: e["type"] == "start_kyoku", start=first(ev, lambda e: e["type"] == "end_kyoku"))


def score_changed(ev):
    i = later_round(ev)
    if i is None:
        return None
    scores = list(ev[i]["scores"])
    scores[1] += 1000
    return i, replaced(ev, i, scores=scores)


def sticks_changed(ev):
    i = later_round(ev)
    if i is None:
        return None
    return i, replaced(ev, i, kyotaku=ev[i]["kyotaku"] + 1)


def discard_removed(ev):
    i = first(ev, lambda e: e["type"] == "dahai" and ev[ev.index(e) + 1]["type"] == "tsumo")
    return i, ev[:i] + ev[i + 1:]


def draw_removed(ev):
    i = first(ev, lambda e: e["type"] == "tsumo")
    return i, ev[:i] + ev[i + 1:]


def result_removed(ev):
    i = first(ev, lambda e: e["type"] in ("hora", "ryukyoku"))
    return i, ev[:i] + ev[i + 1:]


def win_repeated(ev):
    i = first(ev, lambda e: e["type"] == "hora")
    return i + 1, ev[:i + 1] + ev[i:]


def ron_on_another_seat(ev):
    i = first(ev, lambda e: e["type"] == "hora" and e["actor"] != e["target"])
    if i is None:
        return None
    others = {0, 1, 2, 3} - {ev[i]["actor"], ev[i]["target"]}
    return i, replaced(ev, i, target=min(others))


def win_one_tile_short(ev):
    # A tsumo win whose winning draw becomes a tile that completes nothing.
    shanten = Shanten()
    for i, hand in closed_hands(ev):
        if ev[i]["actor"] != ev[i]["target"] or ev[i - 1]["type"] != "tsumo":
            continue
        drawn = ev[i - 1]["pai"]
        counts = [0] * 34
        for tile, n in hand.items():
            counts[kind(tile)] += n
        counts[kind(drawn)] -= 1
        shown = json.dumps(ev[:i])
        for other in TILES:
            k = kind(other)
            counts[k] += 1
            complete = shanten.calculate_shanten(counts) == -1
            counts[k] -= 1
            if not complete and counts[k] == 0 and other not in shown:
                return i, replaced(ev, i - 1, pai=other)
    return None


def riichi_in_a_changed_hand(ev):
    i = first(ev, lambda e: e["type"] == "reach_accepted")
    if i is None:
        return None
    seat = ev[i]["actor"]
    j = first(ev, lambda e: e["type"] in ("end_kyoku", "dahai") and e.get("actor") == seat and e["tsumogiri"], start=i)
    if j is None or ev[j - 1]["type"] != "tsumo" or any(e["type"] == "end_kyoku" for e in ev[i:j]):
        return None
    others = [t for t in TILES if kind(t) != kind(ev[j]["pai"])]
    return j, replaced(ev, j, pai=others[0], tsumogiri=False)


def dora_without_kan(ev):
    i = first(ev, lambda e: e["type"] == "start_kyoku")
    return i + 1, ev[:i + 1] + ({"type": "dora", "dora_marker": "1m"},) + ev[i + 1:]


def fifth_tile_dealt(ev):
    i = first(ev, lambda e: e["type"] == "start_kyoku")
    tehais = [list(h) for h in ev[i]["tehais"]]
    tehais[0][:5] = ["1m"] * 5
    return i, replaced(ev, i, tehais=tehais)


def twelve_tiles_dealt(ev):
    i = first(ev, lambda e: e["type"] == "start_kyoku")
    tehais = [list(h) for h in ev[i]["tehais"]]
    tehais[2] = tehais[2][1:]
    return i, replaced(ev, i, tehais=tehais)


def red_fives_refused(ev):
    if not any("r" in json.dumps(e.get("tehais", e.get("pai", ""))) for e in ev):
        return None
    i = first(ev, lambda e: "5mr" in json.dumps(e) or "5pr" in json.dumps(e) or "5sr" in json.dumps(e))
    return i, replaced(ev, 0, aka_flag=False)


def kan_indicator_removed(ev):
    i = first(ev, lambda e: e["type"] == "ankan")
    if i is None or ev[i + 1]["type"] != "dora":
        return None
    return i + 1, ev[: i + 1] + ev[i + 2 :]


def riichi_without_points(ev):
    # A riichi of the first round, its seat dealt fewer than 1,000 points.
    end = first(ev, lambda e: e["type"] == "end_kyoku")
    i = first(ev, lambda e: e["type"] == "reach")
    if i is None or i > end:
        return None
    scores = list(ev[1]["scores"])
    scores[ev[i]["actor"]] = 900
    return i, replaced(ev, 1, scores=scores)


def winning_tile_misnamed(ev):
    i = first(ev, lambda e: e["type"] == "hora" and e["actor"] != e["target"])
    if i is None or ev[i - 1]["type"] != "dahai":
        return None
    other = TILES[(kind(ev[i - 1]["pai"]) + 1) % 34]
    return i, replaced(ev, i, pai=other)


MUTATIONS = [
    (swap_discard, "tile_not_in_hand"),
    (chi_from_wrong_seat, "call_from_wrong_seat"),
    (pon_of_another_tile, "call_not_last_discard"),
    (chi_not_a_run, "call_tiles_wrong"),
    (swap_after_call, "swap_call"),
    (delta_changed, "deltas_do_not_sum"),
    (reach_accepted_dropped, "riichi_not_accepted"),
    (reach_accepted_twice, "reach_accepted_out_of_place"),
    (tsumogiri_flipped, "tsumogiri_wrong"),
    (score_changed, "scores_do_not_carry"),
    (sticks_changed, "sticks_do_not_carry"),
    (discard_removed, "draw_out_of_turn"),
    (draw_removed, "discard_out_of_turn"),
    (result_removed, "round_without_result"),
    (win_repeated, "too_many_wins"),
    (ron_on_another_seat, "wrong_win_target"),
    (win_one_tile_short, "hand_not_complete"),
    (riichi_in_a_changed_hand, "riichi_hand_changed"),
    (dora_without_kan, "dora_without_kan"),
    (fifth_tile_dealt, "tile_seen_five_times"),
    (twelve_tiles_dealt, "hand_not_thirteen"),
    (red_fives_refused, "red_five_not_in_game"),
    (kan_indicator_removed, "dora_missing"),
    (riichi_without_points, "riichi_without_points"),
    (winning_tile_misnamed, "wrong_winning_tile"),
]


@pytest.mark.parametrize("mutate, check", MUTATIONS, ids=[check for _, check in MUTATIONS])
def test_each_mutation_is_named_by_its_check(mutate, check):
    mutated = 0
    for name, events in real_streams():
        made = mutate(events)
        if made is None:
            continue
        line, stream = made
        found = pairo.validate_mjai(texts(stream))
        assert found is not None, f"{name}: passes"
        assert (found.check, found.line) == (check, line + 1), f"{name}: {found.check}: {found}"
        mutated += 1
    assert mutated, "no stream of the corpus takes this mutation"


def test_a_players_view_of_every_game_is_valid():
    """Seat 0's view (section 4 of the data sets' page): the other seats'
    hands and draws hidden as "?"; the play shown stays checkable."""
    for name, events in real_streams():
        view = []
        for e in events:
            if e["type"] == "start_kyoku":
                e = {**e, "tehais": [e["tehais"][0]] + [["?"] * 13] * 3}
            elif e["type"] == "tsumo" and e["actor"] != 0:
                e = {**e, "pai": "?"}
            view.append(e)
        found = pairo.validate_mjai(texts(view))
        assert found is None, f"{name}: {found.check}: {found}"


# ---- broken text -------------------------------------------------------------

START = '{"type":"start_game","names":["a","b","c","d"]}'
MALFORMED = [
    ("", 1, "no_start_game"),
    ('{"type":"end_game"}', 1, "no_start_game"),
    (START, 2, "truncated"),
    (START + "\n{", 2, "not_json"),
    (START + "\n[1]", 2, "not_json"),
    (START + '\n{"type":"none"}', 2, "unknown_type"),
    (START + '\n{"actor":1}', 2, "missing_key"),
    (START + '\n{"type":"start_kyoku","bakaze":"E"}', 2, "missing_key"),
    (START + '\n{"type":7}', 2, "bad_value"),
    (START + '\n{"type":"tsumo","actor":4,"pai":"1m"}', 2, "not_a_seat"),
    (START + '\n{"type":"tsumo","actor":0,"pai":"0m"}', 2, "not_a_tile"),
    (START + '\n{"type":"end_game"}\n{"type":"end_game"}', 3, "event_out_of_place"),
    (START + '\n{"type":"tsumo","actor":0,"pai":"1m"}', 2, "event_out_of_place"),
]


@pytest.mark.parametrize("text, line, check", MALFORMED)
def test_broken_text_is_one_invalid_game(text, line, check):
    found = pairo.validate_mjai(text)
    assert found is not None and (found.line, found.check) == (line, check), found


def test_a_line_past_the_record_bound_is_refused_unread():
    line = '{"type":"end_game","pad":"' + "x" * _native_limit() + '"}'
    found = pairo.validate_mjai([START, line])
    assert found is not None and (found.line, found.check) == (2, "line_too_long")


def _native_limit() -> int:
    from pairo import _native

    return _native.RECORD_LIMIT


def test_warnings_are_kept_apart_from_faults():
    name, events = real_streams()[0]
    i = later_round(events)
    honba = replaced(events, i, honba=events[i]["honba"] + 5)
    warnings: list[pairo.StreamWarning] = []
    assert pairo.validate_mjai(texts(honba), warnings=warnings) is None
    assert [(w.line, w.check) for w in warnings] == [(i + 1, "honba_does_not_follow")]
    early = events[:i] + (events[-1],)
    warnings.clear()
    assert pairo.validate_mjai(texts(early), warnings=warnings) is None
    assert [(w.line, w.check) for w in warnings] == [(i + 1, "game_ends_early")]


# ---- the hand check against an independent calculation ----------------------


def test_complete_hands_agree_with_the_mahjong_package():
    """Every tsumo win of the corpus, its winning draw replaced by each kind
    in turn: the validator calls the hand complete exactly when `mahjong`
    does (kinds whose fifth copy would show are left out)."""
    shanten = Shanten()
    compared = Counter()
    for name, events in real_streams():
        lines = texts(events)
        for i, hand in closed_hands(events):
            e = events[i]
            if e["actor"] != e["target"] or events[i - 1]["type"] != "tsumo":
                continue
            counts = [0] * 34
            for tile, n in hand.items():
                counts[kind(tile)] += n
            counts[kind(events[i - 1]["pai"])] -= 1
            for tile in TILES:
                counts[kind(tile)] += 1
                expected = shanten.calculate_shanten(counts) == -1
                counts[kind(tile)] -= 1
                draw = json.dumps({**events[i - 1], "pai": tile})
                found = pairo.validate_mjai(lines[: i - 1] + [draw] + lines[i:])
                if found is not None and found.check == "tile_seen_five_times":
                    continue
                got = found is None or found.line > i + 1
                assert got == expected, f"{name} line {i + 1} with {tile}: {found}"
                assert got or found.check == "hand_not_complete"
                compared[expected] += 1
    assert compared[True] > 50 and compared[False] > 1000, compared


# ---- the command ---------------------------------------------------------------


def pairo_command(*args, stdin: bytes = b"", cwd=None):
    import os
    import subprocess
    import sys

    env = {**os.environ, "PAIRO_REPORT_ELAPSED": "1"}
    return subprocess.run(
        [sys.executable, "-m", "pairo", *map(str, args)], input=stdin, capture_output=True, timeout=120, cwd=cwd,
        env=env,
    )


@pytest.fixture(scope="module")
def stream_folder(tmp_path_factory):
    """Three real games as streams (one gzipped, one cut short), a
    tenhou.net/6 log and an XML record among them."""
    root = tmp_path_factory.mktemp("streams")
    (name_a, a), (name_b, b), (name_c, c) = real_streams()[:3]
    (root / "a.mjai.jsonl").write_text("".join(t + "\n" for t in texts(a)))
    import gzip

    (root / "deep").mkdir()
    (root / "deep" / "b.json.gz").write_bytes(gzip.compress("".join(t + "\n" for t in texts(b)).encode()))
    (root / "c.jsonl").write_text("".join(t + "\n" for t in texts(c)[:40]))
    (root / "log.json").write_text(corpus_files("real")[0].read_text(encoding="utf-8"))
    (root / "record.xml").write_bytes(corpus_files("xml", "*.xml")[0].read_bytes())
    return root


def test_the_command_reports_each_invalid_game_and_counts(stream_folder, tmp_path):
    report = tmp_path / "report.jsonl"
    result = pairo_command("validate", stream_folder, "-j", "2", "--report", report)
    err = result.stderr.decode()
    assert result.returncode == 1, err
    assert f"{stream_folder / 'c.jsonl'}: line 41 (round E1-0): the stream ends before end_game" in err
    assert err.rstrip().endswith("2 valid, 1 invalid, 1 passed over (not an mjai stream)")
    assert re.search(r"^engine: [0-9]+\.[0-9]{6} s$", err, re.MULTILINE)
    lines = [json.loads(line) for line in report.read_text().splitlines()]
    assert lines == [
        {"name": str(stream_folder / "c.jsonl"), "outcome": "invalid", "line": 41, "round": "E1-0", "seat": None,
         "check": "truncated", "message": "the stream ends before end_game"}
    ]


@pytest.mark.parametrize(
    "args, status, tail",
    [
        (["a.mjai.jsonl", "deep"], 0, "2 valid, 0 invalid"),
        (["log.json"], 1, "log.json: JsonParsingError: a tenhou.net/6 log or other JSON, not an mjai stream"),
        (["record.xml"], 1, "record.xml: JsonParsingError: an XML game record, not an mjai stream"),
        (["-"], 0, "1 valid, 0 invalid"),
    ],
)
def test_the_command_exit_status(stream_folder, args, status, tail):
    stdin = (stream_folder / "a.mjai.jsonl").read_bytes()
    result = pairo_command("validate", *args, stdin=stdin, cwd=stream_folder)
    assert result.returncode == status, result.stderr
    assert tail in result.stderr.decode()


def test_a_database_is_a_usage_error_and_validate_stays_a_name(stream_folder, tmp_path):
    import sqlite3

    database = tmp_path / "logs.db"
    sqlite3.connect(database).execute("create table logs (log_id text)").connection.commit()
    result = pairo_command("validate", database)
    assert result.returncode == 2 and b"is a database" in result.stderr
    (tmp_path / "validate").write_text(corpus_files("real")[0].read_text(encoding="utf-8"))
    converted = pairo_command("./validate", cwd=tmp_path)
    assert converted.returncode == 0 and converted.stdout.startswith(b'{"type":"start_game"')
