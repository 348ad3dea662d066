// The input formats, one row each, and the engine's conversions on them:
// JSON logs through the module's own stages, XML records through the record
// reader into the same stages, or written back out as tenhou.net/6 JSON.
// Each failure carries the module's class and message, and why in its note.
#include <array>

#include "archive/game_id.hpp"
#include "base/invariant.hpp"
#include "batch/batch.hpp"
#include "mjlog/mjlog.hpp"
#include "pipeline/pipeline.hpp"

namespace batch {
namespace {

Failure failure_of(const mjlog::Error& error) {
  Failure failure = pairo::record_failure(error.message, error.offset);
  failure.diagnosis = mjlog::diagnosis_of(error);
  return failure;
}
Failure failure_of(const pairo::Error& error) { return pairo::explained_failure(error); }

// What a refusal is raised as: MjlogParsingError for a record that does not
// read, else the class of the conversion's stage.
std::expected<Document, Failure> document(Events events) {
  if (!events) return std::unexpected(std::visit([](const auto& why) { return failure_of(why); }, events.error()));
  return Document{std::move(*events)};
}

// The conversion's error, whole, as the refusal of a log.
Events refused_or(std::expected<mjai::EncodedEvents, pairo::Error> encoded) {
  if (!encoded) return std::unexpected(Refusal{std::move(encoded.error())});
  return std::move(*encoded);
}

// ---- tenhou.net/6 JSON logs ---------------------------------------------

constexpr std::array<std::string_view, 2> json_suffixes = {".json.gz", ".json"};

// What no other format recognises.
bool any_text(std::string_view) noexcept { return true; }

// The text goes as soon as it is parsed: a worker then holds less at once.
Events json_events(pairo::PaddedText& text) { return refused_or(pairo::convert_log_text(std::move(text))); }

std::expected<Document, Failure> json_to_mjai(pairo::PaddedText& text) { return document(json_events(text)); }

// ---- Tenhou's XML game records ------------------------------------------

constexpr std::array<std::string_view, 3> xml_suffixes = {".xml.gz", ".mjlog", ".xml"};

// A first non-blank '<', after a byte-order mark as editors leave.
bool starts_as_xml(std::string_view text) noexcept {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const auto first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && text[first] == '<';
}

std::expected<mjlog::Record, Failure> read_record(std::string_view text) {
  auto record = mjlog::read_record(text);
  if (!record) return std::unexpected(failure_of(record.error()));
  return std::move(*record);
}

Events xml_events(std::string_view text) {
  auto record = mjlog::read_record(text);
  if (!record) return std::unexpected(Refusal{std::move(record.error())});
  return refused_or(pairo::convert_raw_log(std::move(record->log)));
}

// The row's readers: the record is read where it lies.
Events xml_events_row(pairo::PaddedText& text) { return xml_events(text.view()); }
std::expected<Document, Failure> xml_to_mjai_row(pairo::PaddedText& text) { return xml_to_mjai(text.view()); }
std::expected<Document, Failure> xml_to_tenhou6_row(pairo::PaddedText& text, std::string_view ref) {
  return xml_to_tenhou6(text.view(), ref);
}

// XML first: JSON takes what XML does not recognise.
constexpr std::array<InputFormat, 2> formats = {{
    {Format::Xml, xml_suffixes, starts_as_xml, xml_to_mjai_row, xml_events_row, xml_to_tenhou6_row},
    {Format::Json, json_suffixes, any_text, json_to_mjai, json_events, nullptr},
}};

std::expected<Document, Failure> to_tenhou6(pairo::PaddedText& text, Format format, std::string_view path) {
  const InputFormat& row = input_format(format);
  if (!row.to_tenhou6) {
    return std::unexpected(message_failure(
        ErrorClass::MjlogParsingError, "not an XML game record: a tenhou.net/6 log is converted to mjai only"));
  }
  return row.to_tenhou6(text, game_id_of(path));
}

std::expected<Document, Failure> to_mjai(pairo::PaddedText& text, Format format, std::string_view) {
  return input_format(format).to_mjai(text);
}

}  // namespace

std::expected<Document, Failure> xml_to_mjai(std::string_view text) { return document(xml_events(text)); }

// A three-player record has no tenhou.net/6 form here: it is refused as the
// preparation refuses the game, which it always does for such a record.
std::expected<Document, Failure> xml_to_tenhou6(std::string_view text, std::string_view ref) {
  auto record = read_record(text);
  if (!record) return std::unexpected(std::move(record.error()));
  if (record->three_player) {
    auto refused = document(refused_or(pairo::convert_raw_log(std::move(record->log))));
    if (refused) pairo::invariant_failed("a three-player record was converted");
    return refused;
  }
  // What no mjai event carries but the document must say (a yaku, a limit,
  // a rank without a text) is refused here only.
  if (auto refused = mjlog::tenhou6_refusal(*record)) return std::unexpected(failure_of(*refused));
  return Document{mjlog::write_tenhou6(*record, ref)};
}

const InputFormat& input_format(Format format) noexcept { return format == Format::Xml ? formats[0] : formats[1]; }

Format format_of(std::string_view text) noexcept {
  for (const InputFormat& row : formats) {
    if (row.recognises(text)) return row.format;
  }
  return Format::Json;
}

bool is_log_name(std::string_view name, Target target) noexcept {
  for (const InputFormat& row : formats) {
    if (target == Target::Tenhou6 && !row.to_tenhou6) continue;
    for (std::string_view suffix : row.suffixes) {
      if (name.ends_with(suffix)) return true;
    }
  }
  return false;
}

std::string_view log_suffix(std::string_view name) noexcept {
  std::string_view longest;
  for (const InputFormat& row : formats) {
    for (std::string_view suffix : row.suffixes) {
      if (name.ends_with(suffix) && suffix.size() > longest.size()) longest = suffix;
    }
  }
  if (longest.empty() && name.ends_with(".gz")) return ".gz";
  return longest;
}

std::string game_id_of(std::string_view path) {
  std::string_view name = path.substr(path.find_last_of('/') + 1);
  name.remove_suffix(log_suffix(name).size());
  return archive::parse_game_id(name) ? std::string(name) : std::string();
}

Converter converter_for(Target target) { return target == Target::Mjai ? to_mjai : to_tenhou6; }

}  // namespace batch
