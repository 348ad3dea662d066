// The peak memory of one tenhou_to_mjai call against the sizes of its input
// and output, log by log over a corpus folder.
//
// Every heap block of the process passes through the counting malloc below
// (the interpreter too: it is told to use malloc for its objects), so the
// peak is that of all the call's memory: the padded copy of the text, the
// parser, the records, the events, their texts and the Python result. The
// str handed in is new for each call, so the UTF-8 form that the call makes
// of it counts too; it stays with the str, and is counted as kept.
//
// Per log: peak = the most bytes held at once during the call beyond those
// held before it; kept = the bytes still held when it returns (the result
// list, its strs and the str's UTF-8 form). Sizes are those of the heap
// blocks (malloc_usable_size), so they include the allocator's rounding.
//
// Usage: memory_bench [folder]   (default: $PAIRO_CORPUS/real)
#include <Python.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_python.hpp"
#include "bench/bench_support.hpp"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

std::size_t held = 0;  // bytes in blocks now held
std::size_t peak = 0;  // the most held since the last reset

void note_new(void* block) {
  if (!block) return;
  held += malloc_usable_size(block);
  if (held > peak) peak = held;
}

void note_gone(void* block) {
  if (block) held -= malloc_usable_size(block);
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
  void* block = __libc_malloc(size);
  note_new(block);
  return block;
}
void* calloc(std::size_t count, std::size_t size) {
  void* block = __libc_calloc(count, size);
  note_new(block);
  return block;
}
void* realloc(void* block, std::size_t size) {
  const std::size_t before = block ? malloc_usable_size(block) : 0;
  void* moved = __libc_realloc(block, size);
  if (moved || size == 0) held -= before;
  if (moved) note_new(moved);
  return moved;
}
void free(void* block) {
  note_gone(block);
  __libc_free(block);
}
void* memalign(std::size_t alignment, std::size_t size) {
  void* block = __libc_memalign(alignment, size);
  note_new(block);
  return block;
}
void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  void* block = memalign(alignment, size);
  if (!block) return ENOMEM;
  *out = block;
  return 0;
}
}

namespace {

[[noreturn]] void fail(const char* what) {
  if (PyErr_Occurred()) PyErr_Print();
  std::fprintf(stderr, "memory_bench: %s\n", what);
  std::exit(1);
}

PyObject* start_python() {
  PyObject* pairo = bench::start_python_with_pairo("memory_bench", bench::Allocator::Malloc);
  PyObject* function = PyObject_GetAttrString(pairo, "tenhou_to_mjai");
  if (!function) fail("no tenhou_to_mjai");
  return function;
}

struct Figures {
  std::size_t peak = 0;
  std::size_t kept = 0;
  std::size_t output_bytes = 0;
};

Figures measure(PyObject* function, const std::string& text) {
  PyObject* str = PyUnicode_DecodeUTF8(text.data(), std::ssize(text), "strict");
  if (!str) fail("a log is not UTF-8");
  const std::size_t before = held;
  peak = held;
  PyObject* result = PyObject_Vectorcall(function, &str, 1, nullptr);
  Figures figures{peak - before, held - before, 0};
  if (!result) fail("a call failed");
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(result); ++i) {
    Py_ssize_t size = 0;
    if (!PyUnicode_AsUTF8AndSize(PyList_GET_ITEM(result, i), &size)) fail("an event text has no UTF-8 form");
    figures.output_bytes += static_cast<std::size_t>(size);
  }
  Py_DECREF(result);
  Py_DECREF(str);
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::fs::path folder = argc > 1 ? bench::fs::path(argv[1]) : bench::default_folder();
  PyObject* function = start_python();
  const std::vector<bench::Log> logs = bench::read_logs(folder);

  std::vector<double> peak_ratio, kept_ratio, peaks, ins, outs;
  std::printf("memory_bench: %s\n\n%-28s %8s %8s %9s %9s %7s %7s\n", folder.c_str(), "log", "in KB", "out KB",
              "peak KB", "kept KB", "peak/io", "kept/io");
  for (const bench::Log& log : logs) {
    measure(function, log.text);  // the first call of a log may fill caches of the interpreter
    const Figures f = measure(function, log.text);
    const double in = static_cast<double>(log.text.size());
    const double out = static_cast<double>(f.output_bytes);
    peaks.push_back(static_cast<double>(f.peak));
    ins.push_back(in);
    outs.push_back(out);
    peak_ratio.push_back(static_cast<double>(f.peak) / (in + out));
    kept_ratio.push_back(static_cast<double>(f.kept) / (in + out));
    std::printf("%-28s %8.1f %8.1f %9.1f %9.1f %7.2f %7.2f\n", log.name.c_str(), in / 1e3, out / 1e3,
                static_cast<double>(f.peak) / 1e3, static_cast<double>(f.kept) / 1e3, peak_ratio.back(),
                kept_ratio.back());
  }
  std::printf("\npeak additional memory of a call / (input + output bytes):\n");
  std::printf("  median %.2f, largest %.2f; over the corpus %.2f\n", bench::median(peak_ratio),
              *std::max_element(peak_ratio.begin(), peak_ratio.end()),
              bench::sum(peaks) / (bench::sum(ins) + bench::sum(outs)));
  std::printf("  of which kept with the result: median %.2f\n", bench::median(kept_ratio));
  std::printf("  largest peak %.1f KB\n", *std::max_element(peaks.begin(), peaks.end()) / 1e3);
  return 0;
}
