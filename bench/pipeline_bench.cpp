// The time of one tenhou_to_mjai call, stage by stage, against its floor and
// against json.loads, log by log over a corpus folder, inside one embedded
// interpreter so that every figure comes from the same process and run.
//
// Per log, each measured in turn (log after log, so that drift hits every
// stage alike):
//   parse    the padded copy of the text and a fresh simdjson parser's parse
//   decode   the padded copy and decode_raw_log
//   convert  prepare_log and convert_log (the decoded log made untimed)
//   encode   encode_events over the ready events
//   list     build_result_list over the ready texts, and the list's release
//            (common texts are the strs made once, as in the module)
//   strings  the cheapest correct list of the same texts, built here: one
//            PyUnicode_New and memcpy per ASCII text, UTF-8 decoding for the
//            others, the ASCII test done untimed; and its release
//   call     tenhou_to_mjai(text) through the module, the result released;
//            the str is the same each time, so it is warm in the caches
//   call-new the same with a new str each time (made untimed), as when each
//            log is read into a str of its own
//   json     json.loads(text), the result released
// The floor of a call is parse + strings. A figure is the median time of the
// benchmark's iterations (of the repetitions' medians with
// --benchmark_repetitions).
//
// Usage: pipeline_bench [folder] [Google Benchmark flags]
//   folder: default $PAIRO_CORPUS/real. A short --benchmark_min_time (the
//   script passes 0.05) keeps the run to a minute or two.
#include <Python.h>
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_python.hpp"
#include "bench/bench_support.hpp"
#include "pyapi/pyapi.hpp"
#include "pairo/conv/conv.hpp"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::array<const char*, 9> stage_names = {"parse", "decode", "convert", "encode", "list",
                                                    "strings", "call", "call-new", "json"};

// One log with everything each stage starts from, made once.
struct Prepared {
  bench::Log log;
  tenhou::PaddedText padded;
  mjai::Events events;
  mjai::EncodedEvents encoded;
  std::vector<bool> ascii;  // per text
  PyObject* str = nullptr;  // the text as a Python str (owned for the run)
  std::size_t output_bytes = 0;
};

struct Python {
  PyObject* tenhou_to_mjai = nullptr;
  PyObject* json_loads = nullptr;
};

[[noreturn]] void fail(const std::string& what) {
  if (PyErr_Occurred()) PyErr_Print();
  std::fprintf(stderr, "pipeline_bench: %s\n", what.c_str());
  std::exit(1);
}

Python start_python() {
  PyObject* pairo = bench::start_python_with_pairo("pipeline_bench");
  // This program's own copy of the list builder needs its common strs, as
  // the module made its own when imported.
  if (!pairo::pyapi::make_common_strs()) fail("cannot make the common strs");
  PyObject* json = PyImport_ImportModule("json");
  if (!json) fail("cannot import json");
  return Python{PyObject_GetAttrString(pairo, "tenhou_to_mjai"), PyObject_GetAttrString(json, "loads")};
}

bool is_ascii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

Prepared prepare(bench::Log log) {
  Prepared p;
  p.padded = tenhou::PaddedText(std::string_view(log.text));
  auto raw = tenhou::decode_raw_log(p.padded);
  if (!raw) fail(log.name + " does not decode: " + raw.error().message);
  auto prepared = pairo::conv::prepare_log(std::move(*raw));
  if (!prepared) fail(log.name + " is refused by prepare_log");
  auto events = pairo::conv::convert_log(*prepared);
  if (!events) fail(log.name + " does not convert");
  auto encoded = mjai::encode_events(*events);
  if (!encoded) fail(log.name + " does not encode");
  p.events = std::move(*events);
  p.encoded = std::move(*encoded);
  for (std::size_t i = 0; i < p.encoded.size(); ++i) {
    p.output_bytes += p.encoded.at(i).size();
    p.ascii.push_back(is_ascii(p.encoded.at(i)));
  }
  p.str = PyUnicode_DecodeUTF8(log.text.data(), std::ssize(log.text), "strict");
  if (!p.str) fail(log.name + " is not UTF-8");
  p.log = std::move(log);
  return p;
}

// ---- The stages.

// Times `timed(made)` for each `made = make()`, outside of which nothing
// counts. Besides the mean that Google Benchmark keeps, the median of the
// iterations is reported as the counter "median": the figure used, since the
// mean takes in every time the process was preempted on a busy machine.
template <class Make, class Timed>
void manual_loop(benchmark::State& state, Make make, Timed timed) {
  std::vector<double> seconds;
  for (auto _ : state) {
    auto made = make();
    const auto start = Clock::now();
    auto result = timed(made);
    const auto stop = Clock::now();
    benchmark::DoNotOptimize(result);
    seconds.push_back(std::chrono::duration<double>(stop - start).count());
    state.SetIterationTime(seconds.back());
  }
  state.counters["median"] = bench::median(std::move(seconds));
}

