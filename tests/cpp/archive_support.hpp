// What the container tests share: the corpus's XML records, a scratch
// folder, compressed blobs, and every entry of a container read out.
#pragma once

#include <bzlib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/container.hpp"
#include "corpus.hpp"
#include "formats/bytes.hpp"
#include "formats/containers.hpp"
#include "gzip/gzip.hpp"

namespace archive_test {

namespace fs = std::filesystem;

// The XML records of the corpus, sorted by file name.
inline std::vector<std::string> xml_records() {
  std::vector<fs::path> paths;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(corpus::root() / "xml", error)) {
    if (entry.path().extension() == ".xml") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> texts;
  for (const auto& path : paths) texts.push_back(corpus::read_file(path));
  return texts;
}

// A fresh folder, removed with everything in it at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() / ("pairo-archive-" + std::string(info->name()) + "-" +
                                         std::to_string(::getpid()));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  [[nodiscard]] const fs::path& path() const { return path_; }
  [[nodiscard]] std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

inline std::string gzip_of(std::string_view text) { return gzip::Deflater().deflate(text); }

inline std::string bzip2_of(std::string_view text) {
  std::string out(text.size() + text.size() / 100 + 700, '\0');
  unsigned size = static_cast<unsigned>(out.size());
  const int rc = BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(text.data()),
                                          static_cast<unsigned>(text.size()), 9, 0, 0);
  EXPECT_EQ(rc, BZ_OK);
  out.resize(size);
  return out;
}

// One entry as the tests compare it: 'R' record (its stem, then its text or
// the failure decompressing it), 'S' skip (its reason), 'F' failure (its message).
struct Seen {
  char kind;
  std::string name;
  std::string detail;
  std::string text;  // records: the text, or "!" and the failure
  bool operator==(const Seen&) const = default;
};

inline void PrintTo(const Seen& s, std::ostream* os) {
  *os << s.kind << " " << s.name << " [" << s.detail << "] " << s.text.substr(0, 60);
}

// One entry as seen, a record's duplicate verdict settled.
inline Seen seen_of(archive::Entry entry, formats::Decoders& decoders) {
  if (auto* record = std::get_if<archive::StoredRecord>(&entry)) {
    auto text = formats::record_text(record->stored, decoders);
    if (!text) return {'R', record->name, record->stem, "!" + text.error().message};
    if (auto earlier = record->settle_duplicate(text->view())) {
      return {'S', record->name, "duplicate of " + *earlier, ""};
    }
    return {'R', record->name, record->stem, std::string(text->view())};
  }
  if (auto* skip = std::get_if<archive::Skip>(&entry)) {
    return {'S', skip->name, std::string(archive::reason_text(skip->reason)), ""};
  }
  const auto& failure = std::get<archive::EntryFailure>(entry);
  return {'F', failure.name, failure.error.message, ""};
}

inline std::vector<Seen> read_all(formats::Container& container) {
  formats::Decoders decoders;
  std::vector<Seen> seen;
  while (auto entry = container.next()) seen.push_back(seen_of(std::move(*entry), decoders));
  return seen;
}

}  // namespace archive_test

#define REQUIRE_XML(records)                                               \
  if ((records).size() < 5) {                                              \
    if (corpus::in_ci()) FAIL() << "no XML records under " << corpus::root(); \
    GTEST_SKIP() << "no XML records under " << corpus::root();             \
  }
