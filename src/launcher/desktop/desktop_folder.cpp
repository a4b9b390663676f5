// The desktop folder as the system reports it, unchanged.
#include "desktop/desktop_folder.h"

#include "failure/failure_reporting.h"

namespace rdplaunch {

namespace {
constexpr std::int32_t kPathNotFound = 3;
}

// When the system cannot tell where the desktop is, the lookup fails as "path not
// found": an empty folder would put the file into the root of the current drive.
std::string DesktopFolder(Platform& platform) {
  std::optional<std::string> folder = platform.DesktopFolder();
  if (!folder) {
    PendingIoCode() = kPathNotFound;
    IoCheck();
  }
  return std::move(*folder);
}

}  // namespace rdplaunch
