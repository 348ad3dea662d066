// The in-memory batch: files read and converted by worker threads, each
// result kept in its input's place for the caller; and one log's bytes.
#include <atomic>
#include <thread>

#include "batch/batch.hpp"
#include "batch/steps.hpp"

namespace batch {
namespace {

std::expected<Document, Failure> convert_loaded(std::expected<steps::Loaded, Failure> loaded,
                                                const Converter& converter, std::string_view path) {
  if (!loaded) return std::unexpected(std::move(loaded.error()));
  return converter(loaded->text, loaded->format, path);
}

// The decoders are made with the first log, inside its containment: a
// thread that cannot have them fails that log with MemoryError, not the process.
std::expected<Document, Failure> convert_one(const std::string& path, const Converter& converter,
                                             std::optional<formats::Decoders>& decoders, sysio::Cancel cancel) {
  return steps::contained([&] {
    if (!decoders) decoders.emplace();
    return convert_loaded(steps::load(path, *decoders, cancel), converter, path);
  });
}

}  // namespace

std::vector<std::expected<Document, Failure>> convert_all(const std::vector<std::string>& paths, unsigned threads,
                                                          const Converter& converter, sysio::Cancel cancel) {
  std::vector<std::expected<Document, Failure>> results(paths.size(),
                                                        std::unexpected(message_failure(ErrorClass::OSError, {})));
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    std::optional<formats::Decoders> decoders;
    for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < paths.size();) {
      results[i] = convert_one(paths[i], converter, decoders, cancel);
    }
  };
  const std::size_t count = std::min<std::size_t>(std::max(threads, 1u), paths.size());
  {
    // Joined however the scope is left (a thread that cannot be started
    // throws), before the results are handed over.
    struct Workers {
      std::vector<std::thread> threads;
      ~Workers() {
        for (auto& thread : threads) thread.join();
      }
    } workers;
    for (std::size_t i = 1; i < count; ++i) workers.threads.emplace_back(work);
    if (count != 0) work();  // the calling thread is one of the workers
  }
  return results;
}

std::expected<Document, Failure> convert_file(const std::string& path, const Converter& converter,
                                              sysio::Cancel cancel) {
  std::optional<formats::Decoders> decoders;
  return convert_one(path, converter, decoders, cancel);
}

std::expected<Document, Failure> convert_bytes(std::string_view bytes, const Converter& converter) {
  return steps::contained([&] {
    formats::Decoders decoders;
    return convert_loaded(steps::load_bytes(bytes, decoders), converter, {});
  });
}

}  // namespace batch
