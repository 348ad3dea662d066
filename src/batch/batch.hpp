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
#include "formats/containers.hpp"
#include "formats/game_facts.hpp"
#include "formats/registry.hpp"
#include "base/padded_text.hpp"
#include "gzip/gzip.hpp"
#include "mjai/mjai.hpp"
#include "mjlog/mjlog.hpp"
#include "validate/validate.hpp"

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

// What the engine reads and writes is the registry's (formats/registry.hpp):
// its formats, their documents and refusals, and the bytes path.
using formats::Document;
using formats::Events;
using formats::Format;
using formats::Refusal;
using formats::Target;

// Turns a log's text (UTF-8, already inflated) into its output; `path` is
// the file it came from ("" for bytes given). The text is the converter's
// to overwrite. Called from every worker thread at once, so it keeps no
// state between calls.
using Converter =
    std::function<std::expected<Document, Failure>(pairo::PaddedText& text, Format format, std::string_view path)>;

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
using archive::reason_text;

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
  std::optional<archive::StoredRecord> record;    // the log, when in a container
  std::optional<SkipReason> skip;
  std::string_view filter;  // a skip by the filters: which one
  // The game id its name gives (a database row's id, a file's or member's
  // name without its suffix); empty when it gives none.
  std::string game_id;
  // Under the date layout, a log whose name gives no game id: its output is
  // named once its log's ref is read, and claimed then.
  bool named_by_content = false;
  bool named = false;  // given by itself (a file, standard input), not found in a folder or container
};

// How the inputs name standard input.
inline constexpr std::string_view standard_input = "-";

// ---- data sets ------------------------------------------------------------

// Where outputs go: mirroring the inputs (a folder's logs at the same place,
// a container's under its own folder), or by the game's day,
// OUTDIR/YYYY/MM/DD/<game id><suffix>, whatever held the game.
enum class Layout : std::uint8_t { Mirror, Date };

// The games a data set keeps. Each filter left at its default keeps every
// game; a game is left out by the first that refuses it.
enum class Length : std::uint8_t { Any, East, South };
// The lobby levels, one bit each, as `levels` holds them.
inline constexpr std::uint8_t ippan = 1, joukyuu = 2, tokujou = 4, houou = 8;
// The rules a game may have, one bit each, as `required` and `refused` hold them.
inline constexpr std::uint8_t red_fives = 1, open_tanyao = 2, fast_play = 4;
struct Filters {
  Length length = Length::Any;
  std::uint8_t levels = 0;  // none: any level
  bool public_only = false;
  std::uint8_t required = 0;
  std::uint8_t refused = 0;
  std::uint32_t since = 0;  // YYYYMMDD, inclusive; 0 for none
  std::uint32_t until = 0;
  bool skip_disconnected = false;

  [[nodiscard]] bool any() const noexcept {
    return length != Length::Any || levels || public_only || required || refused || since || until ||
           skip_disconnected;
  }
};

// What the filters say of a game from what is known of it: kept, left out
// by `filter`, or not yet decided for want of what `filter` needs.
struct Verdict {
  enum class Kind : std::uint8_t { Keep, Leave, Undecided };
  Kind kind = Kind::Keep;
  std::string_view filter;  // the filter's name as the command spells it: "lobby", "since"
};
[[nodiscard]] Verdict judge(const Filters& filters, const formats::GameFacts& facts) noexcept;

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
  Layout layout = Layout::Mirror;
  std::string suffix;  // the outputs' suffix before ".gz"; empty: the target's own
  Filters filters;
  // The seat whose view of the game is written: the others' starting hands
  // and draws hidden (mjai::seat_view); none for the whole game.
  std::optional<std::uint8_t> view;
};

// Raised to make the reading of the inputs give up: a container's long
// reads, while the inputs are planned (Ctrl-C) and after (Engine::cancel,
// through its source). Shared by whoever may raise it and the source.
using CancelFlag = std::shared_ptr<std::atomic<bool>>;

