"""Conversion of many logs: plain or gzipped files, JSON logs or XML game
records, in worker processes, results in input order.

Each conversion holds the interpreter lock from start to end, so threads do
not help; the work is spread over processes instead. A worker never lets an
exception escape: it hands it back as a value, so that one bad log is
reported in its place and the batch goes on.

A log that fails to convert raises the module's exception with its fixed
message, and a note that tells why (the detail of `pairo.diagnose`).
"""

from __future__ import annotations

import gzip
import os
import signal
import stat
import zlib
from collections import deque
from collections.abc import Callable, Generator, Iterable, Iterator
from functools import cache
from itertools import islice
from typing import TYPE_CHECKING, TypeVar

from _pairo import (
    JsonParsingError,
    JsonSerializationError,
    TenhouLogParsingError,
    TenhouToMjaiError,
    tenhou_file_to_mjai,
    tenhou_to_mjai,
)

from ._core import mjlog_to_mjai, mjlog_to_tenhou6
from ._diagnose import diagnose

if TYPE_CHECKING:
    from concurrent.futures import Future

__all__ = ["convert_path", "convert_many"]

StrPath = str | os.PathLike[str]
P = TypeVar("P", bound=StrPath)
T = TypeVar("T")
R = TypeVar("R")

GZIP_MAGIC = b"\x1f\x8b"
NOT_UTF8 = "stream did not contain valid UTF-8"

# Logs handed to a worker at once: enough to make the round trip to the
# worker cheap against the conversions, few enough to keep results flowing.
CHUNK = 8
# Chunks in flight per worker: one running, one waiting, so no worker idles
# while the parent takes a result, and memory stays bounded for any batch.
CHUNKS_PER_WORKER = 2


# The start of a text enough to tell an XML game record from a JSON log.
HEAD = 256


def is_xml_record(data: bytes) -> bool:
    """Whether `data`, gzipped or not, is an XML game record rather than a
    JSON log: the first non-blank byte of its text is '<'. Only the start of
    gzipped data is inflated to tell."""
    if data.startswith(GZIP_MAGIC):
        try:
            data = zlib.decompressobj(wbits=31).decompress(data, HEAD)
        except zlib.error:
            return False
    return data.removeprefix(b"\xef\xbb\xbf").lstrip()[:1] == b"<"


def is_gzipped(path: StrPath) -> bool:
    """Gzipped logs are recognised by name: a file name ending in ".gz"."""
    return os.fspath(path).endswith(".gz")


def log_text(data: bytes) -> str:
    """The text of a log's bytes, refused as the module refuses a plain file
    that is not UTF-8."""
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        raise OSError(NOT_UTF8) from None


CONVERSION_ERRORS = (TenhouLogParsingError, TenhouToMjaiError, JsonSerializationError, JsonParsingError)


def explained(convert: Callable[[], list[str]], text: Callable[[], str | None]) -> list[str]:
    """`convert()`, whose conversion failure gets a note that tells why,
    found in the log's `text()` (read only then; None when it cannot be read
    again)."""
    try:
        return convert()
    except CONVERSION_ERRORS as exc:
        again = text()
        found = diagnose(again) if again is not None else None
        if found is not None:
            exc.add_note(found.detail)
        raise


def convert_record(data: bytes) -> list[str]:
    """Converts an XML game record. A record that reads but does not convert
    gets the note its tenhou.net/6 text would get; one that cannot be read
    says why in its own message."""
    return explained(lambda: mjlog_to_mjai(data), lambda: _tenhou6_text(data))


def _tenhou6_text(data: bytes) -> str | None:
    try:
        return mjlog_to_tenhou6(data)
    except CONVERSION_ERRORS:
        return None


def convert_bytes(data: bytes) -> list[str]:
    """Converts a log given as bytes, such as standard input; gzipped data
    is recognised by its magic bytes, an XML game record by its text."""
    if is_xml_record(data):
        return convert_record(data)
    if data.startswith(GZIP_MAGIC):
        data = gzip.decompress(data)
    text = log_text(data)
    return explained(lambda: tenhou_to_mjai(text), lambda: text)


def convert_path(path: StrPath) -> list[str]:
    """Converts the log in the file `path` into its event texts.

    A file whose name ends in ".gz" is decompressed first; its content must
    be UTF-8 like a plain log's. A Tenhou XML game record (.mjlog, .xml,
    .xml.gz; gzipped or not, whatever its name) is told from a JSON log by
    its text, which starts with '<'. Raises what the conversion raises
    (MjlogParsingError for a record that cannot be read), and `OSError` (or
    a subclass) when the file cannot be read.
    """
    if not is_gzipped(path):
        record = _xml_record(path)
        if record is not None:
            return convert_record(record)
        return explained(lambda: tenhou_file_to_mjai(path), lambda: _read_text(path))
    with open(path, "rb") as file:
        data = file.read()
    if is_xml_record(data):
        return convert_record(data)
    data = gzip.decompress(data)
    text = log_text(data)
    return explained(lambda: tenhou_to_mjai(text), lambda: text)


