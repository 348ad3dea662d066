// The diagnostic every internal failure leaves on standard error.
#include "base/invariant.hpp"

#include <cstdio>

namespace pairo {

void report_internal_failure(std::string_view what, std::source_location where) noexcept {
  std::fprintf(stderr, "pairo: internal failure at %s:%u in %s: %.*s\n", where.file_name(),
               static_cast<unsigned>(where.line()), where.function_name(), static_cast<int>(what.size()),
               what.data());
  std::fflush(stderr);
}

}  // namespace pairo
