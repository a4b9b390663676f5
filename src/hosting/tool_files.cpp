// File input and output of rdplaunch-name.
#include "hosting/tool_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace rdplaunch {

namespace {

std::string Reason(int error) { return std::strerror(error); }

mode_t CurrentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

struct Temporary {
  std::string path;
  bool renamed = false;
};

}  // namespace

// O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
FileBytes ReadInputFile(const std::string& path, std::size_t limit, std::string_view shownPath) {
  const std::string shown(shownPath);
  const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (file < 0) return {{}, "cannot read " + shown + ": " + Reason(errno)};
  FileBytes result;
  struct stat status {};
  if (fstat(file, &status) != 0) {
    result.error = "cannot read " + shown + ": " + Reason(errno);
  } else if (!S_ISREG(status.st_mode)) {
    result.error = "cannot read " + shown + ": not a regular file";
  } else if (static_cast<std::size_t>(status.st_size) > limit) {
    result.error = "cannot read " + shown + ": larger than " + std::to_string(limit) + " bytes";
  } else {
    // Read one byte more than the limit, in case the file grew since fstat.
    result.bytes.resize(limit + 1);
    std::size_t done = 0;
    while (done < result.bytes.size()) {
      const ssize_t count = read(file, result.bytes.data() + done, result.bytes.size() - done);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) {
        result.error = "cannot read " + shown + ": " + Reason(errno);
        break;
      }
      if (count == 0) break;
      done += static_cast<std::size_t>(count);
    }
    result.bytes.resize(done);
    if (result.error.empty() && done > limit) {
      result.error = "cannot read " + shown + ": larger than " + std::to_string(limit) + " bytes";
    }
  }
  close(file);
  if (!result.error.empty()) result.bytes.clear();
  return result;
}

FileBytes PassphraseOf(const std::string& path) {
  FileBytes file = ReadInputFile(path, kMaxInputFileSize, path);
  if (!file.error.empty()) return file;
  std::string& text = file.bytes;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    std::fill(text.begin(), text.end(), '\0');
    return {{},
            "the passphrase file " + path +
                " must hold the passphrase alone on one line: no CR, no NUL, nothing after its line end"};
  }
  return file;
}

const WriteCalls& SystemWriteCalls() {
  static const WriteCalls calls{::write, ::close};
  return calls;
}

std::string WriteNewFiles(const std::vector<NewFile>& files, const WriteCalls& calls) {
  const mode_t mask = CurrentUmask();
  std::vector<Temporary> temporaries;
  std::string error;
  const auto undo = [&] {
    // A file already renamed into place is removed again: all or none.
    for (std::size_t i = 0; i < temporaries.size(); ++i) {
      unlink(temporaries[i].renamed ? files[i].path.c_str() : temporaries[i].path.c_str());
    }
    return error;
  };
  for (const NewFile& file : files) {
    const std::filesystem::path target(file.path);
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    // A short temporary name: the final one may already be as long as the file system allows.
    std::string temporary = (folder / ".rdplaunch-XXXXXX").string();
    const int handle = mkstemp(temporary.data());
    const std::string shownFolder = std::filesystem::path(file.shownPath).parent_path().string();
    if (handle < 0) {
      error = "cannot create a file in " + (shownFolder.empty() ? "." : shownFolder) + ": " + Reason(errno);
      return undo();
    }
    temporaries.push_back({temporary});
    int failure = fchmod(handle, file.mode & ~mask) == 0 ? 0 : errno;
    for (std::size_t done = 0; failure == 0 && done < file.bytes.size();) {
      const ssize_t count = calls.write(handle, file.bytes.data() + done, file.bytes.size() - done);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) failure = count < 0 ? errno : ENOSPC;
      if (count > 0) done += static_cast<std::size_t>(count);
    }
    // A file system may report a failed write only when the file is closed.
    if (calls.close(handle) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
      error = "cannot write " + file.shownPath + ": " + Reason(failure);
      return undo();
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (std::rename(temporaries[i].path.c_str(), files[i].path.c_str()) != 0) {
      error = "cannot write " + files[i].shownPath + ": " + Reason(errno);
      return undo();
    }
    temporaries[i].renamed = true;
  }
  return {};
}

}  // namespace rdplaunch
