// The failures' classes and fixed texts: the read-failure table, the
// class of each stage, and " (at byte N)", each written here once.
#include "base/failure.hpp"

#include <array>
#include <cerrno>
#include <cstring>

#include "base/fixed_texts.hpp"

namespace pairo {
namespace {

using enum ErrorClass;

constexpr std::string_view decode = "decode", prepare = "prepare", convert = "convert", encode = "encode",
                           container = "container", input = "input", output = "output", internal = "internal";

// One row per FailureCode, in its order.
constexpr std::array<FailureRow, 53> rows = {{
    {decode, "syntax", JsonParsingError, texts::stage_messages[0]},
    {decode, "invalid_type", JsonParsingError, texts::stage_messages[0]},
    {decode, "invalid_value", JsonParsingError, texts::stage_messages[0]},
    {decode, "invalid_length", JsonParsingError, texts::stage_messages[0]},
    {decode, "missing_field", JsonParsingError, texts::stage_messages[0]},
    {decode, "duplicate_field", JsonParsingError, texts::stage_messages[0]},
    {decode, "not_a_tile", JsonParsingError, texts::stage_messages[0]},
    {decode, "not_an_item", JsonParsingError, texts::stage_messages[0]},
    {prepare, "three_player", TenhouLogParsingError, texts::stage_messages[1]},
    {prepare, "bad_win_detail", TenhouLogParsingError, texts::stage_messages[1]},
    {convert, "bad_item_text", TenhouToMjaiError, texts::stage_messages[2]},
    {convert, "bad_tile_text", TenhouToMjaiError, texts::stage_messages[2]},
    {convert, "number_in_draws", TenhouToMjaiError, texts::stage_messages[2]},
    {convert, "no_dora_marker", TenhouToMjaiError, texts::stage_messages[2]},
    {convert, "draws_exhausted", TenhouToMjaiError, texts::stage_messages[2]},
    {convert, "no_discard_after_reach", TenhouToMjaiError, texts::stage_messages[2]},
    {convert, "unmatched_call", TenhouToMjaiError, texts::stage_messages[2]},
    {encode, "texts_too_large", JsonSerializationError, texts::stage_messages[3]},
    // A record that does not read fails before any stage, as a JSON text
    // that does not decode does; its message is all detail.
    {decode, "syntax", MjlogParsingError, ""},
    {decode, "not_a_record", MjlogParsingError, ""},
    {decode, "not_an_element", MjlogParsingError, ""},
    {decode, "missing_attribute", MjlogParsingError, ""},
    {decode, "invalid_value", MjlogParsingError, ""},
    {decode, "invalid_length", MjlogParsingError, ""},
    {decode, "duplicate_element", MjlogParsingError, ""},
    {decode, "out_of_order", MjlogParsingError, ""},
    {decode, "incomplete", MjlogParsingError, ""},
    {decode, "tile_dealt_twice", MjlogParsingError, ""},
    {decode, "tile_not_held", MjlogParsingError, ""},
    {decode, "bad_meld_code", MjlogParsingError, ""},
    {decode, "unwritable", MjlogParsingError, ""},
    {decode, "not_an_xml_record", MjlogParsingError, texts::not_an_xml_record},
    // Raised as a JSON log that does not parse was before the row told it.
    {decode, "mjai_stream", JsonParsingError, texts::mjai_stream},
    {container, "not_a_container", ArchiveError, ""},
    {container, "unsafe_name", ArchiveError, ""},
    {container, "not_a_game_id", ArchiveError, ""},
    {container, "unsupported_member", ArchiveError, ""},
    {container, "corrupt_data", ArchiveError, ""},
    {container, "bomb", ArchiveError, ""},
    {container, "unreadable", ArchiveError, ""},
    {container, "row_gone", ArchiveError, ""},
    {container, "cancelled", ArchiveError, ""},
    {input, "open_failed", FileNotFoundError, texts::open_failed},
    {input, "read_failed", OSError, ""},
    {input, "not_utf8", OSError, texts::not_utf8},
    {input, "too_large", OSError, texts::too_large},
    {input, "invalid_compressed", OSError, ""},
    {output, "create_failed", OSError, texts::create_failed},
    {output, "write_failed", OSError, texts::write_failed},
    {output, "shared_output", FileExistsError, ""},
    {output, "system_call", OSError, ""},
    {internal, "panic", PanicException, ""},
    {internal, "out_of_memory", MemoryError, texts::out_of_memory},
}};
static_assert(static_cast<std::size_t>(FailureCode::OutOfMemory) + 1 == rows.size());
static_assert(static_cast<std::size_t>(FailureCode::TextsTooLarge) + 1 == static_cast<std::size_t>(FailureCode::RecordSyntax));

// In the order of ErrorClass.
constexpr std::array<std::string_view, error_class_count> class_names = {
    "TenhouLogParsingError", "TenhouToMjaiError",  "JsonSerializationError", "JsonParsingError",
    "MjlogParsingError",     "ArchiveError",       "PanicException",         "OSError",
    "FileNotFoundError",     "PermissionError",    "FileExistsError",        "InterruptedError",
    "BlockingIOError",       "BrokenPipeError",    "ConnectionRefusedError", "ConnectionResetError",
    "ConnectionAbortedError", "TimeoutError",      "MemoryError"};
static_assert(static_cast<std::size_t>(ErrorClass::MemoryError) + 1 == class_names.size());

// The class of a failed read of an input that opened. A folder is no
// IsADirectoryError here: it reads as a plain OSError.
ErrorClass read_failure_class(int number) noexcept {
  switch (number) {
    case ENOENT: return ErrorClass::FileNotFoundError;
    case EPERM:
    case EACCES: return ErrorClass::PermissionError;
    case ECONNREFUSED: return ErrorClass::ConnectionRefusedError;
    case ECONNRESET: return ErrorClass::ConnectionResetError;
    case ECONNABORTED: return ErrorClass::ConnectionAbortedError;
    case EPIPE: return ErrorClass::BrokenPipeError;
    case EEXIST: return ErrorClass::FileExistsError;
    case EAGAIN: return ErrorClass::BlockingIOError;
    case ETIMEDOUT: return ErrorClass::TimeoutError;
    case EINTR: return ErrorClass::InterruptedError;
    default: return ErrorClass::OSError;
  }
}

std::string system_text(int number) {
  char buffer[256];
  return ::strerror_r(number, buffer, sizeof buffer);  // the GNU form
}

// "64 MiB": the bound named as users read it.
std::string limit_text(std::size_t limit) {
  if (limit % (std::size_t{1} << 20) == 0) return std::to_string(limit >> 20) + " MiB";
  return std::to_string(limit) + " bytes";
}

}  // namespace

const FailureRow& failure_row(FailureCode code) noexcept { return rows[static_cast<std::size_t>(code)]; }

FailureCode code_of(ErrorKind kind) noexcept { return static_cast<FailureCode>(kind); }

std::string_view class_name(ErrorClass cls) noexcept { return class_names[static_cast<std::size_t>(cls)]; }

std::string too_large_message(std::string_view what) {
  std::string message(what);
  message += texts::too_large;
  message += limit_text(record_limit);
  return message;
}

Failure message_failure(ErrorClass cls, std::string message) {
  return Failure{cls, Failure::Form::Message, std::move(message), 0, {}, {}, {}, FailureCode::SystemCall};
}

Failure coded_failure(FailureCode code, std::string_view detail) {
  const FailureRow& row = failure_row(code);
  Failure failure = message_failure(row.cls, std::string(row.text) + std::string(detail));
  failure.code = code;
  return failure;
}

Failure conversion_failure(const Error& error) { return coded_failure(code_of(error.kind)); }

Failure explained_failure(const Error& error) {
  Failure failure = conversion_failure(error);
  failure.note = error.detail();
  failure.diagnosis = diagnosis_of(error);
  return failure;
}

Failure record_failure(std::string message, std::optional<std::size_t> offset) {
  if (offset) message += texts::at_byte + std::to_string(*offset) + ")";
  Failure failure = message_failure(ErrorClass::MjlogParsingError, std::move(message));
  failure.code = FailureCode::RecordSyntax;
  return failure;
}

Failure open_failure(std::string path, int error_number) {
  Failure failure = coded_failure(FailureCode::OpenFailed);
  failure.form = Failure::Form::QuotedPath;
  failure.path = std::move(path);
  failure.error_number = error_number;
  return failure;
}

Failure read_failure(int error_number) {
  Failure failure = coded_failure(FailureCode::ReadFailed, system_text(error_number) + texts::os_error_suffix +
                                                               std::to_string(error_number) + ")");
  failure.cls = read_failure_class(error_number);
  failure.error_number = error_number;
  return failure;
}

Failure not_utf8_failure() {
  Failure failure = coded_failure(FailureCode::NotUtf8);
  failure.error_number = EILSEQ;
  return failure;
}

Failure too_large_failure(std::string_view what) {
  Failure failure = message_failure(ErrorClass::OSError, too_large_message(what));
  failure.code = FailureCode::TooLarge;
  failure.error_number = EFBIG;
  return failure;
}

Failure create_failure(std::string path) {
  Failure failure = coded_failure(FailureCode::CreateFailed);
  failure.form = Failure::Form::ShownPath;
  failure.path = std::move(path);
  return failure;
}

Failure write_failure() { return coded_failure(FailureCode::WriteFailed); }

Failure system_failure(int error_number, std::string path) {
  return Failure{ErrorClass::OSError, Failure::Form::System, system_text(error_number), error_number,
                 std::move(path), {}, {}, FailureCode::SystemCall};
}

Failure internal_failure(std::string what) { return coded_failure(FailureCode::Internal, what); }

Failure out_of_memory_failure() { return coded_failure(FailureCode::OutOfMemory); }

}  // namespace pairo
