"""Whole games from the shared corpus: simulated games against their true
event streams, real logs through the replay checker, and the logs that must
fail."""

from __future__ import annotations

import json

import pytest
from conftest import corpus_files
from mjai_checker import ReplayError, replay

import _pairo


def convert(path):
    return _pairo.tenhou_to_mjai(path.read_text(encoding="utf-8"))


def sim_games():
    return corpus_files("sim")


@pytest.mark.parametrize("folder", ["sim"])
def test_simulated_games_match_their_true_streams(folder):
    mismatches = []
    for path in corpus_files(folder):
        # Lines end at line feeds only: names may hold U+2028, which splitlines() would split.
        truth = path.with_name(path.stem + ".truth.jsonl").read_text(encoding="utf-8").split("\n")
        if truth[-1] == "":
            truth.pop()
        events = convert(path)
        if events != truth:
            first = next((i for i, (a, b) in enumerate(zip(events, truth)) if a != b), min(len(events), len(truth)))
            mismatches.append(f"{path.name}: line {first + 1}")
    assert not mismatches, mismatches


@pytest.mark.parametrize("folder", ["real", "real-rounds", "sim"])
def test_games_replay_like_a_client_sees_them(folder):
    failures = []
    for path in corpus_files(folder):
        try:
            replay(convert(path), hand_shapes=folder != "sim")
        except ReplayError as error:
            # The simulator lets three seats ron one discard, which Tenhou draws.
            if folder == "sim" and str(error).startswith("too_many_wins"):
                continue
            failures.append(f"{path.name}: {error}")
    assert not failures, failures


@pytest.mark.parametrize(
    "folder, cls",
    [("real-broken", _pairo.TenhouToMjaiError), ("real3p", _pairo.JsonParsingError)],
)
def test_logs_that_must_fail(folder, cls):
    for path in corpus_files(folder):
        with pytest.raises(cls):
            convert(path)


def test_real_logs_keep_their_round_count():
    for path in corpus_files("real"):
        log = json.loads(path.read_text(encoding="utf-8"))
        rounds = log["log"] if isinstance(log, dict) else log[0]
        kinds = [json.loads(text)["type"] for text in convert(path)]
        assert kinds.count("start_kyoku") == len(rounds) == kinds.count("end_kyoku"), path.name


@pytest.mark.parametrize(
    "mutate",
    [
        lambda text: text.replace('"和了"', '"\\u548c\\u4e86"'),  # escaped keys and texts read the same
        lambda text: json.dumps(json.loads(text), indent=2, ensure_ascii=True),
    ],
    ids=["escaped-marker", "reformatted"],
)
def test_layout_of_the_text_does_not_matter(mutate):
    for path in corpus_files("real")[:10]:
        text = path.read_text(encoding="utf-8")
        assert _pairo.tenhou_to_mjai(mutate(text)) == _pairo.tenhou_to_mjai(text), path.name


@pytest.mark.parametrize("folder", ["real", "real-rounds"])
def test_four_riichi_draws_accept_all_four_riichi(folder):
    """Tenhou takes the fourth stick too, so every declarer is accepted."""
    seen = 0
    for path in corpus_files(folder):
        log = json.loads(path.read_text(encoding="utf-8"))
        rounds = log["log"] if isinstance(log, dict) else log[0]
        four_riichi = [r[16][:1] == ["四家立直"] for r in rounds]
        if not any(four_riichi):
            continue
        played = [json.loads(text) for text in convert(path)]
        starts = [i for i, event in enumerate(played) if event["type"] == "start_kyoku"] + [len(played)]
        for number, wanted in enumerate(four_riichi):
            if wanted:
                events = played[starts[number]:starts[number + 1]]
                accepted = [e["actor"] for e in events if e["type"] == "reach_accepted"]
                assert sorted(accepted) == [0, 1, 2, 3], (path.name, number)
                seen += 1
    assert seen, "no four-riichi draw in the folder"


def test_replay_follows_scores_and_sticks_into_the_next_round():
    path = next(p for p in corpus_files("real") if p.name == "pantheon-4.json")
    events = convert(path)
    # The fourth riichi's acceptance, the only one right before a ryukyoku.
    last = next(
        i for i, text in enumerate(events) if '"reach_accepted"' in text and '"ryukyoku"' in events[i + 1]
    )
    replay(events)
    with pytest.raises(ReplayError, match="scores_do_not_carry"):
        replay(events[:last] + events[last + 1:])
