// The engine over real files: outcomes in order, faults per log, atomic
// outputs, skipping, fail-fast, cancelling and its bound on work ahead.
#include <sched.h>
#include <signal.h>
#include <unistd.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "batch/batch.hpp"
#include "batch/steps.hpp"
#include "batch_support.hpp"
#include "corpus.hpp"
#include "gzip/gzip.hpp"

namespace {

namespace fs = std::filesystem;
using batch::Failure;
using batch::Format;
using batch_test::files_under;
using batch_test::put;
using batch_test::read;
using batch_test::Scratch;
using namespace std::chrono_literals;

// Upper-cases the text, with the format in front; fails texts that begin
// with "fail". Counts its calls, and may linger to let the others move on.
struct FakeConverter {
  std::atomic<int> calls{0};
  std::chrono::milliseconds linger{0};

  batch::Converter get() {
    return [this](pairo::PaddedText& text, Format format, std::string_view) -> std::expected<batch::Document, Failure> {
      calls.fetch_add(1);
      std::this_thread::sleep_for(linger);
      if (text.view().starts_with("fail")) {
        return std::unexpected(batch::message_failure(batch::ErrorClass::JsonParsingError, "failed to parse"));
      }
      std::string out = format == Format::Xml ? "xml:" : "json:";
      for (char c : text.view()) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return batch::Document{std::move(out)};
    };
  }
};

struct Report {
  std::string name;
  std::string what;  // "converted", "skipped" or the failure described
};

std::vector<Report> run_all(std::vector<batch::Job> jobs, const batch::Options& options, batch::Converter converter) {
  std::vector<Report> reports;
  batch_test::run(std::move(jobs), options, std::move(converter), [&](const batch::Outcome& o) {
    std::string what = std::holds_alternative<batch::Converted>(o.result) ? "converted" : "skipped";
    if (const auto* failure = std::get_if<Failure>(&o.result)) what = batch_test::describe(*failure);
    reports.push_back({o.name, what});
  });
  return reports;
}

std::vector<std::string> whats(const std::vector<Report>& reports) {
  std::vector<std::string> out;
  for (const auto& r : reports) out.push_back(r.what);
  return out;
}

class Engine : public Scratch {
 protected:
  std::string in(const std::string& name) const { return (root / "in" / name).string(); }
  std::string out() const { return (root / "out").string(); }
  std::vector<batch::Job> plan(const batch::Options& options = {}) const {
    return batch::plan({(root / "in").string()}, out(), options);
  }
  // Logs named 00.json, 01.json...; the one at `failing` fails.
  void numbered(int count, int failing = -1) const {
    for (int i = 0; i < count; ++i) {
      put(in((i < 10 ? "0" : "") + std::to_string(i) + ".json"), i == failing ? "fail" : "log " + std::to_string(i));
    }
  }
  FakeConverter fake;
};

TEST_F(Engine, ConvertsEveryKindOfInputInOrderAndReportsFaultsPerLog) {
  put(in("a.json"), "{\"a\":1}");
  put(in("b.xml"), " \n<mjloggm/>");
  put(in("c.mjlog"), gzip::Deflater().deflate("<mjloggm/>"));
  put(in("d.json.gz"), gzip::Deflater().deflate("{}"));
  put(in("e.json.gz"), gzip::Deflater().deflate("{}").substr(0, 12));
  put(in("f.json"), "\xff\xfe{}");
  put(in("g.json"), "fail");
  fs::create_directories(in("h.json"));  // walked as a folder; read as a log below
  put(in("i.json"), "{}");
  auto jobs = plan();
  jobs.push_back({.name = in("h.json"), .input = in("h.json"), .output = out() + "/h.mjai.jsonl"});
  jobs.push_back({.name = in("gone.json"), .input = in("gone.json"), .output = out() + "/gone.mjai.jsonl"});
  fs::remove(in("i.json"));  // vanished between planning and reading
  batch::Options options;
  options.threads = 2;
  const auto reports = run_all(std::move(jobs), options, fake.get());
  EXPECT_EQ(whats(reports), (std::vector<std::string>{
                                "converted", "converted", "converted", "converted", "OSError: invalid gzip data",
                                "OSError: stream did not contain valid UTF-8", "JsonParsingError: failed to parse",
                                "FileNotFoundError: failed to open tenhou.net/6 log file \"" + in("i.json") + "\"",
                                "OSError: Is a directory (os error 21)",
                                "FileNotFoundError: failed to open tenhou.net/6 log file \"" + in("gone.json") + "\"",
                            }));
  EXPECT_EQ(read(root / "out" / "a.mjai.jsonl"), "json:{\"A\":1}");
  EXPECT_EQ(read(root / "out" / "b.mjai.jsonl"), "xml: \n<MJLOGGM/>");
  EXPECT_EQ(read(root / "out" / "c.mjai.jsonl"), "xml:<MJLOGGM/>");
  EXPECT_EQ(read(root / "out" / "d.mjai.jsonl"), "json:{}");
  EXPECT_EQ(files_under(root / "out"), (std::vector<std::string>{"a.mjai.jsonl", "b.mjai.jsonl", "c.mjai.jsonl",
                                                                   "d.mjai.jsonl"}));
}

TEST_F(Engine, AnUnreadableInputFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  put(in("a.json"), "{}");
  fs::permissions(in("a.json"), fs::perms::none);
  EXPECT_EQ(whats(run_all(plan(), {}, fake.get())),
            std::vector<std::string>{"FileNotFoundError: failed to open tenhou.net/6 log file \"" + in("a.json") + "\""});
}

std::string expected_lines(const fs::path& log) { return batch_test::mjai_lines(corpus::read_file(log)); }

TEST_F(Engine, WritesTheEventLinesOfRealLogsPlainAndGzip) {
  const auto logs = corpus::logs_in("sim");
  REQUIRE_LOGS(logs, "sim");
  for (bool gzip : {false, true}) {
    batch::Options options;
    options.threads = 2;
    options.gzip = gzip;
    const std::string outdir = out() + (gzip ? "-gz" : "");
    auto jobs = batch::plan({(corpus::root() / "sim").string()}, outdir, options);
    std::vector<std::string> outputs;
    for (const auto& job : jobs) outputs.push_back(job.output);
    const auto reports = run_all(std::move(jobs), options, batch::converter_for(batch::Target::Mjai));
    ASSERT_EQ(reports.size(), logs.size());
    for (std::size_t i = 0; i < logs.size(); ++i) {
      ASSERT_EQ(reports[i].what, "converted") << reports[i].name;
      std::string written = read(outputs[i]);
      if (gzip) written = std::string(gzip::Inflater().inflate(written).value().view());
      ASSERT_TRUE(written == expected_lines(logs[i])) << jobs[i].output;
    }
  }
  // The simulated games' own record of play, where the log holds all of it.
  const fs::path first = corpus::root() / "sim" / "5001.truth.jsonl";
  EXPECT_TRUE(read(out() + "/5001.mjai.jsonl") == corpus::read_file(first));
}

TEST_F(Engine, SkipsExistingOutputsAndLeavesThemAlone) {
  numbered(3);
  put(root / "out" / "01.mjai.jsonl", "kept");
  batch::Options options;
  options.skip_existing = true;
  EXPECT_EQ(whats(run_all(plan(options), options, fake.get())),
            (std::vector<std::string>{"converted", "skipped", "converted"}));
  EXPECT_EQ(read(root / "out" / "01.mjai.jsonl"), "kept");
  EXPECT_EQ(fake.calls.load(), 2);
}

// An output that two inputs claim fails the later one on every run, resumed
// ones included: the first run's output exists by then.
TEST_F(Engine, ASharedOutputFailsEvenWhenSkippingExistingOutputs) {
  put(in("a.json"), "one");
  put(in("a.json.gz"), gzip::Deflater().deflate("two"));
  batch::Options options;
  options.skip_existing = true;
  const std::string shared = "FileExistsError: " + out() + "/a.mjai.jsonl is also the output of " + in("a.json");
  EXPECT_EQ(whats(run_all(plan(options), options, fake.get())), (std::vector<std::string>{"converted", shared}));
  EXPECT_EQ(whats(run_all(plan(options), options, fake.get())), (std::vector<std::string>{"skipped", shared}));
}

// A converter that throws: the log fails with PanicException and its text,
// the diagnostic goes to standard error, the others convert, and under
// fail_fast no log starts after it.
TEST_F(Engine, AnEscapedExceptionIsThatLogsPanicException) {
  numbered(4);
  struct Thrown {};
  const batch::Converter throwing = [](pairo::PaddedText& text, Format, std::string_view)
      -> std::expected<batch::Document, Failure> {
    if (text.view() == "log 1") throw std::runtime_error("seat 7 acted");
    if (text.view() == "log 2") throw Thrown{};
    if (text.view() == "log 3") throw std::bad_alloc();
    return batch::Document{std::string(text.view())};
  };
  testing::internal::CaptureStderr();
  const auto reports = whats(run_all(plan(), {}, throwing));
  const std::string diagnostic = testing::internal::GetCapturedStderr();
  EXPECT_EQ(reports, (std::vector<std::string>{"converted", "PanicException: seat 7 acted",
                                               "PanicException: unknown C++ exception", "MemoryError: out of memory"}));
  EXPECT_NE(diagnostic.find("internal failure"), std::string::npos) << diagnostic;
  EXPECT_NE(diagnostic.find("seat 7 acted"), std::string::npos) << diagnostic;
  batch::Options options;
  options.fail_fast = true;
  testing::internal::CaptureStderr();
  EXPECT_EQ(whats(run_all(plan(options), options, throwing)),
            (std::vector<std::string>{"converted", "PanicException: seat 7 acted"}));
  testing::internal::GetCapturedStderr();
}

TEST_F(Engine, AFailedWriteLeavesTheOldOutputAndNoTemporaryFile) {
  numbered(4);
  put(root / "out" / "b", "a file where a folder should be");
  put(root / "out" / "02.mjai.jsonl", "the previous conversion");
  auto jobs = plan();
  jobs[1].output = out() + "/b/01.mjai.jsonl";
  jobs[2].output = out() + "/b/deep/02.mjai.jsonl";
  const auto reports = run_all(std::move(jobs), {}, fake.get());
  // OSError(errno, ...): the interpreter picks the subclass by the number.
  EXPECT_EQ(whats(reports), (std::vector<std::string>{
                                "converted", "OSError: [Errno 17] File exists: '" + out() + "/b'",
                                "OSError: [Errno 20] Not a directory: '" + out() + "/b/deep'", "converted"}));
  EXPECT_EQ(files_under(root / "out"), (std::vector<std::string>{"00.mjai.jsonl", "02.mjai.jsonl", "03.mjai.jsonl", "b"}));
  EXPECT_EQ(read(root / "out" / "02.mjai.jsonl"), "the previous conversion");
}

TEST_F(Engine, AnOutputFolderWithoutWritePermissionFailsItsLogs) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  numbered(2);
  fs::create_directories(root / "out");
  fs::permissions(root / "out", fs::perms::owner_read | fs::perms::owner_exec);
  const std::string denied = "PermissionError: [Errno 13] Permission denied: '" + out() + "'";
  EXPECT_EQ(whats(run_all(plan(), {}, fake.get())), (std::vector<std::string>{denied, denied}));
}

