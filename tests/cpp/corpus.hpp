// The shared game-log corpus, as the C++ tests find it: $PAIRO_CORPUS, or the
// folder beside the project.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace corpus {

namespace fs = std::filesystem;

inline fs::path root() {
  const char* configured = std::getenv("PAIRO_CORPUS");
  return configured && *configured ? fs::path(configured) : fs::path(PAIRO_DEFAULT_CORPUS);
}

inline bool in_ci() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

// The logs of one folder (not the truth files beside the simulated ones), sorted.
inline std::vector<fs::path> logs_in(const std::string& folder) {
  std::vector<fs::path> paths;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(root() / folder, error)) {
    if (entry.path().extension() == ".json") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace corpus

// Skips where the corpus is missing, except in CI, where it must be there.
#define REQUIRE_LOGS(paths, folder)                                                   \
  if ((paths).empty()) {                                                              \
    if (corpus::in_ci()) FAIL() << "no logs in " << (corpus::root() / (folder));      \
    GTEST_SKIP() << "no logs in " << (corpus::root() / (folder));                     \
  }
