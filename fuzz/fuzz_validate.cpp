// Any bytes as an mjai stream, replayed three times: where the text lies
// padded (as the engine reads a file), through copies of its lines (as a
// str's text is read), and with simdjson reading every line instead of the
// plain lines' own scanner. All must reach the same verdict, at the same
// line; a fault's line lies within the stream, one past its end at most. A broken
// invariant, any C++ exception and any sanitizer report are findings.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "validate/validate.hpp"

namespace {

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "fuzz finding: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const pairo::PaddedText padded(text);
    const auto in_place = pairo::validate::validate_stream(padded);
    const auto copied = pairo::validate::validate_text(text);
    const auto parsed = pairo::validate::validate_stream(padded, {.plain_reader = false});
    for (const auto* other : {&copied, &parsed}) {
      if (in_place.fault.has_value() != other->fault.has_value()) finding("the readings disagree on validity");
      if (in_place.warnings.size() != other->warnings.size()) finding("the readings disagree on warnings");
      if (in_place.fault) {
        const auto& a = *in_place.fault;
        const auto& b = *other->fault;
        if (a.check != b.check || a.line != b.line || a.seat != b.seat) finding("the readings fault differently");
      }
    }
    if (in_place.fault) {
      const auto& a = *in_place.fault;
      std::size_t lines = 1;
      for (char c : text) lines += c == '\n';
      if (a.line == 0 || a.line > lines + 1) finding("a fault's line outside the stream");
      if (pairo::validate::is_warning(a.check)) finding("a warning's check made the stream invalid");
      if (pairo::validate::shown(a).empty()) finding("an empty report");
    }
    for (const auto& warning : in_place.warnings) {
      if (!pairo::validate::is_warning(warning.check)) finding("an error's check among the warnings");
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fuzz finding: exception: %s\n", error.what());
    std::abort();
  }
  return 0;
}