pid_t dead_pid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST_F(Engine, RemovesTheTemporaryFilesOfDeadProcessesOnly) {
  numbered(1);
  const std::string dead = ".x.mjai.jsonl.pairo-tmp-" + std::to_string(dead_pid()) + "-3";
  const std::string live = ".y.mjai.jsonl.pairo-tmp-" + std::to_string(::getppid()) + "-0";
  for (const std::string& name : {dead, live, std::string(".notes.pairo-tmp-x"), std::string("sub/") + dead}) {
    put(root / "out" / name, "partial");
  }
  EXPECT_EQ(whats(run_all(plan(), {}, fake.get())), std::vector<std::string>{"converted"});
  // Only the folders written into are swept.
  EXPECT_EQ(files_under(root / "out"),
            (std::vector<std::string>{".notes.pairo-tmp-x", live, "00.mjai.jsonl", "sub/" + dead}));
}

// No log starts once a failure is recorded under fail_fast. Log 5 fails only
// once the other worker holds log 6, and log 6 ends only once log 5's
// failure is counted: after that, neither worker may start log 7.
TEST_F(Engine, FailFastStartsNoLogAfterTheFailure) {
  numbered(40, 5);
  const auto wait_for = [](auto ready) {
    while (!ready()) std::this_thread::sleep_for(1ms);
  };
  std::atomic<batch::Engine*> running{nullptr};
  std::atomic<bool> sixth_started{false};
  std::mutex mutex;
  std::vector<int> started;
  batch::Converter converter = [&](pairo::PaddedText& text, Format, std::string_view)
      -> std::expected<batch::Document, Failure> {
    const std::string log(text.view());
    if (log == "fail") {
      wait_for([&] { return sixth_started.load(); });
      return std::unexpected(batch::message_failure(batch::ErrorClass::JsonParsingError, "failed to parse"));
    }
    const int number = std::stoi(log.substr(4));
    {
      const std::lock_guard lock(mutex);
      started.push_back(number);
    }
    if (number == 6) {
      sixth_started = true;
      wait_for([&] {
        const batch::Engine* engine = running.load();
        return engine && engine->progress() >= 6;
      });
    }
    return batch::Document{log};
  };
  batch::Options options;
  options.threads = 2;
  options.fail_fast = true;
  batch::Engine engine(plan(options), options, converter);
  running = &engine;
  std::vector<std::string> reports;
  while (!engine.finished()) {
    if (auto outcome = engine.next(10ms)) {
      const auto* failure = std::get_if<Failure>(&outcome->result);
      reports.push_back(failure ? batch_test::describe(*failure) : "converted");
    }
  }
  engine.join();
  std::vector<std::string> expected(5, "converted");
  expected.push_back("JsonParsingError: failed to parse");
  EXPECT_EQ(reports, expected);
  std::ranges::sort(started);
  EXPECT_EQ(started, (std::vector<int>{0, 1, 2, 3, 4, 6}));
  for (const auto& name : files_under(root / "out")) EXPECT_NE(name[0], '.') << name;
}

