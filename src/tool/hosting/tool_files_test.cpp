// rdplaunch-name's files, its commands' answers and its batch mode, in a folder of their
// own. JSON answers are read back with a JSON library, independently of the code that
// writes them.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <tuple>

#include "fakes/test_certificates.h"
#include "fakes/test_files.h"
#include "fakes/tool_requests.h"
#include "hosting/tool_batch.h"
#include "hosting/tool_files.h"
#include "hosting/tool_parse.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using testing::Answered;

// A folder of its own for each test.
class InAFolder : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = testing::OwnFolder("tool"); }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  void Write(const std::string& name, std::string_view bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const { return testing::ReadFile(Path(name)); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_;
};
using ToolFilesTest = InAFolder;
using ToolCommandsTest = InAFolder;
using BatchTest = InAFolder;

TEST_F(ToolFilesTest, InputsAreBoundedRegularFilesAndNothingWaits) {
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  Write("large", std::string(kMaxInputFileSize + 1, 'x'));
  Write("fits", std::string(kMaxInputFileSize, 'x'));
  const std::pair<std::string, std::string> refused[] = {
      {Path("fifo"), "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {folder_.string(), "not a regular file"},
      {Path("large"), "larger than 1048576 bytes"},
      {Path("missing"), "No such file or directory"},
      {"/proc/self/status", "it changed while it was read"},  // its size says 0, then it reads more
  };
  for (const auto& [path, reason] : refused) {
    const FileBytes read = ReadInputFile(path, kMaxInputFileSize, "shown");
    EXPECT_EQ(read.error, "cannot read shown: " + reason) << path;
    EXPECT_TRUE(read.bytes.empty());
  }
  EXPECT_EQ(ReadInputFile(Path("fits"), kMaxInputFileSize, "shown").bytes.size(), kMaxInputFileSize);
}

TEST_F(ToolFilesTest, APassphraseFileIsOneLineThatEveryReaderReadsAlike) {
  for (const auto& [content, passphrase] : {std::pair{"PASS\n", "PASS"}, {"PASS", "PASS"}, {"\n", ""}}) {
    Write("p", content);
    EXPECT_EQ(PassphraseOf(Path("p")).bytes, passphrase);
  }
  for (const std::string& content :
       std::vector<std::string>{"PASS\r\nsecond\n", "PASS\r\n", "PASS\nsecond", std::string("PA\0SS", 5)}) {
    Write("p", content);
    const FileBytes read = PassphraseOf(Path("p"));
    EXPECT_EQ(read.error, "the passphrase file " + Path("p") +
                              " must hold the passphrase alone on one line: no CR, no NUL, nothing after its line end");
    EXPECT_TRUE(read.bytes.empty());
  }
}

// Faults put into the system calls that writing uses. Each row's calls count renames from 1.
int renames = 0;
fs::path faultFolder;
int Rename(const char* from, const char* to, unsigned flags) { return renameat2(AT_FDCWD, from, AT_FDCWD, to, flags); }
ssize_t FailingWrite(int, const void*, std::size_t) {
  errno = ENOSPC;
  return -1;
}
ssize_t OneByteWrite(int file, const void* bytes, std::size_t size) {
  return ::write(file, bytes, std::min<std::size_t>(size, 1));
}
ssize_t NoWrite(int, const void*, std::size_t) { return 0; }
int FailingClose(int file) {
  close(file);
  errno = EIO;
  return -1;
}
int FailingUnlink(const char*) {
  errno = EACCES;
  return -1;
}
void Plant(const char* name, const char* bytes) {
  std::ofstream(faultFolder / "planted") << bytes;
  fs::rename(faultFolder / "planted", faultFolder / name);
}
// The second file's rename runs out of memory, right after the first was put in place.
int ExhaustedSecondRename(const char* from, const char* to, unsigned flags) {
  if (++renames == 2) throw std::bad_alloc();
  return Rename(from, to, flags);
}
// Another writer puts its own file under the first name, then the second rename fails.
int OverwrittenThenFailed(const char* from, const char* to, unsigned flags) {
  if (++renames == 2) {
    Plant("a.rdp", "THEIRS");
    errno = EIO;
    return -1;
  }
  return Rename(from, to, flags);
}
// Another writer takes a free name between the look and the rename.
int RacedRename(const char* from, const char* to, unsigned flags) {
  if (flags == RENAME_NOREPLACE) std::ofstream(to) << "THEIRS";
  return Rename(from, to, flags);
}
// A folder takes the second name between the look and the exchange.
int FolderBeforeExchange(const char* from, const char* to, unsigned flags) {
  if (++renames == 2) {
    fs::remove(to);
    fs::create_directory(to);
  }
  return Rename(from, to, flags);
}
// A file system that takes no flags (NFS, several FUSE file systems).
int FlagsRefused(const char* from, const char* to, unsigned flags) {
  if (flags == 0) return Rename(from, to, flags);
  errno = EINVAL;
  return -1;
}
// Every placement happens while no other writer can lock the folder.
int RenameUnderLock(const char* from, const char* to, unsigned flags) {
  const int folder = open(faultFolder.c_str(), O_RDONLY | O_DIRECTORY);
  const bool free = flock(folder, LOCK_EX | LOCK_NB) == 0;
  close(folder);
  if (free) {
    errno = ENOLCK;
    return -1;
  }
  return Rename(from, to, flags);
}
// The second exchange fails, and so does the first one's exchange back.
int FailingSecondAndThird(const char* from, const char* to, unsigned flags) {
  if (++renames >= 2) {
    errno = EIO;
    return -1;
  }
  return Rename(from, to, flags);
}

// Of several files, all are written or none, whatever ends the call; a file another writer
// put under a name meanwhile is theirs, never removed or swapped away; a folder is never
// replaced; and no temporary name stays behind unless the error names it. Messages show
// the path as given to show.
TEST_F(ToolFilesTest, WritingIsAllOrNothingAndLeavesNoNameUnsaid) {
  faultFolder = folder_;
  constexpr const char* kFolder = "/";          // a folder, in the rows' file lists
  constexpr const char* kFifo = "|";            // a FIFO
  constexpr const char* kDevice = "/dev/null";  // a link to that device
  const std::string victim = folder_.string() + "-victim";
  const char* kLinkToFile = victim.c_str();                    // a link to a regular file elsewhere
  constexpr const char* kDangling = "/nonexistent/rdplaunch";  // a link that leads nowhere
  std::ofstream(victim) << "VICTIM";
  using Files = std::map<std::string, std::string>;
  const struct {
    const char* what;
    Files before;
    WriteCalls calls;
    std::string error;  // the start of it
    Files after;
    bool alone = false;  // the first file alone, not both
  } cases[] = {
      {"old files replaced",
       {{"a.rdp", "OLD"}, {"b.rdp", "OLD"}},
       SystemWriteCalls(),
       "",
       {{"a.rdp", "alpha"}, {"b.rdp", "beta"}}},
      {"one byte a write", {}, {OneByteWrite, ::close, Rename, ::unlink}, "", {{"a.rdp", "alpha"}, {"b.rdp", "beta"}}},
      {"a failing write",
       {{"a.rdp", "OLD"}},
       {FailingWrite, ::close, Rename, ::unlink},
       "cannot write a: No space left on device",
       {{"a.rdp", "OLD"}},
       true},
      {"a failing close",
       {},
       {::write, FailingClose, Rename, ::unlink},
       "cannot write a: Input/output error",
       {},
       true},
      {"a write that writes nothing",
       {},
       {NoWrite, ::close, Rename, ::unlink},
       "cannot write a: No space left",
       {},
       true},
      {"placed under the folder's lock",
       {{"b.rdp", "OLD"}},
       {::write, ::close, RenameUnderLock, ::unlink},
       "",
       {{"a.rdp", "alpha"}, {"b.rdp", "beta"}}},
      {"a file system without the rename flags",
       {{"a.rdp", "OLD"}, {"b.rdp", "OLD"}},
       {::write, ::close, FlagsRefused, ::unlink},
       "cannot write a: this file system cannot replace files atomically, so none is written",
       {{"a.rdp", "OLD"}, {"b.rdp", "OLD"}}},
      {"a folder under the second name",
       {{"a.rdp", "OLD"}, {"b.rdp", kFolder}},
       SystemWriteCalls(),
       "cannot write b: Is a directory",
       {{"a.rdp", "OLD"}, {"b.rdp", kFolder}}},
      {"a FIFO under the second name",
       {{"a.rdp", "OLD"}, {"b.rdp", kFifo}},
       SystemWriteCalls(),
       "cannot write b: it is no regular file nor a link to one, and stays as it is",
       {{"a.rdp", "OLD"}, {"b.rdp", kFifo}}},
      {"a link to a device",
       {{"a.rdp", kDevice}},
       SystemWriteCalls(),
       "cannot write a: it is no regular file nor a link to one",
       {{"a.rdp", kDevice}},
       true},
      {"a link to a file, replaced and not written through",
       {{"a.rdp", kLinkToFile}},
       SystemWriteCalls(),
       "",
       {{"a.rdp", "alpha"}},
       true},
      {"a link that leads nowhere, replaced",
       {{"b.rdp", kDangling}},
       SystemWriteCalls(),
       "",
       {{"a.rdp", "alpha"}, {"b.rdp", "beta"}}},
      {"a folder appearing before the exchange",
       {{"a.rdp", "OLD"}, {"b.rdp", "OLD"}},
       {::write, ::close, FolderBeforeExchange, ::unlink},
       "cannot write b: Is a directory",
       {{"a.rdp", "OLD"}, {"b.rdp", kFolder}}},
      {"a free name taken meanwhile",
       {{"a.rdp", "OLD"}},
       {::write, ::close, RacedRename, ::unlink},
       "cannot write b: File exists",
       {{"a.rdp", "OLD"}, {"b.rdp", "THEIRS"}}},
      {"a new file overwritten, then a failure",
       {},
       {::write, ::close, OverwrittenThenFailed, ::unlink},
       "cannot write b: Input/output error",
       {{"a.rdp", "THEIRS"}}},
      {"a replacing file overwritten, then a failure",
       {{"a.rdp", "OLD"}, {"b.rdp", "OLD"}},
       {::write, ::close, OverwrittenThenFailed, ::unlink},
       "cannot write b: Input/output error",
       {{"a.rdp", "THEIRS"}, {"b.rdp", "OLD"}}},
      {"an old file that cannot be removed",
       {{"a.rdp", "OLD"}, {"b.rdp", "OLD"}},
       {::write, ::close, Rename, FailingUnlink},
       "the files are written; the old a could not be removed: it stays as .rdplaunch-",
       {{"a.rdp", "alpha"}, {"b.rdp", "beta"}}},
      {"an old file that cannot be put back",
       {{"a.rdp", "OLD"}, {"b.rdp", "OLD"}},
       {::write, ::close, FailingSecondAndThird, ::unlink},
       "cannot write b: Input/output error; the old a could not be put back: it stays as .rdplaunch-",
       {{"a.rdp", "alpha"}, {"b.rdp", "OLD"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    for (const auto& [name, bytes] : c.before) {
      if (bytes == kFolder) {
        fs::create_directory(Path(name));
      } else if (bytes == kFifo) {
        mkfifo(Path(name).c_str(), 0600);
      } else if (bytes == kDevice || bytes == kLinkToFile || bytes == kDangling) {
        fs::create_symlink(bytes, Path(name));
      } else {
        Write(name, bytes);
      }
    }
    renames = 0;
    std::vector<NewFile> files{{Path("a.rdp"), "alpha", 0644, "a"}, {Path("b.rdp"), "beta", 0644, "b"}};
    if (c.alone) files.pop_back();
    const std::string error = WriteNewFiles(files, c.calls);
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
    Files after;
    for (const std::string& name : Names()) {
      if (c.after.count(name) == 0 && error.find(name) != std::string::npos) continue;  // left, and said so
      const fs::file_status status = fs::symlink_status(Path(name));
      after[name] = fs::is_directory(status) ? kFolder
                    : fs::is_fifo(status)    ? kFifo
                    : fs::is_symlink(status) ? fs::read_symlink(Path(name)).string()
                                             : Read(name);
    }
    EXPECT_EQ(after, c.after);
    EXPECT_EQ(testing::ReadFile(victim), "VICTIM");
  }
  fs::remove(victim);
  // Memory runs out after the first file is in place: it is put back all the same.
  fs::remove_all(folder_);
  fs::create_directories(folder_);
  Write("a.rdp", "OLD");
  renames = 0;
  const std::vector<NewFile> pair{{Path("a.rdp"), "a", 0644, "a"}, {Path("b.rdp"), "b", 0644, "b"}};
  EXPECT_THROW(WriteNewFiles(pair, {::write, ::close, ExhaustedSecondRename, ::unlink}), std::bad_alloc);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.rdp"}));
  EXPECT_EQ(Read("a.rdp"), "OLD");
  // A file this call did not write is never removed in undoing: here a folder's link.
  fs::remove(Path("a.rdp"));
  fs::create_directory(Path("b.rdp"));
  fs::create_directory_symlink(folder_ / "b.rdp", Path("a.rdp"));
  EXPECT_NE(WriteNewFiles({{Path("c.rdp"), "c", 0644, "c"}, {Path("b.rdp"), "b", 0644, "b"}}), "");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.rdp", "b.rdp"}));
  fs::remove(Path("a.rdp"));
  fs::remove(Path("b.rdp"));
  // One file takes its name from an old one, which goes; a write that takes no lock closes
  // no descriptor it did not open (standard input included).
  const int input = fcntl(0, F_GETFD) == -1 ? open("/dev/null", O_RDONLY) : 0;
  Write("a.rdp", "OLD");
  EXPECT_EQ(WriteNewFiles({{Path("a.rdp"), "alpha", 0644, "a"}}), "");
  EXPECT_NE(fcntl(input, F_GETFD), -1);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.rdp"}));
  EXPECT_EQ(Read("a.rdp"), "alpha");
  fs::remove(Path("a.rdp"));
  // A masked name stays masked.
  EXPECT_EQ(WriteNewFiles({{Path("K$u$pw$.exe"), "bytes", 0644, "out/K$u$***$.exe"}},
                          {FailingWrite, ::close, Rename, ::unlink}),
            "cannot write out/K$u$***$.exe: No space left on device");

  const mode_t old = umask(077);
  EXPECT_EQ(WriteNewFiles({{Path("c.rdp"), "c", 0644, "c"}}), "");
  umask(old);
  struct stat status {};
  ASSERT_EQ(stat(Path("c.rdp").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(ToolCommandsTest, CommandsAnswerWhatTheHelpSays) {
  Write("plain.rdp", "full address:s:x\r\n");
  const auto run = Answered;
  EXPECT_EQ(run({"verify", Path("plain.rdp")}).exitCode, kExitRefused);
  EXPECT_EQ(json::parse(AnswerJson(run({"verify", Path("plain.rdp")})))["error"], "the file is not signed");
  EXPECT_EQ(json::parse(AnswerJson(run({"verify", Path("plain.rdp"), "--json"})))["valid"], false);
  EXPECT_EQ(run({"verify", Path("plain.rdp"), "--cert", Path("missing.pem")}).exitCode, kExitFileError);
  EXPECT_EQ(run({"verify", Path("plain.rdp"), "--cert", Path("plain.rdp")}).exitCode, kExitFileError);

  // Whether the name arrives whole is the browser's and Windows' matter, not the launcher's.
  for (const auto& [name, valid, safe] : {std::tuple{"PELTA_8$a$b$.exe.", true, false},
                                          {"PELTA_9$a$b$.exe", false, true},
                                          {"PELTA_9$a$b%$.exe", false, false}}) {
    const Answer answer = run({"check", name, "--json"});
    EXPECT_EQ(answer.exitCode, valid ? kExitDone : kExitRefused) << name;
    const json checked = json::parse(AnswerJson(answer));
    EXPECT_EQ(checked["valid"], valid) << name;
    EXPECT_EQ(checked["ok"], valid) << name;
    EXPECT_EQ(checked.value("code", ""), valid ? "" : "refused") << name;
    EXPECT_EQ(checked.value("error", ""), checked.value("reason", "")) << name;
    EXPECT_EQ(checked["browser_safe"], safe) << name;
  }
  EXPECT_EQ(json::parse(AnswerJson(run({"check", "PELTA_8$a$s3cret$.exe", "--show-password", "--json"})))["password"],
            "s3cret");
  // Which name each client saves: the name itself, or a fallback the launcher refuses.
  for (const auto& [user, fallback] : {std::pair{"alice", "PELTA_8$alice$s3cret$.exe"}, {"\xD0\x96", "PELTA_8.exe"}}) {
    const json made = json::parse(AnswerJson(run({"make", "PELTA_8", user, "s3cret"})));
    EXPECT_EQ(made["valid"], true);
    EXPECT_EQ(made["fallback_name"], fallback);
    EXPECT_EQ(made["fallback_launches"], made["name"] == fallback);
  }

  // Connection files are readable by all, as the umask lets them be.
  const mode_t mask = umask(022);
  EXPECT_EQ(run({"rdp", "PELTA_8$a$b$.exe", "--out", folder_.string()}).exitCode, kExitDone);
  umask(mask);
  struct stat written {};
  ASSERT_EQ(stat(Path("\xD0\x9F\xD0\x95\xD0\x9B\xD0\xA2\xD0\x90 8.rdp").c_str(), &written), 0);  // ПЕЛТА 8
  EXPECT_EQ(written.st_mode & 0777, 0644u);
  fs::remove(Path("\xD0\x9F\xD0\x95\xD0\x9B\xD0\xA2\xD0\x90 8.rdp"));

  // The companion's name is taken by a folder: neither file is written.
  fs::create_directory(Path("PlanDesk Online.rdp"));
  EXPECT_EQ(run({"rdp", "PELTA_8_CP_Online$a$b$.exe", "--out", folder_.string()}).exitCode, kExitFileError);
  EXPECT_EQ(Names(), (std::vector<std::string>{"PlanDesk Online.rdp", "plain.rdp"}));
  const json files = json::parse(AnswerJson(run({"rdp", "PELTA_8_CP_Online$a$b$.exe", "--json"})))["files"];
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[1]["name"], "PlanDesk Online.rdp");
  EXPECT_EQ(files[1]["content"].get<std::string>().substr(0, 23), "redirectclipboard:i:1\r\n");
  // Printed, the first file's bytes stand alone on standard output, and the companion is named.
  const Answer printed = run({"rdp", "PELTA_8_CP_Online$a$b$.exe"});
  EXPECT_TRUE(AnswerText(printed).starts_with("redirectclipboard:i:1\r\n")) << AnswerText(printed);
  EXPECT_NE(printed.notice.find("also writes PlanDesk Online.rdp"), std::string::npos) << printed.notice;
  EXPECT_EQ(run({"rdp", "PELTA_8$a$b$.exe"}).notice, "");

  const Answer copied = run({"make", "PELTA_8", "alice", "s3cret", "--exe", Path("missing"), "--out", Path("none")});
  EXPECT_EQ(copied.exitCode, kExitFileError);
  Write("launcher", "MZ");
  const Answer nowhere = run({"make", "PELTA_8", "alice", "s3cret", "--exe", Path("launcher"), "--out", Path("no")});
  EXPECT_EQ(nowhere.exitCode, kExitFileError);
  EXPECT_EQ(nowhere.error.find("s3cret"), std::string::npos) << nowhere.error;
  fs::create_directory(Path("PELTA_8$alice$s3cret$.exe"));  // its name is taken: the rename fails
  const Answer taken =
      run({"make", "PELTA_8", "alice", "s3cret", "--exe", Path("launcher"), "--out", folder_.string()});
  EXPECT_EQ(taken.error, "cannot write " + Path("PELTA_8$alice$***$.exe") + ": Is a directory");
}

// The signing commands from their command lines: identity says in JSON what a signed build's
// configuration reads, a key's passphrase file handed on; verify tells by its exit code a
// checked publisher from an unchecked one, another publisher and a changed file, and names
// the signer and its path.
TEST_F(ToolCommandsTest, SigningCommandsAnswerByTheirExitCodes) {
  testing::PutTestCertificates(folder_ / "certificates");
  const auto certificate = [&](const char* name) { return Path("certificates/" + std::string(name)); };
  const json warned =
      json::parse(AnswerJson(Answered({"identity", "--json", "--cert", certificate("soonleaf.pem"), "--key",
                                       certificate("soonleaf.key"), "--chain", certificate("soonint.pem")})));
  EXPECT_TRUE(warned["warning"].get<std::string>().starts_with("the certificate expires on " +
                                                               warned["expires"].get<std::string>() +
                                                               " (when CN=Soon Intermediate on its chain expires)"))
      << warned.dump();
  EXPECT_EQ(warned["expires_with"], "CN=Soon Intermediate");
  Write("passphrase", "correct horse\n");
  const json opened =
      json::parse(AnswerJson(Answered({"identity", "--json", "--cert", certificate("a.pem"), "--key",
                                       certificate("encrypted.key"), "--key-password-file", Path("passphrase")})));
  EXPECT_EQ(opened["valid"], true) << opened.dump();
  EXPECT_TRUE(opened["warning"].is_null());
  // The passphrase from an environment variable, by the same rule as from a file.
  const std::vector<std::string> encrypted{"identity", "--cert", certificate("a.pem"), "--key",
                                           certificate("encrypted.key")};
  const auto withVariable = [&](std::vector<std::string> more) {
    std::vector<std::string> arguments = encrypted;
    arguments.insert(arguments.end(), more.begin(), more.end());
    return Answered(arguments);
  };
  setenv("RDPLAUNCH_TEST_PASSPHRASE", "correct horse", 1);
  EXPECT_EQ(withVariable({"--key-password-env", "RDPLAUNCH_TEST_PASSPHRASE"}).exitCode, kExitDone);
  setenv("RDPLAUNCH_TEST_PASSPHRASE", "correct horse\nmore", 1);
  EXPECT_EQ(withVariable({"--key-password-env=RDPLAUNCH_TEST_PASSPHRASE"}).error,
            "the environment variable RDPLAUNCH_TEST_PASSPHRASE must hold the passphrase alone on one line: no CR, no "
            "NUL, nothing after its line end");
  unsetenv("RDPLAUNCH_TEST_PASSPHRASE");
  EXPECT_EQ(withVariable({"--key-password-env", "RDPLAUNCH_TEST_PASSPHRASE"}).exitCode, kExitFileError);
  EXPECT_EQ(withVariable({"--key-password-env", "V", "--key-password-file", Path("passphrase")}).exitCode, kExitUsage);
  // A key that belongs to another certificate is refused, not unreadable.
  EXPECT_EQ(Answered({"identity", "--cert", certificate("a.pem"), "--key", certificate("b.key")}).exitCode,
            kExitRefused);
  const json unrelated =
      json::parse(AnswerJson(Answered({"identity", "--json", "--cert", certificate("leaf.pem"), "--key",
                                       certificate("leaf.key"), "--chain", certificate("unrelated-chain.pem")})));
  EXPECT_EQ(unrelated["left_out"], json::array({"CN=Another Publisher"}));
  EXPECT_NE(unrelated["warning"].get<std::string>().find("; the path ends at CN=Test Intermediate, which is not "
                                                         "self-signed"),
            std::string::npos)
      << unrelated.dump();
  // The signatures header is readable by all, as the umask lets it be.
  const mode_t mask = umask(022);
  EXPECT_EQ(Answered({"signatures", "--cert", certificate("a.pem"), "--key", certificate("a.key"), "--out",
                      Path("signatures.h")})
                .exitCode,
            kExitDone);
  umask(mask);
  struct stat header {};
  ASSERT_EQ(stat(Path("signatures.h").c_str(), &header), 0);
  EXPECT_EQ(header.st_mode & 0777, 0644u);
  // To standard output, the header alone, byte for byte what the file holds.
  const Answer toOutput =
      Answered({"signatures", "--cert", certificate("a.pem"), "--key", certificate("a.key"), "--out", "-"});
  EXPECT_EQ(toOutput.exitCode, kExitDone);
  EXPECT_EQ(AnswerText(toOutput), Read("signatures.h"));
  EXPECT_EQ(json::parse(AnswerJson(toOutput))["header"], Read("signatures.h"));
  // One signature for each distinct alias, server and port of the profile table and its
  // companions (tests/expected/profiles.tsv): two editions that share a display name
  // share no signature unless they share those.
  EXPECT_EQ(json::parse(AnswerJson(toOutput))["files"], 13);
  EXPECT_EQ(json::parse(AnswerJson(toOutput))["publisher"], "CN=Unit Test Publisher");

  ASSERT_EQ(Answered({"rdp", "PELTA_8$a$b$.exe", "--out", folder_.string(), "--sign", certificate("a.pem"),
                      certificate("a.key")})
                .exitCode,
            kExitDone);
  const std::string name = "\xD0\x9F\xD0\x95\xD0\x9B\xD0\xA2\xD0\x90 8.rdp";  // ПЕЛТА 8
  const std::string file = Path(name);
  std::string changed = Read(name);
  changed.replace(changed.find(Cp1251ToUtf16Le("3395")), 8, Cp1251ToUtf16Le("4395"));
  Write("changed.rdp", changed);
  for (const auto& [arguments, exitCode] :
       {std::pair{std::vector<std::string>{"verify", file, "--cert", certificate("a.pem")}, kExitDone},
        {{"verify", file}, kExitPublisherNotChecked},
        {{"verify", file, "--trust", certificate("b.pem")}, kExitRefused},
        {{"verify", Path("changed.rdp"), "--cert", certificate("a.pem")}, kExitRefused}}) {
    EXPECT_EQ(Answered(arguments).exitCode, exitCode) << arguments.back();
  }
  const auto reason = [](const Answer& answer) { return json::parse(AnswerJson(answer)).value("error", ""); };
  EXPECT_EQ(reason(Answered({"verify", file, "--trust", certificate("b.pem")})),
            "the signer's path does not lead to " + certificate("b.pem"));
  EXPECT_EQ(json::parse(AnswerJson(Answered({"verify", file, "--json"})))["trusted"], "CN=Unit Test Publisher");
  const std::string tampered = reason(Answered({"verify", Path("changed.rdp")}));
  EXPECT_TRUE(tampered.starts_with("the signature does not verify: ")) << tampered;
  EXPECT_EQ(tampered.find("error:"), std::string::npos) << "a reason in words, not OpenSSL's code: " << tampered;
  const json verified = json::parse(AnswerJson(Answered({"verify", file, "--cert", certificate("a.pem"), "--json"})));
  EXPECT_EQ(verified["publisher"], "CN=Unit Test Publisher");
  EXPECT_EQ(verified["chain"], json::array({"CN=Unit Test Publisher"}));
}

// Each line's answer: a request is read exactly as written, or refused for its own reason,
// and no answer but make's repeats a password.
TEST_F(BatchTest, ABatchAnswersEveryLineExactlyAndNeverStops) {
  const std::string overlong = R"({"command": "check", "name": ")" + std::string(kMaxRequestBytes, 'x') + "\"}";
  // The longest request that is read, JSON's white space filling it up, and a CR before its LF.
  std::string exactly = R"({"command": "check", "name": "PELTA_8$a$s3cret$.exe"})";
  exactly.insert(1, kMaxRequestBytes - exactly.size(), ' ');
  const struct {
    std::string line;
    std::string error;      // the start of the error answer; empty when it is answered
    std::string code = {};  // the failure's code, where the row holds it
    std::string id = {};    // the id given back, where one is
  } cases[] = {
      {R"({"command": "make", "key": "PELTA_8", "user": "alice", "password": "s3cret"})", ""},
      {"not json, s3cret", "the request is not one JSON object"},
      {overlong, "the request is longer than 65536 bytes"},
      {R"({"command": "make", "key": "PELTA_8", "user": "alice", "password": "50%s3cret"})", "refused: the password"},
      {R"({"command": "make", "key": "PELTA_8", "password": "s3cret"})", "the request has no \"user\""},
      {R"({"command": "check", "name": "PELTA_8$a$s3cret$.exe", "password": "s3cret"})", "the request has a field"},
      {R"({"command": "check", "name": "PELTA_8$a$s3cret$.exe", "show_password": false})", ""},
      {R"({"command": "make", "key": "PELTA_8", "user": "a", "password": "s3cret", "password": "b"})",
       "the request gives a field twice"},
      {R"({"command": "make", "command": "check", "name": "PELTA_8$a$s3cret$.exe"})",
       "the request gives a field twice"},
      {R"({"command": "check", "name": "PELTA_8$a$s3\u0000cret$.exe"})", "the request holds a NUL character"},
      {std::string(R"({"command": "check", "name": "PELTA_8$a$s3cret$.exe"})") + '\0' + "x",
       "the request holds a NUL character"},
      {R"({"command": "make", "key": "s3cret", "user": "alice", "password": "PELTA_8"})",
       "refused: the key is not one"},
      {R"({"command": "make", "key": "PELTA_8", "user": "a", "password": "s3cret", "exe": "L"})",
       "--exe goes with --out"},
      {R"({"command": "rdp", "name": "PELTA_8$a$s3cret$.exe"})", "the command of a request is \"make\" or \"check\""},
      {R"({"command": "check", "name": ["PELTA_8$a$s3cret$.exe"]})", "a field of the request is an array"},
      {R"({"command": "make", "key": "PELTA_8", "user": "a", "password": "s3cret", "exe": "", "out": "o"})",
       "\"exe\" must be a string that is not empty"},
      {R"({"command": "make", "key": "PELTA_8", "user": "a", "password": "s3cret", "exe": "L", "out": ""})",
       "\"out\" must be a string that is not empty"},
      {"\xEF\xBB\xBF"
       R"({"command": "check", "name": "PELTA_8$a$s3cret$.exe"})",
       "the request starts with a byte order mark"},
      {exactly + "\r", ""},
      {R"({"command": "identity"})", "the command of a request is \"make\" or \"check\""},
      // Every answer says whether it is a failure, and which; an id comes back with either.
      {R"({"id": "r1", "command": "version"})", "", "", "r1"},
      {R"({"command": "check", "name": "PELTA_9$a$s3cret$.exe", "id": "r2"})", "the key is not one", "refused", "r2"},
      {R"({"id": "r3", "command": "make", "key": "PELTA_8", "user": "a", "password": "s3cret", "exe": "/", "out": "o"})",
       "cannot read /: not a regular file", "file", "r3"},
      {R"({"id": "r4", "command": "frobnicate"})", "the command of a request is", "usage", "r4"},
      {R"({"id": true, "command": "version"})", "\"id\" must be a string", "usage"},
      {R"({"id": "r6", "id": "r6", "command": "version"})", "the request gives a field twice", "usage"},
      {R"({"id": "r7", "command": "version", "name": "x"})", "the request has a field that version", "usage", "r7"},
  };
  std::string input;
  for (const auto& c : cases) input += c.line + "\n";
  Write("requests", input + R"({"command": "check", "name": "PELTA_8$a$s3cret$.exe"})");  // no final line end
  const int requests = open(Path("requests").c_str(), O_RDONLY);
  std::ostringstream out;
  EXPECT_EQ(RunBatch(requests, out), kExitDone);
  close(requests);
  std::vector<json> answers;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) answers.push_back(json::parse(line));
  ASSERT_EQ(answers.size(), std::size(cases) + 1);
  EXPECT_EQ(answers[0], json::parse(AnswerJson(Answered({"make", "PELTA_8", "alice", "s3cret", "--json"}))));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string error = answers[i].value("error", "");
    EXPECT_EQ(error.substr(0, cases[i].error.size()), cases[i].error) << i << ": " << error;
    EXPECT_EQ(answers[i]["ok"], cases[i].error.empty()) << i;
    EXPECT_EQ(answers[i].value("code", ""), cases[i].code.empty() ? answers[i].value("code", "") : cases[i].code) << i;
    EXPECT_EQ(answers[i].value("id", ""), cases[i].id) << i;
    EXPECT_EQ(answers[i].dump().find("s3cret") == std::string::npos, i != 0) << answers[i].dump();
  }
  EXPECT_EQ(answers[6]["password"], "***");
  EXPECT_EQ(answers[18]["valid"], true) << "exactly the longest request";
  EXPECT_EQ(answers[20]["version"], ToolVersion());
  EXPECT_EQ(answers.back()["valid"], true);

  // A failure to read is not the end of the requests.
  const int folder = open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
  std::ostringstream said;
  EXPECT_EQ(RunBatch(folder, said), kExitFileError);
  close(folder);
  EXPECT_EQ(json::parse(said.str())["error"], "cannot read standard input: Is a directory");
  EXPECT_EQ(RunBatch(-1, said), kExitFileError);
}

}  // namespace
}  // namespace rdplaunch
