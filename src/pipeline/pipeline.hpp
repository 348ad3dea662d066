// The road of one log through the stages: text to records, records to the
// prepared game, the game to events, events to texts. Free of Python, so that
// any caller (the module surface, a native batch of logs) can run it.
#pragma once

#include <expected>

#include "base/error.hpp"
#include "mjai/mjai.hpp"
#include "tenhou/tenhou.hpp"

namespace pairo {

// Text to event texts; the first stage that fails ends the run with its error.
[[nodiscard]] std::expected<mjai::EncodedEvents, Error> convert_log_text(const tenhou::PaddedText& text);
// The same, releasing the text as soon as it is parsed: a call then holds
// less at once.
[[nodiscard]] std::expected<mjai::EncodedEvents, Error> convert_log_text(tenhou::PaddedText&& text);

// A decoded log, whichever record it was read from (a JSON log, an XML game
// record), to event texts.
[[nodiscard]] std::expected<mjai::EncodedEvents, Error> convert_raw_log(tenhou::RawLog raw);

}  // namespace pairo
