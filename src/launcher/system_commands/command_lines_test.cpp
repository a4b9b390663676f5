#include "system_commands/command_lines.h"

#include <gtest/gtest.h>

#include "fakes/windows_arguments.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

using testing::SplitWindowsArguments;

constexpr std::string_view kSystem = "C:\\Windows\\system32";

TEST(QuoteArgumentIfNeeded, LeavesPlainValuesAlone) {
  for (std::string_view value : {"alice", "s3cret", "p@$$w0rd", "back\\slash", "trailing\\", "", "ПЕЛТА"}) {
    EXPECT_EQ(QuoteArgumentIfNeeded(value), value);
  }
}

TEST(QuoteArgumentIfNeeded, AQuotedValueSplitsBackIntoExactlyItself) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"two words", "\"two words\""},
      {"tab\there", "\"tab\there\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"ends in\\", "\"ends in\\\\\""},
      {"a\\\"b c", "\"a\\\\\\\"b c\""},
      {"\"", "\"\\\"\""},
      {" ", "\" \""},
  };
  for (const auto& [value, quoted] : cases) {
    EXPECT_EQ(QuoteArgumentIfNeeded(value), quoted) << value;
    EXPECT_EQ(SplitWindowsArguments("/pass:" + QuoteArgumentIfNeeded(value)),
              std::vector<std::string>{"/pass:" + std::string(value)})
        << value;
  }
}

TEST(CommandLines, AreTheExactTextsTheToolsExpect) {
  EXPECT_EQ(CredentialRemovalCommand(kSystem, "rds-a.example.com").program, "C:\\Windows\\system32\\cmdkey.exe");
  EXPECT_EQ(CredentialRemovalCommand(kSystem, "rds-a.example.com").parameters, " /delete:termsrv/rds-a.example.com");
  EXPECT_EQ(CredentialStoreCommand(kSystem, "h.example", "alice", "s3cret").parameters,
            " /generic:termsrv/h.example /user:alice /pass:s3cret");
  const std::string user(("Иван"_cp1251));
  EXPECT_EQ(CredentialStoreCommand(kSystem, "h", user, "p w").parameters,
            " /generic:termsrv/h /user:" + user + " /pass:\"p w\"");
  const std::string file = "C:\\Users\\a b\\Desktop\\" + std::string("ПЕЛТА 8"_cp1251) + ".rdp";
  const CommandLine client = ClientStartCommand(kSystem, file);
  EXPECT_EQ(client.program, "C:\\Windows\\system32\\mstsc.exe");
  EXPECT_EQ(client.parameters, "\"C:\\Users\\a b\\Desktop\\" + std::string("ПЕЛТА 8"_cp1251) + ".rdp\"");
}

TEST(CommandLines, UserNameAndPasswordArriveAsOneArgumentEach) {
  const std::pair<const char*, const char*> cases[] = {
      {"alice", "s3cret"},
      {"John Smith", "pass word"},
      {"DOMAIN\\user", "a\"b"},
      {"x", "ends\\ "},
  };
  for (const auto& [user, password] : cases) {
    const std::vector<std::string> arguments =
        SplitWindowsArguments(CredentialStoreCommand(kSystem, "h", user, password).parameters);
    EXPECT_EQ(arguments, (std::vector<std::string>{"/generic:termsrv/h", std::string("/user:") + user,
                                                   std::string("/pass:") + password}));
  }
}

TEST(SystemToolPath, NamesTheToolInTheSystemDirectoryOrNothing) {
  EXPECT_EQ(SystemToolPath("C:\\WINDOWS\\system32", "mstsc"), "C:\\WINDOWS\\system32\\mstsc.exe");
  EXPECT_EQ(SystemToolPath("C:\\", "mstsc"), "C:\\mstsc.exe");
  EXPECT_EQ(SystemToolPath("", "mstsc"), "");
}

}  // namespace
}  // namespace rdplaunch
