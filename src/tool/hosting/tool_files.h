// Reading and writing files for rdplaunch-name: inputs only from regular files of bounded
// size, outputs under a temporary name and then renamed, all of a command's files or none.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rdplaunch {

// The most any input may hold: a certificate, key, chain or passphrase file is a few
// kilobytes, a connection file too; the launcher itself about 160 KiB.
inline constexpr std::size_t kMaxInputFileSize = 1 << 20;
inline constexpr std::size_t kMaxExecutableSize = 16 << 20;

struct FileBytes {
  std::string bytes;
  std::string error;  // empty when the file was read; names the file as shownPath
};

// A regular file's bytes, up to limit. A FIFO, a device or a folder is refused at once,
// before anything waits on it, and so is a larger file.
FileBytes ReadInputFile(const std::string& path, std::size_t limit, std::string_view shownPath);

// The passphrase in a passphrase file: its one line, with or without a final LF. A file
// that openssl, osslsigncode and this tool could read differently (a CR, a NUL, anything
// after the line end) is refused, by the build with the same message.
FileBytes PassphraseOf(const std::string& path);
// The same rule for a passphrase from elsewhere (an environment variable), named as source.
FileBytes PassphraseIn(std::string text, const std::string& source);

// The system calls that writing uses, which a test can replace to make one fail (or throw).
struct WriteCalls {
  ssize_t (*write)(int file, const void* bytes, std::size_t size);
  int (*close)(int file);
  int (*rename)(const char* from, const char* to, unsigned flags);  // renameat2 in the working folder
  int (*unlink)(const char* path);
};
const WriteCalls& SystemWriteCalls();

struct NewFile {
  std::string path;
  std::string bytes;
  mode_t mode;            // before the umask, which new files follow
  std::string shownPath;  // the path as messages show it (a launcher name's password masked)
};

// Writes every file or none: each goes to a temporary file in its folder (never an
// existing file, never through a link), and only when all are written and closed are they
// renamed into place, replacing whatever had the name (a folder never), while an advisory
// lock on the first file's folder keeps other calls from placing theirs. Whatever ends the
// call early (an error, an exception, memory running out) puts every replaced file back,
// unless another writer has replaced it since. Returns the error, or nothing; an error
// names every name left behind (an old file that could not be put back or removed), and
// no other is ever left.
std::string WriteNewFiles(const std::vector<NewFile>& files, const WriteCalls& calls = SystemWriteCalls());

}  // namespace rdplaunch
