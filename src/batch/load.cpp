// A log's file read whole, inflated where it is gzip, and told apart.
#include <simdjson.h>

#include <cerrno>
#include <cstring>

#include "batch/io.hpp"
#include "batch/steps.hpp"

namespace batch::steps {
namespace {

// The class the module gives a failed read.
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

[[gnu::cold]] Failure open_failure(const std::string& path) {
  return Failure{ErrorClass::FileNotFoundError, Failure::Form::OpenFailed, "failed to open tenhou.net/6 log file ",
                 0, path, {}};
}

[[gnu::cold]] Failure read_failure(int number) {
  char buffer[256];
  std::string text = ::strerror_r(number, buffer, sizeof buffer);  // the GNU form
  return message_failure(read_failure_class(number), text + " (os error " + std::to_string(number) + ")");
}

Format format_of(std::string_view text) noexcept {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte-order mark, as editors leave
  const auto first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && text[first] == '<' ? Format::Xml : Format::Json;
}

// The log's text, inflated where the bytes are gzip, checked and told apart.

std::expected<Loaded, Failure> told_apart(tenhou::PaddedText text, gzip::Inflater& inflater) {
  if (gzip::is_gzip(text.view())) {
    auto inflated = inflater.inflate(text.view());
    if (!inflated) {
      return std::unexpected(message_failure(ErrorClass::OSError, std::string(gzip::message(inflated.error()))));
    }
    text = std::move(*inflated);
  }
  if (!simdjson::validate_utf8(text.data(), text.size())) {
    return std::unexpected(message_failure(ErrorClass::OSError, "stream did not contain valid UTF-8"));
  }
  const Format format = format_of(text.view());
  return Loaded{std::move(text), format};
}

}  // namespace

std::expected<Loaded, Failure> load(const std::string& path, gzip::Inflater& inflater) {
  auto opened = path.find('\0') != std::string::npos ? std::unexpected(ENOENT) : io::open_for_reading(path);
  if (!opened) return std::unexpected(open_failure(path));
  auto text = io::read_whole(opened->get());
  if (!text) return std::unexpected(read_failure(text.error()));
  opened->reset();
  return told_apart(std::move(*text), inflater);
}

std::expected<Loaded, Failure> load_bytes(std::string_view bytes, gzip::Inflater& inflater) {
  return told_apart(tenhou::PaddedText(bytes), inflater);
}

}  // namespace batch::steps
