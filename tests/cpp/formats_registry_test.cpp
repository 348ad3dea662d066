// The registry's rules: which names are logs for each target (a folder's
// files and a bundle's members alike), what an output replaces, which
// names are containers, and which bytes are compressed.
#include <gtest/gtest.h>

#include "archive_support.hpp"
#include "formats/registry.hpp"

namespace {

using formats::Target;

TEST(FormatsNameRule, ALogIsAFormatSuffixThenPerhapsAReadableCompression) {
  struct Case {
    const char* path;
    const char* mjai;     // the stem, or "-" for no log
    const char* tenhou6;
    const char* validate;  // the names of mjai streams
  };
  const Case cases[] = {
      {"a.json", "a", "-", "a"},
      {"b.json.gz", "b", "-", "b"},
      {"c.mjlog", "c", "c", "-"},
      {"d.mjlog.gz", "d", "d", "-"},
      {"e.xml", "e", "e", "-"},
      {"y/f.xml.gz", "y/f", "y/f", "-"},
      {"g.json.bz2", "g", "-", "g"},
      {"y.d/h.mjlog.bz2", "y.d/h", "y.d/h", "-"},
      {"h.txt", "-", "-", "-"},
      {"i.jsonl", "-", "-", "i"},
      {"j.json.xz", "-", "-", "-"},  // xz is read in bundles only
      {"k.gz.json", "k.gz", "-", "k.gz"},
      {"l.JSON", "-", "-", "-"},
      {"y/.mjlog", "-", "-", "-"},
      {".json.gz", "-", "-", "-"},
      {"m.gz", "-", "-", "-"},
      {"n.mjai.jsonl.gz", "-", "-", "n.mjai"},  // pairo's own outputs, gzipped
      {"o.jsonl.xz", "-", "-", "-"},
  };
  for (const Case& c : cases) {
    for (const auto& [target, stem] : {std::pair{Target::Mjai, c.mjai}, std::pair{Target::Tenhou6, c.tenhou6},
                                       std::pair{Target::Validate, c.validate}}) {
      const auto name = formats::log_stem(c.path, target);
      EXPECT_EQ(name ? std::string(*name) : "-", stem) << c.path;
      const auto member = formats::log_stem_rule(target)(c.path);
      EXPECT_EQ(member ? std::string(*member) : "-", stem) << c.path << " as a member";
    }
  }
}

TEST(FormatsNameRule, AnOutputReplacesTheWholeRecognisedSuffix) {
  const std::pair<const char*, const char*> cases[] = {
      {"a.json.gz", "a"}, {"b.mjlog.bz2", "b"}, {"c.gz", "c"},          {"d.bz2", "d"},
      {"e.txt", "e.txt"}, {".json", ".json"},   {"f.json.xz", "f.json.xz"},
  };
  for (const auto& [name, stem] : cases) EXPECT_EQ(formats::output_stem(name), stem) << name;
}

TEST(FormatsContainers, BundlesAreToldByTheirSuffixInAnyCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"set.zip", "set"}, {"2019.TAR.GZ", "2019"}, {"a.b.tgz", "a.b"}, {"x.tar.bz2", "x"}, {"x.tar.xz", "x"},
      {"x.tar", "x"},     {".tar", "-"},           {"x.gz", "-"},      {"x.mjlog", "-"},   {"2024.db", "-"},
  };
  for (const auto& [name, stem] : cases) {
    const auto named = formats::container_named(name);
    EXPECT_EQ(named ? std::string(named->stem) : "-", stem) << name;
  }
  EXPECT_NE(formats::container_told(std::string_view("SQLite format 3\0", 16)), nullptr);
  EXPECT_EQ(formats::container_told("SQLite format 3"), nullptr);
}

TEST(FormatsBytes, CompressionAndFormatAreToldByContent) {
  struct Case {
    std::string bytes;
    const char* compression;  // the row's suffix, or "-" for bytes read as they are
  };
  const Case cases[] = {
      {archive_test::gzip_of("{}"), ".gz"},
      {archive_test::bzip2_of("{}"), ".bz2"},
      {std::string("\xFD" "7zXZ\0\0", 7), "-"},  // no log is read through xz
      {"{}", "-"},
      {"", "-"},
  };
  for (const Case& c : cases) {
    const formats::Compression* row = formats::compression_of(c.bytes);
    EXPECT_EQ(row ? std::string(row->suffix) : "-", c.compression) << c.bytes;
  }
  EXPECT_EQ(formats::format_of("\xEF\xBB\xBF\n <mjloggm>"), formats::Format::Xml);
  EXPECT_EQ(formats::format_of("[<"), formats::Format::Json);
  EXPECT_EQ(formats::format_of(""), formats::Format::Json);
}

// An mjai stream is told by its first line alone; a tenhou.net/6 log,
// whether on one line or pretty-printed, never is.
TEST(FormatsBytes, AnMjaiStreamIsToldByItsFirstLine) {
  const std::pair<std::string_view, formats::Format> cases[] = {
      {"{\"type\":\"start_game\",\"names\":[\"a\",\"b\",\"c\",\"d\"]}\n{\"type\":\"end_game\"}\n",
       formats::Format::Mjai},
      {"\xEF\xBB\xBF {\"id\":0, \"type\" : \"start_game\"}\r\n", formats::Format::Mjai},
      {"{\"type\":\"end_game\"}", formats::Format::Mjai},
      {"{\"title\":[\"\",\"\"],\"name\":[\"type\",\"b\"],\"rule\":{\"disp\":\"\\\"type\\\":\"},\"log\":[]}",
       formats::Format::Json},
      {"{\"rule\":{\"type\":1},\"log\":[]}", formats::Format::Json},  // nested, not the event's own
      {"{\n\"type\":\"start_game\"}", formats::Format::Json},            // the first line is no whole object
      {"{\"type\":\"start_game\"} x", formats::Format::Json},
      {"{\"type\"}", formats::Format::Json},
      {"[{\"type\":\"start_game\"}]", formats::Format::Json},
  };
  for (const auto& [text, format] : cases) EXPECT_EQ(formats::format_of(text), format) << text;
}

}  // namespace
