"""Data sets as training tools read them: games laid out by date under the
suffix asked for, chosen by the filters (each decided without converting,
checked here against the ids and GO types themselves), and a seat's view."""

from __future__ import annotations

import gzip
import json
import re
import zipfile
from pathlib import Path

import pytest
from conftest import corpus_files
from test_archives import NEWER, OLDER, build_database
from test_cli import pairo_command, report_lines

import pairo

# A game id for each kind of game the filters tell apart: its type bits, lobby and day.
IDS = [
    "2019021004gm-00a9-0000-e2f6516d",  # houou, East-South, red fives, open tanyao
    "2019080322gm-00e1-0000-81e85e04",  # houou, East only, fast
    "2012030101gm-0029-0000-0a0a0a0a",  # tokujou
    "2020010100gm-0089-0000-0b0b0b0b",  # joukyuu, the first day of 2020
    "2019123123gm-0009-0000-0c0c0c0c",  # ippan, the last day of 2019
    "2019060612gm-0001-0000-0d0d0d0d",  # ippan, East only
    "2019060613gm-00ab-0000-0e0e0e0e",  # houou without red fives
    "2019060614gm-00ad-0000-0f0f0f0f",  # houou without open tanyao
    "2019060615gm-0009-7994-1a1a1a1a",  # a private lobby
    "2019060616gm-01a9-0000-1b1b1b1b",  # custom rules (a bit from 0x100 up)
]
LEVELS = {0x00: "ippan", 0x80: "joukyuu", 0x20: "tokujou", 0xA0: "houou"}


def id_facts(game: str) -> dict[str, object]:
    """What the id says, read here independently of the engine."""
    kind = int(game[13:17], 16)
    return {
        "date": f"{game[:4]}-{game[4:6]}-{game[6:8]}",
        "south": bool(kind & 0x08),
        "level": LEVELS[kind & 0xA0],
        "aka": not kind & 0x02,
        "kuitan": not kind & 0x04,
        "fast": bool(kind & 0x40),
        "public": game.split("-")[2] == "0000" and kind < 0x100,
    }


def kept(facts: dict[str, object], flags: list[str], disconnected: bool) -> bool:
    options = dict(zip(flags[::2], flags[1::2], strict=False)) if "--public" not in flags else {}
    checks = {
        "--length": lambda v: facts["south"] == (v == "south"),
        "--lobby": lambda v: facts["level"] in v.split(","),
        "--rules": lambda v: all(facts[r[3:]] is False if r.startswith("no-") else facts[r] for r in v.split(",")),
        "--since": lambda v: facts["date"] >= v,
        "--until": lambda v: facts["date"] <= v,
    }
    if "--public" in flags and not facts["public"]:
        return False
    if "--skip-disconnected" in flags and disconnected:
        return False
    return all(check(options[flag]) for flag, check in checks.items() if flag in options)


def xml_records() -> list[Path]:
    return corpus_files("xml", "*.xml")


def disconnected(record: Path) -> bool:
    return "<BYE" in record.read_text(encoding="utf-8")


FILTERS = [
    [],
    ["--length", "east"],
    ["--length", "south"],
    ["--lobby", "tokujou,houou"],
    ["--public"],
    ["--rules", "no-aka"],
    ["--rules", "kuitan,fast"],
    ["--since", "2019-06-06", "--until", "2019-12-31"],
    ["--skip-disconnected"],
]


@pytest.mark.parametrize("layout", [OLDER, NEWER], ids=lambda layout: layout.name)
@pytest.mark.parametrize("flags", FILTERS, ids=lambda flags: " ".join(flags) or "none")
def test_a_database_keeps_exactly_the_games_its_filters_choose(tmp_path, layout, flags):
    # Records with a BYE stand at the first rows, so that a disconnection is met.
    records = sorted(xml_records(), key=lambda path: not disconnected(path))[: len(IDS)]
    rows = [(game, False, 1, 0, record.read_bytes()) for game, record in zip(IDS, records, strict=True)]
    database = build_database(tmp_path / "set.db", layout, rows)
    out = tmp_path / "out"
    result = pairo_command(database, "-o", out, "--layout", "date", "--suffix", ".json", "--gzip", *flags)
    expected = {g for g, r in zip(IDS, records, strict=True) if kept(id_facts(g), flags, disconnected(r))}
    written = (
        {p.name.removesuffix(".json.gz"): p.relative_to(out) for p in out.rglob("*.json.gz")} if out.exists() else {}
    )
    assert set(written) == expected
    assert all(str(path) == f"{g[:4]}/{g[4:6]}/{g[6:8]}/{g}.json.gz" for g, path in written.items())
    left_out = len(IDS) - len(expected)
    closing = f"{len(expected)} converted, 0 failed, {left_out} skipped"
    assert report_lines(result)[-1] == closing + (f" ({left_out} filtered)" if left_out else "")
    assert result.returncode == 0


