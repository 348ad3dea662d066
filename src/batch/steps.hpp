// The steps of one log inside a worker: reading its file into text, and
// writing its output atomically. Inside the batch directory only.
#pragma once

#include <expected>
#include <mutex>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "batch/batch.hpp"
#include "formats/bytes.hpp"
#include "gzip/gzip.hpp"

namespace batch::steps {

struct Loaded {
  pairo::PaddedText text;
  Format format;
};

// The log's text (formats::text_of) and its format (formats::format_of).
// A file of more than 64 MiB is read no further and fails; a pipe is waited
// on until `cancel`.
[[nodiscard]] std::expected<Loaded, Failure> load(const std::string& path, formats::Decoders& decoders,
                                                  sysio::Cancel cancel = nullptr);
// The same for bytes given rather than read (standard input), held to the
// same bound.
[[nodiscard]] std::expected<Loaded, Failure> load_bytes(std::string_view bytes, formats::Decoders& decoders);
// A container's record decompressed (ArchiveError when it cannot be); its
// UTF-8 and format are told by `told_apart` once its duplicate verdict is in.
[[nodiscard]] std::expected<pairo::PaddedText, Failure> decompress(const archive::StoredRecord& record,
                                                                   formats::Decoders& decoders);
[[nodiscard]] std::expected<Loaded, Failure> told_apart(pairo::PaddedText text);

// The outputs claimed by the jobs so far, so that a later job bound for an
// earlier one's output fails: a file's output by its path, naming its
// owner; a container record's by a 64-bit digest of its path (a record's
// output is unique within its container by its id or member path, so the
// digest only guards against meeting another input's), keeping the memory
// one digest per record.
class Claims {
 public:
  // The failure of a job whose output was claimed before, else nothing.
  [[nodiscard]] std::optional<Failure> claim(const Job& job);

 private:
  std::unordered_map<std::string, std::string> files_;  // output → the job's name
  std::unordered_set<std::uint64_t> records_;
};

// The output folders of one batch. The first time a batch writes into a
// folder, the temporary files that a killed run left there are removed:
// those whose process is gone, never those of a live one.
class Folders {
 public:
  void sweep_once(const std::string& folder);

 private:
  std::mutex mutex_;
  std::unordered_set<std::string> swept_;
};

// Removes the temporary files of dead processes from `folder`.
void sweep_stale(const std::string& folder);

// The temporary name of an output, recognised by the next run: its pid
// and a number unique within the process.
[[nodiscard]] std::string temporary_name(const std::string& target, unsigned long number);

// Runs `body`, which returns the log's outcome; a log that fails in a way
// no step foresaw fails alone: a C++ exception becomes PanicException with
// its text (the diagnostic on standard error), std::bad_alloc MemoryError.
template <class Body>
auto contained(Body&& body) -> decltype(body());

// Writes `document` to `target` through a temporary file in the same folder,
// renamed into place once complete; on any failure the temporary file is
// removed and an existing target is left as it was. `deflater` is set for
// gzip output.
[[nodiscard]] std::expected<void, Failure> write_atomically(const std::string& target, const Document& document,
                                                            gzip::Deflater* deflater, Folders& folders);

// The failure of the exception being handled, its diagnostic written.
[[nodiscard]] Failure escaped_failure();

template <class Body>
auto contained(Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (...) {
    if constexpr (std::is_constructible_v<decltype(body()), Failure>) {
      return escaped_failure();
    } else {
      return std::unexpected(escaped_failure());
    }
  }
}

}  // namespace batch::steps
