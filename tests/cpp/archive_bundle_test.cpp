// Zip and tar bundles read as containers: members in order with their
// stems, every layer of compression undone under the bound, unsafe names,
// links and devices failing alone, a cut bundle failing once at its end;
// bundles made to mislead or to exhaust: members hidden from tar tools,
// zip members sharing data, a skip through terabytes cut short by a cancel.
#include <libdeflate.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/bundle.hpp"
#include "archive/container.hpp"
#include "archive/zip_image.hpp"
#include "archive_support.hpp"

namespace {

using archive_test::Seen;

// Members are logs as the command takes them by default.
const archive::LogStem mjai_logs = formats::log_stem_rule(formats::Target::Mjai);

std::unique_ptr<archive::ByteStream> as_it_is(std::unique_ptr<archive::ByteStream> stream) { return stream; }
namespace fs = std::filesystem;

const fs::path bundle_script = fs::path(PAIRO_TEST_SOURCE_DIR) / "archive_bundles.py";

// The bundles are made once for all the tests here: they are big (a bomb, a 64 MiB member).
class BundleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    records_ = archive_test::xml_records();
    if (records_.size() < 5) return;
    folder_ = fs::temp_directory_path() / ("pairo-bundles-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    fs::path xml = corpus::root() / "xml";
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(xml)) {
      if (entry.path().extension() == ".xml") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    const std::string command = "python3 " + bundle_script.string() + " " + folder_.string() + " " +
                                paths[0].string() + " " + paths[1].string();
    made_ = std::system(command.c_str()) == 0;
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    if (!folder_.empty()) fs::remove_all(folder_, ignored);
  }
  void SetUp() override {
    REQUIRE_XML(records_);
    ASSERT_TRUE(made_) << "the bundles could not be made";
  }
  static std::vector<Seen> read(const std::string& name) {
    auto container = formats::Container::open((folder_ / name).string());
    EXPECT_TRUE(container) << name << ": " << container.error().message;
    if (!container) return {};
    return archive_test::read_all(*container);
  }

  static inline std::vector<std::string> records_;
  static inline fs::path folder_;
  static inline bool made_ = false;
};

std::vector<Seen> members_of_every_bundle(const std::string& a, const std::string& b) {
  const std::string long_folder = "long-" + std::string(120, 'f');
  return {
      {'R', "2019/01/a.mjlog", "2019/01/a", a},
      {'R', "2019/02/b.xml", "2019/02/b", b},
      {'R', long_folder + "/c.json.gz", long_folder + "/c", b},
      {'F', "\"../evil.xml\"", "unsafe member name: holds ..", ""},
      {'F', "\"/abs.xml\"", "unsafe member name: absolute path", ""},
      {'R', "bomb.mjlog", "bomb", "!inflated gzip data is larger than 64 MiB"},
      {'R', "2019/03/bz.xml.bz2", "2019/03/bz", a},
      {'F', "\"link.xml\"", "member is a symbolic link", ""},
  };
}

TEST_F(BundleTest, TarBundlesOfEveryCompressionYieldTheSameEntries) {
  auto expected = members_of_every_bundle(records_[0], records_[1]);
  expected.push_back({'F', "\"hard.xml\"", "member is a hard link", ""});
  expected.push_back({'F', "\"dev.xml\"", "member is a device, fifo or socket", ""});
  expected.push_back({'F', "huge.xml", "tar member is larger than 64 MiB", ""});
  expected.push_back({'R', "z/last.xml", "z/last", records_[0]});
  for (const char* name : {"set.tar", "set.tar.gz", "set.tgz", "set.tar.bz2", "set.tar.xz"}) {
    EXPECT_EQ(read(name), expected) << name;
  }
}

TEST_F(BundleTest, ZipBundleYieldsItsMembersInDirectoryOrder) {
  auto expected = members_of_every_bundle(records_[0], records_[1]);
  expected.push_back({'R', "z/last.xml", "z/last", records_[0]});
  EXPECT_EQ(read("set.zip"), expected);
  auto container = formats::Container::open((folder_ / "set.zip").string());
  ASSERT_TRUE(container);
  EXPECT_EQ(container->size_hint(), std::optional<std::size_t>(expected.size()));
  EXPECT_EQ(container->output_folder(), "set");
}

