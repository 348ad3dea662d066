// Why one log failed, in the form its Python exception is built from: the
// one failure value that crosses into Python, whichever entry point or
// thread met it. The conversion's own error (base/error.hpp) becomes one by
// its stage; reading, inflating, writing and internal failures are made
// here, each with its fixed text, so that every entry point words them the
// same. Free of Python: the engine's workers make them without the
// interpreter, and pyapi/ turns them into exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace pairo {

// The class of the exception. The first four are _pairo's own, in the order
// of its attributes; MjlogParsingError and ArchiveError are pairo's; the rest are the
// interpreter's.
enum class ErrorClass : std::uint8_t {
  TenhouLogParsingError,
  TenhouToMjaiError,
  JsonSerializationError,
  JsonParsingError,
  MjlogParsingError,
  ArchiveError,
  PanicException,
  OSError,
  FileNotFoundError,
  PermissionError,
  FileExistsError,
  InterruptedError,
  BlockingIOError,
  BrokenPipeError,
  ConnectionRefusedError,
  ConnectionResetError,
  ConnectionAbortedError,
  TimeoutError,
  MemoryError,
};
// _pairo's classes: the first ones of ErrorClass.
inline constexpr std::size_t module_class_count = 4;
inline constexpr std::size_t error_class_count = 19;

// The class's name as Python shows it: "FileNotFoundError".
[[nodiscard]] std::string_view class_name(ErrorClass cls) noexcept;

// The most bytes a log or record may hold, however it is stored or
// compressed: no game comes near it, so past it the data is taken for a
// bomb and fails alone instead of exhausting memory.
inline constexpr std::size_t record_limit = std::size_t{64} << 20;

// Every kind of failure a log can end with, one code each; failure.cpp
// keeps one row per code (failure_row): the stage that meets it, the
// kind's name reports group by, the exception's class, and its fixed
// message or the head of its message.
enum class FailureCode : std::uint8_t {
  // A tenhou.net/6 log's conversion, in the order of ErrorKind.
  Syntax, InvalidType, InvalidValue, InvalidLength, MissingField, DuplicateField, NotATile, NotAnItem,
  ThreePlayer, BadWinDetail,
  BadItemText, BadTileText, NumberInDraws, NoDoraMarker, DrawsExhausted, NoDiscardAfterReach, UnmatchedCall,
  TextsTooLarge,
  // An XML game record that does not read, in the order of mjlog::ErrorKind.
  RecordSyntax, NotARecord, NotAnElement, MissingAttribute, RecordInvalidValue, RecordInvalidLength,
  DuplicateElement, OutOfOrder, Incomplete, TileDealtTwice, TileNotHeld, BadMeldCode, Unwritable,
  NotARecordToWrite,
  // An mjai stream (pairo's own output) met as an input.
  MjaiStream,
  // A container, or one of its entries.
  NotAContainer, UnsafeName, NotAGameId, UnsupportedMember, CorruptData, Bomb, Unreadable, RowGone, Cancelled,
  // Reading a log's bytes into its text.
  OpenFailed, ReadFailed, NotUtf8, TooLarge, InvalidCompressed,
  // Writing its output.
  CreateFailed, WriteFailed, SharedOutput, SystemCall,
  // pairo itself.
  Internal, OutOfMemory,
};

struct FailureRow {
  std::string_view stage;  // "decode" .. "encode" for a log's own text; "container", "input", "output", "internal"
  std::string_view kind;   // "unmatched_call", "tile_not_held", "unsafe_name", "too_large"
  ErrorClass cls;          // the class raised; a read failure's is told by its errno
  std::string_view text;   // the fixed message, or the head a name or detail follows; "" where all is detail
};

[[nodiscard]] const FailureRow& failure_row(FailureCode code) noexcept;
// The code of a conversion's kind of error.
[[nodiscard]] FailureCode code_of(ErrorKind kind) noexcept;

// "<what> is larger than 64 MiB": a record past the bound, whatever held
// it ("log file", "standard input", "inflated gzip data", "zip member").
[[nodiscard]] std::string too_large_message(std::string_view what);

// - Message: cls(message).
// - QuotedPath: cls(message + the path quoted as a debugging string
//   literal); the quoting of names beyond ASCII needs the interpreter's
//   Unicode tables, so the path travels apart.
// - ShownPath: cls(message + the path read as UTF-8, invalid bytes shown as
//   U+FFFD).
// - System: OSError(error_number, message, path) when a path is given, else
//   OSError(error_number, message): the interpreter picks the subclass from
//   the number, and callers keep `.errno` and `.filename`.
// A failed conversion also tells why in `note` (the place in the game and
// what is wrong there), which pairo's entry points put on the exception.
//
// `error_number` is also set for the failures of reading an input that are
// no system call's (not UTF-8, too large, invalid gzip): pairo's
// exceptions carry it as `errno`, _pairo's do not.
struct Failure {
  enum class Form : std::uint8_t { Message, QuotedPath, ShownPath, System };
  ErrorClass cls = ErrorClass::OSError;
  Form form = Form::Message;
  std::string message;
  int error_number = 0;
  std::string path;
  std::string note;
  // Where the log's own text is at fault (a record that does not read, a
  // log that does not convert): the stage, kind and place, for reports that
  // keep them apart.
  std::optional<Diagnosis> diagnosis;
  // Its kind of failure, for reports that group them.
  FailureCode code = FailureCode::SystemCall;
};

[[nodiscard]] Failure message_failure(ErrorClass cls, std::string message);
// The code's class, and its fixed message followed by `detail`.
[[nodiscard]] Failure coded_failure(FailureCode code, std::string_view detail = {});

// The class and fixed message of the error's stage; no note.
[[nodiscard]] Failure conversion_failure(const Error& error);
// The same, with the error's detail as its note.
[[nodiscard]] Failure explained_failure(const Error& error);

// An XML game record that cannot be read: what is wrong, and where the
// element at fault starts.
[[nodiscard]] Failure record_failure(std::string message, std::optional<std::size_t> offset);

// ---- inputs: one wording for every entry point --------------------------

// The file cannot be opened (FileNotFoundError, whatever the reason; the
// reason's number as its errno).
[[nodiscard]] Failure open_failure(std::string path, int error_number = 2);
// The open file cannot be read: the class by the number, the system's text
// with "(os error N)"; a folder is "Is a directory (os error 21)".
[[nodiscard]] Failure read_failure(int error_number);
// The text is not UTF-8.
[[nodiscard]] Failure not_utf8_failure();
// A record past the bound (OSError, too_large_message).
[[nodiscard]] Failure too_large_failure(std::string_view what = "log file");

// ---- outputs ------------------------------------------------------------

// _pairo's output file: cannot be created, cannot be written.
[[nodiscard]] Failure create_failure(std::string path);
[[nodiscard]] Failure write_failure();
// A system call of the output side failed: OSError(number, strerror, path).
[[nodiscard]] Failure system_failure(int error_number, std::string path = {});

// ---- internal failures --------------------------------------------------

// PanicException with the text; the diagnostic is the caller's to write
// (report_internal_failure), at the place of the failure.
[[nodiscard]] Failure internal_failure(std::string what);
[[nodiscard]] Failure out_of_memory_failure();

}  // namespace pairo
