// A log's bytes made into its text, alike wherever they come from: a file,
// standard input or bytes given from Python (the engine's bytes path), and
// a container's record (a database's blob, a bundle's member). The
// compression is told by the compression rows' magic numbers, never by a
// name, and undone within the record bound.
#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "archive/decompress.hpp"
#include "formats/registry.hpp"
#include "gzip/gzip.hpp"

namespace formats {

// What one thread keeps for all the logs it reads, each part made on its
// first use: most logs need neither.
struct Decoders {
  gzip::Inflater gzip;
  archive::Decompressor layer;  // a zip member's own deflating
};

// The engine's bytes path: the text of a log's bytes, decompressed where a
// compression row tells them and checked to be UTF-8; the text is `bytes`
// themselves, or decompressed into `decoded`. OSError otherwise: "invalid
// gzip data" (and the like for other compressions), "inflated gzip data is
// larger than 64 MiB", "stream did not contain valid UTF-8".
[[nodiscard]] std::expected<std::string_view, Failure> text_in(std::string_view bytes, pairo::PaddedText& decoded,
                                                               Decoders& decoders);
// The same text in a buffer of its own, the bytes' own when not compressed.
[[nodiscard]] std::expected<pairo::PaddedText, Failure> text_of(pairo::PaddedText bytes, Decoders& decoders);

// A container's record: its container's layer undone, then its compression
// as above, at most `limit` bytes; failing in a record's words. Its UTF-8 is
// for the caller to check (the engine does once its duplicate verdict is in).
[[nodiscard]] std::expected<pairo::PaddedText, archive::ArchiveError> record_text(
    const archive::StoredBytes& stored, Decoders& decoders, std::size_t limit = archive::record_limit);

}  // namespace formats