TEST_F(Engine, CancelStopsPromptlyLeavingWholeOutputs) {
  numbered(60);
  fake.linger = 10ms;
  batch::Options options;
  options.threads = 2;
  batch::Engine engine(plan(options), options, fake.get());
  while (engine.progress() < 4) std::this_thread::sleep_for(1ms);
  engine.cancel();
  const int started = fake.calls.load();
  std::size_t taken = 0;
  while (!engine.finished()) taken += engine.next(10ms).has_value();
  engine.join();
  EXPECT_LE(fake.calls.load(), started + 2);  // at most the logs already claimed
  EXPECT_LE(taken, engine.progress());
  const auto written = files_under(root / "out");
  EXPECT_EQ(written.size(), engine.progress());
  for (const auto& name : written) EXPECT_EQ(read(root / "out" / name), "json:LOG " + std::to_string(std::stoi(name)));
}

TEST_F(Engine, WorksNoFurtherAheadThanItsWindowOfUntakenOutcomes) {
  numbered(100);
  batch::Options options;
  options.threads = 2;
  batch::Engine engine(plan(options), options, fake.get());
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (engine.progress() < 64 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(engine.progress(), 64u);  // the window for two threads
  std::size_t taken = 0;
  while (!engine.finished()) {
    if (auto outcome = engine.next(100ms)) {
      EXPECT_EQ(outcome->name, in((taken < 10 ? "0" : "") + std::to_string(taken) + ".json"));
      ++taken;
    }
  }
  EXPECT_EQ(taken, 100u);
  EXPECT_EQ(engine.progress(), 100u);
  EXPECT_GT(engine.elapsed().count(), 0);
}

// A full disk: a tiny file system mounted in a mount namespace of a child
// process, which reports through its exit status.
TEST_F(Engine, AFullDiskFailsTheLogAndLeavesNoTemporaryFile) {
  numbered(2);
  put(in("02.json"), std::string(256 * 1024, 'x'));
  const fs::path disk = root / "disk";
  fs::create_directories(disk);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
      ::_exit(77);
    }
    FakeConverter fake;
    auto jobs = batch::plan({(root / "in").string()}, disk.string(), {});
    const auto reports = run_all(std::move(jobs), {}, fake.get());
    const bool right = whats(reports) == std::vector<std::string>{"converted", "converted",
                                                                  "OSError: [Errno 28] No space left on device"} &&
                       files_under(disk) == std::vector<std::string>{"00.mjai.jsonl", "01.mjai.jsonl"};
    ::_exit(right ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no mount namespace here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Engine, ConvertAllKeepsInputOrder) {
  numbered(30, 7);
  std::vector<std::string> paths;
  for (const auto& job : plan()) paths.push_back(job.input);
  paths.push_back(in("missing.json"));
  const auto results = batch::convert_all(paths, 2, fake.get());
  ASSERT_EQ(results.size(), paths.size());
  for (std::size_t i = 0; i < 30; ++i) {
    if (i == 7) {
      ASSERT_FALSE(results[i].has_value());
      EXPECT_EQ(batch_test::describe(results[i].error()), "JsonParsingError: failed to parse");
    } else {
      ASSERT_TRUE(results[i].has_value());
      EXPECT_EQ(std::get<std::string>(*results[i]), "json:LOG " + std::to_string(i));
    }
  }
  EXPECT_EQ(results.back().error().cls, batch::ErrorClass::FileNotFoundError);
}

}  // namespace

