// Zip and tar bundles read as containers: members in order with their
// stems, every layer of compression undone under the bound, unsafe names,
// links and devices failing alone, a cut bundle failing once at its end.
#include <cstdlib>

#include "archive/bundle.hpp"
#include "archive/container.hpp"
#include "archive/zip_image.hpp"
#include "archive_support.hpp"

namespace {

using archive_test::Seen;
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
    auto container = archive::Container::open((folder_ / name).string());
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
      {'R', "bomb.mjlog", "bomb", "!gzip data decompresses to more than 64 MiB"},
      {'R', "2019/03/bz.xml.bz2", "2019/03/bz", a},
      {'F', "\"link.xml\"", "member is a symbolic link", ""},
  };
}

TEST_F(BundleTest, TarBundlesOfEveryCompressionYieldTheSameEntries) {
  auto expected = members_of_every_bundle(records_[0], records_[1]);
  expected.push_back({'F', "\"hard.xml\"", "member is a hard link", ""});
  expected.push_back({'F', "\"dev.xml\"", "member is a device, fifo or socket", ""});
  expected.push_back({'F', "huge.xml", "member larger than 64 MiB", ""});
  expected.push_back({'R', "z/last.xml", "z/last", records_[0]});
  for (const char* name : {"set.tar", "set.tar.gz", "set.tgz", "set.tar.bz2", "set.tar.xz"}) {
    EXPECT_EQ(read(name), expected) << name;
  }
}

TEST_F(BundleTest, ZipBundleYieldsItsMembersInDirectoryOrder) {
  auto expected = members_of_every_bundle(records_[0], records_[1]);
  expected.push_back({'R', "z/last.xml", "z/last", records_[0]});
  EXPECT_EQ(read("set.zip"), expected);
  auto container = archive::Container::open((folder_ / "set.zip").string());
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
    auto source = archive::zip_source(archive::memory_zip_image(bytes));
    ASSERT_TRUE(source) << source.error().message;
    std::vector<archive::Entry> entries;
    while (auto entry = (*source)->next()) entries.push_back(std::move(*entry));
    EXPECT_EQ((*source)->size_hint(), std::optional<std::size_t>(entries.size())) << damaged;
    ASSERT_FALSE(entries.empty());
    const auto* failure = std::get_if<archive::Failure>(&entries.back());
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
  auto zip = archive::Container::open((folder_ / "cut.zip").string());
  ASSERT_FALSE(zip);
  EXPECT_EQ(zip.error().message, "corrupt zip bundle: no end of central directory");
}

// A compressed stream cut short or damaged is one failure, and reading stops.
TEST(BundleStream, DamagedCompressedStreamFailsOnce) {
  const std::string tar_gz = archive_test::gzip_of(std::string(4096, 'x'));
  const std::string tar_bz2 = archive_test::bzip2_of(std::string(4096, 'x'));
  struct Case {
    std::string bytes;
    archive::Compression compression;
    std::string message;
  };
  std::string damaged = tar_gz;
  damaged[12] = static_cast<char>(damaged[12] ^ 0x55);
  const std::vector<Case> cases = {
      {tar_gz.substr(0, tar_gz.size() / 2), archive::Compression::Gzip, "truncated gzip stream"},
      {tar_bz2.substr(0, tar_bz2.size() / 2), archive::Compression::Bzip2, "truncated bzip2 stream"},
      {tar_gz + "junk", archive::Compression::Gzip, "corrupt tar header (bad checksum)"},
      {std::string(100, '\0'), archive::Compression::Xz, "corrupt xz stream"},
      {std::string(300, 'x'), archive::Compression::None, "truncated tar bundle"},
  };
  for (const Case& c : cases) {
    auto source = archive::tar_source(archive::memory_byte_stream(c.bytes, c.compression));
    auto entry = source->next();
    ASSERT_TRUE(entry) << c.message;
    ASSERT_TRUE(std::holds_alternative<archive::Failure>(*entry)) << c.message;
    EXPECT_EQ(std::get<archive::Failure>(*entry).error.message, c.message);
    EXPECT_FALSE(source->next()) << c.message;
  }
}

TEST(BundleName, IsToldByItsSuffix) {
  struct Case {
    const char* name;
    bool bundle;
    const char* stem;
  };
  const Case cases[] = {{"set.zip", true, "set"},     {"2019.TAR.GZ", true, "2019"}, {"a.b.tgz", true, "a.b"},
                        {"x.tar.bz2", true, "x"},      {"x.tar.xz", true, "x"},       {"x.tar", true, "x"},
                        {".tar", false, ""},           {"x.gz", false, ""},           {"x.mjlog", false, ""}};
  for (const Case& c : cases) {
    const auto name = archive::bundle_name(c.name);
    EXPECT_EQ(name.has_value(), c.bundle) << c.name;
    if (name) EXPECT_EQ(name->stem, c.stem) << c.name;
  }
}

}  // namespace
