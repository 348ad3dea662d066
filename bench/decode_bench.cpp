// Decoding throughput: MB/s of log text, from the text in a std::string to
// the RawLog, the copy into the padded buffer included. Each log of the
// corpus folder is decoded repeatedly; its figure is the median of its
// rounds, and the figure reported is the median over the logs.
//
// Usage: decode_bench [folder]   (default: $PAIRO_CORPUS/real)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tenhou/tenhou.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path default_folder() {
  const char* configured = std::getenv("PAIRO_CORPUS");
  return (configured && *configured ? fs::path(configured) : fs::path(PAIRO_DEFAULT_CORPUS)) / "real";
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// One decode of `text`, in seconds; aborts the run if the log does not decode.
double time_one(const std::string& text, const fs::path& path) {
  const auto start = Clock::now();
  const auto decoded = tenhou::decode_raw_log(tenhou::PaddedText(text));
  const auto stop = Clock::now();
  if (!decoded) {
    std::fprintf(stderr, "%s does not decode: %s\n", path.c_str(), decoded.error().message.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(stop - start).count();
}

// Rounds enough to spend about 20 ms per log, at least 21.
double throughput_mb_s(const std::string& text, const fs::path& path) {
  for (int warm = 0; warm < 5; ++warm) time_one(text, path);
  const double once = std::max(time_one(text, path), 1e-7);
  const int rounds = std::max(21, static_cast<int>(0.02 / once));
  std::vector<double> seconds;
  seconds.reserve(rounds);
  for (int round = 0; round < rounds; ++round) seconds.push_back(time_one(text, path));
  return static_cast<double>(text.size()) / 1e6 / median(seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : default_folder();
  std::vector<fs::path> paths;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".json") paths.push_back(entry.path());
  }
  if (paths.empty()) {
    std::fprintf(stderr, "no logs in %s\n", folder.c_str());
    return 1;
  }
  std::sort(paths.begin(), paths.end());

  std::vector<double> figures;
  std::size_t bytes = 0;
  for (const auto& path : paths) {
    const std::string text = read_file(path);
    bytes += text.size();
    figures.push_back(throughput_mb_s(text, path));
  }
  std::printf("decode_raw_log: %zu logs, %zu bytes in %s\n", paths.size(), bytes, folder.c_str());
  std::printf("throughput, median over logs: %.1f MB/s (slowest %.1f, fastest %.1f)\n", median(figures),
              *std::min_element(figures.begin(), figures.end()), *std::max_element(figures.begin(), figures.end()));
  return 0;
}
