// The gzip level of mjai outputs: for each libdeflate level, the total size
// of the corpus logs' outputs against level 6's, and the compression time
// per log beside the conversion time. The default level is the lowest whose
// total stays within a tenth of level 6's.
//
// Usage: gzip_level_bench [folder...]   (default: $PAIRO_CORPUS/real and sim)
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "batch/batch.hpp"
#include "bench_support.hpp"
#include "gzip/gzip.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int rounds = 7;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string output_lines(const batch::Document& document) {
  const auto& events = std::get<mjai::EncodedEvents>(document);
  std::string lines;
  for (std::size_t i = 0; i < events.size(); ++i) {
    lines += events.at(i);
    lines += '\n';
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<bench::fs::path> folders;
  for (int i = 1; i < argc; ++i) folders.emplace_back(argv[i]);
  if (folders.empty()) folders = {bench::default_folder(), bench::default_folder().parent_path() / "sim"};

  const batch::Converter convert = batch::converter_for(batch::Target::Mjai);
  std::vector<std::string> outputs;
  std::vector<double> convert_times;
  for (const auto& folder : folders) {
    for (const bench::Log& log : bench::read_logs(folder)) {
      std::vector<double> times;
      std::optional<std::string> lines;
      for (int r = 0; r < rounds; ++r) {
        pairo::PaddedText text(log.text);  // the conversion releases it
        const auto start = Clock::now();
        auto document = convert(text, batch::Format::Json, "");
        if (document) lines = output_lines(*document);
        times.push_back(seconds_since(start));
      }
      if (!lines) continue;  // logs that do not convert have no output
      outputs.push_back(std::move(*lines));
      convert_times.push_back(bench::median(times));
    }
  }
  double plain = 0;
  for (const auto& out : outputs) plain += static_cast<double>(out.size());
  std::printf("%zu outputs, %.0f bytes in all; conversion %.0f us per log (median)\n", outputs.size(), plain,
              bench::median(convert_times) * 1e6);

  std::vector<double> totals(13);
  std::vector<double> times(13);
  for (int level = 1; level <= 12; ++level) {
    gzip::Deflater deflater(level);
    std::vector<double> per_log;
    for (const auto& out : outputs) {
      std::vector<double> samples;
      std::size_t size = 0;
      for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        size = deflater.deflate(out).size();
        samples.push_back(seconds_since(start));
      }
      totals[level] += static_cast<double>(size);
      per_log.push_back(bench::median(samples));
    }
    times[level] = bench::median(per_log);
  }
  std::printf("level  bytes       vs level 6  ratio  us per log (median)\n");
  for (int level = 1; level <= 12; ++level) {
    std::printf("%5d  %10.0f  %9.3f  %5.2f%%  %8.0f\n", level, totals[level], totals[level] / totals[6],
                100 * totals[level] / plain, times[level] * 1e6);
  }
  for (int level = 1; level <= 12; ++level) {
    if (totals[level] <= 1.1 * totals[6]) {
      std::printf("lowest level within 10%% of level 6: %d (default_level is %d)\n", level, gzip::default_level);
      return level == gzip::default_level ? 0 : 1;
    }
  }
  return 1;
}
