// What the registry's rows point at, inside this room: each format's
// readers (logs.cpp), each compression's decoders (bytes.cpp) and each
// container's opener (containers.cpp).
#pragma once

#include "formats/registry.hpp"

namespace formats::readers {

// ---- log formats (logs.cpp)
[[nodiscard]] bool any_text(std::string_view text) noexcept;
[[nodiscard]] bool starts_as_xml(std::string_view text) noexcept;
[[nodiscard]] std::expected<Document, Failure> json_to_mjai(pairo::PaddedText& text);
[[nodiscard]] Events json_events(pairo::PaddedText& text);
[[nodiscard]] std::expected<Document, Failure> xml_to_mjai(pairo::PaddedText& text);
[[nodiscard]] Events xml_events(pairo::PaddedText& text);
[[nodiscard]] std::expected<Document, Failure> xml_to_tenhou6(pairo::PaddedText& text, std::string_view ref);
[[nodiscard]] std::expected<Document, Failure> mjai_refused(pairo::PaddedText& text);
[[nodiscard]] Events mjai_events(pairo::PaddedText& text);

// ---- compressions (bytes.cpp)
[[nodiscard]] bool is_xz(std::string_view bytes) noexcept;
[[nodiscard]] std::expected<pairo::PaddedText, archive::ArchiveError> gunzip(Decoders& decoders,
                                                                             std::string_view bytes,
                                                                             std::size_t limit);
[[nodiscard]] std::expected<pairo::PaddedText, archive::ArchiveError> bunzip2(Decoders& decoders,
                                                                              std::string_view bytes,
                                                                              std::size_t limit);
[[nodiscard]] std::unique_ptr<archive::ByteStream> as_it_is(std::unique_ptr<archive::ByteStream> stream);

// ---- containers (containers.cpp)
using Opened = std::expected<std::unique_ptr<archive::Source>, archive::ArchiveError>;
[[nodiscard]] Opened open_database(const ContainerFormat& row, const std::string& path, archive::LogStem log_stem,
                                   sysio::Cancel cancel);
[[nodiscard]] Opened open_zip(const ContainerFormat& row, const std::string& path, archive::LogStem log_stem,
                              sysio::Cancel cancel);
[[nodiscard]] Opened open_tar(const ContainerFormat& row, const std::string& path, archive::LogStem log_stem,
                              sysio::Cancel cancel);

}  // namespace formats::readers
