// The logs of the inputs as the command receives them, each with its
// output file: folders walked to any depth, logs in a deterministic order.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <unordered_map>

#include "batch/batch.hpp"
#include "batch/io.hpp"

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
    const bool is_folder = ::fstatat(fd, entry->d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
    const std::string relative = inside.empty() ? std::string(name) : inside + "/" + std::string(name);
    if (!is_folder) {
      if (is_log_name(name, target)) found.push_back({relative, std::nullopt});
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

std::string stem_of(std::string_view name) {
  const std::string_view suffix = log_suffix(name);
  if (name.size() > suffix.size()) name.remove_suffix(suffix.size());
  return std::string(name);
}

// A later log bound for an earlier one's output fails in its turn.
void refuse_shared_outputs(std::vector<Job>& jobs) {
  std::unordered_map<std::string, std::size_t> owners;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (jobs[i].failure) continue;
    const auto [owner, first] = owners.try_emplace(jobs[i].output, i);
    if (first) continue;
    jobs[i].failure = message_failure(ErrorClass::FileExistsError,
                                      jobs[i].output + " is also the output of " + jobs[owner->second].name);
  }
}

}  // namespace

std::string output_name(std::string_view input_name, Target target, bool gzip) {
  std::string name = stem_of(input_name);
  name += target == Target::Mjai ? ".mjai.jsonl" : ".json";
  if (gzip) name += ".gz";
  return name;
}

std::vector<Job> plan(const std::vector<std::string>& inputs, const std::string& outdir, const Options& options) {
  std::vector<Job> jobs;
  const auto output_of = [&](std::string_view relative) {
    const std::string_view name = io::base_name(relative);
    const std::string folder(relative.substr(0, relative.size() - name.size()));
    return joined(outdir, folder + output_name(name, options.target, options.gzip));
  };
  for (const std::string& input : inputs) {
    if (input == standard_input) {
      jobs.push_back({input, {}, output_of("stdin"), std::nullopt, nullptr});
      continue;
    }
    if (!io::is_folder(input)) {
      jobs.push_back({input, input, output_of(io::base_name(normalized(input))), std::nullopt, nullptr});
      continue;
    }
    std::vector<Found> found;
    walk(input, "", options.target, found);
    std::ranges::sort(found, by_components, &Found::relative);
    for (Found& log : found) {
      const std::string path = joined(input, log.relative);
      if (log.failure) {
        jobs.push_back({path, path, {}, std::move(log.failure), nullptr});
      } else {
        jobs.push_back({path, path, output_of(log.relative), std::nullopt, nullptr});
      }
    }
  }
  refuse_shared_outputs(jobs);
  return jobs;
}

}  // namespace batch
