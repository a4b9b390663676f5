#include "fakes/test_certificates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace rdplaunch::testing {

void PutTestCertificates(const std::filesystem::path& folder) {
  if (const char* made = std::getenv("RDPLAUNCH_TEST_CERTIFICATES")) {
    std::filesystem::copy(made, folder, std::filesystem::copy_options::recursive);
    return;
  }
  const std::string command = "'" RDPLAUNCH_FIXTURES_DIR "/make-certificates.sh' '" + folder.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace rdplaunch::testing
