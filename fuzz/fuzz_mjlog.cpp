// Any text as an XML game record, read by both readers: a record the one
// pass takes, the parsed document's reader must take too, giving the same
// record. Then converted two ways: directly (read, prepare, convert, encode)
// and, where the record has a tenhou.net/6 text, through that text (read,
// write, decode, prepare, convert, encode). Both must give the same event
// texts, or both fail; a written text must decode. A refusal begins with
// the element it names, and places a fault in a round only at an element.
// A broken invariant, any C++ exception and any sanitizer report are
// findings.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/invariant.hpp"
#include "mjai/mjai.hpp"
#include "mjlog/mjlog.hpp"
#include "mjlog/walk.hpp"
#include "pairo/conv/conv.hpp"
#include "tenhou/tenhou.hpp"

namespace {

[[noreturn]] void finding(const char* what, std::string_view detail) {
  std::fprintf(stderr, "fuzz finding: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

// The event texts of a decoded log, or nothing where a stage refuses it.
std::optional<std::vector<std::string>> texts_of(tenhou::RawLog raw) {
  auto prepared = pairo::conv::prepare_log(std::move(raw));
  if (!prepared) return std::nullopt;
  auto events = pairo::conv::convert_log(*prepared);
  if (!events) return std::nullopt;
  auto encoded = mjai::encode_events(*events);
  if (!encoded) return std::nullopt;
  std::vector<std::string> texts;
  texts.reserve(encoded->size());
  for (std::size_t i = 0; i < encoded->size(); ++i) texts.emplace_back(encoded->at(i));
  return texts;
}

void run(std::string_view input) {
  const auto direct_record = mjlog::parts::read_directly(input);
  std::string buffer(input);  // parsed in place
  auto record = mjlog::parts::read_parsed(buffer.data(), buffer.size());
  if (direct_record && !record) finding("the one pass took a record the parsed reader refuses", record.error().message);
  if (direct_record && !(*direct_record == *record)) finding("the two readers gave different records", input);
  if (!record) {
    const mjlog::ReadError& error = record.error();
    if (error.message.empty()) finding("refusal without a message", input);
    if (!error.item.empty() && !error.message.starts_with(error.item + ": ")) {
      finding("a refusal that does not begin with its element", error.message);
    }
    if ((error.seat && *error.seat > 3) || (error.round && error.item.empty())) {
      finding("a refusal placed outside the play", error.message);
    }
    return;
  }
  if (mjlog::tenhou6_refusal(*record)) {
    texts_of(std::move(record->log));  // converts or not; only crashes are findings here
    return;
  }
  const std::string json = mjlog::write_tenhou6(*record, "2019021004gm-00a9-0000-e2f6516d");
  auto decoded = tenhou::decode_raw_log(tenhou::PaddedText(json));
  if (!decoded) finding("written text does not decode", decoded.error().message + "\n" + json);

  const auto direct = texts_of(std::move(record->log));
  const auto through_json = texts_of(std::move(*decoded));
  if (direct.has_value() != through_json.has_value()) {
    finding(direct ? "only the direct path converts" : "only the JSON path converts", json);
  }
  if (direct && *direct != *through_json) finding("the two paths give different events", json);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  try {
    run(input);
  } catch (const pairo::InvariantViolation& failure) {
    std::fprintf(stderr, "at %s:%u (%s)\n", failure.where().file_name(), failure.where().line(),
                 failure.where().function_name());
    finding("invariant violation", failure.what());
  } catch (const std::exception& failure) {
    finding("C++ exception", failure.what());
  }
  return 0;
}
