// The engine's conversions: JSON logs through the module's stages, XML
// records through the record reader into the same stages, or written back
// out as tenhou.net/6 JSON. Each failure carries the module's class and
// message, and why in its note.
#include <array>

#include "batch/batch.hpp"
#include "lib/fixed_texts.hpp"
#include "mjlog/mjlog.hpp"
#include "pipeline/pipeline.hpp"

namespace batch {
namespace {

// By stage: decode, prepare, convert, encode; the messages stand in the
// same order in the fixed texts.
constexpr std::array<ErrorClass, pairo::stage_count> stage_classes = {
    ErrorClass::JsonParsingError, ErrorClass::TenhouLogParsingError, ErrorClass::TenhouToMjaiError,
    ErrorClass::JsonSerializationError};

[[gnu::cold]] Failure stage_failure(const pairo::Error& error) {
  const auto stage = static_cast<std::size_t>(pairo::stage_of(error));
  Failure failure = message_failure(stage_classes[stage], pairo::lib::texts::stage_messages[stage]);
  failure.note = error.detail();
  return failure;
}

// The element and what is wrong with it, and where it starts.
[[gnu::cold]] Failure record_failure(const mjlog::Error& error) {
  std::string message = error.message;
  if (error.offset) message += " (at byte " + std::to_string(*error.offset) + ")";
  return message_failure(ErrorClass::MjlogParsingError, std::move(message));
}

std::expected<Document, Failure> events(std::expected<mjai::EncodedEvents, pairo::Error> encoded) {
  if (!encoded) return std::unexpected(stage_failure(encoded.error()));
  return Document{std::move(*encoded)};
}

std::expected<mjlog::Record, Failure> read_record(tenhou::PaddedText& text) {
  auto record = mjlog::read_record(text.data(), text.size());
  if (!record) return std::unexpected(record_failure(record.error()));
  return std::move(*record);
}

// Longest first, as the planner strips them.
constexpr std::array<std::string_view, 4> record_suffixes = {".xml.gz", ".mjlog", ".xml", ".gz"};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_lower_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f'); }

bool all_of(std::string_view text, bool (*is)(char)) {
  for (char c : text) {
    if (!is(c)) return false;
  }
  return true;
}

// "2019021004gm-00a9-0000-e2f6516d": the hour the game began, the lobby
// type in hex, the lobby number, and a hex key.
bool is_game_id(std::string_view name) {
  if (name.size() < 13 || !all_of(name.substr(0, 10), is_digit) || name.substr(10, 3) != "gm-") return false;
  name.remove_prefix(13);
  if (name.size() < 5 || !all_of(name.substr(0, 4), is_lower_hex) || name[4] != '-') return false;
  name.remove_prefix(5);
  const auto dash = name.find('-');
  if (dash == std::string_view::npos || dash < 4 || dash > 5 || !all_of(name.substr(0, dash), is_digit)) {
    return false;
  }
  name.remove_prefix(dash + 1);
  return name.size() == 8 && all_of(name, is_lower_hex);
}

}  // namespace

std::string game_id_of(std::string_view path) {
  std::string_view name = path.substr(path.find_last_of('/') + 1);
  for (std::string_view suffix : record_suffixes) {
    if (name.ends_with(suffix)) {
      name.remove_suffix(suffix.size());
      break;
    }
  }
  return is_game_id(name) ? std::string(name) : std::string();
}

// The text goes as soon as it is parsed: a worker then holds less at once.
std::expected<Document, Failure> json_to_mjai(tenhou::PaddedText& text, Format, std::string_view) {
  return events(pairo::convert_log_text(std::move(text)));
}

std::expected<Document, Failure> log_to_mjai(tenhou::PaddedText& text, Format format, std::string_view path) {
  if (format == Format::Json) return json_to_mjai(text, format, path);
  auto record = read_record(text);
  if (!record) return std::unexpected(std::move(record.error()));
  return events(pairo::convert_raw_log(std::move(record->log)));
}

std::expected<Document, Failure> log_to_tenhou6(tenhou::PaddedText& text, Format format, std::string_view path) {
  if (format == Format::Json) {
    return std::unexpected(message_failure(
        ErrorClass::MjlogParsingError, "not an XML game record: a tenhou.net/6 log is converted to mjai only"));
  }
  auto record = read_record(text);
  if (!record) return std::unexpected(std::move(record.error()));
  // A three-player record has no tenhou.net/6 form here: it is refused as
  // the preparation refuses the game.
  if (record->three_player) {
    auto refused = events(pairo::convert_raw_log(std::move(record->log)));
    if (!refused) return refused;
    return std::unexpected(message_failure(ErrorClass::TenhouLogParsingError, pairo::lib::texts::stage_messages[1]));
  }
  if (auto refused = mjlog::tenhou6_refusal(*record)) return std::unexpected(record_failure(*refused));
  return Document{mjlog::write_tenhou6(*record, game_id_of(path))};
}

Converter converter_for(Target target) { return target == Target::Mjai ? log_to_mjai : log_to_tenhou6; }

}  // namespace batch
