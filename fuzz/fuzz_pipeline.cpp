// Any text through the whole pipeline: it is rejected by one stage, or it
// becomes event texts that are each one compact JSON object led by "type".
// The direct reader of a log takes no text that the parsed document's reader
// refuses, and gives the same records where it takes one.
// A broken invariant, any other C++ exception and any sanitizer report are
// findings.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include <simdjson.h>

#include "item_mutator.hpp"
#include "mjai/mjai.hpp"
#include "pairo/conv/conv.hpp"
#include "base/invariant.hpp"
#include "tenhou/decode_read.hpp"
#include "tenhou/tenhou.hpp"

namespace {

[[noreturn]] void finding(const char* what, std::string_view detail) {
  std::fprintf(stderr, "fuzz finding: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

// One event text: valid JSON (UTF-8 included), an object whose first key is
// "type" with a text value, no line break, and already compact.
void check_event_text(simdjson::dom::parser& parser, std::string_view text) {
  if (text.find('\n') != std::string_view::npos) finding("line feed in an event text", text);
  simdjson::padded_string padded(text);
  simdjson::dom::object object;
  if (parser.parse(padded).get_object().get(object) != simdjson::SUCCESS) finding("event text is not a JSON object", text);
  const auto first = object.begin();
  if (first == object.end() || first.key() != "type" || !first.value().is_string()) {
    finding("event text does not start with its type", text);
  }
  std::string compact(text.size(), '\0');
  std::size_t compact_size = 0;
  if (simdjson::minify(text.data(), text.size(), compact.data(), compact_size) != simdjson::SUCCESS ||
      std::string_view(compact.data(), compact_size) != text) {
    finding("event text is not compact", text);
  }
}

void check_readers_agree(const tenhou::PaddedText& text) {
  const auto direct = tenhou::decoding::read_directly(text);
  if (!direct) return;
  const auto document = tenhou::decoding::read_document(text);
  if (!document) finding("the direct reader took a text the document reader refuses", document.error().message);
  if (!(*direct == *document)) finding("the two readers gave different records", text.view());
}

void run(std::string_view input) {
  check_readers_agree(tenhou::PaddedText(input));
  auto raw = tenhou::decode_raw_log(tenhou::PaddedText(input));
  if (!raw) return;
  auto prepared = pairo::conv::prepare_log(std::move(*raw));
  if (!prepared) return;
  auto events = pairo::conv::convert_log(*prepared);
  if (!events) return;
  auto encoded = mjai::encode_events(*events);
  if (!encoded) return;
  if (encoded->size() != events->size()) finding("event count changed in encoding", "");
  static simdjson::dom::parser parser;
  for (std::size_t i = 0; i < encoded->size(); ++i) check_event_text(parser, encoded->at(i));
  if (encoded->at(0).find("\"start_game\"") == std::string_view::npos) finding("first event is not start_game", encoded->at(0));
  if (encoded->at(encoded->size() - 1) != R"({"type":"end_game"})") finding("last event is not end_game", encoded->at(encoded->size() - 1));
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

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t max_size);

// Half of the mutations work on items, half on bytes (which also reach the
// decoder's refusals and the texts' characters).
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t max_size,
                                               unsigned int seed) {
  if (seed % 2 == 0) {
    pairo_fuzz::ItemMutator mutator(seed / 2);
    const std::string mutated = mutator.mutate(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!mutated.empty() && mutated.size() <= max_size) {
      std::memcpy(data, mutated.data(), mutated.size());
      return mutated.size();
    }
  }
  return LLVMFuzzerMutate(data, size, max_size);
}