void bench_parse(benchmark::State& state, const Prepared& p) {
  manual_loop(state, [] { return 0; }, [&](int) {
    const tenhou::PaddedText text(std::string_view(p.log.text));
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    const auto error = parser.parse(text.data(), text.size(), false).get(root);
    return error == simdjson::SUCCESS;
  });
}

void bench_decode(benchmark::State& state, const Prepared& p) {
  manual_loop(state, [] { return 0; }, [&](int) {
    return tenhou::decode_raw_log(tenhou::PaddedText(std::string_view(p.log.text)));
  });
}

void bench_convert(benchmark::State& state, const Prepared& p) {
  manual_loop(state, [&] { return *tenhou::decode_raw_log(p.padded); }, [&](tenhou::RawLog& raw) {
    auto prepared = pairo::conv::prepare_log(std::move(raw));
    return pairo::conv::convert_log(*prepared);
  });
}

void bench_encode(benchmark::State& state, const Prepared& p) {
  manual_loop(state, [] { return 0; }, [&](int) { return mjai::encode_events(p.events); });
}

void bench_list(benchmark::State& state, const Prepared& p) {
  manual_loop(state, [] { return 0; }, [&](int) {
    PyObject* list = pairo::pyapi::build_result_list(p.encoded);
    if (!list) fail("build_result_list failed");
    Py_DECREF(list);
    return 0;
  });
}

PyObject* floor_list(const Prepared& p) {
  PyObject* list = PyList_New(std::ssize(p.encoded.ends));
  for (std::size_t i = 0; i < p.encoded.size(); ++i) {
    const std::string_view text = p.encoded.at(i);
    PyObject* str;
    if (p.ascii[i]) {
      str = PyUnicode_New(std::ssize(text), 127);
      std::memcpy(PyUnicode_1BYTE_DATA(str), text.data(), text.size());
    } else {
      str = PyUnicode_DecodeUTF8(text.data(), std::ssize(text), "strict");
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), str);
  }
  return list;
}

void bench_strings(benchmark::State& state, const Prepared& p) {
  manual_loop(state, [] { return 0; }, [&](int) {
    PyObject* list = floor_list(p);
    Py_DECREF(list);
    return 0;
  });
}

PyObject* call_one(PyObject* function, PyObject* argument) {
  PyObject* result = PyObject_Vectorcall(function, &argument, 1, nullptr);
  if (!result) fail("call failed");
  return result;
}

void bench_call(benchmark::State& state, const Prepared& p, PyObject* function) {
  manual_loop(state, [] { return 0; }, [&](int) {
    Py_DECREF(call_one(function, p.str));
    return 0;
  });
}

void bench_call_new(benchmark::State& state, const Prepared& p, PyObject* function) {
  manual_loop(
      state,
      [&] { return PyUnicode_DecodeUTF8(p.log.text.data(), std::ssize(p.log.text), "strict"); },
      [&](PyObject* str) {
        Py_DECREF(call_one(function, str));
        Py_DECREF(str);
        return 0;
      });
}

// ---- Collecting the figures: seconds per iteration by stage and log.

class Collector : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      const auto median = run.counters.find("median");
      samples_[run.run_name.function_name].push_back(
          median != run.counters.end() ? median->second.value
                                       : run.real_accumulated_time / static_cast<double>(run.iterations));
    }
  }
  // The median over repetitions.
  [[nodiscard]] double seconds(const std::string& stage, const std::string& log) const {
    const auto found = samples_.find(stage + "/" + log);
    return found == samples_.end() ? 0 : bench::median(found->second);
  }

 private:
  std::map<std::string, std::vector<double>> samples_;
};

