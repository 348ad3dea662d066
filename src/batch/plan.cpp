// The logs of the inputs as the command receives them, each with its
// output file: folders walked to any depth, logs in a deterministic order,
// containers' entries as they are read; and the outputs they claim.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "batch/batch.hpp"
#include "batch/io.hpp"
#include "batch/steps.hpp"

namespace batch {
namespace {

// The path with repeated separators, "." components and a trailing
// separator gone, as a path object of the command prints it.
std::string normalized(std::string_view path) {
  std::string out = path.starts_with('/') ? "/" : "";
  std::size_t begin = 0;
  while (begin <= path.size()) {
    const auto end = std::min(path.find('/', begin), path.size());
    const std::string_view part = path.substr(begin, end - begin);
    if (!part.empty() && part != ".") {
      if (!out.empty() && out.back() != '/') out += '/';
      out += part;
    }
    begin = end + 1;
  }
  return out.empty() ? "." : out;
}

std::string joined(std::string_view folder, std::string_view inside) {
  if (inside.empty()) return normalized(folder);
  return normalized(std::string(folder) + "/" + std::string(inside));
}

// Paths inside a folder ordered component by component: the separator
// sorts before every other byte, so "a/b" comes before "a-b".
bool by_components(std::string_view a, std::string_view b) noexcept {
  const auto key = [](char c) { return c == '/' ? 0 : static_cast<unsigned char>(c) + 1; };
  return std::ranges::lexicographical_compare(a, b, {}, key, key);
}

struct Found {
  std::string relative;  // inside the walked folder
  std::optional<Failure> failure;
};

// The logs under `folder` (its path inside the walked one is `inside`);
// symbolic links to folders are listed, not followed, so no walk loops.
void walk(const std::string& root, const std::string& inside, Target target, std::vector<Found>& found) {
  const std::string folder = joined(root, inside);
  DIR* listing = ::opendir(folder.c_str());
  if (!listing) {
    found.push_back({inside, system_failure(errno, folder)});
    return;
  }
  std::vector<std::string> subfolders;
  const int fd = ::dirfd(listing);
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat status{};
    const bool known = ::fstatat(fd, entry->d_name, &status, 0) == 0;
    const bool is_folder = known && S_ISDIR(status.st_mode);
    const std::string relative = inside.empty() ? std::string(name) : inside + "/" + std::string(name);
    if (!is_folder) {
      // Regular files only: a FIFO or a device met in a folder is no log
      // somebody saved. A link that leads nowhere is kept, to fail as a
      // file that does not open.
      if ((!known || S_ISREG(status.st_mode)) && formats::log_stem(name, target)) {
        found.push_back({relative, std::nullopt});
      }
      continue;
    }
    struct stat link{};
    if (::fstatat(fd, entry->d_name, &link, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISLNK(link.st_mode)) {
      subfolders.push_back(relative);
    }
  }
  ::closedir(listing);
  for (const std::string& sub : subfolders) walk(root, sub, target, found);
}

std::string_view target_suffix(Target target) noexcept { return target == Target::Mjai ? ".mjai.jsonl" : ".json"; }

// The game id a log's name gives: its last component without its suffix.
std::string name_game_id(std::string_view stem) {
  const std::string_view name = io::base_name(stem);
  return archive::parse_game_id(name) ? std::string(name) : std::string();
}

// The filters' verdict on a game id alone, for a container to skip the row unread.
archive::IdFilter id_filter(const Filters& filters) {
  return [filters](const archive::GameId& id) -> std::optional<std::string_view> {
    const Verdict verdict = judge(filters, formats::facts_of(id));
    if (verdict.kind == Verdict::Kind::Leave) return verdict.filter;
    return std::nullopt;
  };
}
// A validation writes nothing: its jobs have no output to claim.
bool writes(Target target) noexcept { return target != Target::Validate; }

Failure shared_output(const Job& job, std::string_view owner) {
  return pairo::coded_failure(pairo::FailureCode::SharedOutput, job.output + " is also the output of " + std::string(owner));
}


Job file_job(std::string name, std::string input, std::string output) {
  Job job;
  job.name = std::move(name);
  job.input = std::move(input);
  job.output = std::move(output);
  return job;
}

Job failed_job(const std::string& path, Failure failure) {
  Job job;
  job.name = path;
  job.input = path;
  job.failure = std::move(failure);
  return job;
}

class Jobs final : public JobSource {
 public:
  explicit Jobs(std::vector<Job> jobs) : jobs_(std::move(jobs)) {}
  std::optional<Job> next() override {
    if (at_ == jobs_.size()) return std::nullopt;
    return std::move(jobs_[at_++]);
  }
  std::optional<std::size_t> size_hint() const noexcept override { return jobs_.size(); }

