// The certificates and keys that tests/fixtures/make-certificates.sh makes for a test run.
#pragma once

#include <filesystem>

namespace rdplaunch::testing {

// Puts the test certificates into folder (which must not exist): under ctest a copy of the
// ones made once per run (RDPLAUNCH_TEST_CERTIFICATES), run alone ones made there and then.
void PutTestCertificates(const std::filesystem::path& folder);

}  // namespace rdplaunch::testing
