// File input and output of rdplaunch-name.
#include "hosting/tool_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace rdplaunch {

namespace {

std::string Reason(int error) { return std::strerror(error); }

// Each call asks anew: the umask is the process's, and may change between requests.
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

bool Holds(const std::string& path, const struct stat& file) {
  struct stat now {};
  return lstat(path.c_str(), &now) == 0 && SameFile(now, file);
}

// Why a name cannot take a new file, or 0: a folder is never replaced, and neither is a
// FIFO, a device or a socket, nor a link that leads to anything but a regular file (a
// link that leads nowhere may go). A regular file or a link to one is replaced, never
// written through.
int Unreplaceable(const std::string& path, const struct stat& found) {
  if (S_ISDIR(found.st_mode)) return EISDIR;
  if (S_ISREG(found.st_mode)) return 0;
  struct stat target {};
  if (!S_ISLNK(found.st_mode)) return EINVAL;
  if (stat(path.c_str(), &target) != 0) return 0;
  return S_ISREG(target.st_mode) ? 0 : EINVAL;
}

int SystemRename(const char* from, const char* to, unsigned flags) {
  return renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

// An advisory lock on the folder that files are placed in, held from the first placement
// to the commit or the undo, so that two calls writing the same files into one folder put
// all of one call's in place, then all of the other's, never a mix. A file system that
// has no such locks (some network file systems) is written without one.
class FolderLock {
 public:
  FolderLock() = default;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock() {
    if (folder_ >= 0) close(folder_);  // which releases the lock
  }
  void Take(const std::filesystem::path& folder) {
    folder_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (folder_ >= 0 && flock(folder_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }

 private:
  int folder_ = -1;
};

// The files of one call on their way into place, each in a temporary file of its folder
// until all are written. Whatever is not committed when it goes is undone: every old file
// comes back, and every name this call took is given up; a name another writer has filled
// meanwhile is left to that writer. What cannot be undone is named in Left().
class Placements {
 public:
  Placements(const std::vector<NewFile>& files, const WriteCalls& calls) : files_(files), calls_(calls) {
    placements_.reserve(files.size());  // so that recording a temporary file never allocates
  }
  Placements(const Placements&) = delete;
  Placements& operator=(const Placements&) = delete;
  ~Placements() {
    if (!committed_) Undo();
  }

  std::string Write(std::size_t index);
  std::string Place(std::size_t index);
  std::string Undo() noexcept;
  std::string Commit();

 private:
  // One file: the temporary file that holds its bytes, which holds the file that had the
  // name instead once the two are exchanged.
  struct Placement {
    std::string temporary;
    struct stat written {};
    struct stat displaced {};  // what the exchange brought out
    bool placed = false;
    bool exchanged = false;
  };

  // A file's temporary name as messages show it: in the folder of its shown path.
  std::string Shown(std::size_t index) const {
    const std::filesystem::path folder = std::filesystem::path(files_[index].shownPath).parent_path();
    return (folder / std::filesystem::path(placements_[index].temporary).filename()).string();
  }
  // Removes a name only while it still leads to the file meant: something another writer
  // put under it meanwhile is never taken for it. A name that stays is described in left.
  template <typename Describe>
  void Remove(const std::string& path, const struct stat& file, std::string& left, Describe describe) noexcept {
    if (!Holds(path, file) || calls_.unlink(path.c_str()) == 0) return;
    const int failure = errno;
    try {
      left += "; " + describe() + ": " + Reason(failure);
    } catch (...) {  // no memory for the message: the name stays unnamed, as after a crash
    }
  }
  std::string Exchange(std::size_t index) noexcept;
  // Why the file's name cannot take it, or nothing.
  static std::string Refusal(const NewFile& file) {
    struct stat found {};
    return lstat(file.path.c_str(), &found) != 0 ? "" : RefusalOf(file, Unreplaceable(file.path, found));
  }
  static std::string RefusalOf(const NewFile& file, int reason) {
    if (reason == 0) return {};
    return "cannot write " + file.shownPath + ": " +
           (reason == EINVAL ? std::string("it is no regular file nor a link to one, and stays as it is")
                             : Reason(reason));
  }

  const std::vector<NewFile>& files_;
  const WriteCalls& calls_;
  std::vector<Placement> placements_;
  bool committed_ = false;
};

std::string Placements::Write(std::size_t index) {
  const NewFile& file = files_[index];
  if (const std::string refusal = Refusal(file); !refusal.empty()) return refusal;
  // A short temporary name: the final one may already be as long as the file system allows.
  std::string temporary = (FolderOf(file.path) / ".rdplaunch-XXXXXX").string();
  const int handle = mkstemp(temporary.data());
  if (handle < 0) {
    const std::string shownFolder = std::filesystem::path(file.shownPath).parent_path().string();
    return "cannot create a file in " + (shownFolder.empty() ? "." : shownFolder) + ": " + Reason(errno);
  }
  placements_.push_back({std::move(temporary), {}, {}, false, false});
  int failure = fchmod(handle, file.mode & ~CurrentUmask()) == 0 ? 0 : errno;
  if (failure == 0 && fstat(handle, &placements_.back().written) != 0) failure = errno;
  for (std::size_t done = 0; failure == 0 && done < file.bytes.size();) {
    const ssize_t count = calls_.write(handle, file.bytes.data() + done, file.bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) failure = count < 0 ? errno : ENOSPC;
    if (count > 0) done += static_cast<std::size_t>(count);
  }
  // A file system may report a failed write only when the file is closed.
  if (calls_.close(handle) != 0 && failure == 0) failure = errno;
  return failure == 0 ? "" : "cannot write " + file.shownPath + ": " + Reason(failure);
}

// One file takes its name with a rename, which replaces any file atomically. Of several,
// each that replaces an old file is exchanged with it (the old one then waits under the
// temporary name, to come back with one more exchange), and each whose name was free takes
// it only while it still is. A folder is never replaced, not even one that takes the name
// between the look and the exchange.
std::string Placements::Place(std::size_t index) {
  const NewFile& file = files_[index];
  Placement& p = placements_[index];
  struct stat old {};
  const bool exists = lstat(file.path.c_str(), &old) == 0;
  int failure = 0;
  if (!exists && errno != ENOENT) {
    failure = errno;
  } else if (const int reason = exists ? Unreplaceable(file.path, old) : 0; reason != 0) {
    return RefusalOf(file, reason);
  } else {
    const unsigned flags = files_.size() == 1 ? 0u : exists ? RENAME_EXCHANGE : RENAME_NOREPLACE;
    if (calls_.rename(p.temporary.c_str(), file.path.c_str(), flags) != 0) failure = errno;
    // Without those flags, files could not be put in place all or none.
    if (failure == EINVAL && flags != 0) {
      return "cannot write " + file.shownPath +
             ": this file system cannot replace files atomically, so none is written";
    }
  }
  if (failure != 0) return "cannot write " + file.shownPath + ": " + Reason(failure);
  p.placed = true;
  p.exchanged = exists && files_.size() > 1;
  if (p.exchanged) {
    if (lstat(p.temporary.c_str(), &p.displaced) != 0) failure = errno;
    if (failure == 0 && S_ISDIR(p.displaced.st_mode)) failure = EISDIR;
  }
  return failure == 0 ? "" : "cannot write " + file.shownPath + ": " + Reason(failure);
}

// Exchanges an old file back, only while the name still holds this call's file; once it
// holds another writer's, the old one is that writer's to have replaced, and goes.
std::string Placements::Exchange(std::size_t index) noexcept {
  const Placement& p = placements_[index];
  const NewFile& file = files_[index];
  std::string left;
  if (!Holds(file.path, p.written)) {
    Remove(p.temporary, p.displaced, left, [&] { return "the old " + file.shownPath + " stays as " + Shown(index); });
  } else if (calls_.rename(p.temporary.c_str(), file.path.c_str(), RENAME_EXCHANGE) == 0) {
    Remove(p.temporary, p.written, left, [&] { return "a temporary file stays as " + Shown(index); });
  } else {
    const int failure = errno;
    try {
      left = "; the old " + file.shownPath + " could not be put back: it stays as " + Shown(index) + ": " +
             Reason(failure);
    } catch (...) {
    }
  }
  return left;
}

std::string Placements::Undo() noexcept {
  committed_ = true;
  std::string left;
  for (std::size_t i = placements_.size(); i-- > 0;) {
    const Placement& p = placements_[i];
    if (p.exchanged) {
      left += Exchange(i);
    } else if (p.placed) {
      Remove(files_[i].path, p.written, left, [&] { return "the new " + files_[i].shownPath + " stays"; });
    } else {
      Remove(p.temporary, p.written, left, [&] { return "a temporary file stays as " + Shown(i); });
    }
  }
  return left;
}

// Every file is in place: the old ones, waiting under the temporary names, go. One that
// cannot is named: the files are written, but a name is left behind.
std::string Placements::Commit() {
  committed_ = true;
  std::string left;
  for (std::size_t i = 0; i < placements_.size(); ++i) {
    const Placement& p = placements_[i];
    if (p.exchanged) {
      Remove(p.temporary, p.displaced, left,
             [&] { return "the old " + files_[i].shownPath + " could not be removed: it stays as " + Shown(i); });
    }
  }
  return left.empty() ? "" : "the files are written" + left;
}

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
  return PassphraseIn(std::move(file.bytes), "the passphrase file " + path);
}

FileBytes PassphraseIn(std::string text, const std::string& source) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    std::fill(text.begin(), text.end(), '\0');
    return {{}, source + " must hold the passphrase alone on one line: no CR, no NUL, nothing after its line end"};
  }
  return {std::move(text), {}};
}

const WriteCalls& SystemWriteCalls() {
  static const WriteCalls calls{::write, ::close, SystemRename, ::unlink};
  return calls;
}

// All or nothing, and the folder as it was after nothing; whatever ends the call early (an
// error, an exception, memory running out) undoes it. Neither way needs a hard link, which
// a folder holding other users' files may refuse.
std::string WriteNewFiles(const std::vector<NewFile>& files, const WriteCalls& calls) {
  FolderLock lock;  // outlives the placements, whose undo it covers
  Placements placements(files, calls);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (std::string error = placements.Write(i); !error.empty()) return error + placements.Undo();
  }
  if (files.size() > 1) lock.Take(FolderOf(files.front().path));
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (std::string error = placements.Place(i); !error.empty()) return error + placements.Undo();
  }
  return placements.Commit();
}

}  // namespace rdplaunch
