// The registry of what pairo reads: one table per concern, a row for each
// log format, each compression and each container, and nothing else that
// knows them. Every reader asks the rows: the folder walk and the bundles
// judge names by the one name rule below, the engine and the single-record
// functions tell a log's format and compression by its bytes, and a
// container is opened by the row that tells it (formats/containers.hpp).
// A new format, compression or container is a new row in registry.cpp and
// the reader it points at.
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
#include <vector>

#include "archive/byte_stream.hpp"
#include "archive/container.hpp"
#include "archive/database.hpp"
#include "archive/member_name.hpp"
#include "base/failure.hpp"
#include "base/padded_text.hpp"
#include "mjai/mjai.hpp"
#include "mjlog/mjlog.hpp"
#include "sysio/cancel.hpp"

namespace formats {

using pairo::Failure;

// What a log is converted into: mjai events, or (XML records only) the
// tenhou.net/6 JSON log Tenhou's own export gives; or, for Validate, what
// is read is an mjai stream, replayed and written nowhere.
enum class Target : std::uint8_t { Mjai, Tenhou6, Validate };
// Mjai is pairo's own output, told so that a data set met again as input
// (`<id>.json.gz` in a folder) fails as what it is.
enum class Format : std::uint8_t { Json, Xml, Mjai };

// A converted log: mjai event texts, written one per line, or one whole
// text (a tenhou.net/6 JSON log) written as it is.
using Document = std::variant<mjai::EncodedEvents, std::string>;

// Why a log has no mjai events, whole: the record reader's error (an XML
// record that does not read) or the conversion's own. A failure keeps only
// its class, message and note; a diagnosis shows all of it.
using Refusal = std::variant<mjlog::ReadError, pairo::Error>;
using Events = std::expected<mjai::EncodedEvents, Refusal>;

// ---- log formats ----------------------------------------------------------

// How a log's text (inflated, UTF-8) is told and read into each target.
struct LogFormat {
  Format format;
  std::span<const std::string_view> suffixes;  // of its files and members; a compression's may follow
  bool (*recognises)(std::string_view text) noexcept;
  // The text is the reader's to release once parsed.
  std::expected<Document, Failure> (*to_mjai)(pairo::PaddedText& text);
  // The same conversion, its refusal whole.
  Events (*events)(pairo::PaddedText& text);
  // Null where the format has no tenhou.net/6 form of its own to write.
  std::expected<Document, Failure> (*to_tenhou6)(pairo::PaddedText& text, std::string_view ref);
};

[[nodiscard]] const LogFormat& log_format(Format format) noexcept;
// The format of a text: the first row that recognises it; the JSON row
// takes what none does.
[[nodiscard]] Format format_of(std::string_view text) noexcept;
// Whether the text is an mjai stream, one JSON event object per line: its
// first line alone is looked at, a whole object with a top-level "type"
// key (no tenhou.net/6 log has one). What format_of tells as Format::Mjai.
[[nodiscard]] bool is_mjai_stream(std::string_view text) noexcept;

// The XML row's conversions on a record's text wherever it lies, only read:
// for callers that hold the text themselves (bytes given from Python).
[[nodiscard]] std::expected<Document, Failure> xml_to_mjai(std::string_view text);
[[nodiscard]] std::expected<Document, Failure> xml_to_tenhou6(std::string_view text, std::string_view ref);

// ---- compressions ---------------------------------------------------------

struct Decoders;  // formats/bytes.hpp

// How a log's or a bundle's bytes were compressed: its suffix, its magic
// bytes, and its decoders. The rows are tried in order; the last, no
// compression, takes what no other tells.
struct Compression {
  std::string_view suffix;  // ".gz"; "" for none
  // Whether `bytes` begin with its magic number; null for none.
  bool (*told)(std::string_view bytes) noexcept;
  // The whole of `bytes` decompressed, at most `limit`, failing in a
  // record's words; null where records are not read so (none, and a
  // compression whose records are read as they are and whose suffix names
  // no log).
  std::expected<pairo::PaddedText, archive::ArchiveError> (*decode)(Decoders& decoders, std::string_view bytes,
                                                                    std::size_t limit);
  // The decompressed stream of a bundle read front to back.
  std::unique_ptr<archive::ByteStream> (*stream)(std::unique_ptr<archive::ByteStream> compressed);
};

// The row whose magic number begins `bytes` and that reads whole records,
// else null: the bytes are the text as they are.
[[nodiscard]] const Compression* compression_of(std::string_view bytes) noexcept;

// ---- containers -----------------------------------------------------------

// How a file of many records is told and opened.
struct ContainerFormat {
  // Its names' suffixes, any letter case; none for a container told by content.
  std::span<const std::string_view> suffixes;
  // Whether its first 16 bytes (fewer for a shorter file) are its own; null
  // for a container told by its name.
  bool (*told)(std::string_view head) noexcept;
  // A tar's compression, the bundle read through its stream; null otherwise.
  const Compression* compression;
  // Its entries; a bundle's members are logs by `log_stem`.
  std::expected<std::unique_ptr<archive::Source>, archive::ArchiveError> (*open)(const ContainerFormat& row,
                                                                                 const std::string& path,
                                                                                 archive::LogStem log_stem,
                                                                                 sysio::Cancel cancel);
};

// The container a file name tells, and the name without the suffix that
// told it; nothing for a name no container row has.
struct NamedContainer {
  const ContainerFormat* row;
  std::string_view stem;
};
[[nodiscard]] std::optional<NamedContainer> container_named(std::string_view file_name) noexcept;
// The container told by the file's first bytes, else null.
[[nodiscard]] const ContainerFormat* container_told(std::string_view head) noexcept;

// The table of a downloader's database, one row per layout.
[[nodiscard]] archive::Layouts database_layouts() noexcept;

// ---- the name rule --------------------------------------------------------

// A log's file or member name ends with a log format's suffix, perhaps
// followed by the suffix of a compression whose records are read whole,
// with something before them in its last component (".json" alone names no
// log); under tenhou6, only the suffixes of the formats it writes (XML
// records); under validate, the names of mjai streams (".jsonl", ".json"). Letter case counts. The log's stem is the path without those
// suffixes; nothing for a path of any other name.
[[nodiscard]] std::optional<std::string_view> log_stem(std::string_view path, Target target) noexcept;

// The same rule as a bundle takes it for its members.
[[nodiscard]] archive::LogStem log_stem_rule(Target target) noexcept;

// The names the rows give, in the rows' order, for what tells users which
// names are read: the command's help, the container's refusal.
struct InputNames {
  std::vector<std::string_view> logs;          // every format's suffixes
  std::vector<std::string_view> tenhou6_logs;  // those of the formats tenhou6 writes
  std::vector<std::string_view> compressions;  // those that may follow a log's
  std::vector<std::string_view> bundles;       // containers told by their names
};
[[nodiscard]] InputNames input_names();
// "a, b or c" ("or" being `last_joint`).
[[nodiscard]] std::string listed(const std::vector<std::string_view>& names, std::string_view last_joint);

// The name without the suffix an output replaces: a log's whole suffix
// (any format), else a readable compression's alone ("x.gz" → "x"), else
// nothing.
[[nodiscard]] std::string_view output_stem(std::string_view name) noexcept;

}  // namespace formats
