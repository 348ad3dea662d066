// The batch engine: many logs read, converted and written by worker
// threads, with no interpreter involved. The caller makes a stream of jobs
// from the inputs as the command receives them (files, folders, containers),
// starts an Engine over it and takes its outcomes in input order, while the
// engine's counter tells the progress and its cancel flag stops it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "archive/container.hpp"
#include "base/failure.hpp"
#include "base/padded_text.hpp"
#include "gzip/gzip.hpp"
#include "mjai/mjai.hpp"
#include "mjlog/mjlog.hpp"

namespace batch {

namespace steps {
class Folders;
class Claims;
}

// ---- failures -----------------------------------------------------------

// Why a log failed: the one failure value of base/failure.hpp.
using pairo::ErrorClass;
using pairo::Failure;
using pairo::message_failure;
using pairo::system_failure;

// ---- input formats and conversions --------------------------------------

enum class Target : std::uint8_t { Mjai, Tenhou6 };
enum class Format : std::uint8_t { Json, Xml };

// A converted log: mjai event texts, written one per line, or one whole
// text (a Tenhou JSON log) written as it is.
using Document = std::variant<mjai::EncodedEvents, std::string>;

// Why a log has no mjai events, whole: the record reader's error (an XML
// record that does not read) or the conversion's own. A failure keeps only
// its class, message and note; a diagnosis shows all of it.
using Refusal = std::variant<mjlog::Error, pairo::Error>;
using Events = std::expected<mjai::EncodedEvents, Refusal>;

// One row per input format, the only place that knows it: the suffixes a
// folder walk picks up (gzip is told by content, so ".json.gz" is a suffix
// like another), how its text is recognised once inflated, and its readers
// into each target. A container of many records (a later reader) hands its
// records' bytes to the same rows.
struct InputFormat {
  Format format;
  std::span<const std::string_view> suffixes;  // longest first
  bool (*recognises)(std::string_view text) noexcept;
  // The text is the reader's to release once parsed.
  std::expected<Document, Failure> (*to_mjai)(pairo::PaddedText& text);
  // The same conversion, its refusal whole.
  Events (*events)(pairo::PaddedText& text);
  // Null where the format has no tenhou.net/6 form of its own to write.
  std::expected<Document, Failure> (*to_tenhou6)(pairo::PaddedText& text, std::string_view ref);
};

[[nodiscard]] const InputFormat& input_format(Format format) noexcept;
// The format of an inflated text: the first row that recognises it; the
// JSON row takes what none does.
[[nodiscard]] Format format_of(std::string_view text) noexcept;
// The XML row's conversions on a record's text wherever it lies, only read:
// for callers that hold the text themselves (bytes given from Python).
[[nodiscard]] std::expected<Document, Failure> xml_to_mjai(std::string_view text);
[[nodiscard]] std::expected<Document, Failure> xml_to_tenhou6(std::string_view text, std::string_view ref);
// Whether a folder walk picks the file up for the target.
[[nodiscard]] bool is_log_name(std::string_view name, Target target) noexcept;
// The recognised suffix at the end of the name, else ".gz" where it ends so,
// else "".
[[nodiscard]] std::string_view log_suffix(std::string_view name) noexcept;

// Turns a log's text (UTF-8, already inflated) into its output; `path` is
// the file it came from ("" for bytes given). The text is the converter's
// to overwrite. Called from every worker thread at once, so it keeps no
// state between calls.
using Converter =
    std::function<std::expected<Document, Failure>(pairo::PaddedText& text, Format format, std::string_view path)>;

// The engine's bytes path: a log's bytes as its text, inflated where they
// are gzip (within gzip::inflate_limit) and checked to be UTF-8. OSError
// "invalid gzip data", "gzip data inflates to more than 64 MiB" or "stream
// did not contain valid UTF-8" otherwise.
[[nodiscard]] std::expected<pairo::PaddedText, Failure> text_of(pairo::PaddedText bytes, gzip::Inflater& inflater);
// The same for bytes held elsewhere, read where they lie: the text is
// `bytes` themselves, or inflated into `inflated`.
[[nodiscard]] std::expected<std::string_view, Failure> text_in(std::string_view bytes, pairo::PaddedText& inflated,
                                                               gzip::Inflater& inflater);

// Writes the document to the descriptor: event texts as lines, a whole
// text as it is; deflated when `deflater` is given. The errno of a failed
// write.
[[nodiscard]] std::expected<void, int> write_document(int fd, const Document& document,
                                                      gzip::Deflater* deflater = nullptr);

// The conversion the command runs for a target: each format's reader; for
// tenhou6 the game id taken from the file name, and a format without a
// tenhou.net/6 form refused.
[[nodiscard]] Converter converter_for(Target target);

// The game id in a record's file name ("2019021004gm-00a9-0000-e2f6516d.mjlog"),
// or "" where the name, its suffix stripped, is not one.
[[nodiscard]] std::string game_id_of(std::string_view path);

// ---- planning -----------------------------------------------------------

// Why a log is not converted: a container's reasons, then an output that
// exists under skip_existing. One reason per log, the first that applies;
// the reasons and their words are the archive room's (archive/skip_reason.hpp).
using archive::skip_reason_count;
using archive::SkipReason;
using archive::text_of;

// One log of the batch. A log that failed before any reading (a folder that
// could not be listed, a container's entry that cannot be read, an output
// claimed by an earlier log) carries its failure, and a container's row
// skipped for what the container says of it its reason, each reported in
// its turn. Standard input ("-") is read by the caller, whose bytes come in
// `data`; a container's record comes in `record`.
struct Job {
  std::string name;    // how reports name it: the path as given or as found
  std::string input;   // the file to read; empty for standard input and records
  std::string output;  // the output file's path
  std::optional<Failure> failure;
  std::shared_ptr<const std::string> data;  // the log's bytes, when not in a file
  std::optional<archive::Record> record;    // the log, when in a container
  std::optional<SkipReason> skip;
};

// How the inputs name standard input.
inline constexpr std::string_view standard_input = "-";

struct Options {
  unsigned threads = 1;
  bool gzip = false;
  int gzip_level = -1;  // below 0: gzip::default_level
  bool skip_existing = false;
  bool fail_fast = false;
  Target target = Target::Mjai;
  // Each converted log's document handed back with its outcome, nothing
  // written (a container's records for a program that iterates over them).
  bool in_memory = false;
  // Raised to stop the batch (Engine::cancel, or Ctrl-C while the inputs
  // are planned): no log starts, and waits on input give up. Each Options
  // made has a flag of its own; copies share it.
  std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
};

// Where the engine takes its jobs from, one at a time, in input order; the
// engine calls it from one thread at a time.
class JobSource {
 public:
  virtual ~JobSource() = default;
  // The next job; none once every job was given.
  [[nodiscard]] virtual std::optional<Job> next() = 0;
  // The number of jobs when known up front.
  [[nodiscard]] virtual std::optional<std::size_t> size_hint() const noexcept = 0;
};

// The logs of `inputs` in order: a file named directly as itself, going at
// the top of `outdir`; a folder as the logs found in it at any depth
// (the target's suffixes only), sorted by their path inside it, each going
// to the same place under `outdir`; "-" as standard input (`stdin_data`),
// going to "stdin" with the target's suffix; a container (a database or a
// bundle, archive::is_container) named directly as its entries, in its
// order, each going to OUTDIR/<the container's output folder>/<the
// entry's stem> with the target's suffix. Folders are walked and containers
// opened when the source is made; a container's entries are read as the
// engine asks for them, so that nothing grows with its records.
[[nodiscard]] std::unique_ptr<JobSource> plan_stream(const std::vector<std::string>& inputs, const std::string& outdir,
                                                     const Options& options,
                                                     std::shared_ptr<const std::string> stdin_data = nullptr);

// The jobs given, in order.
[[nodiscard]] std::unique_ptr<JobSource> source_of(std::vector<Job> jobs);

// The entries of one container opened from `path`, as plan_stream makes them.
[[nodiscard]] std::unique_ptr<JobSource> source_of(archive::Container container, const std::string& path,
                                                   const std::string& outdir, const Options& options);

// The whole stream at once, for callers that list the logs.
[[nodiscard]] std::vector<Job> plan(const std::vector<std::string>& inputs, const std::string& outdir,
                                    const Options& options);

// The output file name of an input file name: the recognised suffix
// replaced by the target's, ".gz" added for gzip output.
[[nodiscard]] std::string output_name(std::string_view input_name, Target target, bool gzip);

// ---- the engine ---------------------------------------------------------

struct Converted {
  std::optional<Document> document;  // in_memory only
};
struct Skipped {
  SkipReason reason = SkipReason::Existing;
  std::string earlier;  // a duplicate: the earlier row holding the same record
};
struct Outcome {
  std::string name;    // the job's
  std::string output;  // the job's output file
  std::variant<Converted, Skipped, Failure> result;
};

class Engine {
 public:
  // Starts the workers over the jobs of `source`; the engine owns it from
  // here. A job bound for an earlier job's output fails in its turn, as it
  // arrives: a planned failure wins over skip_existing.
  Engine(std::unique_ptr<JobSource> source, Options options, Converter converter);
  Engine(std::vector<Job> jobs, Options options, Converter converter)
      : Engine(source_of(std::move(jobs)), options, std::move(converter)) {}
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  // Cancels and waits for the workers.
  ~Engine();

