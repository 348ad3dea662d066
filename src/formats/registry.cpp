// The tables: one row per log format, per compression and per container,
// and the look-ups every reader makes over them.
#include "formats/registry.hpp"

#include <array>
#include <ranges>

#include "archive/database.hpp"
#include "formats/readers.hpp"
#include "gzip/gzip.hpp"

namespace formats {
namespace {

// ---- log formats ----------------------------------------------------------

constexpr std::array<std::string_view, 1> json_suffixes = {".json"};
constexpr std::array<std::string_view, 2> xml_suffixes = {".mjlog", ".xml"};
// The names a validation reads: streams are told by content, but are found
// under the names pairo and the data sets give them.
constexpr std::array<std::string_view, 2> stream_suffixes = {".jsonl", ".json"};

// XML first, then mjai streams (named as JSON logs are, so no suffix of
// their own): JSON takes what neither recognises.
constexpr std::array<LogFormat, 3> log_formats = {{
    {Format::Xml, xml_suffixes, readers::starts_as_xml, readers::xml_to_mjai, readers::xml_events,
     readers::xml_to_tenhou6},
    {Format::Mjai, {}, is_mjai_stream, readers::mjai_refused, readers::mjai_events, nullptr},
    {Format::Json, json_suffixes, readers::any_text, readers::json_to_mjai, readers::json_events, nullptr},
}};

// ---- compressions ---------------------------------------------------------

// An xz record is read as it is (and fails as a text that is no log): only
// bundles are read through xz, so ".xz" names no log.
constexpr std::array<Compression, 4> compressions = {{
    {".gz", gzip::is_gzip, readers::gunzip, archive::gzip_stream},
    {".bz2", archive::is_bzip2, readers::bunzip2, archive::bzip2_stream},
    {".xz", readers::is_xz, nullptr, archive::xz_stream},
    {"", nullptr, nullptr, readers::as_it_is},
}};
constexpr const Compression& no_compression = compressions.back();

// Whether a log so compressed is read: its suffix may follow a log's.
constexpr bool names_logs(const Compression& row) noexcept { return row.decode || &row == &no_compression; }

// ---- containers -----------------------------------------------------------

constexpr std::array<std::string_view, 1> zip_suffixes = {".zip"};
constexpr std::array<std::string_view, 1> tar_suffixes = {".tar"};
constexpr std::array<std::string_view, 2> tar_gz_suffixes = {".tar.gz", ".tgz"};
constexpr std::array<std::string_view, 1> tar_bz2_suffixes = {".tar.bz2"};
constexpr std::array<std::string_view, 1> tar_xz_suffixes = {".tar.xz"};

constexpr std::array<ContainerFormat, 6> containers = {{
    {zip_suffixes, nullptr, nullptr, readers::open_zip},
    {tar_suffixes, nullptr, &no_compression, readers::open_tar},
    {tar_gz_suffixes, nullptr, &compressions[0], readers::open_tar},
    {tar_bz2_suffixes, nullptr, &compressions[1], readers::open_tar},
    {tar_xz_suffixes, nullptr, &compressions[2], readers::open_tar},
    {{}, archive::is_database_header, nullptr, readers::open_database},
}};

// The two downloaders' tables of records.
constexpr std::array<archive::DatabaseLayout, 2> layouts = {{
    {"phoenix-logs", "log_id", "is_sanma", 1, "log_content"},
    {"houou-logs", "id", "num_players", 3, "log"},
}};

[[nodiscard]] constexpr char lower(char c) noexcept {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] bool ends_with_folded(std::string_view name, std::string_view suffix) noexcept {
  if (name.size() <= suffix.size()) return false;  // a suffix alone names nothing
  name = name.substr(name.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (lower(name[i]) != suffix[i]) return false;
  }
  return true;
}

template <Target target>
std::optional<std::string_view> stem_for(std::string_view path) noexcept {
  return log_stem(path, target);
}

}  // namespace

const LogFormat& log_format(Format format) noexcept {
  for (const LogFormat& row : log_formats) {
    if (row.format == format) return row;
  }
  return log_formats.back();
}

Format format_of(std::string_view text) noexcept {
  for (const LogFormat& row : log_formats) {
    if (row.recognises(text)) return row.format;
  }
  return Format::Json;
}

bool is_mjai_stream(std::string_view text) noexcept {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  text = text.substr(0, text.find('\n'));
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos || text[first] != '{') return false;
  // One pass over the line's JSON: strings skipped whole, nesting counted;
  // a "type" key at the object's own level, and the object closing on
  // this line.
  int depth = 0;
  bool typed = false;
  for (std::size_t i = first; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      const std::size_t open = i;
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\') ++i;
      }
      if (i >= text.size()) return false;
      if (depth == 1 && text.substr(open, i + 1 - open) == "\"type\"") {
        const auto after = text.find_first_not_of(" \t", i + 1);
        typed = typed || (after != std::string_view::npos && text[after] == ':');
      }
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (--depth == 0) return typed && text.find_first_not_of(" \t\r", i + 1) == std::string_view::npos;
    }
  }
  return false;
}