// A central directory damaged at one entry: the members before it, then one
// failure; the count known up front counts that failure too (a batch that
// trusted a count of none would report nothing for the bundle).
TEST_F(BundleTest, DamagedZipDirectoryIsCountedWithTheFailureThatEndsIt) {
  const std::string whole = corpus::read_file(folder_ / "set.zip");
  const auto u32_at = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(whole[at + i]);
    return value;
  };
  const std::size_t directory = u32_at(whole.rfind("PK\x05\x06") + 16);
  for (const std::size_t damaged : {0u, 1u, 2u, 5u}) {
    std::string bytes = whole;
    std::size_t at = directory;
    for (std::size_t i = 0; i < damaged; ++i) at = bytes.find("PK\x01\x02", at + 4);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 2] = 'x';
    auto source = archive::zip_source(archive::memory_zip_image(bytes), mjai_logs);
    ASSERT_TRUE(source) << source.error().message;
    std::vector<archive::Entry> entries;
    while (auto entry = (*source)->next()) entries.push_back(std::move(*entry));
    EXPECT_EQ((*source)->size_hint(), std::optional<std::size_t>(entries.size())) << damaged;
    ASSERT_FALSE(entries.empty());
    const auto* failure = std::get_if<archive::EntryFailure>(&entries.back());
    ASSERT_NE(failure, nullptr) << damaged;
    EXPECT_EQ(failure->error.message, "corrupt zip bundle: bad central directory entry");
  }
}

// A cut bundle: the entries before the cut as the whole bundle has them,
// then one failure named by the bundle.
TEST_F(BundleTest, CutBundleFailsOnceAtTheCut) {
  const auto whole = read("set.tar");
  for (const auto& [name, message] : std::vector<std::pair<std::string, std::string>>{
           {"cut.tar", "truncated tar bundle"}, {"cut.tar.gz", "truncated tar bundle"}}) {
    const auto seen = read(name);
    ASSERT_FALSE(seen.empty()) << name;
    EXPECT_EQ(seen.back(), (Seen{'F', (folder_ / name).string(), message, ""})) << name;
    ASSERT_LT(seen.size(), whole.size()) << name;
    EXPECT_TRUE(std::equal(seen.begin(), seen.end() - 1, whole.begin())) << name;
  }
  auto zip = formats::Container::open((folder_ / "cut.zip").string());
  ASSERT_FALSE(zip);
  EXPECT_EQ(zip.error().message, "corrupt zip bundle: no end of central directory");
}

// A compressed stream cut short or damaged is one failure, and reading stops.
TEST(BundleStream, DamagedCompressedStreamFailsOnce) {
  const std::string tar_gz = archive_test::gzip_of(std::string(4096, 'x'));
  const std::string tar_bz2 = archive_test::bzip2_of(std::string(4096, 'x'));
  struct Case {
    std::string bytes;
    std::unique_ptr<archive::ByteStream> (*decode)(std::unique_ptr<archive::ByteStream>);
    std::string message;
  };
  std::string damaged = tar_gz;
  damaged[12] = static_cast<char>(damaged[12] ^ 0x55);
  const std::vector<Case> cases = {
      {tar_gz.substr(0, tar_gz.size() / 2), archive::gzip_stream, "truncated gzip stream"},
      {tar_bz2.substr(0, tar_bz2.size() / 2), archive::bzip2_stream, "truncated bzip2 stream"},
      {tar_gz + "junk", archive::gzip_stream, "corrupt tar header (bad checksum)"},
      {std::string(100, '\0'), archive::xz_stream, "corrupt xz stream"},
      {std::string(300, 'x'), as_it_is, "truncated tar bundle"},
  };
  for (const Case& c : cases) {
    auto source = archive::tar_source(c.decode(archive::memory_byte_stream(c.bytes)), mjai_logs);
    auto entry = source->next();
    ASSERT_TRUE(entry) << c.message;
    ASSERT_TRUE(std::holds_alternative<archive::EntryFailure>(*entry)) << c.message;
    EXPECT_EQ(std::get<archive::EntryFailure>(*entry).error.message, c.message);
    EXPECT_FALSE(source->next()) << c.message;
  }
}

// Tar blocks built byte by byte: a ustar header, data padded to its block.
std::string tar_block(std::string data) {
  data.resize((data.size() + 511) / 512 * 512, '\0');
  return data;
}

