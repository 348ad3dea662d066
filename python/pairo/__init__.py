"""Convert Tenhou version-6 JSON game logs, and Tenhou's XML game records,
into mjai event streams.

The conversion itself lives in the extension module ``_pairo``; this package
re-exports its names and adds what users need around it: XML game records
(``mjlog_to_mjai``, and ``mjlog_to_tenhou6`` for their tenhou.net/6 JSON),
the reason a log does not convert, batch conversion on the native engine's
threads (of files, folders, and containers: downloaders' SQLite databases
and zip or tar bundles, ``convert_archive`` for one container's records in
memory), data sets as training tools read them (``seat_view`` for a
player's view of a game), the replay of any mjai stream (``validate_mjai``)
and the ``pairo`` command.
"""

from _pairo import (
    VERSION,
    JsonParsingError,
    JsonSerializationError,
    TenhouLogParsingError,
    TenhouToMjaiError,
    __version__,
    tenhou_file_to_mjai,
    tenhou_to_mjai,
)

from ._archive import convert_archive
from ._diagnose import Diagnosis, diagnose
from ._in_memory import convert_many, convert_path
from ._native import ArchiveError, MjlogParsingError, mjlog_to_mjai, mjlog_to_tenhou6, seat_view
from ._to_files import SKIP_REASONS, Converted, ConvertSummary, Skipped, convert_files
from ._validate import CHECKS, InvalidStream, StreamWarning, validate_mjai

__all__ = [
    "TenhouLogParsingError",
    "TenhouToMjaiError",
    "JsonSerializationError",
    "JsonParsingError",
    "tenhou_file_to_mjai",
    "tenhou_to_mjai",
    "__version__",
    "VERSION",
    "convert_path",
    "convert_many",
    "diagnose",
    "Diagnosis",
    "mjlog_to_mjai",
    "mjlog_to_tenhou6",
    "convert_files",
    "ConvertSummary",
    "MjlogParsingError",
    "ArchiveError",
    "convert_archive",
    "Converted",
    "Skipped",
    "SKIP_REASONS",
    "seat_view",
    "validate_mjai",
    "InvalidStream",
    "StreamWarning",
    "CHECKS",
]
