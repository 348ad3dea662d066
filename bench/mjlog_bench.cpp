// XML game records against their tenhou.net/6 twins, record by record:
//   xml    read_record of the XML where it lies, then
//          prepare_log, convert_log and encode_events
//   json   the padded copy of the twin re-written compactly (17 twins are
//          pretty-printed, which would flatter the XML), decode_raw_log,
//          then the same stages
//   write  write_tenhou6 of the record, read beforehand
// A figure is the median time of the benchmark's iterations. The summary
// gives the median over records of xml / json.
//
// Usage: mjlog_bench [Google Benchmark flags]; the records are those of
// $PAIRO_CORPUS/xml/MANIFEST.tsv (default: the shared corpus).
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "mjai/mjai.hpp"
#include "mjlog/mjlog.hpp"
#include "pairo/conv/conv.hpp"

namespace {

using Clock = std::chrono::steady_clock;

struct Pair {
  std::string name;
  std::string xml;
  std::string twin;
  mjlog::Record record;
};

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "mjlog_bench: %s\n", what.c_str());
  std::exit(1);
}

std::string read_file(const bench::fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) fail("cannot read " + path.string());
  return std::move(text).str();
}

std::vector<Pair> read_pairs() {
  const bench::fs::path root = bench::default_folder().parent_path();
  std::ifstream manifest(root / "xml" / "MANIFEST.tsv");
  std::vector<Pair> pairs;
  std::string line;
  std::getline(manifest, line);  // the column names
  while (std::getline(manifest, line)) {
    std::vector<std::string> columns;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) columns.push_back(field);
    if (columns.size() < 5) continue;
    simdjson::dom::parser parser;
    simdjson::dom::element twin;
    if (parser.parse(read_file(root / columns[4])).get(twin) != simdjson::SUCCESS) fail("cannot parse " + columns[4]);
    Pair pair{columns[0], read_file(root / "xml" / columns[0]), simdjson::minify(twin), {}};
    auto record = mjlog::read_record(pair.xml);
    if (!record) fail(pair.name + ": " + record.error().message);
    pair.record = std::move(*record);
    pairs.push_back(std::move(pair));
  }
  if (pairs.empty()) fail("no records in " + (root / "xml").string());
  return pairs;
}

std::size_t events_of(tenhou::RawLog raw) {
  auto prepared = pairo::conv::prepare_log(std::move(raw));
  if (!prepared) fail("prepare_log refused a record");
  auto events = pairo::conv::convert_log(*prepared);
  if (!events) fail("convert_log refused a record");
  auto encoded = mjai::encode_events(*events);
  if (!encoded) fail("encode_events failed");
  return encoded->size();
}

template <class Timed>
void median_loop(benchmark::State& state, Timed timed) {
  std::vector<double> seconds;
  for (auto _ : state) {
    const auto start = Clock::now();
    auto result = timed();
    const auto stop = Clock::now();
    benchmark::DoNotOptimize(result);
    seconds.push_back(std::chrono::duration<double>(stop - start).count());
    state.SetIterationTime(seconds.back());
  }
  state.counters["median"] = bench::median(std::move(seconds));
}

void bench_xml(benchmark::State& state, const Pair& p) {
  median_loop(state, [&] {
    auto record = mjlog::read_record(p.xml);
    return events_of(std::move(record->log));
  });
}

void bench_json(benchmark::State& state, const Pair& p) {
  median_loop(state, [&] { return events_of(*tenhou::decode_raw_log(tenhou::PaddedText(p.twin))); });
}

void bench_write(benchmark::State& state, const Pair& p) {
  median_loop(state, [&] { return mjlog::write_tenhou6(p.record, "2019021004gm-00a9-0000-e2f6516d"); });
}

class Collector : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto median = run.counters.find("median");
      if (run.run_type == Run::RT_Iteration && median != run.counters.end()) {
        seconds_[run.run_name.function_name].push_back(median->second.value);
      }
    }
  }
  [[nodiscard]] double seconds(const std::string& name) const {
    const auto found = seconds_.find(name);
    return found == seconds_.end() ? 0 : bench::median(found->second);
  }

 private:
  std::map<std::string, std::vector<double>> seconds_;
};

void print_summary(const std::vector<Pair>& pairs, const Collector& collected) {
  std::vector<double> ratios, xml, json, write;
  std::printf("\n%-18s %7s %7s %9s %9s %7s %9s\n", "record", "XML KB", "JSON KB", "xml us", "json us", "ratio",
              "write us");
  for (const Pair& p : pairs) {
    xml.push_back(collected.seconds("xml/" + p.name));
    json.push_back(collected.seconds("json/" + p.name));
    write.push_back(collected.seconds("write/" + p.name));
    ratios.push_back(xml.back() / json.back());
    std::printf("%-18s %7.1f %7.1f %9.1f %9.1f %7.2f %9.1f\n", p.name.c_str(), p.xml.size() / 1e3,
                p.twin.size() / 1e3, xml.back() * 1e6, json.back() * 1e6, ratios.back(), write.back() * 1e6);
  }
  std::printf("\n%zu records; medians: xml %.1f us, json %.1f us, write %.1f us\n", pairs.size(),
              bench::median(xml) * 1e6, bench::median(json) * 1e6, bench::median(write) * 1e6);
  std::printf("xml / json, median over records: %.3f (total over total %.3f)\n",
              bench::median(ratios), bench::sum(xml) / bench::sum(json));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::vector<Pair> pairs = read_pairs();
  for (const Pair& p : pairs) {
    benchmark::RegisterBenchmark(("xml/" + p.name).c_str(), bench_xml, std::cref(p))->UseManualTime();
    benchmark::RegisterBenchmark(("json/" + p.name).c_str(), bench_json, std::cref(p))->UseManualTime();
    benchmark::RegisterBenchmark(("write/" + p.name).c_str(), bench_write, std::cref(p))->UseManualTime();
  }
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  print_summary(pairs, collector);
  benchmark::Shutdown();
  return 0;
}
