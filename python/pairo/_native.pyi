import os
from collections.abc import Callable, Iterable, Sequence
from typing import final

from _pairo import JsonParsingError as JsonParsingError
from _pairo import JsonSerializationError as JsonSerializationError
from _pairo import TenhouLogParsingError as TenhouLogParsingError
from _pairo import TenhouToMjaiError as TenhouToMjaiError

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]

SKIP_REASONS: tuple[str, ...]
RECORD_LIMIT: int

class MjlogParsingError(TenhouLogParsingError): ...
class ArchiveError(ValueError): ...

@final
class ArchiveRecords:
    def __iter__(self) -> ArchiveRecords: ...
    def __next__(self) -> tuple[str, list[str] | str | BaseException]: ...
    def close(self) -> None: ...

# A diagnosis as the module builds it: stage, kind, round, seat, item,
# message, detail (DIAGNOSIS_FIELDS names them, in this order).
_DiagnosisFields = tuple[str, str, str | None, int | None, str | None, str, str]
DIAGNOSIS_FIELDS: tuple[str, ...]
INPUT_NAMES: dict[str, tuple[str, ...]]
# The filters as the engine takes them: length (0 any, 1 east, 2 south),
# lobby levels, public only, rules required, rules refused, since, until
# (YYYYMMDD, 0 for none), skip disconnected.
_Filters = tuple[int, int, bool, int, int, int, int, bool]

def diagnose(data: str | bytes, /) -> _DiagnosisFields | None: ...
def convert_files(
    inputs: Iterable[_Path],
    outdir: _Path,
    jobs: int,
    gzip: bool,
    skip_existing: bool,
    fail_fast: bool,
    to: str,
    layout: str,
    suffix: str,
    filters: _Filters | None,
    view: int | None,
    stdin: bytes | None,
    on_outcome: Callable[
        [
            str,
            str | None,
            str,
            BaseException | None,
            tuple[str, str | None, str | None] | None,
            _DiagnosisFields | None,
        ],
        object,
    ]
    | None,
    progress: Callable[[int, int | None], object] | None,
    /,
) -> int: ...
def validate_files(
    inputs: Iterable[_Path],
    jobs: int,
    stdin: bytes | None,
    on_outcome: Callable[
        [
            str,
            str | None,
            BaseException | None,
            tuple[str, str | None] | None,
            tuple[_Finding | None, tuple[_Finding, ...]] | None,
        ],
        object,
    ]
    | None,
    progress: Callable[[int, int | None], object] | None,
    /,
) -> int: ...
def convert_many(paths: Sequence[object], jobs: int, to: str, /) -> list[list[str] | str | BaseException]: ...
def convert_to_stdout(path: _Path | None, data: bytes, to: str, /) -> None: ...
def find_logs(inputs: Iterable[_Path], to: str, /) -> list[tuple[str, BaseException | None]]: ...
def is_container(path: _Path, /) -> bool: ...
def open_archive(path: _Path, jobs: int, to: str, filters: _Filters | None, view: int | None, /) -> ArchiveRecords: ...
def seat_view(events: Sequence[str], seat: int, /) -> list[str]: ...
def mjlog_to_tenhou6(data: str | bytes, ref: str | None = None) -> str: ...
def mjlog_to_mjai(data: str | bytes) -> list[str]: ...

# A replay's finding: line, round, seat, check, message.
_Finding = tuple[int, str | None, int | None, str, str]
CHECKS: tuple[str, ...]

def validate_mjai(
    events: str | Iterable[str], hand_shapes: bool = True, /
) -> tuple[_Finding | None, tuple[_Finding, ...]]: ...
