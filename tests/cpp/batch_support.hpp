// A scratch folder per test, and small file helpers, for the batch tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace batch_test {

namespace fs = std::filesystem;

class Scratch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pairo-batch-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
  }
  void TearDown() override {
    // Folders a test made unreadable are opened again, so they can go.
    std::error_code ignored;
    fs::permissions(root, fs::perms::all, ignored);
    for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
      if (it->is_directory(ignored)) fs::permissions(it->path(), fs::perms::all, ignored);
    }
    fs::remove_all(root, ignored);
  }

  fs::path root;
};

inline void put(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every file under `folder`, relative to it, sorted.
inline std::vector<std::string> files_under(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) found.push_back(fs::relative(entry.path(), folder).string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace batch_test
