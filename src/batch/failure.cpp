// The classes and texts of failed logs, as the command reports them.
#include <cerrno>
#include <cstring>
#include <string>

#include "batch/batch.hpp"

namespace batch {
namespace {

// The class the interpreter gives OSError(number, ...).
ErrorClass class_of_errno(int number) noexcept {
  switch (number) {
    case ENOENT: return ErrorClass::FileNotFoundError;
    case EPERM:
    case EACCES: return ErrorClass::PermissionError;
    case EEXIST: return ErrorClass::FileExistsError;
    case EISDIR: return ErrorClass::IsADirectoryError;
    case ENOTDIR: return ErrorClass::NotADirectoryError;
    case EINTR: return ErrorClass::InterruptedError;
    case EAGAIN:
    case EALREADY:
    case EINPROGRESS: return ErrorClass::BlockingIOError;
    case EPIPE:
    case ESHUTDOWN: return ErrorClass::BrokenPipeError;
    case ECONNREFUSED: return ErrorClass::ConnectionRefusedError;
    case ECONNRESET: return ErrorClass::ConnectionResetError;
    case ECONNABORTED: return ErrorClass::ConnectionAbortedError;
    case ETIMEDOUT: return ErrorClass::TimeoutError;
    default: return ErrorClass::OSError;
  }
}

std::string system_text(int number) {
  char buffer[256];
  return ::strerror_r(number, buffer, sizeof buffer);  // the GNU form
}

// A name as the module quotes it in an open failure, for ASCII.
std::string quoted(std::string_view path) {
  std::string out = "\"";
  for (char c : path) {
    switch (c) {
      case '\0': out += "\\0"; continue;
      case '\t': out += "\\t"; continue;
      case '\r': out += "\\r"; continue;
      case '\n': out += "\\n"; continue;
      case '\\': out += "\\\\"; continue;
      case '"': out += "\\\""; continue;
      case '\'': out += "\\'"; continue;
      default: break;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      static constexpr char digits[] = "0123456789abcdef";
      out += "\\u{";
      if (c >= 0x10) out += digits[c >> 4];
      out += digits[c & 0xf];
      out += '}';
    } else {
      out += c;
    }
  }
  return out + '"';
}

// A name as the interpreter's repr() shows it, for ASCII.
std::string represented(std::string_view path) {
  const char quote = path.find('\'') != std::string_view::npos && path.find('"') == std::string_view::npos
                         ? '"'
                         : '\'';
  std::string out(1, quote);
  for (char c : path) {
    if (c == quote || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      static constexpr char digits[] = "0123456789abcdef";
      out += "\\x";
      out += digits[(c >> 4) & 0xf];
      out += digits[c & 0xf];
    } else {
      out += c;
    }
  }
  return out + quote;
}

}  // namespace

std::string_view class_name(ErrorClass cls) noexcept {
  switch (cls) {
    case ErrorClass::OSError: return "OSError";
    case ErrorClass::FileNotFoundError: return "FileNotFoundError";
    case ErrorClass::PermissionError: return "PermissionError";
    case ErrorClass::FileExistsError: return "FileExistsError";
    case ErrorClass::IsADirectoryError: return "IsADirectoryError";
    case ErrorClass::NotADirectoryError: return "NotADirectoryError";
    case ErrorClass::InterruptedError: return "InterruptedError";
    case ErrorClass::BlockingIOError: return "BlockingIOError";
    case ErrorClass::BrokenPipeError: return "BrokenPipeError";
    case ErrorClass::ConnectionRefusedError: return "ConnectionRefusedError";
    case ErrorClass::ConnectionResetError: return "ConnectionResetError";
    case ErrorClass::ConnectionAbortedError: return "ConnectionAbortedError";
    case ErrorClass::TimeoutError: return "TimeoutError";
    case ErrorClass::MemoryError: return "MemoryError";
    case ErrorClass::JsonParsingError: return "JsonParsingError";
    case ErrorClass::TenhouLogParsingError: return "TenhouLogParsingError";
    case ErrorClass::TenhouToMjaiError: return "TenhouToMjaiError";
    case ErrorClass::JsonSerializationError: return "JsonSerializationError";
    case ErrorClass::MjlogParsingError: return "MjlogParsingError";
  }
  return "OSError";
}

Failure message_failure(ErrorClass cls, std::string message) {
  return Failure{cls, Failure::Form::Message, std::move(message), 0, {}, {}};
}

Failure system_failure(int error_number, std::string path) {
  return Failure{class_of_errno(error_number), Failure::Form::System, system_text(error_number), error_number,
                 std::move(path), {}};
}

std::string describe(const Failure& failure) {
  std::string text(class_name(failure.cls));
  text += ": ";
  switch (failure.form) {
    case Failure::Form::Message:
      text += failure.message;
      break;
    case Failure::Form::OpenFailed:
      text += failure.message + quoted(failure.path);
      break;
    case Failure::Form::System:
      text += "[Errno " + std::to_string(failure.error_number) + "] " + failure.message;
      if (!failure.path.empty()) text += ": " + represented(failure.path);
      break;
  }
  if (!failure.note.empty()) text += " (" + failure.note + ")";
  return text;
}

}  // namespace batch
