"""Replays an mjai event stream the way a client would and reports the first
event that a real game could not have produced. Scores and riichi sticks are
carried through reach_accepted and the results' deltas and must give what the
next start_kyoku states."""

from __future__ import annotations

import json
from collections import Counter
from dataclasses import dataclass, field

CALLS = ("chi", "pon", "daiminkan")
KANS = ("ankan", "kakan", "daiminkan")


class ReplayError(AssertionError):
    pass


@dataclass
class Round:
    hands: list[Counter]
    scores: list[int]
    kyotaku: int
    # What the next event may be: ("take", seat) after a discard (that seat
    # draws, or anyone calls the discard), ("discard", seat) after a draw or a
    # call, ("rinshan", seat) after a daiminkan or ankan, or kakan.
    expect: tuple[str, int]
    last_discard: tuple[int, str] | None = None
    drawn: tuple[int, str] | None = None  # the tile just drawn by that seat
    kans: int = 0
    doras: int = 0
    reach_pending: int | None = None
    reach_declared: int | None = None
    ended: bool = False
    seen: list = field(default_factory=list)


def _take(hand: Counter, tile: str, what: str) -> None:
    if hand[tile] > 0:
        hand[tile] -= 1
    elif hand["?"] > 0:  # hands with unknown tiles cannot be checked
        hand["?"] -= 1
    else:
        raise ReplayError(f"{what}: {tile} is not in the hand {sorted(hand.elements())}")


def replay(lines: list[str]) -> None:
    events = [json.loads(line) for line in lines]
    if not events or events[0]["type"] != "start_game" or events[-1]["type"] != "end_game":
        raise ReplayError("the stream must run from start_game to end_game")
    state: Round | None = None
    left: tuple[list[int], int] | None = None  # scores and sticks the last round left
    for index, event in enumerate(events[1:-1], start=1):
        try:
            if event["type"] == "start_kyoku" and left is not None:
                _check_carried(left, event)
            if event["type"] == "end_kyoku" and state is not None:
                left = (state.scores, state.kyotaku)
            state = _step(state, event)
        except ReplayError as error:
            raise ReplayError(f"event {index} {json.dumps(event, ensure_ascii=False)}: {error}") from None
    if state is not None:
        raise ReplayError("the last round was not closed by end_kyoku")


def _check_carried(left: tuple[list[int], int], e: dict) -> None:
    if (left[0], left[1]) != (e["scores"], e["kyotaku"]):
        raise ReplayError(f"the last round left scores {left[0]} and {left[1]} sticks")


def _step(state: Round | None, e: dict) -> Round | None:
    kind = e["type"]
    if kind == "start_kyoku":
        if state is not None:
            raise ReplayError("a round started before the previous one ended")
        return Round(
            hands=[Counter(h) for h in e["tehais"]],
            scores=list(e["scores"]),
            kyotaku=e["kyotaku"],
            expect=("take", (e["oya"] + 3) % 4),
        )
    if state is None:
        raise ReplayError(f"{kind} outside a round")
    if state.ended:
        if kind not in ("hora", "end_kyoku"):
            raise ReplayError(f"{kind} after the round's result")
        if kind == "end_kyoku":
            return None
        _pay(state, e)
        return state
    handler = _HANDLERS.get(kind)
    if handler is None:
        raise ReplayError(f"unexpected event kind {kind}")
    handler(state, e)
    return state


def _tsumo(s: Round, e: dict) -> None:
    stage, seat = s.expect
    actor = e["actor"]
    if stage == "take" and actor != (seat + 1) % 4 or stage == "rinshan" and actor != seat or stage == "discard":
        raise ReplayError(f"seat {actor} draws out of turn (expected {s.expect})")
    _accept_reach(s)
    s.hands[actor][e["pai"]] += 1
    s.drawn = (actor, e["pai"])
    s.expect = ("discard", actor)


