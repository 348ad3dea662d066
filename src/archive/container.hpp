// Containers: files holding many records. A downloader's SQLite database
// or a zip or tar bundle is read as a stream of entries, in its order: a
// record to convert, a row skipped with its reason, or an entry's own
// failure. Nothing is held whole: a database keeps one id per row (and one
// digest per record for duplicates), a bundle one member at a time. Which
// file is which container, and how each is opened, is the registry's
// (formats/registry.hpp); this room reads them.
//
// Threads. `Source::next()` is called by one thread at a time (the
// feeder): it does the SQLite reads and, for tar bundles, the one
// decompression stream. Each `StoredRecord` it yields is self-contained and may
// move to any thread, where its stored bytes are made into its text
// (formats/bytes.hpp) and `settle_duplicate()` gives the row's verdict. A
// record may outlive its container.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "archive/decompress.hpp"
#include "archive/duplicates.hpp"
#include "archive/error.hpp"
#include "archive/skip_reason.hpp"
#include "base/padded_text.hpp"

namespace archive {

struct StoredRecord {
  std::string name;  // the row's game id, or the member's path in the bundle
  std::string stem;  // its output, relative to the container's output folder, without suffix
  StoredBytes stored;
  DuplicateTicket duplicate;  // a database row's turn in its duplicate finder; empty for members

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
  std::string_view filter = {};  // `Filtered`: the name of the filter that left it out
};

struct GameId;
// The name of the user's filter that leaves out the game of this id, or
// nothing: decided on the id alone, so that a row left out is never read.
using IdFilter = std::function<std::optional<std::string_view>(const GameId& id)>;

// One entry that cannot be read: a row whose id is no game id, a corrupt
// blob's row, an unsafe or oversized member. The container goes on after
// it, unless it is the container's own (`name` then its path), the last entry.
struct EntryFailure {
  std::string name;
  ArchiveError error;
};

using Entry = std::variant<StoredRecord, Skip, EntryFailure>;

// What one container kind does; the registry keeps one row per kind.
class Source {
 public:
  virtual ~Source() = default;
  // The next entry in the container's order; nothing once it is done (and
  // after its own failure).
  [[nodiscard]] virtual std::optional<Entry> next() = 0;
  // The number of entries when known up front: a database's rows, a zip's
  // members; nothing for tar.
  [[nodiscard]] virtual std::optional<std::size_t> size_hint() const noexcept = 0;
  // Rows whose id the filter leaves out are skipped unread from here on; a
  // container whose entries are not named by ids keeps them (the engine
  // decides on their names).
  virtual void leave_out(IdFilter) {}
};

// A record's text made from its stored bytes, every compression undone, at
// most the record bound: what a database's duplicate finder compares. The
// registry hands it in, so that a row is read again as it was read first.
using TextOf = std::function<std::expected<pairo::PaddedText, ArchiveError>(const StoredBytes& stored)>;

}  // namespace archive
