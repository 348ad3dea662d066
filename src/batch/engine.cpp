// The workers: each takes the next job from the source, reads, converts and
// writes its log, and leaves its outcome for the caller, who takes them in
// input order.
#include <algorithm>

#include "batch/batch.hpp"
#include "batch/io.hpp"
#include "batch/steps.hpp"
#include "mjai/view.hpp"

namespace batch {
namespace {

std::int64_t now_ns() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// What a worker keeps for all its logs: the decoders of files and records
// alike, and one deflater when the outputs are gzip.
struct WorkerState {
  explicit WorkerState(const Options& options) {
    if (options.gzip) deflater.emplace(options.gzip_level < 0 ? gzip::default_level : options.gzip_level);
  }
  formats::Decoders decoders;
  std::optional<gzip::Deflater> deflater;
};

using Result = std::variant<Converted, Skipped, Failure>;

constexpr std::size_t filtered_window = 4096;

// A log the filters may still leave out once its text is read: its facts
// so far (from its name's game id), and whether the text must tell more:
// a filter not decided on the name, or a date layout's id for a log whose
// name gives none.
struct Selection {
  formats::GameFacts facts;
  bool read_text = false;
};

// What the name alone decides; a log it leaves out is never read.
std::expected<Selection, Result> select_by_name(const Job& job, const Options& options) {
  Selection selection;
  if (const auto id = archive::parse_game_id(job.game_id)) selection.facts = formats::facts_of(*id);
  if (options.filters.any()) {
    const Verdict verdict = judge(options.filters, selection.facts);
    if (verdict.kind == Verdict::Kind::Leave) return std::unexpected(Skipped{SkipReason::Filtered, {}, verdict.filter});
    selection.read_text = verdict.kind == Verdict::Kind::Undecided;
  }
  selection.read_text = selection.read_text || job.named_by_content;
  return selection;
}

Failure named_failure(pairo::FailureCode code, std::string_view what) { return pairo::coded_failure(code, what); }

// What the text adds: the filters decided at last (a filter still without
// its fact fails the log, naming it), and a date layout's output named by
// the log's ref and claimed. An mjai stream goes on to fail as what it is.
std::optional<Result> select_by_text(Job& job, const Options& options, Selection& selection,
                                     const steps::Loaded& loaded, const Claim& claim) {
  if (!selection.read_text || loaded.format == Format::Mjai) return std::nullopt;
  selection.facts.complete(formats::facts_of(loaded.text.view(), loaded.format));
  if (options.filters.any()) {
    const Verdict verdict = judge(options.filters, selection.facts);
    if (verdict.kind == Verdict::Kind::Leave) return Skipped{SkipReason::Filtered, {}, verdict.filter};
    if (verdict.kind == Verdict::Kind::Undecided) return named_failure(pairo::FailureCode::Undecided, verdict.filter);
  }
  if (job.named_by_content) {
    if (selection.facts.id.empty()) return named_failure(pairo::FailureCode::NoGameId, {});
    job.output = dated_output(job.output, selection.facts.id, options);
    job.named_by_content = false;
    if (auto refused = claim(job)) return std::move(*refused);
  }
  return std::nullopt;
}

// A container's record: decompressed, its filters decided, its duplicate
// verdict settled before anything is written (outputs already present
// included, so that a resumed run finds the same duplicates), then its
// text, or the outcome that ends it.
std::expected<steps::Loaded, Result> load_record(Job& job, const Options& options, Selection& selection,
                                                 WorkerState& state, const Claim& claim) {
  auto text = steps::decompress(*job.record, state.decoders);
  if (!text) return std::unexpected(std::move(text.error()));
  std::optional<steps::Loaded> loaded;
  if (selection.read_text) {
    auto told = steps::told_apart(std::move(*text));
    if (!told) return std::unexpected(std::move(told.error()));
    loaded.emplace(std::move(*told));
    if (auto ended = select_by_text(job, options, selection, *loaded, claim)) return std::unexpected(std::move(*ended));
  }
  const std::string_view view = loaded ? loaded->text.view() : text->view();
  if (auto earlier = job.record->settle_duplicate(view)) {
    return std::unexpected(Skipped{SkipReason::Duplicate, std::move(*earlier), {}});
  }
  if (options.skip_existing && !job.named_by_content && io::exists(job.output)) return std::unexpected(Skipped{});
  if (loaded) return std::move(*loaded);
  auto told = steps::told_apart(std::move(*text));
  if (!told) return std::unexpected(std::move(told.error()));
  return std::move(*told);
}

// An mjai stream replayed. Another log found among streams is passed over;
// one named by itself fails as what it is.
Result replayed(const Job& job, const steps::Loaded& loaded) {
  if (loaded.format != Format::Mjai) {
    if (!job.named) return Skipped{SkipReason::NotAStream, {}, {}};
    return pairo::message_failure(ErrorClass::JsonParsingError,
                                  loaded.format == Format::Xml ? "an XML game record, not an mjai stream"
                                                               : "a tenhou.net/6 log or other JSON, not an mjai stream");
  }
  return Converted{std::nullopt, pairo::validate::validate_stream(loaded.text)};
}

Result attempt(Job& job, const Options& options, const Converter& converter, WorkerState& state,
               steps::Folders& folders, sysio::Cancel cancel, const Claim& claim) {
  // A failure met in planning stands whatever is on disk: an output that
  // two inputs claim exists after the first run, and still fails.
  if (job.failure) return *job.failure;
  if (job.skip) return Skipped{*job.skip, {}, job.filter};
  auto selection = select_by_name(job, options);
  if (!selection) return std::move(selection.error());
  std::optional<steps::Loaded> loaded;
  std::string_view source = job.input;
  if (job.record) {
    auto text = load_record(job, options, *selection, state, claim);
    if (!text) return std::move(text.error());
    loaded.emplace(std::move(*text));
    source = job.record->name;  // a database row's id names its game (tenhou6's ref)
  } else {
    const auto exists = [&] { return options.skip_existing && !job.output.empty() && io::exists(job.output); };
    if (!job.named_by_content && exists()) return Skipped{};
    auto text = job.data ? steps::load_bytes(*job.data, state.decoders)
                         : steps::load(job.input, state.decoders, cancel);
    if (!text) return std::move(text.error());
    loaded.emplace(std::move(*text));
    const bool named_late = job.named_by_content;
    if (auto ended = select_by_text(job, options, *selection, *loaded, claim)) return std::move(*ended);
    if (named_late && !job.named_by_content) {
      if (exists()) return Skipped{};
    }
  }
  if (options.target == Target::Validate) return replayed(job, *loaded);
  auto document = converter(loaded->text, loaded->format, source);
  if (!document) return std::move(document.error());
  loaded->text = {};  // the input goes before the output is made
  if (options.view) {
    if (auto* events = std::get_if<mjai::EncodedEvents>(&*document)) *events = mjai::seat_view(*events, *options.view);
  }
  if (options.in_memory) return Converted{std::move(*document), std::nullopt};
  auto written = steps::write_atomically(job.output, *document, state.deflater ? &*state.deflater : nullptr,
                                         folders);
  if (!written) return std::move(written.error());
  return Converted{};
}

// The bytes a converted document holds while it waits to be taken.
std::size_t held_by(const Outcome& outcome) noexcept {
  const auto* converted = std::get_if<Converted>(&outcome.result);
  if (!converted || !converted->document) return 0;
  if (const auto* events = std::get_if<mjai::EncodedEvents>(&*converted->document)) {
    return events->text.size() + events->size() * (sizeof(std::uint32_t) + sizeof(mjai::CommonTexts::Number));
  }
  return std::get<std::string>(*converted->document).size();
}

// A job that stands for what went wrong while the source made the next one.
Job escaped_job(std::string name) {
  Job job;
  job.name = std::move(name);
  job.failure = steps::escaped_failure();
  return job;
}

}  // namespace

Engine::Engine(std::unique_ptr<JobSource> source, Options options, Converter converter)
    : source_(std::move(source)),
      total_(source_->size_hint()),
      options_(options),
      converter_(std::move(converter)),
      // Under filters most outcomes may be skips that cost nothing to make:
      // a window of thousands lets the caller take them by the thousand
      // rather than a few dozen per wake-up.
      window_(options.filters.any() ? filtered_window
                                    : std::max<std::size_t>(64, 16 * std::size_t{std::max(options.threads, 1u)})),
      // Documents of records near the bound, waiting for a slow caller, hold
      // about a record's bound a thread; with those under way, memory stays
      // a small multiple of it.
      byte_window_(pairo::record_limit * std::size_t{std::max(options.threads, 1u)}),
      claims_(std::make_unique<steps::Claims>()),
      folders_(std::make_unique<steps::Folders>()) {
  // A count known up front only spares threads that would find nothing to
  // do: one always starts, so that a source giving more than it said (or
  // any job when it said none) loses nothing.
  std::size_t count = std::max(options_.threads, 1u);
  if (total_) count = std::clamp<std::size_t>(*total_, 1, count);
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
  source_->cancel();
  {
    const std::lock_guard lock(mutex_);
    cancelled_.store(true, std::memory_order_relaxed);
    stopped_ = true;
  }
  advance_.notify_all();
  ready_.notify_all();
}

std::optional<Engine::Claimed> Engine::claim() {
  // One worker at a time takes from the source (a container's reads happen
  // here), so jobs keep their order; the others wait their turn.
  const std::lock_guard feeding(feed_mutex_);
  {
    std::unique_lock lock(mutex_);
    advance_.wait(lock, [&] {
      return stopped_ || exhausted_ || (claimed_ < taken_ + window_ && held_bytes_ < byte_window_);
    });
    if (stopped_ || exhausted_) return std::nullopt;
  }
  // Whatever the source throws (running out of memory while it reads a
  // container) is one job's failure; the source's own containment names
  // the input, this the rest.
  std::optional<Job> job;
  try {
    job = source_->next();
    if (job) {
      const std::lock_guard lock(claims_mutex_);
      if (auto refused = claims_->claim(*job)) job->failure = std::move(refused);
    }
  } catch (...) {
    std::string name = job ? std::move(job->name) : std::string("(inputs)");
    job = escaped_job(std::move(name));
  }
  std::unique_lock lock(mutex_);
  if (!job) {
    exhausted_ = true;
    lock.unlock();
    ready_.notify_all();
    advance_.notify_all();
    return std::nullopt;
  }
  if (stopped_) return std::nullopt;  // the job goes unstarted (a record's turn is given up)
  try {
    waiting_.emplace_back();
  } catch (...) {
    // No room even to say how the job ended: the batch stops as broken.
    lost_ = true;
    stopped_ = true;
    lock.unlock();
    ready_.notify_all();
    advance_.notify_all();
    return std::nullopt;
  }
  return Claimed{claimed_++, std::move(*job)};
}

void Engine::finish(std::size_t index, Outcome outcome) {
  {
    const std::lock_guard lock(mutex_);
    if (options_.fail_fast && std::holds_alternative<Failure>(outcome.result)) stopped_ = true;
    held_bytes_ += held_by(outcome);
    waiting_[index - taken_] = std::move(outcome);
  }
  done_.fetch_add(1, std::memory_order_relaxed);
  ready_.notify_all();
  advance_.notify_all();
}

void Engine::work() {
  // Made with the first log, inside its containment: a worker that cannot
  // have its state fails that log (MemoryError) and tries again with the next.
  std::optional<WorkerState> state;
  const Claim claim_late = [this](const Job& job) {
    const std::lock_guard lock(claims_mutex_);
    return claims_->claim(job);
  };
  while (auto claimed = claim()) {
    note_start();
    Job& job = claimed->job;
    auto result = steps::contained([&]() -> Result {
      if (!state) state.emplace(options_);
      return attempt(job, options_, converter_, *state, *folders_, &cancelled_, claim_late);
    });
    note_outcome();
    finish(claimed->index, Outcome{std::move(job.name), std::move(job.output), std::move(result)});
  }
}

bool Engine::front_ready() const { return !waiting_.empty() && waiting_.front().has_value(); }

bool Engine::over() const {
  return first_failed_ || lost_ || (exhausted_ && taken_ == claimed_) ||
         (cancelled_.load(std::memory_order_relaxed) && !front_ready());
}

std::optional<Outcome> Engine::next(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  ready_.wait_for(lock, wait, [&] { return over() || front_ready(); });
  if (over() || !front_ready()) return std::nullopt;
  Outcome outcome = std::move(*waiting_.front());
  waiting_.pop_front();
  ++taken_;
  held_bytes_ -= held_by(outcome);
  if (options_.fail_fast && std::holds_alternative<Failure>(outcome.result)) {
    first_failed_ = true;
    stopped_ = true;
  }
  lock.unlock();
  advance_.notify_all();
  return outcome;
}

bool Engine::lost() const {
  const std::lock_guard lock(mutex_);
  return lost_;
}

bool Engine::finished() const {
  const std::lock_guard lock(mutex_);
  return over();
}

void Engine::note_start() noexcept {
  std::int64_t unset = 0;
  first_start_.compare_exchange_strong(unset, now_ns(), std::memory_order_relaxed);
}

void Engine::note_outcome() noexcept {
  const std::int64_t now = now_ns();
  std::int64_t last = last_outcome_.load(std::memory_order_relaxed);
  while (last < now && !last_outcome_.compare_exchange_weak(last, now, std::memory_order_relaxed)) {
  }
}

std::chrono::nanoseconds Engine::elapsed() const noexcept {
  const std::int64_t first = first_start_.load(std::memory_order_relaxed);
  const std::int64_t last = last_outcome_.load(std::memory_order_relaxed);
  return std::chrono::nanoseconds(first != 0 && last > first ? last - first : 0);
}

}  // namespace batch