  // The next outcome in input order, waiting at most `wait` for it: none
  // when the wait passed (then finished() tells whether any will come).
  // Under fail_fast, the first failure is the last outcome.
  [[nodiscard]] std::optional<Outcome> next(std::chrono::milliseconds wait);
  // True once every outcome has been taken, or none will come any more
  // (cancelled, or stopped by a failure under fail_fast, or lost).
  [[nodiscard]] bool finished() const;
  // True when the batch stopped because memory ran out where no log's
  // outcome could hold the failure: the caller reports it (MemoryError)
  // rather than a batch that ended well.
  [[nodiscard]] bool lost() const;

  // Logs done, in any order; safe to read from any thread.
  [[nodiscard]] std::size_t progress() const noexcept { return done_.load(std::memory_order_relaxed); }
  // The number of logs when the source knew it up front.
  [[nodiscard]] std::optional<std::size_t> total() const noexcept { return total_; }
  // No log starts after this; logs under way finish. Safe from any thread.
  void cancel() noexcept;
  // Waits for the workers to end.
  void join();
  // From the first log started to the last output renamed into place.
  [[nodiscard]] std::chrono::nanoseconds elapsed() const noexcept;

 private:
  struct Claimed {
    std::size_t index;
    Job job;
  };
  void work();
  std::optional<Claimed> claim();
  void finish(std::size_t index, Outcome outcome);
  void note_start() noexcept;
  void note_rename() noexcept;

