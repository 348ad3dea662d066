// The batch engine over a container made of any bytes, as the command and
// convert_archive run it: the bytes are written as a bundle or a database
// file in a tmpfs folder and named to the engine, which plans its entries
// as a stream, names outputs from member paths and row ids, skips rows,
// settles duplicates, bounds sizes and writes (or hands back) each output.
//
// The first byte picks the container: a tar bundle (plain, gzip, bzip2, xz),
// a zip bundle, a SQLite file, or a database of rows (fuzz_input). The
// second picks the run's options (see `RunChoice`); the rest is the bytes.
//
// Invariants, each checked against the same container read on this thread
// beforehand, entry by entry:
// - one outcome per entry, in its order and with its name; a skipped row
//   keeps its reason, a duplicate names the same earlier row; under
//   fail_fast, the outcomes are the entries up to the first failure;
// - an output lies inside the container's output folder, at the record's
//   stem with the target's suffix; nothing is written anywhere else, no
//   temporary file is left, and the files there are exactly the outputs of
//   the logs converted;
// - every output is whole: the document the converter makes of the
//   record's text, gzipped where asked;
// - run again with skip_existing, each converted log is skipped as
//   existing, every other outcome is the same, and no file changes.
// Any sanitizer report, C++ exception or broken invariant is a finding.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "archive/container.hpp"
#include "batch/batch.hpp"
#include "formats/bytes.hpp"
#include "formats/containers.hpp"
#include "database_rows.hpp"
#include "gzip/gzip.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

