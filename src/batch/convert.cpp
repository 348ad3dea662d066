// The engine's conversions: each format's row read into the target, a
// record's game id for its tenhou.net/6 document taken from its file name.
#include "archive/game_id.hpp"
#include "batch/batch.hpp"

namespace batch {
namespace {

std::expected<Document, Failure> to_tenhou6(pairo::PaddedText& text, Format format, std::string_view path) {
  const formats::LogFormat& row = formats::log_format(format);
  if (format == Format::Mjai) return row.to_mjai(text);  // its refusal says what it is
  if (!row.to_tenhou6) {
    return std::unexpected(pairo::coded_failure(pairo::FailureCode::NotARecordToWrite));
  }
  return row.to_tenhou6(text, game_id_of(path));
}

std::expected<Document, Failure> to_mjai(pairo::PaddedText& text, Format format, std::string_view) {
  return formats::log_format(format).to_mjai(text);
}

}  // namespace

std::string game_id_of(std::string_view path) {
  const std::string_view name = formats::output_stem(path.substr(path.find_last_of('/') + 1));
  return archive::parse_game_id(name) ? std::string(name) : std::string();
}

Converter converter_for(Target target) { return target == Target::Mjai ? to_mjai : to_tenhou6; }

}  // namespace batch
