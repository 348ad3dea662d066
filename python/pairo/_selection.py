"""The options that make a data set of mjai games as training tools read it:
where each game goes (`layout`), what its outputs are named (`suffix`),
which games are kept (the filters) and whose view is written (`view`).

The filters are decided by the native engine from the cheapest place that
knows each fact, never by converting a record: a database row's id before
the row is read, a file's or member's name, then a record's GO and BYE or a
tenhou.net/6 log's ref, rule, lobby and connection list.
"""

from __future__ import annotations

import datetime
import re
from collections.abc import Iterable
from typing import Literal

__all__ = ["LENGTHS", "LOBBIES", "Layout", "Length", "RULES", "native_filters", "parse_date", "parse_names"]

Layout = Literal["mirror", "date"]
Length = Literal["east", "south"]

LENGTHS: tuple[str, ...] = ("east", "south")
# Tenhou's lobby levels (般 上 特 鳳), each a bit of the engine's set.
LOBBIES: dict[str, int] = {"ippan": 1, "joukyuu": 2, "tokujou": 4, "houou": 8}
# A rule each filter requires ("aka") or refuses ("no-aka"): red fives,
# open tanyao (kuitan), fast play.
RULES: dict[str, int] = {"aka": 1, "kuitan": 2, "fast": 4}

NativeFilters = tuple[int, int, bool, int, int, int, int, bool]


def parse_names(given: str | Iterable[str] | None, allowed: Iterable[str], what: str) -> list[str]:
    """The names of a comma-separated text or an iterable, each one of `allowed`."""
    if given is None:
        return []
    names = [name.strip() for name in given.split(",")] if isinstance(given, str) else list(given)
    known = list(allowed)
    for name in names:
        if name not in known:
            raise ValueError(f"unknown {what} {name!r}: choose from {', '.join(known)}")
    return names


def parse_date(given: str | datetime.date | None, what: str) -> int:
    """A day as YYYYMMDD (0 for none), from a date or "YYYY-MM-DD"."""
    if given is None:
        return 0
    if isinstance(given, str):
        if not re.fullmatch(r"\d{4}-\d{2}-\d{2}", given):
            raise ValueError(f"{what} must be a date YYYY-MM-DD, not {given!r}")
        try:
            given = datetime.date.fromisoformat(given)
        except ValueError as exc:
            raise ValueError(f"{what} must be a date YYYY-MM-DD: {exc}") from None
    return given.year * 10000 + given.month * 100 + given.day


def native_filters(
    *,
    length: Length | None = None,
    lobby: str | Iterable[str] | None = None,
    public: bool = False,
    rules: str | Iterable[str] | None = None,
    since: str | datetime.date | None = None,
    until: str | datetime.date | None = None,
    skip_disconnected: bool = False,
) -> NativeFilters | None:
    """The filters as the engine takes them, or None when none is set;
    ValueError for a value no filter has."""
    if length is not None and length not in LENGTHS:
        raise ValueError(f"length must be 'east' or 'south', not {length!r}")
    levels = 0
    for name in parse_names(lobby, LOBBIES, "lobby"):
        levels |= LOBBIES[name]
    required = refused = 0
    for name in parse_names(rules, [*RULES, *(f"no-{rule}" for rule in RULES)], "rule"):
        if name.startswith("no-"):
            refused |= RULES[name[3:]]
        else:
            required |= RULES[name]
    if required & refused:
        raise ValueError("rules both require and refuse the same rule")
    first, last = parse_date(since, "since"), parse_date(until, "until")
    if first and last and first > last:
        raise ValueError("since comes after until: no game is kept")
    length_code = 0 if length is None else 1 + LENGTHS.index(length)
    filters = (length_code, levels, public, required, refused, first, last, skip_disconnected)
    return filters if any(filters) else None