[[noreturn]] void finding(const char* what, std::string_view detail) {
  std::fprintf(stderr, "fuzz finding: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

void expect(bool holds, const char* what, std::string_view detail = {}) {
  if (!holds) finding(what, detail);
}

struct ContainerKind {
  const char* file_name;
  const char* folder;  // its outputs' folder
};

constexpr ContainerKind kinds[] = {
    {"set.tar", "set"}, {"set.tar.gz", "set"}, {"set.TGZ", "set"}, {"set.tar.bz2", "set"},
    {"set.tar.xz", "set"}, {"Set.Zip", "Set"}, {"2019.db", "2019"}, {"rows.sqlite", "rows"},
};

struct RunChoice {
  explicit RunChoice(unsigned bits)
      : gzip(bits & 1), tenhou6(bits & 2), threads(bits & 4 ? 2 : 1), again(bits & 8), real_converter(bits & 16),
        in_memory(bits & 32), fail_fast(bits & 64) {}
  bool gzip, tenhou6;
  unsigned threads;
  bool again;           // a second run over the outputs with skip_existing
  bool real_converter;  // the command's conversion, else the text itself as the document
  bool in_memory;       // convert_archive's way: the container alone, documents handed back
  bool fail_fast;
};

// What one entry must come out as.
struct Expected {
  enum class Kind : std::uint8_t { Converts, Fails, Skipped };
  std::string name;  // the outcome's
  Kind kind = Kind::Fails;
  archive::SkipReason reason = archive::SkipReason::Existing;
  std::string earlier;      // a duplicate's
  std::string stem;         // a record's
  pairo::PaddedText text;   // a record's, decompressed: converted, or failing in conversion or writing

  static Expected failing(std::string name) {
    Expected e;
    e.name = std::move(name);
    return e;
  }
  static Expected skipped(std::string name, archive::SkipReason reason, std::string earlier = {}) {
    Expected e = failing(std::move(name));
    e.kind = Kind::Skipped;
    e.reason = reason;
    e.earlier = std::move(earlier);
    return e;
  }
};

// What each entry of the container must come out as, read here on one thread.
std::vector<Expected> expected_of(const std::string& path, batch::Target target) {
  std::vector<Expected> expected;
  auto container = formats::Container::open(path, target);
  if (!container) {
    expected.push_back(Expected::failing(path));
    return expected;
  }
  formats::Decoders decoders;
  std::set<std::string> stems;
  for (std::size_t count = 0; auto entry = container->next(); ++count) {
    expect(count < 100000, "container does not end");
    if (auto* record = std::get_if<archive::StoredRecord>(&*entry)) {
      Expected e = Expected::failing(path + "/" + record->name);
      // A record bound for an earlier record's output (two members of one
      // stem, or a damaged database's repeated id) fails before it is
      // read, its duplicate verdict never settled.
      if (!stems.insert(record->stem).second) {
        expected.push_back(std::move(e));
        continue;
      }
      auto text = formats::record_text(record->stored, decoders);
      if (text) {
        expect(text->size() <= archive::record_limit, "record bound passed", record->name);
        if (auto earlier = record->settle_duplicate(text->view())) {
          e = Expected::skipped(std::move(e.name), archive::SkipReason::Duplicate, std::move(*earlier));
        } else {
          e.kind = Expected::Kind::Converts;
          e.stem = record->stem;
          e.text = std::move(*text);
        }
      }
      expected.push_back(std::move(e));
    } else if (auto* skip = std::get_if<archive::Skip>(&*entry)) {
      expect(skip->reason != archive::SkipReason::Existing, "a container gave the engine's reason", skip->name);
      expected.push_back(Expected::skipped(path + "/" + skip->name, skip->reason));
    } else {
      const auto& failure = std::get<archive::EntryFailure>(*entry);
      expected.push_back(Expected::failing(failure.name == path ? path : path + "/" + failure.name));
    }
  }
  return expected;
}

std::vector<batch::Outcome> run(batch::Engine& engine) {
  std::vector<batch::Outcome> outcomes;
  while (true) {
    if (auto outcome = engine.next(100ms)) {
      outcomes.push_back(std::move(*outcome));
    } else if (engine.finished()) {
      return outcomes;
    }
  }
}

// The bytes the engine writes for the document, before any gzip.
std::string written(const batch::Document& document) {
  const int fd = ::memfd_create("document", 0);
  expect(fd >= 0, "memfd_create failed");
  expect(batch::write_document(fd, document).has_value(), "document not written");
  std::string bytes(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
  expect(::pread(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()), "short read");
  ::close(fd);
  return bytes;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// No empty, "." or ".." component.
bool is_plain_relative(std::string_view path) {
  if (path.empty() || path.front() == '/') return false;
  while (true) {
    const auto slash = path.find('/');
    const std::string_view component = path.substr(0, slash);
    if (component.empty() || component == "." || component == "..") return false;
    if (slash == std::string_view::npos) return true;
    path.remove_prefix(slash + 1);
  }
}

// Every file under `root` with its bytes, every folder with "/" for them.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> seen;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string path = entry.path().string();
    if (entry.is_symlink()) {
      seen[path] = "link";
    } else if (entry.is_directory()) {
      seen[path] = "/";
    } else {
      seen[path] = read_file(entry.path());
    }
  }
  return seen;
}

class Case {
 public:
  Case(const ContainerKind& kind, RunChoice choice)
      : choice_(choice), root_("/dev/shm/fuzz_batch_" + std::to_string(::getpid())),
        input_((root_ / "in" / kind.file_name).string()), outdir_((root_ / "a" / "b" / "out").string()),
        folder_(outdir_ + "/" + kind.folder + "/") {
    fs::remove_all(root_);
    fs::create_directories(root_ / "in");
    fs::create_directories(root_ / "a" / "b");
    options_.threads = choice.threads;
    options_.gzip = choice.gzip;
    options_.gzip_level = 1;
    options_.fail_fast = choice.fail_fast;
    options_.target = choice.tenhou6 ? batch::Target::Tenhou6 : batch::Target::Mjai;
    options_.in_memory = choice.in_memory;
    converter_ = choice.real_converter ? batch::converter_for(options_.target) : echo;
  }
  ~Case() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  const std::string& input() const { return input_; }

  void check() {
    const auto expected = expected_of(input_, options_.target);
    const auto first = run_once(false);
    check_outcomes(expected, first);
    if (choice_.in_memory) {
      expect(!fs::exists(outdir_), "an in-memory run wrote");
      return;
    }
    check_files();
    if (!choice_.again || choice_.fail_fast) return;
    const auto before = snapshot(root_);
    const auto second = run_once(true);
    expect(second.size() == first.size(), "a second run's outcomes differ in number");
    for (std::size_t i = 0; i < first.size(); ++i) check_again(first[i], second[i]);
    expect(snapshot(root_) == before, "a run with skip_existing changed the files");
  }

 private:
  static std::expected<batch::Document, batch::Failure> echo(pairo::PaddedText& text, batch::Format,
                                                             std::string_view) {
    return batch::Document{std::string(text.view())};
  }

  std::vector<batch::Outcome> run_once(bool skip_existing) {
    batch::Options options = options_;
    options.skip_existing = skip_existing;
    std::unique_ptr<batch::JobSource> source;
    if (choice_.in_memory) {
      auto container = formats::Container::open(input_, options_.target);
      if (!container) {  // as convert_archive raises it: one failure
        std::vector<batch::Outcome> refused;
        refused.push_back({input_, "", batch::message_failure(batch::ErrorClass::ArchiveError, "")});
        return refused;
      }
      source = batch::source_of(std::move(*container), input_, {}, options);
    } else {
      source = batch::plan_stream({input_}, outdir_, options);
    }
    batch::Engine engine(std::move(source), options, converter_);
    return run(engine);
  }

  void check_outcomes(const std::vector<Expected>& expected, const std::vector<batch::Outcome>& outcomes) {
    if (choice_.fail_fast) {
      expect(outcomes.size() <= expected.size(), "more outcomes than entries");
      for (std::size_t i = 0; i + 1 < outcomes.size(); ++i) {
        expect(!std::holds_alternative<batch::Failure>(outcomes[i].result), "fail_fast went on after a failure",
               outcomes[i].name);
      }
      if (outcomes.size() < expected.size()) {
        expect(!outcomes.empty() && std::holds_alternative<batch::Failure>(outcomes.back().result),
               "fail_fast stopped without a failure");
      }
    } else {
      expect(outcomes.size() == expected.size(), "outcomes do not add up to the entries",
             std::to_string(outcomes.size()) + " outcomes, " + std::to_string(expected.size()) + " entries");
    }
    for (std::size_t i = 0; i < outcomes.size(); ++i) check_outcome(expected[i], outcomes[i]);
  }

  void check_outcome(const Expected& e, const batch::Outcome& o) {
    expect(o.name == e.name, "outcome named otherwise", o.name + " for " + e.name);
    if (const auto* skipped = std::get_if<batch::Skipped>(&o.result)) {
      expect(e.kind == Expected::Kind::Skipped && skipped->reason == e.reason && skipped->earlier == e.earlier,
             "skipped otherwise", o.name);
      return;
    }
    if (const auto* failure = std::get_if<batch::Failure>(&o.result)) {
      expect(e.kind != Expected::Kind::Skipped, "a skipped entry failed",
             o.name + ": " + failure->message + " (skipped as " + std::string(archive::reason_text(e.reason)) + ")");
      return;
    }
    expect(e.kind == Expected::Kind::Converts, "converted an entry that cannot be", o.name);
    const auto& converted = std::get<batch::Converted>(o.result);
    pairo::PaddedText text(e.text.view());
    auto document = converter_(text, formats::format_of(e.text.view()), e.name.substr(input_.size() + 1));
    expect(document.has_value(), "converted what does not convert", o.name);
    const std::string whole = written(*document);
    if (choice_.in_memory) {
      expect(converted.document && written(*converted.document) == whole, "document handed back otherwise", o.name);
      return;
    }
    const std::string suffix = std::string(choice_.tenhou6 ? ".json" : ".mjai.jsonl") + (choice_.gzip ? ".gz" : "");
    expect(o.output == folder_ + e.stem + suffix, "output named otherwise", o.output);
    expect(is_plain_relative(std::string_view(o.output).substr(folder_.size())), "output outside its folder",
           o.output);
    std::string bytes = read_file(o.output);
    if (choice_.gzip) {
      auto inflated = gzip::Inflater().inflate(bytes, 2 * archive::record_limit);
      expect(inflated.has_value(), "gzip output does not inflate", o.output);
      bytes = std::string(inflated->view());
    }
    expect(bytes == whole, "output not whole", o.output);
    outputs_.push_back(o.output);
  }

  // The files under the root: the input, and the converted outputs under
  // their folder. Under fail_fast, logs under way when the failure came
  // finish unreported: their outputs are there too.
  void check_files() {
    std::vector<std::string> files;
    for (const auto& [path, bytes] : snapshot(root_)) {
      if (bytes == "/") {
        const bool allowed = path == (root_ / "in").string() || path == (root_ / "a").string() ||
                             path == (root_ / "a" / "b").string() || path == outdir_ ||
                             path.starts_with(folder_) || path + "/" == folder_;
        expect(allowed, "folder made outside the output folder", path);
      } else if (path != input_) {
        files.push_back(path);
      }
    }
    std::sort(outputs_.begin(), outputs_.end());
    if (choice_.fail_fast) {
      for (const std::string& file : files) {
        const auto name = file.substr(file.find_last_of('/') + 1);
        expect(file.starts_with(folder_) && name.find(".pairo-tmp-") == std::string::npos,
               "a stray file after fail_fast", file);
      }
      expect(std::includes(files.begin(), files.end(), outputs_.begin(), outputs_.end()), "an output is missing");
    } else {
      expect(files == outputs_, "files other than the outputs", files.empty() ? "" : files.front());
    }
  }

  void check_again(const batch::Outcome& first, const batch::Outcome& second) {
    expect(first.name == second.name, "a second run named otherwise", second.name);
    if (std::holds_alternative<batch::Converted>(first.result)) {
      const auto* skipped = std::get_if<batch::Skipped>(&second.result);
      expect(skipped && skipped->reason == archive::SkipReason::Existing, "an output was not skipped as existing",
             second.name);
    } else if (const auto* skipped = std::get_if<batch::Skipped>(&first.result)) {
      const auto* again = std::get_if<batch::Skipped>(&second.result);
      expect(again && again->reason == skipped->reason && again->earlier == skipped->earlier,
             "a skip changed on a second run", second.name);
    } else {
      // An output path taken by a folder of another output fails the
      // first run and is "existing" to the second.
      const auto* existing = std::get_if<batch::Skipped>(&second.result);
      const bool folder =
          existing && existing->reason == archive::SkipReason::Existing && fs::is_directory(second.output);
      expect(std::holds_alternative<batch::Failure>(second.result) || folder, "a failure changed on a second run",
             second.name);
    }
  }

  RunChoice choice_;
  fs::path root_;
  std::string input_;
  std::string outdir_;
  std::string folder_;  // the container's outputs' folder, with a slash
  batch::Options options_;
  batch::Converter converter_;
  std::vector<std::string> outputs_;
};

// A database file keeps SQLite's header: without it the file is no
// container but a log named directly, which is another target's ground.
void write_input(const std::string& path, std::size_t kind, std::string_view bytes) {
  if (kind == 7) {
    fuzz_input::write_database_rows(path, bytes);
    return;
  }
  std::ofstream out(path, std::ios::binary);
  constexpr std::string_view header("SQLite format 3\0", 16);
  if (kind == 6 && !bytes.starts_with(header)) out.write(header.data(), header.size());
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t kind = data[0] % std::size(kinds);
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  try {
    Case run(kinds[kind], RunChoice(data[1]));
    write_input(run.input(), kind, bytes);
    run.check();
  } catch (const std::exception& e) {
    finding("C++ exception", e.what());
  }
  return 0;
}
