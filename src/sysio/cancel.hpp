// The flag that asks long waits on input to give up: the engine raises it
// when a batch is cancelled, an entry point when Ctrl-C arrives. A pipe
// with nothing to read yet, a tar member skipped through its decompression
// and a database query all look at it while they wait.
#pragma once

#include <atomic>

namespace sysio {

// Null where nobody can raise it; the flag outlives every wait given it.
using Cancel = const std::atomic<bool>*;

[[nodiscard]] inline bool cancelled(Cancel cancel) noexcept {
  return cancel && cancel->load(std::memory_order_relaxed);
}

}  // namespace sysio
