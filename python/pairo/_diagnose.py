"""Why a log does not convert.

`_pairo`'s exceptions carry one fixed message per stage, which callers and
stored outputs rely on; the detail of the failure comes from here instead.
"""

from __future__ import annotations

from dataclasses import dataclass, fields

from . import _native

__all__ = ["Diagnosis", "diagnose"]


@dataclass(frozen=True, slots=True)
class Diagnosis:
    """The failure of one log's conversion.

    `stage` is where it failed: "decode" (the text is not a log document:
    a tenhou.net/6 log that does not decode, which `tenhou_to_mjai` raises
    as JsonParsingError, or an XML record that does not read, which
    `mjlog_to_mjai` raises as MjlogParsingError), "prepare" (the log is not
    one that converts; TenhouLogParsingError), "convert" (the play cannot be
    rebuilt; TenhouToMjaiError) or "encode" (JsonSerializationError).
    `kind` names the failure within its stage ("unmatched_call"; for an XML
    record, the fault: "syntax", "missing_attribute", "tile_not_held"...).
    `round` is the round as "S2-1" (South 2, one repeat count), `seat` the
    seat 0 to 3 at fault, `item` the stream item as the log writes it (for
    an XML record, the element's name, as "D122"); each is None when the
    failure has none. `message` says what is wrong (for an XML record,
    MjlogParsingError's text, with the byte where the element starts), and
    `detail` is the place and message on one line, as the `pairo` command
    reports it.
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


# The fields come from the module in the order it builds them: one order,
# checked here once rather than spelled again.
if tuple(field.name for field in fields(Diagnosis)) != _native.DIAGNOSIS_FIELDS:
    raise ImportError(f"pairo._native builds diagnoses of {_native.DIAGNOSIS_FIELDS}, not of Diagnosis' fields")


def diagnose(data: str | bytes) -> Diagnosis | None:
    """Converts the log `data` to mjai as pairo's converters do and tells
    why it fails, or returns None when it converts.

    `data` is what the converters take: a tenhou.net/6 log or an XML game
    record, told by content as `convert_path` tells a file's, as str or as
    bytes, gzipped or not. Bytes that make no text raise what the converters
    raise (OSError: invalid gzip data, more than 64 MiB inflated, not UTF-8),
    since there is no log to diagnose; anything but str or bytes raises
    TypeError.
    """
    found = _native.diagnose(data)
    return None if found is None else Diagnosis(*found)
