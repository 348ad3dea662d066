// What the benchmarks share: the logs of a corpus folder, read once, and the
// summary statistics they report.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

struct Log {
  std::string name;  // file name, without the folder
  std::string text;  // the file's bytes
};

// $PAIRO_CORPUS/real, or the shared corpus beside the repository.
inline fs::path default_folder() {
  const char* configured = std::getenv("PAIRO_CORPUS");
  return (configured && *configured ? fs::path(configured) : fs::path(PAIRO_DEFAULT_CORPUS)) / "real";
}

// Every *.json file of `folder`, in name order; exits when there is none.
inline std::vector<Log> read_logs(const fs::path& folder) {
  std::vector<Log> logs;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() != ".json") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    logs.push_back(Log{entry.path().filename().string(), std::move(text).str()});
  }
  if (logs.empty()) {
    std::fprintf(stderr, "no logs in %s\n", folder.c_str());
    std::exit(1);
  }
  std::sort(logs.begin(), logs.end(), [](const Log& a, const Log& b) { return a.name < b.name; });
  return logs;
}

inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

inline double sum(const std::vector<double>& values) {
  double total = 0;
  for (double v : values) total += v;
  return total;
}

}  // namespace bench