std::string tar_header(std::string_view name, std::uint64_t size, char type) {
  std::string h(512, '\0');
  name.copy(h.data(), 100);
  std::snprintf(&h[100], 8, "%07o", 0644);
  std::snprintf(&h[124], 12, "%011llo", static_cast<unsigned long long>(size));
  h[156] = type;
  std::memcpy(&h[257], "ustar\0" "00", 8);
  std::memset(&h[148], ' ', 8);
  unsigned sum = 0;
  for (char c : h) sum += static_cast<unsigned char>(c);
  std::snprintf(&h[148], 7, "%06o", sum);
  return h;
}

std::string tar_member(std::string_view name, std::string_view data) {
  return tar_header(name, data.size(), '0') + tar_block(std::string(data));
}

// An extended ('x') or global ('g') pax header of "key=value" records.
std::string pax(char type, const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string body;
  for (const auto& [key, value] : fields) {
    const std::string record = " " + key + "=" + value + "\n";
    std::size_t length = record.size() + 1;
    while (std::to_string(length).size() + record.size() != length) ++length;
    body += std::to_string(length) + record;
  }
  return tar_header("pax", body.size(), type) + tar_block(body);
}

const std::string tar_end(1024, '\0');

// Every entry of a source: "name=text" for a record, "name failed: why"
// for a failure ("bundle failed: why" for the bundle's own).
std::vector<std::string> listing(archive::Source& source) {
  formats::Decoders decoders;
  std::vector<std::string> seen;
  while (auto entry = source.next()) {
    if (const auto* record = std::get_if<archive::StoredRecord>(&*entry)) {
      auto text = formats::record_text(record->stored, decoders);
      seen.push_back(record->name + "=" + (text ? std::string(text->view()) : "!" + text.error().message));
    } else if (const auto* failure = std::get_if<archive::EntryFailure>(&*entry)) {
      seen.push_back((failure->name.empty() ? "bundle" : failure->name) + " failed: " + failure->error.message);
    }
  }
  return seen;
}

// Where members begin, read as GNU tar and Python's tarfile read it; each
// case gives what tarfile.open(...).getnames() lists for the same bytes.
TEST(BundleTar, MembersAreWhereTarToolsFindThem) {
  const std::string hidden = tar_member("hidden.xml", "xyz");
  const std::string tail = tar_member("z.xml", "end") + tar_end;
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> seen;
  };
  const Case cases[] = {
      // ['d/', 'z.xml']: a file named like a folder, its data skipped (GNU tar lists a folder, skipping it too)
      {"'0' named like a folder", tar_header("d/", hidden.size(), '0') + hidden + tail, {"z.xml=end"}},
      {"'7' named like a folder", tar_header("d/", hidden.size(), '7') + hidden + tail, {"z.xml=end"}},
      // ['d', 'hidden.xml', 'z.xml']: the old type so named is a folder, which holds no data
      {"'\\0' named like a folder", tar_header("d/", hidden.size(), '\0') + hidden + tail,
       {"hidden.xml=xyz", "z.xml=end"}},
      // ['d', 'z.xml']: the header's own name is a file's, whatever the path says
      {"'\\0' given a folder's path", pax('x', {{"path", "d/"}}) + tar_header("x.xml", hidden.size(), '\0') + hidden + tail,
       {"z.xml=end"}},
      // ['g.xml', 'g.xml']
      {"global path", pax('g', {{"path", "g.xml"}}) + tar_member("a.xml", "abc") + tar_member("b.xml", "def") + tar_end,
       {"g.xml=abc", "g.xml=def"}},
      // ['x.xml', 'h.xml']: the member's own path first, the later global header over the earlier
      {"local and later global paths",
       pax('g', {{"path", "g.xml"}}) + pax('x', {{"path", "x.xml"}}) + tar_member("a.xml", "abc") +
           pax('g', {{"path", "h.xml"}}) + tar_member("b.xml", "def") + tar_end,
       {"x.xml=abc", "h.xml=def"}},
      // ['a.xml', 'hidden.xml', 'z.xml']: the global size, not the header's, ends a.xml
      {"global size", pax('g', {{"size", "3"}}) + pax('x', {{"path", "a.xml"}}) +
                          tar_header("a.xml", 512 + hidden.size(), '0') + tar_block("abc") + hidden + tail,
       {"a.xml=abc", "hidden.xml=xyz", "z.xml=end"}},
      // ['a.xml', 'z.xml']
      {"local size over global", pax('g', {{"size", "3"}}) + pax('x', {{"size", "5"}}) + tar_header("a.xml", 5, '0') +
                                     tar_block("hello") + tail,
       {"a.xml=hello", "z.xml=end"}},
      // ['a.xml', 'z.xml'], skipping a.xml by its header's size; GNU tar skips
      // the global size and lists hidden.xml: the bundle fails there
      {"global size alone", pax('g', {{"size", "0"}}) + tar_header("a.xml", hidden.size(), '0') + hidden + tail,
       {"bundle failed: corrupt tar header (global pax size differs from the member's)"}},
  };
  for (const Case& c : cases) {
    auto source = archive::tar_source(archive::memory_byte_stream(c.bytes), mjai_logs);
    EXPECT_EQ(listing(*source), c.seen) << c.what;
  }
}

