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

// One file on its way into place: the temporary file that holds its bytes, and the old
// file's second name while the new one takes its place.
struct Placement {
  std::string temporary;
  std::string aside;  // empty: there was no old file
  struct stat written {};
  bool placed = false;
};

// A fresh name in the folder for a second link to the old file. Names someone else has
// taken are skipped.
int LinkAside(const std::filesystem::path& folder, const std::string& target, std::string& aside) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = (folder / ".rdplaunch-XXXXXX").string();
    const int probe = mkstemp(name.data());
    if (probe < 0) return errno;
    close(probe);
    unlink(name.c_str());
    if (link(target.c_str(), name.c_str()) == 0) {
      aside = std::move(name);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

std::filesystem::path FolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? "." : folder;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }
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
  static const WriteCalls calls{::write, ::close};
  return calls;
}

// All or nothing, and the folder as it was after nothing: before a file replaces an old
// one, the old one gets a second name (a hard link, which leaves it in place), so that
// undoing puts it back with one rename. Undoing removes a new file only while its name
// still leads to the file this call wrote, so nothing planted under a name is taken for
// ours. Folders are never replaced.
std::string WriteNewFiles(const std::vector<NewFile>& files, const WriteCalls& calls) {
  const mode_t mask = CurrentUmask();
  std::vector<Placement> placements;
  std::string error;
  const auto undo = [&] {
    for (std::size_t i = 0; i < placements.size(); ++i) {
      const Placement& p = placements[i];
      struct stat now {};
      if (p.placed && !p.aside.empty()) {
        std::rename(p.aside.c_str(), files[i].path.c_str());
      } else if (p.placed && lstat(files[i].path.c_str(), &now) == 0 && SameFile(now, p.written)) {
        unlink(files[i].path.c_str());
      }
      if (!p.placed) unlink(p.temporary.c_str());
      if (!p.placed && !p.aside.empty()) unlink(p.aside.c_str());
    }
    return error;
  };
  for (const NewFile& file : files) {
    // A short temporary name: the final one may already be as long as the file system allows.
    std::string temporary = (FolderOf(file.path) / ".rdplaunch-XXXXXX").string();
    const int handle = mkstemp(temporary.data());
    const std::string shownFolder = std::filesystem::path(file.shownPath).parent_path().string();
    if (handle < 0) {
      error = "cannot create a file in " + (shownFolder.empty() ? "." : shownFolder) + ": " + Reason(errno);
      return undo();
    }
    placements.push_back({temporary, {}, {}, false});
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
      error = "cannot write " + file.shownPath + ": " + Reason(failure);
      return undo();
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    Placement& p = placements[i];
    struct stat old {};
    int failure = 0;
    if (lstat(files[i].path.c_str(), &old) == 0) {
      failure = S_ISDIR(old.st_mode) ? EISDIR : LinkAside(FolderOf(files[i].path), files[i].path, p.aside);
    } else if (errno != ENOENT) {
      failure = errno;
    }
    if (failure == 0 && std::rename(p.temporary.c_str(), files[i].path.c_str()) != 0) failure = errno;
    if (failure != 0) {
      error = "cannot write " + files[i].shownPath + ": " + Reason(failure);
      return undo();
    }
    p.placed = true;
  }
  for (const Placement& p : placements) {
    if (!p.aside.empty()) unlink(p.aside.c_str());
  }
  return {};
}

}  // namespace rdplaunch
