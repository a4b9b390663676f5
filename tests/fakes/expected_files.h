// The expected outputs written by hand under tests/expected, read by the unit tests (the
// end-to-end tests read the same files).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rdplaunch::testing {

// The file's bytes; fails the test when it cannot be read.
std::string ExpectedFile(std::string_view name);

// The file's lines that are neither empty nor comments ("#"), without their line ends.
std::vector<std::string> ExpectedLines(std::string_view name);

// A row of profiles.tsv, its texts in code page 1251 and its servers resolved to the build's.
struct ExpectedProfile {
  std::string key;
  std::string displayName;
  std::string alias;
  std::string host;
  std::string port;
  std::string companionHost;  // empty: no companion file
};
std::vector<ExpectedProfile> ExpectedProfiles();

// The companion file of companion.tsv on the given server (no key, no companion of its own).
ExpectedProfile ExpectedCompanion(const std::string& host);

// The rows of masked_names.tsv: a path, and how every mask of its password shows it.
std::vector<std::pair<std::string, std::string>> ExpectedMaskedNames();

// The 56 lines of connection_file.template with its placeholders filled in, each ending CR LF.
std::string ExpectedConnectionFile(std::string_view port, std::string_view host, std::string_view alias);

}  // namespace rdplaunch::testing