 private:
  std::vector<Job> jobs_;
  std::size_t at_ = 0;
};

// The inputs in turn: each its jobs planned up front (a file, standard
// input, a folder's logs, a container that cannot be opened), or its
// container, whose entries become jobs one at a time.
class Planner final : public JobSource {
 public:
  Planner(const std::vector<std::string>& inputs, std::string outdir, const Options& options,
          std::shared_ptr<const std::string> stdin_data, CancelFlag cancel)
      : outdir_(std::move(outdir)), options_(options), cancel_(flag_or_new(std::move(cancel))), total_(0) {
    for (const std::string& input : inputs) add(input, stdin_data);
  }

  Planner(formats::Container container, const std::string& path, std::string outdir, const Options& options,
          CancelFlag cancel)
      : outdir_(std::move(outdir)), options_(options), cancel_(flag_or_new(std::move(cancel))),
        total_(container.size_hint()) {
    Input planned;
    planned.path = path;
    planned.folder = joined(outdir_, container.output_folder());
    if (options_.filters.any()) container.leave_out(id_filter(options_.filters));
    planned.container.emplace(std::move(container));
    inputs_.push_back(std::move(planned));
  }

  std::optional<Job> next() override {
    while (at_ < inputs_.size()) {
      Input& input = inputs_[at_];
      if (job_at_ < input.jobs.size()) return std::move(input.jobs[job_at_++]);
      if (input.container) {
        if (auto job = next_of(input)) return job;
      }
      inputs_[at_] = Input{};  // what the input held goes as soon as it is done
      ++at_;
      job_at_ = 0;
    }
    return std::nullopt;
  }

  std::optional<std::size_t> size_hint() const noexcept override { return total_; }

  void cancel() noexcept override { cancel_->store(true, std::memory_order_relaxed); }

 private:
  struct Input {
    std::vector<Job> jobs;
    std::optional<formats::Container> container;
    std::string path;    // the container's, as given
    std::string folder;  // its outputs' folder
  };

  std::string output_of(std::string_view relative) const {
    if (!writes(options_.target)) return {};
    const std::string_view name = io::base_name(relative);
    const std::string folder(relative.substr(0, relative.size() - name.size()));
    return joined(outdir_, folder + std::string(formats::output_stem(name)) + output_suffix(options_));
  }

  // A log file's job: its game id from its name, its output where the
  // layout puts it.
  Job log_job(std::string name, std::string input, std::string_view relative) const {
    Job job = file_job(std::move(name), std::move(input), {});
    job.game_id = name_game_id(formats::output_stem(io::base_name(relative)));
    if (!writes(options_.target)) return job;
    if (options_.layout == Layout::Mirror) {
      job.output = output_of(relative);
    } else if (!job.game_id.empty()) {
      job.output = dated_output(outdir_, job.game_id, options_);
    } else {
      job.output = normalized(outdir_);
      job.named_by_content = true;
    }
    return job;
  }

  void count(std::optional<std::size_t> jobs) noexcept {
    if (total_ && jobs) {
      *total_ += *jobs;
    } else {
      total_.reset();
    }
  }

  // An input that cannot even be planned (memory ran out walking it) is
  // one failed log named by it.
  void add(const std::string& input, const std::shared_ptr<const std::string>& stdin_data) {
    try {
      plan_input(input, stdin_data);
    } catch (...) {
      Input failed;
      failed.jobs.push_back(failed_job(input, steps::escaped_failure()));
      count(1);
      inputs_.push_back(std::move(failed));
    }
  }

  // The container's next entry as a job. Whatever its reading throws ends
  // the container, as its own failure: where in its stream it stood is lost.
  std::optional<Job> next_of(Input& input) {
    try {
      if (auto entry = input.container->next()) return job_of(input, std::move(*entry));
      return std::nullopt;
    } catch (...) {
      input.container.reset();
      return failed_job(input.path, steps::escaped_failure());
    }
  }

  void plan_input(const std::string& input, const std::shared_ptr<const std::string>& stdin_data) {
    Input planned;
    if (input == standard_input) {
      Job job = log_job(input, {}, "stdin");
      job.data = stdin_data ? stdin_data : std::make_shared<const std::string>();
      job.named = true;
      planned.jobs.push_back(std::move(job));
    } else if (io::is_folder(input)) {
      std::vector<Found> found;
      walk(input, "", options_.target, found);
      std::ranges::sort(found, by_components, &Found::relative);
      for (Found& log : found) {
        const std::string path = joined(input, log.relative);
        if (log.failure) {
          planned.jobs.push_back(failed_job(path, std::move(*log.failure)));
        } else {
          planned.jobs.push_back(log_job(path, path, log.relative));
        }
      }
    } else if (formats::is_container(input)) {
      auto opened = formats::Container::open(input, options_.target, cancel_.get());
      if (!opened) {
        planned.jobs.push_back(failed_job(input, archive::failure_of(opened.error())));
      } else {
        if (options_.filters.any()) opened->leave_out(id_filter(options_.filters));
        count(opened->size_hint());
        planned.path = input;
        planned.folder = joined(outdir_, opened->output_folder());
        planned.container.emplace(std::move(*opened));
      }
    } else {
      Job job = log_job(input, input, io::base_name(normalized(input)));
      job.named = true;
      planned.jobs.push_back(std::move(job));
    }
    count(planned.jobs.size());
    inputs_.push_back(std::move(planned));
  }

