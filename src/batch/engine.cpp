// The workers: each takes the next log, reads, converts and writes it, and
// leaves its outcome for the caller, who takes them in input order.
#include <algorithm>

#include "batch/batch.hpp"
#include "batch/io.hpp"
#include "batch/steps.hpp"

namespace batch {
namespace {

std::int64_t now_ns() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// What a worker keeps for all its logs: one inflater, and one deflater when
// the outputs are gzip.
struct WorkerState {
  explicit WorkerState(const Options& options) {
    if (options.gzip) deflater.emplace(options.gzip_level < 0 ? gzip::default_level : options.gzip_level);
  }
  gzip::Inflater inflater;
  std::optional<gzip::Deflater> deflater;
};

std::variant<Converted, Skipped, Failure> attempt(const Job& job, const Options& options,
                                                  const Converter& converter, WorkerState& state,
                                                  steps::Folders& folders) {
  // A failure met in planning stands whatever is on disk: an output that
  // two inputs claim exists after the first run, and still fails.
  if (job.failure) return *job.failure;
  if (options.skip_existing && !job.output.empty() && io::exists(job.output)) return Skipped{};
  auto loaded = job.data ? steps::load_bytes(*job.data, state.inflater) : steps::load(job.input, state.inflater);
  if (!loaded) return std::move(loaded.error());
  auto document = converter(loaded->text, loaded->format, job.input);
  if (!document) return std::move(document.error());
  loaded->text = {};  // the input goes before the output is made
  auto written = steps::write_atomically(job.output, *document, state.deflater ? &*state.deflater : nullptr,
                                         folders);
  if (!written) return std::move(written.error());
  return Converted{};
}

}  // namespace

Engine::Engine(std::vector<Job> jobs, Options options, Converter converter)
    : jobs_(std::move(jobs)),
      options_(options),
      converter_(std::move(converter)),
      window_(std::max<std::size_t>(64, 16 * std::size_t{std::max(options.threads, 1u)})),
      folders_(std::make_unique<steps::Folders>()) {
  const std::size_t count = std::min<std::size_t>(std::max(options_.threads, 1u), jobs_.size());
  try {
    for (std::size_t i = 0; i < count; ++i) workers_.emplace_back([this] { work(); });
  } catch (...) {
    cancel();
    join();
    throw;
  }
}

Engine::~Engine() {
  cancel();
  join();
}

void Engine::join() {
  for (std::thread& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
}

void Engine::cancel() noexcept {
  {
    const std::lock_guard lock(mutex_);
    cancelled_.store(true, std::memory_order_relaxed);
    stopped_ = true;
  }
  advance_.notify_all();
  ready_.notify_all();
}

std::optional<std::size_t> Engine::claim() {
  std::unique_lock lock(mutex_);
  advance_.wait(lock, [&] { return stopped_ || claimed_ == jobs_.size() || claimed_ < taken_ + window_; });
  if (stopped_ || claimed_ == jobs_.size()) return std::nullopt;
  waiting_.emplace_back();
  ++running_;
  return claimed_++;
}

void Engine::finish(std::size_t index, std::variant<Converted, Skipped, Failure> result) {
  {
    const std::lock_guard lock(mutex_);
    if (options_.fail_fast && std::holds_alternative<Failure>(result)) stopped_ = true;
    waiting_[index - taken_] = Outcome{index, std::move(result)};
    --running_;
  }
  done_.fetch_add(1, std::memory_order_relaxed);
  ready_.notify_all();
  advance_.notify_all();
}

void Engine::work() {
  WorkerState state(options_);
  while (const auto index = claim()) {
    note_start();
    const Job& job = jobs_[*index];
    auto result = steps::contained([&] { return attempt(job, options_, converter_, state, *folders_); });
    if (std::holds_alternative<Converted>(result)) note_rename();
    finish(*index, std::move(result));
  }
}

std::optional<Outcome> Engine::next(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  const auto front_ready = [&] { return !waiting_.empty() && waiting_.front().has_value(); };
  const auto over = [&] {
    return first_failed_ || taken_ == jobs_.size() || (cancelled_.load(std::memory_order_relaxed) && !front_ready());
  };
  ready_.wait_for(lock, wait, [&] { return over() || front_ready(); });
  if (over() || !front_ready()) return std::nullopt;
  Outcome outcome = std::move(*waiting_.front());
  waiting_.pop_front();
  ++taken_;
  if (options_.fail_fast && std::holds_alternative<Failure>(outcome.result)) {
    first_failed_ = true;
    stopped_ = true;
  }
  lock.unlock();
  advance_.notify_all();
  return outcome;
}

bool Engine::finished() const {
  const std::lock_guard lock(mutex_);
  const bool front_ready = !waiting_.empty() && waiting_.front().has_value();
  return first_failed_ || taken_ == jobs_.size() || (cancelled_.load(std::memory_order_relaxed) && !front_ready);
}

void Engine::note_start() noexcept {
  std::int64_t unset = 0;
  first_start_.compare_exchange_strong(unset, now_ns(), std::memory_order_relaxed);
}

void Engine::note_rename() noexcept {
  const std::int64_t now = now_ns();
  std::int64_t last = last_rename_.load(std::memory_order_relaxed);
  while (last < now && !last_rename_.compare_exchange_weak(last, now, std::memory_order_relaxed)) {
  }
}

std::chrono::nanoseconds Engine::elapsed() const noexcept {
  const std::int64_t first = first_start_.load(std::memory_order_relaxed);
  const std::int64_t last = last_rename_.load(std::memory_order_relaxed);
  return std::chrono::nanoseconds(first != 0 && last > first ? last - first : 0);
}

}  // namespace batch
