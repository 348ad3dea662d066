// The failures' classes and fixed texts: the read-failure table, the
// class of each stage, and " (at byte N)", each written here once.
#include "base/failure.hpp"

#include <array>
#include <cerrno>
#include <cstring>

#include "base/fixed_texts.hpp"

namespace pairo {
namespace {

// The class of each stage: decode, prepare, convert, encode; the messages
// stand in the same order in texts::stage_messages.
constexpr std::array<ErrorClass, stage_count> stage_classes = {
    ErrorClass::JsonParsingError, ErrorClass::TenhouLogParsingError, ErrorClass::TenhouToMjaiError,
    ErrorClass::JsonSerializationError};

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

}  // namespace

std::string_view class_name(ErrorClass cls) noexcept {
  switch (cls) {
    case ErrorClass::TenhouLogParsingError: return "TenhouLogParsingError";
    case ErrorClass::TenhouToMjaiError: return "TenhouToMjaiError";
    case ErrorClass::JsonSerializationError: return "JsonSerializationError";
    case ErrorClass::JsonParsingError: return "JsonParsingError";
    case ErrorClass::MjlogParsingError: return "MjlogParsingError";
    case ErrorClass::ArchiveError: return "ArchiveError";
    case ErrorClass::PanicException: return "PanicException";
    case ErrorClass::OSError: return "OSError";
    case ErrorClass::FileNotFoundError: return "FileNotFoundError";
    case ErrorClass::PermissionError: return "PermissionError";
    case ErrorClass::FileExistsError: return "FileExistsError";
    case ErrorClass::InterruptedError: return "InterruptedError";
    case ErrorClass::BlockingIOError: return "BlockingIOError";
    case ErrorClass::BrokenPipeError: return "BrokenPipeError";
    case ErrorClass::ConnectionRefusedError: return "ConnectionRefusedError";
    case ErrorClass::ConnectionResetError: return "ConnectionResetError";
    case ErrorClass::ConnectionAbortedError: return "ConnectionAbortedError";
    case ErrorClass::TimeoutError: return "TimeoutError";
    case ErrorClass::MemoryError: return "MemoryError";
  }
  return "OSError";
}

Failure message_failure(ErrorClass cls, std::string message) {
  return Failure{cls, Failure::Form::Message, std::move(message), 0, {}, {}, {}};
}

Failure conversion_failure(const Error& error) {
  const auto stage = static_cast<std::size_t>(stage_of(error));
  return message_failure(stage_classes[stage], texts::stage_messages[stage]);
}

Failure explained_failure(const Error& error) {
  Failure failure = conversion_failure(error);
  failure.note = error.detail();
  failure.diagnosis = diagnosis_of(error);
  return failure;
}

Failure record_failure(std::string message, std::optional<std::size_t> offset) {
  if (offset) message += texts::at_byte + std::to_string(*offset) + ")";
  return message_failure(ErrorClass::MjlogParsingError, std::move(message));
}

Failure open_failure(std::string path) {
  return Failure{ErrorClass::FileNotFoundError, Failure::Form::QuotedPath, texts::open_failed, 0, std::move(path), {}, {}};
}

Failure read_failure(int error_number) {
  return message_failure(read_failure_class(error_number), system_text(error_number) + texts::os_error_suffix +
                                                               std::to_string(error_number) + ")");
}

Failure not_utf8_failure() { return message_failure(ErrorClass::OSError, texts::not_utf8); }

Failure too_large_failure() { return message_failure(ErrorClass::OSError, texts::file_too_large); }

Failure create_failure(std::string path) {
  return Failure{ErrorClass::OSError, Failure::Form::ShownPath, texts::create_failed, 0, std::move(path), {}, {}};
}

Failure write_failure() { return message_failure(ErrorClass::OSError, texts::write_failed); }

Failure system_failure(int error_number, std::string path) {
  return Failure{ErrorClass::OSError, Failure::Form::System, system_text(error_number), error_number,
                 std::move(path), {}, {}};
}

Failure internal_failure(std::string what) { return message_failure(ErrorClass::PanicException, std::move(what)); }

Failure out_of_memory_failure() { return message_failure(ErrorClass::MemoryError, texts::out_of_memory); }

}  // namespace pairo
