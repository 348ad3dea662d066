// The container feeder's own cost: entries per second read from a
// database or a bundle (SQLite reads, tar's one decompression stream), and
// with each record's text made as a worker would (blob or member
// decompression, the duplicate digest), on one thread. Medians of passes
// alternating between the containers given; wall clock and the thread's own
// CPU time, which other work on a loaded machine moves far less.
//   archive_read_bench CONTAINER... (bench/make_archives.py builds them)
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/container.hpp"
#include "formats/bytes.hpp"
#include "formats/containers.hpp"

namespace {

double thread_cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Pass {
  double seconds = 0;
  double cpu_seconds = 0;
  std::size_t entries = 0;
  std::size_t bytes = 0;  // the records' texts
};

Pass read_once(const std::string& path, bool with_text) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = thread_cpu_seconds();
  auto container = formats::Container::open(path);
  if (!container) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), container.error().message.c_str());
    std::exit(1);
  }
  formats::Decoders decoders;
  Pass pass;
  while (auto entry = container->next()) {
    ++pass.entries;
    auto* record = std::get_if<archive::StoredRecord>(&*entry);
    if (!record || !with_text) continue;
    auto text = formats::record_text(record->stored, decoders);
    if (!text) continue;
    pass.bytes += text->size();
    (void)record->settle_duplicate(text->view());
  }
  pass.cpu_seconds = thread_cpu_seconds() - cpu_start;
  pass.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return pass;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr int passes = 3;
  const std::vector<std::string> paths(argv + 1, argv + argc);
  for (bool with_text : {false, true}) {
    std::vector<std::vector<Pass>> runs(paths.size());
    for (int p = 0; p < passes; ++p) {
      for (std::size_t i = 0; i < paths.size(); ++i) runs[i].push_back(read_once(paths[i], with_text));
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
      auto& r = runs[i];
      std::sort(r.begin(), r.end(), [](const Pass& a, const Pass& b) { return a.seconds < b.seconds; });
      const Pass& median = r[r.size() / 2];
      std::vector<double> cpu;
      for (const Pass& pass : r) cpu.push_back(pass.cpu_seconds);
      std::sort(cpu.begin(), cpu.end());
      const double cpu_median = cpu[cpu.size() / 2];
      std::printf("%-40s %-14s %8zu entries %7.2f s %9.0f entries/s %8.1f MB/s of text; CPU %7.2f s, %6.1f us/entry\n",
                  paths[i].c_str(), with_text ? "feed+text" : "feed only", median.entries, median.seconds,
                  median.entries / median.seconds, median.bytes / median.seconds / 1e6, cpu_median,
                  cpu_median / static_cast<double>(median.entries) * 1e6);
    }
  }
}
