// The log formats' readers: tenhou.net/6 JSON logs through the module's own
// stages, Tenhou's XML records through the record reader into the same
// stages, or written back out as tenhou.net/6 JSON. Each failure carries the
// module's class and message, and why in its note.
#include "base/fixed_texts.hpp"
#include "base/invariant.hpp"
#include "formats/readers.hpp"
#include "mjlog/mjlog.hpp"
#include "pipeline/pipeline.hpp"

namespace formats {
namespace {

Failure failure_of(const mjlog::ReadError& error) {
  Failure failure = pairo::record_failure(error.message, error.offset);
  failure.code = mjlog::code_of(error.kind);
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

std::expected<mjlog::Record, Failure> read_record(std::string_view text) {
  auto record = mjlog::read_record(text);
  if (!record) return std::unexpected(failure_of(record.error()));
  return std::move(*record);
}

Events record_events(std::string_view text) {
  auto record = mjlog::read_record(text);
  if (!record) return std::unexpected(Refusal{std::move(record.error())});
  return refused_or(pairo::convert_raw_log(std::move(record->log)));
}

}  // namespace

std::expected<Document, Failure> xml_to_mjai(std::string_view text) { return document(record_events(text)); }

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

namespace readers {

// ---- tenhou.net/6 JSON logs ---------------------------------------------

// What no other format recognises.
bool any_text(std::string_view) noexcept { return true; }

// The text goes as soon as it is parsed: a worker then holds less at once.
Events json_events(pairo::PaddedText& text) { return refused_or(pairo::convert_log_text(std::move(text))); }

std::expected<Document, Failure> json_to_mjai(pairo::PaddedText& text) { return document(json_events(text)); }

// ---- Tenhou's XML game records ------------------------------------------

// A first non-blank '<', after a byte-order mark as editors leave.
bool starts_as_xml(std::string_view text) noexcept {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const auto first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && text[first] == '<';
}

// The row's readers: the record is read where it lies.
Events xml_events(pairo::PaddedText& text) { return record_events(text.view()); }
std::expected<Document, Failure> xml_to_mjai(pairo::PaddedText& text) { return formats::xml_to_mjai(text.view()); }
std::expected<Document, Failure> xml_to_tenhou6(pairo::PaddedText& text, std::string_view ref) {
  return formats::xml_to_tenhou6(text.view(), ref);
}

// ---- mjai streams ----------------------------------------------------------

// pairo's own output, refused whole: converting it again means a data set
// was taken for its sources.
std::expected<Document, Failure> mjai_refused(pairo::PaddedText&) {
  return std::unexpected(pairo::coded_failure(pairo::FailureCode::MjaiStream));
}

Events mjai_events(pairo::PaddedText&) {
  return std::unexpected(Refusal{pairo::Error(pairo::ErrorKind::Syntax, pairo::texts::mjai_stream)});
}

}  // namespace readers
}  // namespace formats