namespace {

// Jobs made as the engine asks for them, counting the asks: a stream of
// records is never drawn far ahead of the caller.
class CountingSource final : public batch::JobSource {
 public:
  CountingSource(std::string folder, std::size_t count, std::atomic<std::size_t>& asked,
                 std::optional<std::size_t> hint = std::nullopt)
      : folder_(std::move(folder)), count_(count), asked_(asked), hint_(hint) {}
  std::optional<batch::Job> next() override {
    const std::size_t i = asked_.fetch_add(1);
    if (i >= count_) return std::nullopt;
    const std::string name = std::to_string(i);
    batch::Job job{.name = name, .output = folder_ + "/" + name + ".out"};
    job.data = std::make_shared<const std::string>("log " + name);
    return job;
  }
  std::optional<std::size_t> size_hint() const noexcept override { return hint_; }

 private:
  std::string folder_;
  std::size_t count_;
  std::atomic<std::size_t>& asked_;
  std::optional<std::size_t> hint_;
};

TEST_F(Engine, DrawsJobsFromItsSourceNoFurtherThanItsWindowAhead) {
  std::atomic<std::size_t> asked{0};
  batch::Options options;
  options.threads = 2;
  batch::Engine engine(std::make_unique<CountingSource>(out(), 1000, asked), options, fake.get());
  EXPECT_FALSE(engine.total().has_value());
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (engine.progress() < 64 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(asked.load(), 64u);  // nothing drawn past the window while no outcome is taken
  std::size_t taken = 0;
  while (!engine.finished()) {
    if (auto outcome = engine.next(100ms)) EXPECT_EQ(outcome->name, std::to_string(taken++));
  }
  EXPECT_EQ(taken, 1000u);
  EXPECT_EQ(read(root / "out" / "999.out"), "json:LOG 999");
}

// The count a source gives up front bounds the threads started, never the
// jobs taken: a source that gives more than it said loses none.
TEST_F(Engine, TakesEveryJobWhateverCountTheSourceGaveUpFront) {
  for (const std::size_t hint : {0u, 1u, 3u}) {
    std::atomic<std::size_t> asked{0};
    batch::Options options;
    options.threads = 4;
    batch::Engine engine(std::make_unique<CountingSource>(out(), 5, asked, hint), options, fake.get());
    std::vector<std::string> names;
    while (!engine.finished()) {
      if (auto outcome = engine.next(100ms)) names.push_back(outcome->name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"0", "1", "2", "3", "4"})) << hint;
  }
}

TEST_F(Engine, ARecordBoundForAFilesOutputFailsAsASharedOutput) {
  put(in("x.json"), "log");
  batch::Job file{.name = in("x.json"), .input = in("x.json"), .output = out() + "/x.mjai.jsonl"};
  batch::Job record{.name = "db/x", .output = out() + "/x.mjai.jsonl"};
  record.record.emplace();
  batch::Job again{.name = "db/y", .output = out() + "/y.mjai.jsonl"};
  again.record.emplace();
  batch::Job later_file{.name = in("y.json"), .input = in("y.json"), .output = out() + "/y.mjai.jsonl"};
  std::vector<batch::Job> jobs;
  for (batch::Job* job : {&file, &record, &again, &later_file}) jobs.push_back(std::move(*job));
  const auto reports = whats(run_all(std::move(jobs), {}, fake.get()));
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[0], "converted");
  EXPECT_EQ(reports[1], "FileExistsError: " + out() + "/x.mjai.jsonl is also the output of " + in("x.json"));
  EXPECT_EQ(reports[2], "converted");  // an empty record: its text is ""
  EXPECT_EQ(reports[3], "FileExistsError: " + out() + "/y.mjai.jsonl is also the output of an earlier record");
}