// Where the engine takes its jobs from, one at a time, in input order; the
// engine calls it from one thread at a time.
class JobSource {
 public:
  virtual ~JobSource() = default;
  // The next job; none once every job was given.
  [[nodiscard]] virtual std::optional<Job> next() = 0;
  // The number of jobs when known up front.
  [[nodiscard]] virtual std::optional<std::size_t> size_hint() const noexcept = 0;
  // Makes a next() under way, or to come, give up its long reads; safe
  // from any thread.
  virtual void cancel() noexcept {}
};

// The logs of `inputs` in order: a file named directly as itself, going at
// the top of `outdir`; a folder as the logs found in it at any depth (by
// the registry's name rule for the target), sorted by their path inside
// it, each going to the same place under `outdir`; "-" as standard input (`stdin_data`),
// going to "stdin" with the target's suffix; a container (a database or a
// bundle, formats::is_container) named directly as its entries, in its
// order, each going to OUTDIR/<the container's output folder>/<the
// entry's stem> with the target's suffix. Folders are walked and containers
// opened when the source is made; a container's entries are read as the
// engine asks for them, so that nothing grows with its records.
// `cancel`, when given, is the flag its cancel() raises and its
// containers heed (else it makes one of its own).
[[nodiscard]] std::unique_ptr<JobSource> plan_stream(const std::vector<std::string>& inputs, const std::string& outdir,
                                                     const Options& options,
                                                     std::shared_ptr<const std::string> stdin_data = nullptr,
                                                     CancelFlag cancel = nullptr);

// The jobs given, in order.
[[nodiscard]] std::unique_ptr<JobSource> source_of(std::vector<Job> jobs);

// The entries of one container opened from `path`, as plan_stream makes them.
// `cancel` is the flag the container was opened with.
[[nodiscard]] std::unique_ptr<JobSource> source_of(formats::Container container, const std::string& path,
                                                   const std::string& outdir, const Options& options,
                                                   CancelFlag cancel = nullptr);

// The whole stream at once, for callers that list the logs.
[[nodiscard]] std::vector<Job> plan(const std::vector<std::string>& inputs, const std::string& outdir,
                                    const Options& options, CancelFlag cancel = nullptr);

// The output file name of an input file name: the recognised suffix
// replaced by the target's, ".gz" added for gzip output.
[[nodiscard]] std::string output_name(std::string_view input_name, Target target, bool gzip);
// The suffix the options give their outputs, ".gz" included.
[[nodiscard]] std::string output_suffix(const Options& options);
// A game's output under the date layout: OUTDIR/YYYY/MM/DD/<id><suffix>.
[[nodiscard]] std::string dated_output(const std::string& outdir, std::string_view game_id, const Options& options);

// ---- the engine ---------------------------------------------------------

struct Converted {
  std::optional<Document> document;  // in_memory only
  // Under Target::Validate, the stream's replay (and no document).
  std::optional<pairo::validate::Verdict> verdict;
};
struct Skipped {
  SkipReason reason = SkipReason::Existing;
  std::string earlier;      // a duplicate: the earlier row holding the same record
  std::string_view filter;  // filtered: the filter that left it out
};
// Claims a job's output, named once its log was read: the failure of an
// output an earlier job claimed, else nothing.
using Claim = std::function<std::optional<Failure>(const Job& job)>;

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
  // From the first job taken to the last outcome: what a batch cost,
  // whether it wrote anything or left every log out.
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
  void note_outcome() noexcept;
  // Under mutex_: the front outcome has arrived; no outcome will be taken
  // any more.
  [[nodiscard]] bool front_ready() const;
  [[nodiscard]] bool over() const;

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
  // lock; the outputs claimed so far are kept under their own, which a
  // worker also takes to claim an output named by its log's content.
  std::mutex feed_mutex_;
  std::mutex claims_mutex_;
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
  std::atomic<std::int64_t> last_outcome_{0};
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
