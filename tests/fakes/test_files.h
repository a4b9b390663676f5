// What many tests need of files: a folder of their own and a file's whole bytes.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace rdplaunch::testing {

// A file's bytes as they are, or nothing when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An empty folder of the test's own in the temporary folder, named for the test and the
// process, so that two test processes never share one.
inline std::filesystem::path OwnFolder(const std::string& name) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("rdplaunch-" + name + "-" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace rdplaunch::testing
