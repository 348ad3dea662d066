"""Why a log does not convert.

`_pairo`'s exceptions carry one fixed message per stage, which callers and
stored outputs rely on; the detail of the failure comes from here instead.
"""

from __future__ import annotations

from dataclasses import dataclass

from . import _native

__all__ = ["Diagnosis", "diagnose"]


@dataclass(frozen=True, slots=True)
class Diagnosis:
    """The failure of one log's conversion.

    `stage` is where it failed: "decode" (the text is not a log document;
    `tenhou_to_mjai` raises JsonParsingError), "prepare" (the log is not one
    that converts; TenhouLogParsingError), "convert" (the play cannot be
    rebuilt; TenhouToMjaiError) or "encode" (JsonSerializationError).
    `kind` names the failure within its stage ("unmatched_call"). `round` is
    the round as "S2-1" (South 2, one repeat count), `seat` the seat 0 to 3
    at fault, `item` the stream item as the log writes it; each is None when
    the failure has none. `message` says what is wrong, and `detail` is the
    place and message on one line, as the `pairo` command reports it.
    """

    stage: str
    kind: str
    round: str | None
    seat: int | None
    item: str | None
    message: str
    detail: str

    def __str__(self) -> str:
        return self.detail


def diagnose(data: str) -> Diagnosis | None:
    """Converts the log text `data` as `tenhou_to_mjai` does and tells why
    it fails, or returns None when it converts."""
    found = _native.diagnose(data)
    return None if found is None else Diagnosis(*found)