  // A container's entry as the job that reports it, named by the container
  // and its name inside it ("2024.db/2009022023gm-00e1-0000-c603794d").
  Job job_of(const Input& input, archive::Entry entry) const {
    Job job;
    if (auto* record = std::get_if<archive::StoredRecord>(&entry)) {
      job.name = input.path + "/" + record->name;
      job.game_id = name_game_id(record->stem);
      if (!writes(options_.target)) {
        // A validation's job has no output.
      } else if (options_.layout == Layout::Mirror) {
        job.output = input.folder + "/" + record->stem + output_suffix(options_);
      } else if (!job.game_id.empty()) {
        job.output = dated_output(outdir_, job.game_id, options_);
      } else {
        job.output = normalized(outdir_);
        job.named_by_content = true;
      }
      job.record.emplace(std::move(*record));
    } else if (auto* skip = std::get_if<archive::Skip>(&entry)) {
      job.name = input.path + "/" + skip->name;
      job.skip = skip->reason;
      job.filter = skip->filter;
    } else {
      auto& failure = std::get<archive::EntryFailure>(entry);
      // The container's own failure carries its path as its name.
      job.name = failure.name == input.path ? input.path : input.path + "/" + failure.name;
      job.failure = archive::failure_of(failure.error);
    }
    return job;
  }

  static CancelFlag flag_or_new(CancelFlag given) {
    return given ? std::move(given) : std::make_shared<std::atomic<bool>>(false);
  }

  std::string outdir_;
  Options options_;
  CancelFlag cancel_;
  std::optional<std::size_t> total_;
  std::vector<Input> inputs_;
  std::size_t at_ = 0;
  std::size_t job_at_ = 0;
};

}  // namespace

namespace steps {

std::optional<Failure> Claims::claim(const Job& job) {
  if (job.failure || job.skip || job.output.empty() || job.named_by_content) return std::nullopt;
  if (const auto owner = files_.find(job.output); owner != files_.end()) return shared_output(job, owner->second);
  const std::uint64_t digest = archive::digest(job.output);
  if (job.record) {
    if (!records_.insert(digest).second) return shared_output(job, "an earlier record");
    return std::nullopt;
  }
  if (records_.contains(digest)) return shared_output(job, "an earlier record");
  files_.emplace(job.output, job.name);
  return std::nullopt;
}

}  // namespace steps

std::string output_name(std::string_view input_name, Target target, bool gzip) {
  std::string name(formats::output_stem(input_name));
  name += target_suffix(target);
  if (gzip) name += ".gz";
  return name;
}

std::string output_suffix(const Options& options) {
  std::string suffix = options.suffix.empty() ? std::string(target_suffix(options.target)) : options.suffix;
  if (options.gzip) suffix += ".gz";
  return suffix;
}

std::string dated_output(const std::string& outdir, std::string_view game_id, const Options& options) {
  std::string day = std::string(game_id.substr(0, 4)) + "/" + std::string(game_id.substr(4, 2)) + "/" +
                    std::string(game_id.substr(6, 2)) + "/";
  return joined(outdir, day + std::string(game_id) + output_suffix(options));
}

std::unique_ptr<JobSource> plan_stream(const std::vector<std::string>& inputs, const std::string& outdir,
                                       const Options& options, std::shared_ptr<const std::string> stdin_data,
                                       CancelFlag cancel) {
  return std::make_unique<Planner>(inputs, outdir, options, std::move(stdin_data), std::move(cancel));
}

std::unique_ptr<JobSource> source_of(std::vector<Job> jobs) { return std::make_unique<Jobs>(std::move(jobs)); }

std::unique_ptr<JobSource> source_of(formats::Container container, const std::string& path, const std::string& outdir,
                                     const Options& options, CancelFlag cancel) {
  return std::make_unique<Planner>(std::move(container), path, outdir, options, std::move(cancel));
}

std::vector<Job> plan(const std::vector<std::string>& inputs, const std::string& outdir, const Options& options,
                      CancelFlag cancel) {
  std::vector<Job> jobs;
  steps::Claims claims;
  const auto source = plan_stream(inputs, outdir, options, nullptr, std::move(cancel));
  while (auto job = source->next()) {
    if (auto refused = claims.claim(*job)) job->failure = std::move(refused);
    jobs.push_back(std::move(*job));
  }
  return jobs;
}

}  // namespace batch
