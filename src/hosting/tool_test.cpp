// The parts of rdplaunch-name: its command line, its text and JSON, its files and its
// batch mode. JSON answers are read back with a JSON library, independently of the code
// that writes them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "hosting/launch_name_maker.h"
#include "hosting/tool_batch.h"
#include "hosting/tool_commands.h"
#include "hosting/tool_files.h"
#include "hosting/tool_text.h"

namespace rdplaunch {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

TEST(ParseCommandLine, ValuesStandWhereTheyStandAndOptionsFollowTheTable) {
  const struct {
    std::vector<std::string> arguments;
    std::vector<std::string> values;  // when it parses
    std::string error;                // the start of the usage error otherwise
  } cases[] = {
      {{"make", "--", "K", "U", "P"}, {"K", "U", "P"}, {}},
      {{"make", "--", "--", "U", "P"}, {"--", "U", "P"}, {}},
      {{"make", "K", "U", "-P", "--json"}, {"K", "U", "-P"}, {}},
      {{"make", "K", "U", "--json"}, {"K", "U", "--json"}, {}},
      {{"make", "K", "U"}, {}, "wrong usage: rdplaunch-name make KEY USER PASSWORD"},
      {{"make", "K", "U", "P", "--s3cret"}, {}, "argument 5 is not an option of make"},
      {{"make", "K", "U", "P", "--show-password"}, {}, "argument 5 is not an option of make"},
      {{"make", "K", "U", "P", "--exe", "L"}, {}, "--exe goes with --out"},
      {{"make", "K", "U", "P", "--exe", "", "--out", ""}, {}, "--exe needs a value, none of them empty"},
      {{"make", "K", "U", "P", "--out"}, {}, "--out needs a value"},
      {{"check", "N", "--json", "--json"}, {}, "argument 4 gives --json a second time"},
      {{"rdp", "N", "--chain", "C"}, {}, "--chain goes with --sign"},
      {{"rdp", "N", "--key-password-file", "F"}, {}, "--key-password-file goes with --sign"},
      {{"rdp", "N", "--sign", "C"}, {}, "--sign needs two values"},
      {{"frobnicate"}, {}, "no such command"},
  };
  for (const auto& c : cases) {
    const ParsedCommandLine parsed = ParseCommandLine(c.arguments);
    EXPECT_EQ(parsed.error.substr(0, c.error.size()), c.error) << c.arguments[1];
    if (c.error.empty()) {
      EXPECT_EQ(parsed.request.values, c.values) << c.arguments[1];
    }
    EXPECT_EQ(parsed.error.find("s3cret"), std::string::npos);
  }
  const Answer unknown = RunCommand(ParseCommandLine({"frobnicate"}));
  EXPECT_EQ(unknown.exitCode, kExitUsage);
  EXPECT_EQ(unknown.error, "no such command; see --help");
  EXPECT_TRUE(ParseCommandLine({"make", "K", "U", "P", "--json"}).json);
  EXPECT_TRUE(ParseCommandLine({"make", "K", "--json"}).jsonErrors) << "too few values: the error is JSON";
}

// Help, usage errors and parsing come from one table, so they cannot disagree.
TEST(ParseCommandLine, HelpShowsEveryCommandsUsageLine) {
  const std::string help = HelpText();
  for (const CommandRow& command : CommandTable()) {
    EXPECT_NE(help.find("  " + UsageLine(command) + "\n"), std::string::npos) << command.name;
    for (const OptionRow& option : command.options) {
      EXPECT_NE(UsageLine(command).find(option.name), std::string::npos) << command.name << " " << option.name;
    }
  }
}

TEST(ToolText, JsonAndTextAreValidUtf8AndSafeOnATerminal) {
  const std::string bytes = "a\\b\"c\x1B]0;x\x07\xC0\xAF\xD0\x96\xC2\x85";
  EXPECT_EQ(json::parse(JsonString(bytes)).get<std::string>(), "a\\b\"c\x1B]0;x\x07\\xC0\\xAF\xD0\x96\xC2\x85");
  EXPECT_EQ(PrintableText(bytes), "a\\b\"c\\x1B]0;x\\x07\\xC0\\xAF\xD0\x96\\u0085");
  const json object = json::parse(JsonObject().Text("t", "x").Bool("b", true).Number("n", 3).Null("z").Json());
  EXPECT_EQ(object, json::parse(R"({"t": "x", "b": true, "n": 3, "z": null})"));
}

TEST(ToolText, ALaunchNamesPasswordIsMaskedAsTheLauncherMasksIt) {
  EXPECT_EQ(MaskedLaunchName("out/PELTA_8$alice$s3cret$.exe"), "out/PELTA_8$alice$***$.exe");
  EXPECT_EQ(MaskedLaunchName("a$b/PELTA_8$alice$s3cret.exe"), "a$b/PELTA_8$alice$***");
  EXPECT_EQ(MaskedLaunchName("PELTA_8$alice"), "PELTA_8$alice");
}

// RFC 6266 section 5 and RFC 8187 section 3.2.3: a space and every byte outside the
// attribute characters are percent-encoded in filename*; the fallback keeps ASCII.
TEST(ContentDisposition, FollowsTheRfcExamples) {
  EXPECT_EQ(ContentDisposition("€ rates"), "attachment; filename=\"_ rates\"; filename*=UTF-8''%E2%82%AC%20rates");
  EXPECT_EQ(ContentDisposition("a\"b\\c%d.exe"),
            "attachment; filename=\"a_b_c_d.exe\"; filename*=UTF-8''a%22b%5Cc%25d.exe");
  EXPECT_EQ(ContentDisposition("K$u$p'!#&+-.^_`|~$.exe"),
            "attachment; filename=\"K$u$p'!#&+-.^_`|~$.exe\"; filename*=UTF-8''K$u$p%27!#&+-.^_`|~$.exe");
}

class ToolFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("rdplaunch-tool-" + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  void Write(const std::string& name, std::string_view bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_;
};

TEST_F(ToolFilesTest, InputsAreBoundedRegularFilesAndNothingWaits) {
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  Write("large", std::string(kMaxInputFileSize + 1, 'x'));
  Write("fits", std::string(kMaxInputFileSize, 'x'));
  const std::pair<std::string, std::string> refused[] = {
      {Path("fifo"), "not a regular file"},           {"/dev/zero", "not a regular file"},
      {folder_.string(), "not a regular file"},       {Path("large"), "larger than 1048576 bytes"},
      {Path("missing"), "No such file or directory"},
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

ssize_t FailingWrite(int, const void*, std::size_t) {
  errno = ENOSPC;
  return -1;
}
int FailingClose(int file) {
  close(file);
  errno = EIO;
  return -1;
}

// A failed write or close leaves neither the file nor its temporary; of several files,
// all are written or none. Messages show the path as given to show.
TEST_F(ToolFilesTest, WritingIsAllOrNothingAndFollowsTheUmask) {
  const WriteCalls failingWrite{FailingWrite, ::close};
  const WriteCalls failingClose{::write, FailingClose};
  for (const WriteCalls* calls : {&failingWrite, &failingClose}) {
    const std::string error = WriteNewFiles({{Path("K$u$pw$.exe"), "bytes", 0644, "out/K$u$***$.exe"}}, *calls);
    EXPECT_EQ(error.substr(0, 31), "cannot write out/K$u$***$.exe: ");
    EXPECT_TRUE(Names().empty());
  }
  fs::create_directory(Path("b.rdp"));  // the second file's name is taken by a folder
  EXPECT_NE(WriteNewFiles({{Path("a.rdp"), "a", 0644, "a"}, {Path("b.rdp"), "b", 0644, "b"}}), "");
  EXPECT_EQ(Names(), std::vector<std::string>{"b.rdp"});

  const mode_t old = umask(077);
  EXPECT_EQ(WriteNewFiles({{Path("c.rdp"), "c", 0644, "c"}}), "");
  umask(old);
  struct stat status {};
  ASSERT_EQ(stat(Path("c.rdp").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(ToolFilesTest, CommandsAnswerWhatTheHelpSays) {
  Write("plain.rdp", "full address:s:x\r\n");
  const auto run = [](std::vector<std::string> arguments) { return RunCommand(ParseCommandLine(arguments)); };
  EXPECT_EQ(run({"verify", Path("plain.rdp")}).exitCode, kExitRefused);
  EXPECT_EQ(json::parse(run({"verify", Path("plain.rdp"), "--json"}).json)["valid"], false);
  EXPECT_EQ(run({"verify", Path("plain.rdp"), "--cert", Path("missing.pem")}).exitCode, kExitFileError);
  EXPECT_EQ(run({"verify", Path("plain.rdp"), "--cert", Path("plain.rdp")}).exitCode, kExitFileError);

  // The companion's name is taken by a folder: neither file is written.
  fs::create_directory(Path("PlanDesk Online.rdp"));
  EXPECT_EQ(run({"rdp", "PELTA_8_CP_Online$a$b$.exe", "--out", folder_.string()}).exitCode, kExitFileError);
  EXPECT_EQ(Names(), (std::vector<std::string>{"PlanDesk Online.rdp", "plain.rdp"}));
  const json files = json::parse(run({"rdp", "PELTA_8_CP_Online$a$b$.exe", "--json"}).json)["files"];
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[1]["name"], "PlanDesk Online.rdp");
  EXPECT_EQ(files[1]["content"].get<std::string>().substr(0, 23), "redirectclipboard:i:1\r\n");

  const Answer copied = run({"make", "PELTA_8", "alice", "s3cret", "--exe", Path("missing"), "--out", Path("none")});
  EXPECT_EQ(copied.exitCode, kExitFileError);
  Write("launcher", "MZ");
  const Answer nowhere = run({"make", "PELTA_8", "alice", "s3cret", "--exe", Path("launcher"), "--out", Path("no")});
  EXPECT_EQ(nowhere.exitCode, kExitFileError);
  EXPECT_EQ(nowhere.error.find("s3cret"), std::string::npos) << nowhere.error;
}

TEST(Batch, AnswersEveryLineAndNeverStopsOnBadInput) {
  const std::string overlong = R"({"command": "check", "name": ")" + std::string(kMaxRequestBytes, 'x') + "\"}";
  std::istringstream in(R"({"command": "make", "key": "PELTA_8", "user": "alice", "password": "s3cret"})"
                        "\nnot json, s3cret\n" +
                        overlong + "\n" +
                        R"({"command": "make", "key": "PELTA_8", "user": "alice", "password": "50%s3cret"})"
                        "\n"
                        R"({"command": "make", "key": "PELTA_8", "password": "s3cret"})"
                        "\n"
                        R"({"command": "check", "name": "PELTA_8$a$s3cret$.exe", "password": "s3cret"})"
                        "\n"
                        R"({"command": "check", "name": "PELTA_8$a$s3cret$.exe"})");
  std::ostringstream out;
  EXPECT_EQ(RunBatch(in, out), kExitDone);
  std::vector<json> answers;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) answers.push_back(json::parse(line));
  ASSERT_EQ(answers.size(), 7u);
  EXPECT_EQ(answers[0]["name"], "PELTA_8$alice$s3cret$.exe");
  EXPECT_EQ(answers[0],
            json::parse(RunCommand(ParseCommandLine({"make", "PELTA_8", "alice", "s3cret", "--json"})).json));
  EXPECT_EQ(answers[2]["error"], "the request is longer than 65536 bytes");
  EXPECT_EQ(answers[6]["password"], "***");
  for (std::size_t i = 1; i < 6; ++i) {
    EXPECT_EQ(answers[i]["valid"], false) << i;
    EXPECT_EQ(answers[i].dump().find("s3cret"), std::string::npos) << answers[i].dump();
  }
}

}  // namespace
}  // namespace rdplaunch
