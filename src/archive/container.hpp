// Containers: files holding many records. A downloader's SQLite database
// (either layout, told by its content) or a zip or tar bundle (told by its
// name) is opened by path and read as a stream of entries, in its order:
// a record to convert, a row skipped with its reason, or an entry's own
// failure. Nothing is held whole: a database keeps one id per row (and one
// digest per record for duplicates), a bundle one member at a time.
//
// Threads. `Container::next()` is called by one thread at a time (the
// feeder): it does the SQLite reads and, for tar bundles, the one
// decompression stream. Each `Record` it yields is self-contained and may
// move to any thread, where `text()` decompresses it with that thread's own
// `Decompressor`, and `settle_duplicate()` gives the row's verdict. A
// record may outlive its container.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "archive/decompress.hpp"
#include "archive/duplicates.hpp"
#include "archive/error.hpp"
#include "archive/skip_reason.hpp"
#include "base/padded_text.hpp"
#include "sysio/cancel.hpp"

namespace archive {

struct Record {
  std::string name;  // the row's game id, or the member's path in the bundle
  std::string stem;  // its output, relative to the container's output folder, without suffix
  StoredBytes stored;
  DuplicateTicket duplicate;  // a database row's turn in its duplicate finder; empty for members

  // The record's text, every compression undone, at most `limit` bytes.
  [[nodiscard]] std::expected<pairo::PaddedText, ArchiveError> text(Decompressor& decompressor,
                                                                     std::size_t limit = record_limit) const {
    return decompressor.text_of(stored, limit);
  }
  // Database rows: waits for the earlier rows' verdicts, then names the
  // earlier row holding the same text (the row is then skipped as a
  // duplicate). Call once, with the text, for every record that decompressed
  // — outputs already present included — or never: a record dropped
  // unsettled lets the later rows go on. Bundle members: always nothing.
  [[nodiscard]] std::optional<std::string> settle_duplicate(std::string_view text) {
    return duplicate.settle(text);
  }
};

// A row not converted for what the container says of it: never `Existing`.
struct Skip {
  std::string name;
  SkipReason reason;
};

// One entry that cannot be read: a row whose id is no game id, a corrupt
// blob's row, an unsafe or oversized member. The container goes on after
// it, unless it is the container's own (`name` then its path), the last entry.
struct Failure {
  std::string name;
  ArchiveError error;
};

using Entry = std::variant<Record, Skip, Failure>;

// What one container kind does; container.cpp keeps one row per kind.
class Source {
 public:
  virtual ~Source() = default;
  [[nodiscard]] virtual std::optional<Entry> next() = 0;
  [[nodiscard]] virtual std::optional<std::size_t> size_hint() const noexcept = 0;
};

class Container {
 public:
  // A database (by content) or a bundle (by name); anything else, or a
  // database of neither layout, fails here. `cancel`, raised, makes its long
  // reads (here and in next()) give up, failing the container.
  [[nodiscard]] static std::expected<Container, ArchiveError> open(const std::string& path,
                                                                   sysio::Cancel cancel = nullptr);

  // The next entry in the container's order; nothing once it is done (and
  // after its own failure).
  [[nodiscard]] std::optional<Entry> next() { return source_->next(); }

  // The number of entries when known up front: a database's rows, a zip's
  // members; nothing for tar.
  [[nodiscard]] std::optional<std::size_t> size_hint() const noexcept { return source_->size_hint(); }

  // The folder of its outputs: its file name without the suffix that told it.
  [[nodiscard]] const std::string& output_folder() const noexcept { return output_folder_; }

 private:
  Container(std::unique_ptr<Source> source, std::string folder)
      : source_(std::move(source)), output_folder_(std::move(folder)) {}
  std::unique_ptr<Source> source_;
  std::string output_folder_;
};

// Whether the path names a container: a bundle by its name, a database by
// its first 16 bytes (read here). Folders are never containers.
[[nodiscard]] bool is_container(const std::string& path);

}  // namespace archive
