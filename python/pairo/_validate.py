"""Whether an mjai stream is a game Tenhou's four-player rules could have
produced: the replay of `pairo._native`, its findings as frozen values."""

from __future__ import annotations

from collections.abc import Iterable
from dataclasses import dataclass

from . import _native

__all__ = ["CHECKS", "InvalidStream", "StreamWarning", "validate_mjai"]

CHECKS: tuple[str, ...] = _native.CHECKS


@dataclass(frozen=True, slots=True)
class StreamWarning:
    """A rule of the lobby the stream does not follow: the dealer, the
    repeat counter or the end of the game as Tenhou's public lobbies rule
    them, which a private lobby may change. It never makes a stream invalid.

    `line` is the event's line (1-based), `round` the round as "E1-0", `seat`
    the seat 0 to 3 (None where the finding is no seat's), `check` the
    check's stable name (one of CHECKS), `message` what does not hold.
    """

    line: int
    round: str | None
    seat: int | None
    check: str
    message: str

    def __str__(self) -> str:
        return _shown(self.line, self.round, self.seat, self.message)


@dataclass(frozen=True, slots=True)
class InvalidStream:
    """The first check an invalid mjai stream fails, with the fields of
    StreamWarning, and the warnings met before it."""

    line: int
    round: str | None
    seat: int | None
    check: str
    message: str
    warnings: tuple[StreamWarning, ...] = ()

    def __str__(self) -> str:
        return _shown(self.line, self.round, self.seat, self.message)


def _shown(line: int, round: str | None, seat: int | None, message: str) -> str:
    place = ", ".join(
        piece for piece in (f"round {round}" if round else "", f"seat {seat}" if seat is not None else "") if piece
    )
    return f"line {line} ({place}): {message}" if place else f"line {line}: {message}"


def validate_mjai(
    events: str | Iterable[str], *, warnings: list[StreamWarning] | None = None
) -> InvalidStream | None:
    """Replays the mjai stream `events` under Tenhou's four-player rules and
    returns None when every event holds, else the first check that fails.

    `events` is the text of a stream (one event a line) or a list of event
    texts, as `tenhou_to_mjai` returns them. A stream that is not JSON,
    misses keys or ends early is invalid like any other. The lobby's rules
    (dealer, repeat counter, end of the game) only warn: each warning is
    appended to `warnings` when a list is given, and also carried by the
    InvalidStream returned.
    """
    fault, found = _native.validate_mjai(events)
    notes = tuple(StreamWarning(*warning) for warning in found)
    if warnings is not None:
        warnings.extend(notes)
    return None if fault is None else InvalidStream(*fault, warnings=notes)