@pytest.mark.parametrize(
    "flags",
    [["--lobby", "houou"], ["--length", "east"], ["--public"], ["--rules", "fast"], ["--skip-disconnected"]],
    ids=lambda flags: flags[0],
)
def test_records_named_by_no_id_are_chosen_by_their_go_and_bye(tmp_path, flags):
    folder = tmp_path / "in"
    folder.mkdir()
    expected = set()
    for record in xml_records():
        (folder / record.name).write_bytes(record.read_bytes())
        go = re.search(r'<GO type="(\d+)"(?: lobby="(\d+)")?', record.read_text(encoding="utf-8"))
        assert go is not None
        kind = int(go[1])
        facts = id_facts(f"2019010100gm-{kind:04x}-{'0000' if int(go[2] or 0) == 0 else '1111'}")
        if kept(facts, flags, disconnected(record)):
            expected.add(record.stem)
    pairo_command(folder, "-o", tmp_path / "out", "--report", tmp_path / "r.jsonl", *flags)
    assert {p.name.removesuffix(".mjai.jsonl") for p in (tmp_path / "out").glob("*")} == expected
    lines = [json.loads(line) for line in (tmp_path / "r.jsonl").read_text().splitlines()]
    assert {line["filter"] for line in lines} <= {flags[0].removeprefix("--")}
    assert len(lines) == len(xml_records()) - len(expected)


def test_json_logs_are_chosen_by_ref_rule_and_connection_list(tmp_path):
    logs = {p.stem: p for p in corpus_files("real", "mjlog2json-*.json")}
    for name, path in logs.items():
        (tmp_path / f"{name}.json").write_bytes(path.read_bytes())
    # A log without a ref: no day to decide --since on.
    (tmp_path / "noref.json").write_text(json.dumps({**json.loads(logs["mjlog2json-1"].read_text()), "ref": ""}))
    result = pairo_command(
        tmp_path, "-o", tmp_path / "out", "--skip-disconnected", "--since", "2019-08-01", "--lobby", "houou"
    )
    # -1 (February) is too early, -3 has a disconnection, -6 is tokujou.
    assert sorted(p.name for p in (tmp_path / "out").glob("*")) == [
        "mjlog2json-2.mjai.jsonl",
        "mjlog2json-4.mjai.jsonl",
        "mjlog2json-5.mjai.jsonl",
    ]
    failure = f"{tmp_path}/noref.json: ArchiveError: cannot tell whether the game passes the filter --since"
    assert failure in report_lines(result)
    assert report_lines(result)[-1] == "3 converted, 1 failed, 3 skipped (3 filtered)"


def test_a_data_set_from_a_database_a_bundle_and_a_folder_holds_one_file_per_game(tmp_path):
    first, second, third, fourth = (p.read_bytes() for p in xml_records()[:4])
    database = build_database(
        tmp_path / "2019.db", NEWER, [(IDS[0], False, 1, 0, first), (IDS[1], False, 1, 0, second)]
    )
    with zipfile.ZipFile(tmp_path / "set.zip", "w") as bundle:
        bundle.writestr(f"y/{IDS[2]}.mjlog.gz", gzip.compress(third))
        bundle.writestr(f"{IDS[0]}.xml", third)  # a game the database gave already
    folder = tmp_path / "logs"
    folder.mkdir()
    (folder / f"{IDS[3]}.mjlog").write_bytes(fourth)
    log = json.loads(corpus_files("real", "mjlog2json-5.json")[0].read_text())
    (folder / "named-by-ref.json").write_text(json.dumps(log))
    (folder / "no-id.json").write_text(json.dumps({**log, "ref": ""}))
    out = tmp_path / "out"
    args = [database, tmp_path / "set.zip", folder, "-o", out, "--layout", "date", "--suffix", ".json", "--gzip"]
    result = pairo_command(*args)
    games = [*IDS[:4], log["ref"]]
    assert sorted(str(p.relative_to(out)) for p in out.rglob("*") if p.is_file()) == sorted(
        f"{g[:4]}/{g[4:6]}/{g[6:8]}/{g}.json.gz" for g in games
    )
    lines = report_lines(result)
    assert any(line.startswith(f"{tmp_path}/set.zip/{IDS[0]}.xml: FileExistsError:") for line in lines)
    assert f"{folder}/no-id.json: ArchiveError: no game id: --layout date names a game by its id" in lines[-2]
    assert lines[-1] == "5 converted, 2 failed, 0 skipped"
    # Resumed under the same names: every game is there already.
    resumed = pairo_command(*args, "--skip-existing", "-j", "1")
    assert report_lines(resumed)[-1] == "0 converted, 2 failed, 5 skipped (5 existing)"
    # The data set met again as input: mjai streams, not Tenhou logs.
    again = pairo_command(out, "-o", tmp_path / "again", "--report", tmp_path / "r.jsonl")
    kinds = {json.loads(line)["kind"] for line in (tmp_path / "r.jsonl").read_text().splitlines()}
    assert kinds == {"mjai_stream"} and again.returncode == 1