// A member of 2^40 bytes, read or skipped through its decompression, stops
// at the cancel flag; the stream raises it once the bundle's bytes run out
// and zeros follow, and ends a few reads later for a reader that ignores it.
class EndlessStream final : public archive::ByteStream {
 public:
  EndlessStream(std::string_view bytes, std::atomic<bool>& cancel) : rest_(bytes), cancel_(cancel) {}
  std::expected<std::size_t, archive::ArchiveError> read(char* out, std::size_t size) override {
    if (rest_.empty()) {
      cancel_.store(true);
      if (++reads_after_ > 4) return 0;
      std::memset(out, 0, size);
      return size;
    }
    size = std::min(size, rest_.size());
    std::memcpy(out, rest_.data(), size);
    rest_.remove_prefix(size);
    return size;
  }

 private:
  std::string_view rest_;
  std::atomic<bool>& cancel_;
  int reads_after_ = 0;
};

TEST(BundleTar, CancelEndsTheBundleWhileSkippingOrReading) {
  const std::string first = tar_member("a.xml", "abc");
  const std::string terabyte = pax('x', {{"size", std::to_string(std::uint64_t{1} << 40)}});
  struct Case {
    const char* what;
    std::string bytes;
    bool endless;
    std::string failure;
  };
  const Case cases[] = {
      {"skipping a file of no log", first + terabyte + tar_header("big.bin", 0, '0'), true, "cancelled"},
      {"skipping a log too big", first + terabyte + tar_header("big.xml", 0, '0'), true, "cancelled"},
      {"reading a log", first + tar_header("big.xml", 1 << 20, '0') + std::string(1000, 'x'), true, "cancelled"},
      {"skipping past the end", first + terabyte + tar_header("big.bin", 0, '0') + std::string(5000, 'x'), false,
       "truncated tar bundle"},
  };
  for (const Case& c : cases) {
    std::atomic<bool> cancel{false};
    std::unique_ptr<archive::ByteStream> stream =
        c.endless ? std::make_unique<EndlessStream>(c.bytes, cancel)
                  : archive::memory_byte_stream(c.bytes);
    auto source = archive::tar_source(std::move(stream), mjai_logs, &cancel);
    EXPECT_EQ(listing(*source), (std::vector<std::string>{"a.xml=abc", "bundle failed: " + c.failure})) << c.what;
  }
}

// A zip built byte by byte: stored local members, then a directory whose
// entries each point at one of them, declaring `extra` bytes more than it holds.
struct ZipEntry {
  std::string name;
  std::size_t local;
  std::uint32_t extra = 0;
};

