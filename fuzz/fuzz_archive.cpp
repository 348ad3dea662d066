// The container readers on any bytes. The first byte picks how the rest is
// read: as a tar bundle (plain, gzip, bzip2, xz stream), as a zip bundle,
// as a SQLite file, or as rows put into a small database of either layout
// (ids, flags and blobs from the input); each record yielded is then
// decompressed under a small bound, and every member name and id checked.
// Invariants: a yielded record's stem and name are safe paths; its text
// never passes the bound; the reader ends. Any sanitizer report, C++
// exception or broken invariant is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "archive/bundle.hpp"
#include "archive/database.hpp"
#include "archive/game_id.hpp"
#include "archive/member_name.hpp"
#include "archive/zip_image.hpp"
#include "database_rows.hpp"
#include "formats/bytes.hpp"
#include "formats/registry.hpp"

namespace {

constexpr std::size_t fuzz_limit = 1 << 20;
// Members are logs as the command takes them by default.
const archive::LogStem mjai_logs = formats::log_stem_rule(formats::Target::Mjai);

[[noreturn]] void finding(const char* what, std::string_view detail) {
  std::fprintf(stderr, "fuzz finding: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

// No absolute path, no "..", "." or empty component, no NUL.
void check_safe(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string_view::npos) {
    finding("unsafe path yielded", path);
  }
  std::string_view rest = path;
  while (true) {
    const auto slash = rest.find('/');
    const std::string_view component = rest.substr(0, slash);
    if (component.empty() || component == "." || component == "..") finding("unsafe path yielded", path);
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
}

void drain(archive::Source& source) {
  formats::Decoders decoders;
  for (int count = 0; auto entry = source.next(); ++count) {
    if (count > 100000) finding("reader does not end", "");
    if (auto* record = std::get_if<archive::StoredRecord>(&*entry)) {
      check_safe(record->stem);
      auto text = formats::record_text(record->stored, decoders, fuzz_limit);
      if (text && text->size() > fuzz_limit) finding("bound passed", record->name);
      if (text) (void)record->settle_duplicate(text->view());
    }
  }
}

// A database as the registry opens it: its layouts, an earlier row read
// again on decoders of its own.
auto open_database(const std::string& path) {
  auto decoders = std::make_shared<formats::Decoders>();
  return archive::open_database(path, formats::database_layouts(), [decoders](const archive::StoredBytes& stored) {
    return formats::record_text(stored, *decoders, fuzz_limit);
  });
}

std::string temp_path() { return "/dev/shm/fuzz_archive_" + std::to_string(::getpid()) + ".db"; }

void run_database_file(std::string_view bytes) {
  const std::string path = temp_path();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (auto source = open_database(path)) drain(**source);
  ::unlink(path.c_str());
}

void run_database_rows(std::string_view bytes) {
  const std::string path = temp_path();
  fuzz_input::write_database_rows(path, bytes);
  if (auto source = open_database(path)) drain(**source);
  ::unlink(path.c_str());
}

void run_names(std::string_view bytes) {
  while (!bytes.empty()) {
    const auto end = bytes.find('\n');
    const std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (auto id = archive::parse_game_id(line); id && id->text.size() != 31 && id->text.size() != 32) {
      finding("odd game id accepted", line);
    }
    for (auto kind : {archive::MemberKind::File, archive::MemberKind::SymbolicLink}) {
      auto verdict = archive::judge_member(line, kind, mjai_logs);
      if (auto* member = std::get_if<archive::LogMember>(&verdict)) {
        if (kind != archive::MemberKind::File) finding("link accepted", line);
        check_safe(member->path);
        check_safe(member->stem);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    switch (data[0] % 8) {
      case 0: drain(*archive::tar_source(archive::memory_byte_stream(bytes), mjai_logs)); break;
      case 1: drain(*archive::tar_source(archive::gzip_stream(archive::memory_byte_stream(bytes)), mjai_logs)); break;
      case 2: drain(*archive::tar_source(archive::bzip2_stream(archive::memory_byte_stream(bytes)), mjai_logs)); break;
      case 3: drain(*archive::tar_source(archive::xz_stream(archive::memory_byte_stream(bytes)), mjai_logs)); break;
      case 4:
        if (auto source = archive::zip_source(archive::memory_zip_image(bytes), mjai_logs)) drain(**source);
        break;
      case 5: run_database_file(bytes); break;
      case 6: run_database_rows(bytes); break;
      case 7: run_names(bytes); break;
    }
  } catch (const std::exception& e) {
    finding("C++ exception", e.what());
  }
  return 0;
}
