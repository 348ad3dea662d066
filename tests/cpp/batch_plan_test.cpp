// Planning a batch: output names, the folder walk and its order, and logs
// bound for the same output.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <unistd.h>

#include "batch/batch.hpp"
#include "batch_support.hpp"

namespace {

using batch::Target;
using batch_test::put;
using batch_test::Scratch;

struct Naming {
  std::string input;
  Target target;
  bool gzip;
  std::string output;
};

class OutputName : public ::testing::TestWithParam<Naming> {};

TEST_P(OutputName, ReplacesTheRecognisedSuffix) {
  const Naming& row = GetParam();
  EXPECT_EQ(batch::output_name(row.input, row.target, row.gzip), row.output);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutputName,
    ::testing::Values(Naming{"a.json", Target::Mjai, false, "a.mjai.jsonl"},
                      Naming{"a.json.gz", Target::Mjai, false, "a.mjai.jsonl"},
                      Naming{"a.json", Target::Mjai, true, "a.mjai.jsonl.gz"},
                      Naming{"a.b.xml.gz", Target::Mjai, false, "a.b.mjai.jsonl"},
                      Naming{"a.mjlog", Target::Mjai, false, "a.mjai.jsonl"},
                      Naming{"a.gz", Target::Mjai, false, "a.mjai.jsonl"},
                      Naming{"a.txt", Target::Mjai, false, "a.txt.mjai.jsonl"},
                      Naming{".json", Target::Mjai, false, ".json.mjai.jsonl"},
                      Naming{"a.mjlog", Target::Tenhou6, false, "a.json"},
                      Naming{"a.xml.gz", Target::Tenhou6, true, "a.json.gz"}));

std::vector<std::tuple<std::string, std::string>> names_and_outputs(const std::vector<batch::Job>& jobs) {
  std::vector<std::tuple<std::string, std::string>> out;
  for (const auto& job : jobs) out.emplace_back(job.name, job.output);
  return out;
}

class Plan : public Scratch {
 protected:
  void SetUp() override {
    Scratch::SetUp();
    for (const char* name : {"b.json", "a/c.json.gz", "a-b.json", "a/z.mjlog", "notes.txt", "0001.truth.jsonl",
                             "sub/deep/d.xml", "sub/e.xml.gz"}) {
      put(root / "in" / name, "{}");
    }
    std::filesystem::create_directory_symlink(root / "in", root / "in" / "loop");
    put(root / "single.txt", "{}");
  }
};

TEST_F(Plan, WalksFoldersInPathOrderAndPutsNamedFilesAtTheTop) {
  const std::string in = (root / "in").string() + "/";  // a trailing separator is not kept
  const std::string top = root.string();
  const auto jobs = batch::plan({in, top + "/single.txt"}, top + "/out", {});
  const std::vector<std::tuple<std::string, std::string>> expected = {
      {top + "/in/a/c.json.gz", top + "/out/a/c.mjai.jsonl"},
      {top + "/in/a/z.mjlog", top + "/out/a/z.mjai.jsonl"},
      {top + "/in/a-b.json", top + "/out/a-b.mjai.jsonl"},
      {top + "/in/b.json", top + "/out/b.mjai.jsonl"},
      {top + "/in/sub/deep/d.xml", top + "/out/sub/deep/d.mjai.jsonl"},
      {top + "/in/sub/e.xml.gz", top + "/out/sub/e.mjai.jsonl"},
      {top + "/single.txt", top + "/out/single.txt.mjai.jsonl"},
  };
  EXPECT_EQ(names_and_outputs(jobs), expected);
  for (const auto& job : jobs) EXPECT_FALSE(job.failure.has_value()) << job.name;
}

TEST_F(Plan, TakesOnlyXmlLogsForTenhouOutput) {
  const std::string top = root.string();
  batch::Options options;
  options.target = Target::Tenhou6;
  options.gzip = true;
  const auto jobs = batch::plan({top + "/in"}, top + "/out", options);
  const std::vector<std::tuple<std::string, std::string>> expected = {
      {top + "/in/a/z.mjlog", top + "/out/a/z.json.gz"},
      {top + "/in/sub/deep/d.xml", top + "/out/sub/deep/d.json.gz"},
      {top + "/in/sub/e.xml.gz", top + "/out/sub/e.json.gz"},
  };
  EXPECT_EQ(names_and_outputs(jobs), expected);
}

TEST_F(Plan, ALogBoundForAnEarlierOutputFailsInItsTurn) {
  put(root / "two" / "x.json", "{}");
  put(root / "two" / "x.json.gz", "{}");
  const std::string top = root.string();
  const auto jobs = batch::plan({top + "/two", top + "/two/x.json"}, top + "/out", {});
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_FALSE(jobs[0].failure.has_value());
  const std::string shared = top + "/out/x.mjai.jsonl is also the output of " + top + "/two/x.json";
  for (int i : {1, 2}) {
    ASSERT_TRUE(jobs[i].failure.has_value());
    EXPECT_EQ(batch_test::describe(*jobs[i].failure), "FileExistsError: " + shared);
  }
}

TEST_F(Plan, AFolderThatCannotBeListedIsOneFailedLog) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  std::filesystem::permissions(root / "in" / "sub", std::filesystem::perms::none);
  const auto jobs = batch::plan({(root / "in").string()}, (root / "out").string(), {});
  const std::string sub = (root / "in" / "sub").string();
  const auto failed = std::ranges::find(jobs, sub, &batch::Job::name);
  ASSERT_NE(failed, jobs.end());
  ASSERT_TRUE(failed->failure.has_value());
  EXPECT_EQ(batch_test::describe(*failed->failure), "PermissionError: [Errno 13] Permission denied: '" + sub + "'");
}

}  // namespace