def test_the_default_layout_and_suffix_are_unchanged_and_the_suffix_replaces_the_targets(tmp_path):
    record = xml_records()[0]
    (tmp_path / "a.mjlog").write_bytes(record.read_bytes())
    pairo_command(tmp_path / "a.mjlog", "-o", tmp_path / "plain")
    pairo_command(tmp_path / "a.mjlog", "-o", tmp_path / "named", "--suffix", ".jsonl", "--gzip")
    pairo_command(tmp_path / "a.mjlog", "-o", tmp_path / "t6", "--to", "tenhou6", "--suffix", ".t6.json")
    assert [p.name for p in (tmp_path / "plain").iterdir()] == ["a.mjai.jsonl"]
    assert [p.name for p in (tmp_path / "named").iterdir()] == ["a.jsonl.gz"]
    assert [p.name for p in (tmp_path / "t6").iterdir()] == ["a.t6.json"]


def hidden(event: dict[str, object], seat: int) -> dict[str, object]:
    """The event as `seat` sees it, by the rule of a match server."""
    if event["type"] == "tsumo" and event["actor"] != seat:
        return {**event, "pai": "?"}
    if event["type"] == "start_kyoku":
        hands = event["tehais"]
        assert isinstance(hands, list)
        return {**event, "tehais": [hand if i == seat else ["?"] * 13 for i, hand in enumerate(hands)]}
    return event


@pytest.mark.parametrize("seat", range(4))
def test_a_seats_view_hides_the_others_hands_and_draws_only(tmp_path, seat):
    path = corpus_files("real", "mjlog2json-3.json")[0]
    events = pairo.tenhou_to_mjai(path.read_text(encoding="utf-8"))
    view = pairo.seat_view(events, seat)
    assert [json.loads(line) for line in view] == [hidden(json.loads(line), seat) for line in events]
    # Line for line the same as the whole game wherever nothing is hidden.
    same = [a == b for a, b in zip(events, view, strict=True)]
    assert same.count(False) == sum(1 for e in map(json.loads, events) if hidden(e, seat) != e)
    pairo_command(path, "-o", tmp_path, "--view", str(seat))
    assert (tmp_path / "mjlog2json-3.mjai.jsonl").read_text(encoding="utf-8").splitlines() == view


def test_convert_archive_and_convert_files_take_the_filters_and_the_view(tmp_path):
    records = [p.read_bytes() for p in xml_records()[:3]]
    rows = [(game, False, 1, 0, record) for game, record in zip(IDS[:3], records, strict=True)]
    database = build_database(tmp_path / "set.db", OLDER, rows)
    games = dict(pairo.convert_archive(database, lobby=["houou"], view=2))
    assert sorted(games) == sorted(IDS[:2])
    assert games[IDS[0]] == pairo.seat_view(pairo.mjlog_to_mjai(records[0]), 2)
    outcomes: dict[str, pairo.Skipped] = {}
    summary = pairo.convert_files(
        [database], tmp_path / "out", since="2019-01-01", on_outcome=lambda n, o: outcomes.setdefault(n, o)
    )
    assert summary.skips == {"filtered": 1}
    assert outcomes[f"{database}/{IDS[2]}"].filter == "since"
    with pytest.raises(ValueError, match="unknown lobby 'phoenix'"):
        pairo.convert_files([database], tmp_path / "out", lobby="phoenix")
