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

#include "batch/batch.hpp"

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

// "Class: message", as a report would show the failure (paths as they are).
inline std::string describe(const pairo::Failure& failure) {
  std::string text(pairo::class_name(failure.cls));
  text += ": ";
  switch (failure.form) {
    case pairo::Failure::Form::Message: text += failure.message; break;
    case pairo::Failure::Form::QuotedPath: text += failure.message + "\"" + failure.path + "\""; break;
    case pairo::Failure::Form::ShownPath: text += failure.message + failure.path; break;
    case pairo::Failure::Form::System:
      text += "[Errno " + std::to_string(failure.error_number) + "] " + failure.message;
      if (!failure.path.empty()) text += ": '" + failure.path + "'";
      break;
  }
  if (!failure.note.empty()) text += " (" + failure.note + ")";
  return text;
}

// Every outcome of the jobs, in input order, to `sink`.
template <class Sink>
void run(std::vector<batch::Job> jobs, const batch::Options& options, batch::Converter converter, Sink&& sink) {
  batch::Engine engine(std::move(jobs), options, std::move(converter));
  while (!engine.finished()) {
    if (auto outcome = engine.next(std::chrono::milliseconds(100))) sink(*outcome);
  }
  engine.join();
}

// The lines of a log's events as the engine converts it in one piece.
inline std::string mjai_lines(std::string text) {
  pairo::PaddedText padded(text);
  const auto document = formats::log_format(batch::Format::Json).to_mjai(padded);
  const auto& events = std::get<mjai::EncodedEvents>(document.value());
  std::string lines;
  for (std::size_t i = 0; i < events.size(); ++i) lines += std::string(events.at(i)) + "\n";
  return lines;
}

}  // namespace batch_test
