// Why a log is not converted, and the words each reason is reported in.
// A container gives the first three and `Duplicate` for its rows (the
// first that applies, in this order); `Filtered` is a game the user's
// filters leave out (a database's row by its id, before its record is
// read); the engine gives `Existing` for an output already there under
// skip_existing, which no container ever does, and `NotAStream` for a log a
// validation finds among mjai streams. The words are what
// the command's summary and reports print and callers match: written here
// once, for the engine, the package and the tests alike.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace archive {

enum class SkipReason : std::uint8_t {
  DownloadFailed, NotDownloaded, ThreePlayer, Filtered, Duplicate, Existing, NotAStream };

inline constexpr std::array<std::string_view, 7> skip_reason_texts = {
    "download failed", "not downloaded", "three-player", "filtered", "duplicate", "existing", "not an mjai stream"};
inline constexpr std::size_t skip_reason_count = skip_reason_texts.size();
static_assert(static_cast<std::size_t>(SkipReason::NotAStream) + 1 == skip_reason_count,
              "one text per reason, in the reasons' order");

[[nodiscard]] constexpr std::string_view reason_text(SkipReason reason) noexcept {
  return skip_reason_texts[static_cast<std::size_t>(reason)];
}

}  // namespace archive
