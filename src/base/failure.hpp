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

// The class's name as Python shows it: "FileNotFoundError".
[[nodiscard]] std::string_view class_name(ErrorClass cls) noexcept;

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
};

[[nodiscard]] Failure message_failure(ErrorClass cls, std::string message);

// The class and fixed message of the error's stage; no note.
[[nodiscard]] Failure conversion_failure(const Error& error);
// The same, with the error's detail as its note.
[[nodiscard]] Failure explained_failure(const Error& error);

// An XML game record that cannot be read: what is wrong, and where the
// element at fault starts.
[[nodiscard]] Failure record_failure(std::string message, std::optional<std::size_t> offset);

// ---- inputs: one wording for every entry point --------------------------

// The file cannot be opened (FileNotFoundError, whatever the reason).
[[nodiscard]] Failure open_failure(std::string path);
// The open file cannot be read: the class by the number, the system's text
// with "(os error N)"; a folder is "Is a directory (os error 21)".
[[nodiscard]] Failure read_failure(int error_number);
// The text is not UTF-8.
[[nodiscard]] Failure not_utf8_failure();
// The engine's log file holds more than 64 MiB (OSError).
[[nodiscard]] Failure too_large_failure();

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