const Compression* compression_of(std::string_view bytes) noexcept {
  for (const Compression& row : compressions) {
    if (row.told && row.decode && row.told(bytes)) return &row;
  }
  return nullptr;
}

std::optional<NamedContainer> container_named(std::string_view file_name) noexcept {
  for (const ContainerFormat& row : containers) {
    for (std::string_view suffix : row.suffixes) {
      if (ends_with_folded(file_name, suffix)) {
        return NamedContainer{&row, file_name.substr(0, file_name.size() - suffix.size())};
      }
    }
  }
  return std::nullopt;
}

const ContainerFormat* container_told(std::string_view head) noexcept {
  for (const ContainerFormat& row : containers) {
    if (row.told && row.told(head)) return &row;
  }
  return nullptr;
}

archive::Layouts database_layouts() noexcept { return layouts; }

std::optional<std::string_view> log_stem(std::string_view path, Target target) noexcept {
  const std::string_view name = path.substr(path.find_last_of('/') + 1);
  for (const Compression& compression : compressions) {
    if (!names_logs(compression) || !name.ends_with(compression.suffix)) continue;
    const std::string_view inner = name.substr(0, name.size() - compression.suffix.size());
    if (target == Target::Validate) {
      for (std::string_view suffix : stream_suffixes) {
        if (inner.size() <= suffix.size() || !inner.ends_with(suffix)) continue;
        return path.substr(0, path.size() - name.size() + inner.size() - suffix.size());
      }
      continue;
    }
    for (const LogFormat& format : log_formats) {
      if (target == Target::Tenhou6 && !format.to_tenhou6) continue;
      for (std::string_view suffix : format.suffixes) {
        if (inner.size() <= suffix.size() || !inner.ends_with(suffix)) continue;
        return path.substr(0, path.size() - name.size() + inner.size() - suffix.size());
      }
    }
  }
  return std::nullopt;
}

archive::LogStem log_stem_rule(Target target) noexcept {
  switch (target) {
    case Target::Mjai: return stem_for<Target::Mjai>;
    case Target::Tenhou6: return stem_for<Target::Tenhou6>;
    case Target::Validate: return stem_for<Target::Validate>;
  }
  return stem_for<Target::Mjai>;
}

std::string_view output_stem(std::string_view name) noexcept {
  if (const auto stem = log_stem(name, Target::Mjai)) return *stem;
  for (const Compression& row : compressions) {
    if (&row != &no_compression && names_logs(row) && name.size() > row.suffix.size() &&
        name.ends_with(row.suffix)) {
      return name.substr(0, name.size() - row.suffix.size());
    }
  }
  return name;
}

std::string listed(const std::vector<std::string_view>& names, std::string_view last_joint) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) text += i + 1 == names.size() ? " " + std::string(last_joint) + " " : ", ";
    text += names[i];
  }
  return text;
}

InputNames input_names() {
  InputNames names;
  // Formats are tried XML first; users read JSON first.
  for (const LogFormat& row : log_formats | std::views::reverse) {
    for (std::string_view suffix : row.suffixes) {
      names.logs.push_back(suffix);
      if (row.to_tenhou6) names.tenhou6_logs.push_back(suffix);
    }
  }
  for (const Compression& row : compressions) {
    if (names_logs(row) && !row.suffix.empty()) names.compressions.push_back(row.suffix);
  }
  for (const ContainerFormat& row : containers) names.bundles.insert(names.bundles.end(), row.suffixes.begin(), row.suffixes.end());
  return names;
}

}  // namespace formats