def _xml_record(path: StrPath) -> bytes | None:
    """The bytes of the file `path` when it holds an XML game record, else
    None, having read only its start: a JSON log is read by the module,
    which also reports a file that cannot be read in its own words. Only a
    regular file is looked into, since a pipe cannot be read twice."""
    try:
        with open(path, "rb") as file:
            if not stat.S_ISREG(os.fstat(file.fileno()).st_mode):
                return None
            head = file.read(HEAD)
            return head + file.read() if is_xml_record(head) else None
    except OSError:
        return None


def _read_text(path: StrPath) -> str | None:
    """The text of a log file, read a second time; None for a file that
    cannot give it again (a pipe), or no longer can."""
    try:
        if not stat.S_ISREG(os.stat(path).st_mode):
            return None
        with open(path, "rb") as file:
            return file.read().decode("utf-8")
    except (OSError, UnicodeDecodeError):
        return None


def convert_many(
    paths: Iterable[P], jobs: int | None = None
) -> Iterator[tuple[P, list[str] | BaseException]]:
    """Converts every log in `paths`, yielding `(path, events)` in the order
    of `paths`, or `(path, exception)` for a log that failed.

    `jobs` worker processes convert at once (default: one per processor);
    with one job the logs are converted in this process. `paths` is read
    lazily, so it may be a generator over any number of logs.
    """
    pending: deque[P] = deque()

    def remembered(items: Iterable[P]) -> Iterator[P]:
        for item in items:
            pending.append(item)
            yield item

    for result in ordered_map(convert_path, remembered(paths), resolve_jobs(jobs)):
        yield pending.popleft(), result


def resolve_jobs(jobs: int | None) -> int:
    if jobs is None:
        return os.cpu_count() or 1
    if jobs < 1:
        raise ValueError(f"jobs must be at least 1, not {jobs}")
    return jobs


def attempt(fn: Callable[[T], R], item: T) -> R | BaseException:
    """`fn(item)`, or the exception it raised. PanicException derives from
    BaseException, so everything but an interruption or an exit is caught."""
    try:
        return fn(item)
    except (KeyboardInterrupt, SystemExit, GeneratorExit):
        raise
    except BaseException as exc:
        return exc


def ordered_map(
    fn: Callable[[T], R], items: Iterable[T], jobs: int
) -> Generator[R | BaseException, None, None]:
    """`fn` applied to each item, results (or the exceptions raised) in the
    order of `items`: in this process for one job, otherwise in `jobs`
    worker processes. Items are taken from `items` only as workers need
    them."""
    if jobs == 1:
        for item in items:
            yield attempt(fn, item)
        return
    yield from _pool_map(fn, iter(items), jobs)


def _pool_map(
    fn: Callable[[T], R], items: Iterator[T], jobs: int
) -> Generator[R | BaseException, None, None]:
    # Imported here: the pool machinery would triple the time `import pairo` takes.
    from concurrent.futures import Future, ProcessPoolExecutor

    executor = ProcessPoolExecutor(max_workers=jobs, initializer=_ignore_interrupts)
    in_flight: deque[tuple[int, Future[list[R | BaseException]]]] = deque()

    def submit_next() -> bool:
        chunk = list(islice(items, CHUNK))
        if not chunk:
            return False
        try:
            future = executor.submit(_run_chunk, fn, chunk)
        except Exception as exc:  # the pool broke: the chunk fails as a whole
            future = Future()
            future.set_exception(exc)
        in_flight.append((len(chunk), future))
        return True

    try:
        while len(in_flight) < jobs * CHUNKS_PER_WORKER and submit_next():
            pass
        while in_flight:
            size, future = in_flight.popleft()
            try:
                results = future.result()
            except Exception as exc:  # a worker died: every log of its chunk fails
                results = [exc] * size
            submit_next()
            yield from results
    finally:
        # On an interruption, or when the consumer stops early, chunks not
        # yet started are dropped; running ones finish, so a worker never
        # stops halfway through its work.
        executor.shutdown(wait=True, cancel_futures=True)


def _ignore_interrupts() -> None:
    # Ctrl-C reaches the whole process group; the parent alone decides what
    # an interruption stops.
    signal.signal(signal.SIGINT, signal.SIG_IGN)


def _run_chunk(fn: Callable[[T], R], chunk: list[T]) -> list[R | BaseException]:
    return [_portable(attempt(fn, item)) for item in chunk]


def _portable(result: R | BaseException) -> R | BaseException:
    """An exception that cannot travel back to the parent (PanicException's
    class is not importable by name) travels as a stand-in of the same
    class name, module and message."""
    if not isinstance(result, BaseException):
        return result
    import pickle

    try:
        pickle.dumps(result)
    except Exception:
        return _StandIn(result)  # type: ignore[return-value]
    return result


class _StandIn:
    def __init__(self, exc: BaseException) -> None:
        cls = type(exc)
        self.key = (cls.__module__, cls.__qualname__, isinstance(exc, Exception))
        self.args = tuple(str(arg) for arg in exc.args)

    def __reduce__(self) -> tuple[Callable[..., BaseException], tuple[object, ...]]:
        return _rebuild, (self.key, self.args)


def _rebuild(key: tuple[str, str, bool], args: tuple[str, ...]) -> BaseException:
    return _stand_in_class(*key)(*args)


@cache
def _stand_in_class(module: str, qualname: str, is_exception: bool) -> type[BaseException]:
    base = Exception if is_exception else BaseException
    name = qualname.rpartition(".")[2]
    return type(name, (base,), {"__module__": module, "__qualname__": qualname})
