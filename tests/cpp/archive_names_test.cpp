// Game ids and member names: what may name an output, and what may not.
#include <gtest/gtest.h>

#include "archive/game_id.hpp"
#include "archive/member_name.hpp"
#include "formats/registry.hpp"

namespace {

TEST(GameId, ParsesTheFormAndItsTypeBits) {
  struct Case {
    const char* text;
    bool valid;
    std::uint32_t type;
    bool three_player;
  };
  const Case cases[] = {
      {"2009022023gm-00e1-0000-c603794d", true, 0xe1, false},
      {"2019021004gm-00a9-0000-e2f6516d", true, 0xa9, false},
      {"2019021004gm-00b9-0000-e2f6516d", true, 0xb9, true},
      {"2019021004gm-0011-12345-e2f6516d", true, 0x11, true},
      {"2019021004gm-00a9-123-e2f6516d", false, 0, false},      // lobby too short
      {"2019021004gm-00a9-123456-e2f6516d", false, 0, false},   // lobby too long
      {"2019021004gm-00A9-0000-e2f6516d", false, 0, false},     // upper-case hex
      {"2019021004gm-00a9-0000-e2f6516", false, 0, false},      // key too short
      {"2019021004gm-00a9-0000-e2f6516d0", false, 0, false},
      {"201902100xgm-00a9-0000-e2f6516d", false, 0, false},
      {"../../x", false, 0, false},
      {"2019021004gm-00a9-0000-e2f6516d/..", false, 0, false},
      {"", false, 0, false},
  };
  for (const Case& c : cases) {
    const auto id = archive::parse_game_id(c.text);
    ASSERT_EQ(id.has_value(), c.valid) << c.text;
    if (!id) continue;
    EXPECT_EQ(id->type, c.type) << c.text;
    EXPECT_EQ(archive::is_three_player(*id), c.three_player) << c.text;
  }
}

TEST(MemberName, SafePathsAreKeptAndTheRestSayWhy) {
  struct Case {
    std::string raw;
    std::string result;  // the path, or the failure's message
  };
  const std::vector<Case> cases = {
      {"2019/01/a.mjlog", "2019/01/a.mjlog"},
      {"./2019/./a.xml", "2019/a.xml"},
      {"日本/a.xml", "日本/a.xml"},
      {"", "unsafe member name: empty"},
      {"/etc/passwd", "unsafe member name: absolute path"},
      {"a/../../b.xml", "unsafe member name: holds .."},
      {"..", "unsafe member name: holds .."},
      {"a//b.xml", "unsafe member name: holds an empty component"},
      {"a/b/", "unsafe member name: holds an empty component"},
      {std::string("a\0b.xml", 7), "unsafe member name: holds a NUL byte"},
      {"a\nb.xml", "unsafe member name: holds a control character"},
      {"a\xff.xml", "unsafe member name: not UTF-8"},
      {"a/" + std::string(256, 'x'), "unsafe member name: a component longer than 255 bytes"},
      {std::string(1025, 'x'), "unsafe member name: longer than 1024 bytes"},
      {"./.", "unsafe member name: names no file"},
  };
  for (const Case& c : cases) {
    const auto path = archive::safe_member_path(c.raw);
    EXPECT_EQ(path ? *path : path.error().message, c.result) << c.raw;
  }
}

TEST(MemberName, LogsAreJudgedByKindThenByName) {
  using archive::MemberKind;
  struct Case {
    std::string raw;
    MemberKind kind;
    std::string stem;  // "-" no log, "!" + message a failure
  };
  const std::vector<Case> cases = {
      {"y/a.mjlog", MemberKind::File, "y/a"},
      {"y/a.xml.gz", MemberKind::File, "y/a"},
      {"y/a.json.bz2", MemberKind::File, "y/a"},
      {"y/a.json", MemberKind::File, "y/a"},
      {"y/.mjlog", MemberKind::File, "-"},
      {"y/...xml", MemberKind::File, "!unsafe member name: its output would be named .."},
      {"..mjlog", MemberKind::File, "!unsafe member name: its output would be named ."},
      {"y/a.txt", MemberKind::File, "-"},
      {"y/a.gz", MemberKind::File, "-"},
      {"y/", MemberKind::Directory, "-"},
      {"../y/", MemberKind::Directory, "-"},
      {"../a.txt", MemberKind::File, "!unsafe member name: holds .."},
      {"a.xml", MemberKind::SymbolicLink, "!member is a symbolic link"},
      {"a.xml", MemberKind::HardLink, "!member is a hard link"},
      {"a.xml", MemberKind::Device, "!member is a device, fifo or socket"},
      {"a.xml", MemberKind::Unsupported, "!member of an unsupported type"},
      {std::string(242, 'x') + ".xml", MemberKind::File, "!unsafe member name: too long for its output's name"},
      {std::string(241, 'x') + ".xml", MemberKind::File, std::string(241, 'x')},
  };
  for (const Case& c : cases) {
    const auto verdict = archive::judge_member(c.raw, c.kind, formats::log_stem_rule(formats::Target::Mjai));
    std::string got = "-";
    if (auto* member = std::get_if<archive::LogMember>(&verdict)) got = member->stem;
    if (auto* error = std::get_if<archive::ArchiveError>(&verdict)) got = "!" + error->message;
    EXPECT_EQ(got, c.stem) << c.raw;
  }
}

}  // namespace
