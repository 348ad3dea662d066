// What a C++ exception that escaped a log's steps becomes: the log's own
// failure, as the module surface turns one into its exception.
#include <new>

#include "base/invariant.hpp"
#include "batch/steps.hpp"

namespace batch::steps {

Failure escaped_failure() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return pairo::out_of_memory_failure();
  } catch (const pairo::InvariantViolation& failure) {
    pairo::report_internal_failure(failure.what(), failure.where());
    return pairo::internal_failure(failure.what());
  } catch (const std::exception& failure) {
    pairo::report_internal_failure(failure.what());
    return pairo::internal_failure(failure.what());
  } catch (...) {
    pairo::report_internal_failure("unknown C++ exception");
    return pairo::internal_failure("unknown C++ exception");
  }
}

}  // namespace batch::steps