  const std::unique_ptr<JobSource> source_;
  const std::optional<std::size_t> total_;
  const Options options_;
  const Converter converter_;
  // Outcomes wait here until taken in order; a worker starts no log more
  // than this far ahead of the caller, which bounds the waiting outcomes,
  // nor while the documents waiting (in_memory) hold this many bytes.
  const std::size_t window_;
  const std::size_t byte_window_;

  // Jobs are taken from the source one at a time, in order, under this
  // lock; the outputs claimed so far are kept with it.
  std::mutex feed_mutex_;
  std::unique_ptr<steps::Claims> claims_;

  mutable std::mutex mutex_;
  std::condition_variable ready_;    // an outcome arrived
  std::condition_variable advance_;  // the caller took one, or the batch stopped
  std::deque<std::optional<Outcome>> waiting_;  // from index taken_ on
  std::size_t taken_ = 0;
  std::size_t claimed_ = 0;
  std::size_t held_bytes_ = 0;  // of the documents waiting
  bool exhausted_ = false;     // the source has given its last job
  bool stopped_ = false;       // no log is to start (cancel, or a failure under fail_fast)
  bool first_failed_ = false;  // fail_fast: a failure was handed out
  bool lost_ = false;          // stopped for want of memory to record an outcome

  std::unique_ptr<steps::Folders> folders_;
  std::atomic<std::size_t> done_{0};
  std::atomic<bool> cancelled_{false};
  std::atomic<std::int64_t> first_start_{0};
  std::atomic<std::int64_t> last_rename_{0};
  std::vector<std::thread> workers_;
};

// ---- in memory ----------------------------------------------------------

// Each file of `paths` read and converted by `threads` workers, results in
// the order of `paths`; nothing is written.
// `cancel`, raised, makes the reads waiting on a pipe give up.
[[nodiscard]] std::vector<std::expected<Document, Failure>> convert_all(const std::vector<std::string>& paths,
                                                                        unsigned threads,
                                                                        const Converter& converter,
                                                                        sysio::Cancel cancel = nullptr);

// One log's file, converted on the calling thread.
[[nodiscard]] std::expected<Document, Failure> convert_file(const std::string& path, const Converter& converter,
                                                            sysio::Cancel cancel = nullptr);

// One log given as bytes (gzip or not, JSON or XML), converted on the
// calling thread; more bytes than the record bound fail unread.
[[nodiscard]] std::expected<Document, Failure> convert_bytes(std::string_view bytes, const Converter& converter);

}  // namespace batch
