// Reading the hand-written expectations under tests/expected.
#include "fakes/expected_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "fakes/test_files.h"
#include "profiles/hosts.h"
#include "text/cp1251.h"

namespace rdplaunch::testing {

std::string ExpectedFile(std::string_view name) {
  const std::string bytes = ReadFile(std::string(RDPLAUNCH_EXPECTED_DIR "/") + std::string(name));
  EXPECT_FALSE(bytes.empty()) << "cannot read tests/expected/" << name;
  return bytes;
}

std::vector<std::string> ExpectedLines(std::string_view name) {
  std::istringstream in(ExpectedFile(name));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

namespace {

std::string Cp1251(const std::string& utf8) {
  const std::optional<std::string> bytes = Utf8ToCp1251(utf8);
  EXPECT_TRUE(bytes.has_value()) << utf8;
  return bytes.value_or("");
}

// The line's tab-separated fields, count of them.
std::vector<std::string> Fields(const std::string& line, std::size_t count) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  EXPECT_EQ(fields.size(), count) << line;
  fields.resize(count);
  return fields;
}

std::string HostOf(const std::string& letter) {
  if (letter == "-") return {};
  const std::string_view hosts[] = {kHostA, kHostB, kHostC, kHostD, kHostE};
  EXPECT_TRUE(letter.size() == 1 && letter[0] >= 'A' && letter[0] <= 'E') << letter;
  return std::string(hosts[letter[0] - 'A']);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ExpectedMaskedNames() {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const std::string& line : ExpectedLines("masked_names.tsv")) {
    const std::vector<std::string> fields = Fields(line, 2);
    rows.emplace_back(fields[0], fields[1]);
  }
  return rows;
}

std::vector<ExpectedProfile> ExpectedProfiles() {
  std::vector<ExpectedProfile> profiles;
  for (const std::string& line : ExpectedLines("profiles.tsv")) {
    const std::vector<std::string> fields = Fields(line, 6);
    profiles.push_back(
        {fields[0], Cp1251(fields[1]), Cp1251(fields[2]), HostOf(fields[3]), fields[4], HostOf(fields[5])});
  }
  return profiles;
}

ExpectedProfile ExpectedCompanion(const std::string& host) {
  const std::vector<std::string> lines = ExpectedLines("companion.tsv");
  EXPECT_EQ(lines.size(), 1u);
  const std::vector<std::string> fields = Fields(lines.empty() ? "" : lines[0], 3);
  return {{}, Cp1251(fields[0]), Cp1251(fields[1]), host, fields[2], {}};
}

std::string ExpectedConnectionFile(std::string_view port, std::string_view host, std::string_view alias) {
  const std::string pattern = ExpectedFile("connection_file.template");
  std::string file;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 6, "<port>") == 0) {
      file += port, i += 5;
    } else if (pattern.compare(i, 6, "<host>") == 0) {
      file += host, i += 5;
    } else if (pattern.compare(i, 7, "<alias>") == 0) {
      file += alias, i += 6;
    } else {
      file += pattern[i] == '\n' ? std::string("\r\n") : std::string(1, pattern[i]);
    }
  }
  return file;
}

}  // namespace rdplaunch::testing