def _accept_reach(s: Round) -> None:
    if s.reach_pending is not None:
        raise ReplayError(f"the riichi of seat {s.reach_pending} was never accepted")


def _dahai(s: Round, e: dict) -> None:
    actor = e["actor"]
    if s.expect != ("discard", actor):
        raise ReplayError(f"seat {actor} discards out of turn (expected {s.expect})")
    if s.kans != s.doras:
        raise ReplayError(f"{s.kans} kans but {s.doras} dora reveals before a discard")
    if e["tsumogiri"] and s.drawn != (actor, e["pai"]):
        raise ReplayError(f"tsumogiri of {e['pai']} but the tile just drawn was {s.drawn}")
    _take(s.hands[actor], e["pai"], "discard")
    s.last_discard = (actor, e["pai"])
    s.drawn = None
    s.expect = ("take", actor)
    if s.reach_declared == actor:
        s.reach_pending, s.reach_declared = actor, None


def _call(s: Round, e: dict) -> None:
    actor, target = e["actor"], e["target"]
    if s.expect[0] != "take" or s.last_discard is None:
        raise ReplayError("a call with no discard to call")
    if (target, e["pai"]) != s.last_discard or actor == target:
        raise ReplayError(f"the call does not match the last discard {s.last_discard}")
    if e["type"] == "chi" and actor != (target + 1) % 4:
        raise ReplayError("chi from a seat other than the one before")
    if s.reach_pending is not None:
        s.reach_pending = None  # reach_accepted must have come first
        raise ReplayError("a call before the riichi was accepted")
    for tile in e["consumed"]:
        _take(s.hands[actor], tile, e["type"])
    s.last_discard = None
    s.drawn = None
    if e["type"] == "daiminkan":
        s.kans += 1
        s.expect = ("rinshan", actor)
    else:
        s.expect = ("discard", actor)


def _ankan(s: Round, e: dict) -> None:
    actor = e["actor"]
    if s.expect != ("discard", actor):
        raise ReplayError(f"seat {actor} makes a closed kan out of turn")
    for tile in e["consumed"]:
        _take(s.hands[actor], tile, "ankan")
    s.kans += 1
    s.drawn = None
    s.expect = ("rinshan", actor)


def _kakan(s: Round, e: dict) -> None:
    actor = e["actor"]
    if s.expect != ("discard", actor):
        raise ReplayError(f"seat {actor} makes an added kan out of turn")
    _take(s.hands[actor], e["pai"], "kakan")
    s.kans += 1
    s.drawn = None
    s.expect = ("rinshan", actor)


def _reach(s: Round, e: dict) -> None:
    if s.expect != ("discard", e["actor"]):
        raise ReplayError("riichi out of turn")
    s.reach_declared = e["actor"]


def _reach_accepted(s: Round, e: dict) -> None:
    if s.reach_pending != e["actor"]:
        raise ReplayError("reach_accepted without a riichi discard just before")
    s.reach_pending = None
    s.scores[e["actor"]] -= 1000
    s.kyotaku += 1


def _dora(s: Round, e: dict) -> None:
    s.doras += 1
    if s.doras > s.kans:
        raise ReplayError("a dora reveal without a kan")


def _result(s: Round, e: dict) -> None:
    if s.kans - s.doras > 1:
        raise ReplayError(f"{s.kans} kans but only {s.doras} dora reveals")
    s.ended = True
    _pay(s, e)


def _pay(s: Round, e: dict) -> None:
    s.scores = [score + delta for score, delta in zip(s.scores, e["deltas"])]
    if e["type"] == "hora":  # the winner's deltas hold the sticks
        s.kyotaku = 0


_HANDLERS = {
    "tsumo": _tsumo,
    "dahai": _dahai,
    "chi": _call,
    "pon": _call,
    "daiminkan": _call,
    "ankan": _ankan,
    "kakan": _kakan,
    "reach": _reach,
    "reach_accepted": _reach_accepted,
    "dora": _dora,
    "hora": _result,
    "ryukyoku": _result,
}