TEST_F(Engine, APlainFileOverTheBoundIsReadNoFurtherAndFails) {
  put(in("big.json"), std::string((std::size_t{64} << 20) + 1, ' '));
  put(in("edge.json"), std::string(std::size_t{64} << 20, ' '));
  const batch::Converter sized = [](pairo::PaddedText& text, Format, std::string_view) {
    return std::expected<batch::Document, Failure>(std::to_string(text.size()));
  };
  EXPECT_EQ(whats(run_all(plan(), {}, sized)),
            (std::vector<std::string>{"OSError: log file is larger than 64 MiB", "converted"}));
  EXPECT_EQ(read(root / "out" / "edge.mjai.jsonl"), std::to_string(std::size_t{64} << 20));
}

}  // namespace

namespace {

// Throws where the source would run out of memory reading its `at`th job.
class ThrowingSource final : public batch::JobSource {
 public:
  ThrowingSource(std::string folder, std::size_t count, std::size_t at)
      : folder_(std::move(folder)), count_(count), at_(at) {}
  std::optional<batch::Job> next() override {
    const std::size_t i = given_++;
    if (i == at_) throw std::bad_alloc();
    if (i >= count_) return std::nullopt;
    batch::Job job{.name = std::to_string(i), .output = folder_ + "/" + std::to_string(i) + ".out"};
    job.data = std::make_shared<const std::string>("log");
    return job;
  }
  std::optional<std::size_t> size_hint() const noexcept override { return std::nullopt; }

