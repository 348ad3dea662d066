#include "archive/error.hpp"

#include <cerrno>

namespace archive {

ArchiveError too_large(std::string_view what) {
  return {pairo::too_large_message(what), pairo::FailureCode::TooLarge};
}

pairo::Failure failure_of(const ArchiveError& error) {
  if (error.code == pairo::FailureCode::TooLarge) {
    pairo::Failure failure = pairo::message_failure(pairo::ErrorClass::OSError, error.message);
    failure.code = error.code;
    failure.error_number = EFBIG;
    return failure;
  }
  pairo::Failure failure = pairo::coded_failure(error.code, error.message);
  return failure;
}

std::string shown(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : text.substr(0, shown_limit)) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  out += '"';
  if (text.size() > shown_limit) out += "...";
  return out;
}

}  // namespace archive