std::string zip_of(const std::vector<std::pair<std::string, std::string>>& locals, const std::vector<ZipEntry>& entries) {
  const auto le = [](std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(i < 8 ? value >> (8 * i) : 0);  // wider fields are zeros
    return out;
  };
  const auto crc = [](const std::string& data) { return libdeflate_crc32(0, data.data(), data.size()); };
  std::string out;
  std::vector<std::size_t> at;
  for (const auto& [name, data] : locals) {
    at.push_back(out.size());
    out += le(0x04034b50, 4) + le(20, 2) + le(0, 8) + le(crc(data), 4) + le(data.size(), 4) + le(data.size(), 4) +
           le(name.size(), 2) + le(0, 2) + name + data;
  }
  const std::size_t directory = out.size();
  for (const ZipEntry& e : entries) {
    const std::string& data = locals[e.local].second;
    const std::size_t size = data.size() + e.extra;
    out += le(0x02014b50, 4) + le(20, 2) + le(20, 2) + le(0, 8) + le(crc(data), 4) + le(size, 4) + le(size, 4) +
           le(e.name.size(), 2) + le(0, 12) + le(at[e.local], 4) + e.name;
  }
  return out + le(0x06054b50, 4) + le(0, 4) + le(entries.size(), 2) + le(entries.size(), 2) +
         le(out.size() - directory, 4) + le(directory, 4) + le(0, 2);
}

TEST(BundleZip, MembersSharingDataFailAsABomb) {
  const std::string member = "zip bomb: member's data overlaps another member's";
  const std::string directory = "zip bomb: member's data overlaps the central directory";
  const std::vector<std::pair<std::string, std::string>> locals = {{"a.xml", "<a/>"}, {"b.xml", "<b/>"}};
  struct Case {
    const char* what;
    std::vector<ZipEntry> entries;
    std::vector<std::string> seen;
  };
  const Case cases[] = {
      {"each member its own data", {{"a.xml", 0}, {"b.xml", 1}}, {"a.xml=<a/>", "b.xml=<b/>"}},
      {"two entries on one local header",
       {{"a.xml", 0}, {"c.xml", 0}, {"b.xml", 1}},
       {"a.xml failed: " + member, "c.xml failed: " + member, "b.xml=<b/>"}},
      {"data covering the next local header",
       {{"a.xml", 0, 6}, {"b.xml", 1}},
       {"a.xml failed: " + member, "b.xml failed: " + member}},
      {"data running into the directory", {{"a.xml", 0}, {"b.xml", 1, 6}}, {"a.xml=<a/>", "b.xml failed: " + directory}},
      {"a file of no log sharing a log's header", {{"notes.txt", 0}, {"a.xml", 0}}, {"a.xml=<a/>"}},
  };
  for (const Case& c : cases) {
    const std::string bytes = zip_of(locals, c.entries);
    auto source = archive::zip_source(archive::memory_zip_image(bytes), mjai_logs);
    ASSERT_TRUE(source) << c.what << ": " << source.error().message;
    EXPECT_EQ(listing(**source), c.seen) << c.what;
  }
}

// Zips as Python's zipfile writes them, to a file and streamed to a pipe
// (each member then followed by its data descriptor), are no bombs.
TEST(BundleZip, ZipfileBundlesAreNoBombs) {
  const archive_test::ScratchFolder folder;
  const std::string script =
      "import sys, zipfile\n"
      "with zipfile.ZipFile(sys.stdout.buffer if sys.argv[1] == '-' else sys.argv[1], 'w') as z:\n"
      "    z.writestr('d/', b'')\n"
      "    z.writestr('d/a.xml', b'a' * 3000, compress_type=zipfile.ZIP_DEFLATED)\n"
      "    z.writestr('b.xml', b'b', compress_type=zipfile.ZIP_STORED)\n"
      "    z.writestr('c.json', b'c' * 2000, compress_type=zipfile.ZIP_DEFLATED)\n";
  std::FILE* file = std::fopen((folder.path() / "write.py").c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs(script.c_str(), file);
  std::fclose(file);
  const std::string python = "python3 " + (folder.path() / "write.py").string();
  const fs::path written = folder.path() / "written.zip", streamed = folder.path() / "streamed.zip";
  ASSERT_EQ(std::system((python + " " + written.string()).c_str()), 0);
  ASSERT_EQ(std::system((python + " - | cat > " + streamed.string()).c_str()), 0);
  for (const fs::path& path : {written, streamed}) {
    auto container = formats::Container::open(path.string());
    ASSERT_TRUE(container) << path << ": " << container.error().message;
    const std::vector<Seen> expected = {{'R', "d/a.xml", "d/a", std::string(3000, 'a')},
                                        {'R', "b.xml", "b", "b"},
                                        {'R', "c.json", "c", std::string(2000, 'c')}};
    EXPECT_EQ(archive_test::read_all(*container), expected) << path;
  }
}

}  // namespace
