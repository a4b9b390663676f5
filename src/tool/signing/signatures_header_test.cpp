#include "signing/signatures_header.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fakes/test_files.h"

namespace rdplaunch {
namespace {

// The generated header is compiled, as a signed build compiles it, and asserts in the
// compiler its table's size and every byte of its one entry, so that no escape is lost.
TEST(SignaturesHeader, CompilesToTheTableItWasGiven) {
  namespace fs = std::filesystem;
  const fs::path folder = testing::OwnFolder("header");
  // An escape followed by a digit must not take the digit in.
  const std::string tricky = std::string(
                                 "a\"?\\\n\x01"
                                 "7\xE9",
                                 8) +
                             "?" + "?=" + "\x7F";
  const FileSignature entry{tricky, "rds-a.example.com", "3395", "Full Address", "QUJD+/=="};
  for (const std::size_t count : {0u, 1u}) {
    fs::remove_all(folder);
    fs::create_directories(folder / "rdpfile");
    std::ofstream(folder / "rdpfile/signatures.h")
        << SignaturesHeader(std::span(&entry, count), "for a test\\\nCN=x \x1B]0;");
    std::string check =
        "#include \"rdpfile/signatures.h\"\nstatic_assert(rdplaunch::kSignedBuild);\n"
        "static_assert(rdplaunch::kFileSignatures.size() == " +
        std::to_string(count) + ");\n";
    for (std::size_t i = 0; count == 1 && i < tricky.size(); ++i) {
      check += "static_assert(rdplaunch::kFileSignatures[0].alias[" + std::to_string(i) + "] == static_cast<char>(" +
               std::to_string(static_cast<unsigned char>(tricky[i])) + "));\n";
    }
    if (count == 1) {
      check += "static_assert(rdplaunch::kFileSignatures[0].alias.size() == " + std::to_string(tricky.size()) +
               ");\n"
               "static_assert(rdplaunch::kFileSignatures[0].signature == \"QUJD+/==\");\n";
    }
    std::ofstream(folder / "check.cpp") << check;
    const std::string command = "'" RDPLAUNCH_CXX_COMPILER "' -std=c++20 -fsyntax-only -Wall -Werror -I '" +
                                folder.string() + "' -I '" RDPLAUNCH_SOURCE_DIR "/src/shared' '" +
                                (folder / "check.cpp").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace rdplaunch
