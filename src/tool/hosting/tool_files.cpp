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

std::filesystem::path FolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? "." : folder;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Removes a name only while it still leads to the file this call wrote: something another
// writer put under it meanwhile is never taken for ours.
void RemoveIfOurs(const std::string& path, const struct stat& written) {
  struct stat now {};
  if (lstat(path.c_str(), &now) == 0 && SameFile(now, written)) unlink(path.c_str());
}

int SystemRename(const char* from, const char* to, unsigned flags) {
  return renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

// One file on its way into place: the temporary file that holds its bytes, which holds the
// old file instead once the two are exchanged.
struct Placement {
  std::string temporary;
  struct stat written {};
  bool placed = false;
  bool exchanged = false;  // the temporary name now holds the file that had the name
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
    // The copy is sized by the file, and one byte more shows a file that grew since fstat:
    // it is refused rather than cut.
    result.bytes.resize(static_cast<std::size_t>(status.st_size) + 1);
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
    if (result.error.empty() && done != static_cast<std::size_t>(status.st_size)) {
      result.error = "cannot read " + shown + ": it changed while it was read";
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
  static const WriteCalls calls{::write, ::close, SystemRename};
  return calls;
}

// All or nothing, and the folder as it was after nothing. One file takes its name with a
// rename, which replaces any file atomically. Of several, each that replaces an old file is
// exchanged with it (the old one then waits under the temporary name, to come back with
// one more exchange), and each whose name was free takes it only while it still is, so
// that another writer's file is neither replaced nor removed. Neither needs a hard link,
// which a folder holding other users' files may refuse. Folders are never replaced.
std::string WriteNewFiles(const std::vector<NewFile>& files, const WriteCalls& calls) {
  const mode_t mask = CurrentUmask();
  std::vector<Placement> placements;
  placements.reserve(files.size());  // so that recording a temporary file never allocates
  const auto undo = [&]() noexcept {
    for (std::size_t i = placements.size(); i-- > 0;) {
      const Placement& p = placements[i];
      if (p.exchanged && calls.rename(p.temporary.c_str(), files[i].path.c_str(), RENAME_EXCHANGE) == 0) {
        RemoveIfOurs(p.temporary, p.written);  // ours again, after the exchange back
      } else if (p.placed && !p.exchanged) {
        RemoveIfOurs(files[i].path, p.written);
      } else if (!p.placed) {
        unlink(p.temporary.c_str());
      }
    }
  };
  try {
    for (const NewFile& file : files) {
      // A short temporary name: the final one may already be as long as the file system allows.
      std::string temporary = (FolderOf(file.path) / ".rdplaunch-XXXXXX").string();
      const int handle = mkstemp(temporary.data());
      if (handle < 0) {
        const int failure = errno;
        const std::string shownFolder = std::filesystem::path(file.shownPath).parent_path().string();
        undo();
        return "cannot create a file in " + (shownFolder.empty() ? "." : shownFolder) + ": " + Reason(failure);
      }
      placements.push_back({std::move(temporary), {}, false, false});
      int failure = fchmod(handle, file.mode & ~mask) == 0 ? 0 : errno;
      if (failure == 0 && fstat(handle, &placements.back().written) != 0) failure = errno;
      for (std::size_t done = 0; failure == 0 && done < file.bytes.size();) {
        const ssize_t count = calls.write(handle, file.bytes.data() + done, file.bytes.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) failure = count < 0 ? errno : ENOSPC;
        if (count > 0) done += static_cast<std::size_t>(count);
      }
      // A file system may report a failed write only when the file is closed.
      if (calls.close(handle) != 0 && failure == 0) failure = errno;
      if (failure != 0) {
        undo();
        return "cannot write " + file.shownPath + ": " + Reason(failure);
      }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
      Placement& p = placements[i];
      struct stat old {};
      int failure = 0;
      const bool exists = lstat(files[i].path.c_str(), &old) == 0;
      if (!exists && errno != ENOENT) {
        failure = errno;
      } else if (exists && S_ISDIR(old.st_mode)) {
        failure = EISDIR;
      } else {
        const unsigned flags = files.size() == 1 ? 0u : exists ? RENAME_EXCHANGE : RENAME_NOREPLACE;
        if (calls.rename(p.temporary.c_str(), files[i].path.c_str(), flags) != 0) failure = errno;
      }
      if (failure != 0) {
        undo();
        return "cannot write " + files[i].shownPath + ": " + Reason(failure);
      }
      p.placed = true;
      p.exchanged = exists && files.size() > 1;
    }
  } catch (...) {
    undo();
    throw;
  }
  // Every file is in place: the old ones, waiting under the temporary names, go.
  for (const Placement& p : placements) {
    if (p.exchanged) unlink(p.temporary.c_str());
  }
  return {};
}

}  // namespace rdplaunch