void print_summary(const std::vector<Prepared>& logs, const Collector& collected) {
  std::map<std::string, std::vector<double>> by_stage;
  for (const char* stage : stage_names) {
    for (const Prepared& p : logs) by_stage[stage].push_back(collected.seconds(stage, p.log.name));
  }
  std::vector<double> floor, input_mb, output_mb, events, call_vs_floor, call_vs_json, new_vs_json;
  std::printf("\n%-28s %7s %6s %9s %9s %9s %7s %7s %7s\n", "log", "KB", "events", "call us", "floor us",
              "json us", "/floor", "/json", "new/json");
  for (std::size_t i = 0; i < logs.size(); ++i) {
    const Prepared& p = logs[i];
    const double call = by_stage["call"][i];
    const double fl = by_stage["parse"][i] + by_stage["strings"][i];
    const double json = by_stage["json"][i];
    floor.push_back(fl);
    input_mb.push_back(static_cast<double>(p.log.text.size()) / 1e6);
    output_mb.push_back(static_cast<double>(p.output_bytes) / 1e6);
    events.push_back(static_cast<double>(p.events.size()));
    call_vs_floor.push_back(call / fl);
    call_vs_json.push_back(call / json);
    new_vs_json.push_back(by_stage["call-new"][i] / json);
    std::printf("%-28s %7.1f %6zu %9.1f %9.1f %9.1f %7.2f %7.2f %7.2f\n", p.log.name.c_str(),
                static_cast<double>(p.log.text.size()) / 1e3, p.events.size(), call * 1e6, fl * 1e6, json * 1e6,
                call / fl, call / json, by_stage["call-new"][i] / json);
  }

  std::printf("\n%zu logs, %.0f KB in, %.0f KB out, %.0f events\n", logs.size(), bench::sum(input_mb) * 1e3,
              bench::sum(output_mb) * 1e3, bench::sum(events));
  std::printf("\n%-10s %12s %12s   %s\n", "stage", "median us", "total ms", "");
  for (const char* stage : stage_names) {
    const auto& t = by_stage[stage];
    std::printf("%-10s %12.2f %12.3f\n", stage, bench::median(t) * 1e6, bench::sum(t) * 1e3);
  }
  std::printf("%-10s %12.2f %12.3f   (parse + strings)\n", "floor", bench::median(floor) * 1e6,
              bench::sum(floor) * 1e3);
  std::vector<double> stage_sum;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    stage_sum.push_back(by_stage["decode"][i] + by_stage["convert"][i] + by_stage["encode"][i] +
                        by_stage["list"][i]);
  }
  std::printf("%-10s %12.2f %12.3f   (decode + convert + encode + list; the call's rest is releasing "
              "and argument handling)\n",
              "stages", bench::median(stage_sum) * 1e6, bench::sum(stage_sum) * 1e3);

  const auto& call = by_stage["call"];
  const auto& json = by_stage["json"];
  std::printf("\nratios, median over logs (total over total):\n");
  std::printf("  call / floor          %.3f (%.3f)   target <= 1.3\n", bench::median(call_vs_floor),
              bench::sum(call) / bench::sum(floor));
  std::printf("  call / json.loads     %.3f (%.3f)   target <= 0.3\n", bench::median(call_vs_json),
              bench::sum(call) / bench::sum(json));
  std::printf("  call-new / json.loads %.3f (%.3f)   (a new str each call)\n",
              bench::median(new_vs_json), bench::sum(by_stage["call-new"]) / bench::sum(json));

  auto rate = [&](const std::vector<double>& amount, const std::vector<double>& seconds) {
    std::vector<double> per_log;
    for (std::size_t i = 0; i < amount.size(); ++i) per_log.push_back(amount[i] / seconds[i]);
    return std::pair{bench::median(per_log), bench::sum(amount) / bench::sum(seconds)};
  };
  const auto decode_rate = rate(input_mb, by_stage["decode"]);
  const auto encode_rate = rate(output_mb, by_stage["encode"]);
  const auto call_in_rate = rate(input_mb, call);
  const auto event_rate = rate(events, call);
  std::printf("\nthroughput, median over logs (total over total):\n");
  std::printf("  decode      %8.1f MB/s of input  (%.1f)\n", decode_rate.first, decode_rate.second);
  std::printf("  encode      %8.1f MB/s of output (%.1f)\n", encode_rate.first, encode_rate.second);
  std::printf("  call        %8.1f MB/s of input  (%.1f)\n", call_in_rate.first, call_in_rate.second);
  std::printf("  call        %8.2f M events/s     (%.2f)\n", event_rate.first / 1e6, event_rate.second / 1e6);
  std::printf("  call        %8.0f logs/s         (%.0f)\n", 1 / bench::median(call),
              static_cast<double>(logs.size()) / bench::sum(call));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const bench::fs::path folder = argc > 1 ? bench::fs::path(argv[1]) : bench::default_folder();
  const Python python = start_python();

  std::vector<Prepared> logs;
  for (bench::Log& log : bench::read_logs(folder)) logs.push_back(prepare(std::move(log)));

  for (const Prepared& p : logs) {
    const std::string& n = p.log.name;
    benchmark::RegisterBenchmark(("parse/" + n).c_str(), bench_parse, std::cref(p))->UseManualTime();
    benchmark::RegisterBenchmark(("decode/" + n).c_str(), bench_decode, std::cref(p))->UseManualTime();
    benchmark::RegisterBenchmark(("convert/" + n).c_str(), bench_convert, std::cref(p))->UseManualTime();
    benchmark::RegisterBenchmark(("encode/" + n).c_str(), bench_encode, std::cref(p))->UseManualTime();
    benchmark::RegisterBenchmark(("list/" + n).c_str(), bench_list, std::cref(p))->UseManualTime();
    benchmark::RegisterBenchmark(("strings/" + n).c_str(), bench_strings, std::cref(p))->UseManualTime();
    benchmark::RegisterBenchmark(("call/" + n).c_str(), bench_call, std::cref(p), python.tenhou_to_mjai)
        ->UseManualTime();
    benchmark::RegisterBenchmark(("call-new/" + n).c_str(), bench_call_new, std::cref(p), python.tenhou_to_mjai)
        ->UseManualTime();
    benchmark::RegisterBenchmark(("json/" + n).c_str(), bench_call, std::cref(p), python.json_loads)
        ->UseManualTime();
  }
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  std::printf("pipeline_bench: %s\n", folder.c_str());
  print_summary(logs, collector);
  benchmark::Shutdown();
  return 0;
}