 private:
  std::string folder_;
  std::size_t count_, at_, given_ = 0;
};

TEST_F(Engine, WhatTheSourceThrowsIsOneJobsFailureNotTheProcesss) {
  batch::Options options;
  options.threads = 2;
  std::vector<std::string> names, whats;
  batch::Engine engine(std::make_unique<ThrowingSource>(out(), 4, 2), options, fake.get());
  while (!engine.finished()) {
    if (auto outcome = engine.next(100ms)) {
      names.push_back(outcome->name);
      const auto* failure = std::get_if<Failure>(&outcome->result);
      whats.push_back(failure ? batch_test::describe(*failure) : "converted");
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"0", "1", "(inputs)", "3"}));
  EXPECT_EQ(whats[2].substr(0, 11), "MemoryError");
  EXPECT_EQ(whats[3], "converted");
}

// Converted documents wait for a slow caller within a byte bound too: a
// record's bound a thread, whatever the count window would allow.
TEST_F(Engine, HoldsNoMoreConvertedBytesAheadThanTheRecordBoundAThread) {
  numbered(40);
  batch::Options options;
  options.threads = 1;
  options.in_memory = true;
  const batch::Converter big = [](pairo::PaddedText&, Format, std::string_view) {
    return std::expected<batch::Document, Failure>(std::string(pairo::record_limit / 8, 'x'));
  };
  batch::Engine engine(plan(options), options, big);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (engine.progress() < 8 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(engine.progress(), 8u);  // eight eighths of the bound, then nothing until one is taken
  std::size_t taken = 0;
  while (!engine.finished()) {
    if (engine.next(100ms)) ++taken;
  }
  EXPECT_EQ(taken, 40u);
}

// An output named near the file system's limit of 255 bytes still gets a
// temporary name that fits beside it.
TEST_F(Engine, AnOutputNamedNearTheLimitIsWrittenThroughATemporaryNameThatFits) {
  const std::string stem(241, 's');
  put(in(stem + ".json"), "log");
  batch::Options options;
  options.gzip = true;  // 241 + ".mjai.jsonl.gz": 255 bytes
  EXPECT_EQ(whats(run_all(plan(options), options, fake.get())), (std::vector<std::string>{"converted"}));
  EXPECT_EQ(files_under(root / "out"), (std::vector<std::string>{stem + ".mjai.jsonl.gz"}));
  const std::string temporary = batch::steps::temporary_name(out() + "/" + stem + ".mjai.jsonl.gz", 123);
  EXPECT_LE(fs::path(temporary).filename().string().size(), 255u);
}

}  // namespace
