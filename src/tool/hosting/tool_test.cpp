// rdplaunch-name's command line and its text and JSON. JSON answers are read back with a
// JSON library, independently of the code that writes them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <tuple>

#include "fakes/expected_files.h"
#include "fakes/test_files.h"
#include "fakes/tool_requests.h"
#include "hosting/launch_name_maker.h"
#include "hosting/tool_parse.h"
#include "hosting/tool_text.h"

namespace rdplaunch {
namespace {

using nlohmann::json;

using testing::Answered;

std::string Joined(const std::vector<std::string>& arguments) {
  std::string joined;
  for (const std::string& argument : arguments) joined += argument + " ";
  return joined;
}

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
      {{"make", "K", "U", "P", "s3cret"}, {}, "argument 5 is not an option of make"},
      {{"make", "K", "U", "P", "--show-password"}, {}, "argument 5 is not an option of make"},
      {{"make", "K", "U", "P", "--exe", "L"}, {}, "--exe goes with --out"},
      {{"make", "K", "U", "P", "--exe", "", "--out", ""}, {}, "--exe needs a value, none of them empty"},
      {{"make", "K", "U", "P", "--out"}, {}, "--out needs a value"},
      {{"check", "N", "--json", "--json"}, {}, "argument 4 gives --json a second time"},
      {{"rdp", "N", "--chain", "C"}, {}, "--chain goes with --cert"},
      {{"rdp", "N", "--key-password-file", "F"}, {}, "--key-password-file goes with --cert"},
      {{"rdp", "N", "--key-password-env", "V"}, {}, "--key-password-env goes with --cert"},
      {{"rdp", "N", "--cert", "C"}, {}, "--cert goes with --key"},
      {{"rdp", "N", "--sign", "C"}, {}, "--sign needs two values"},
      {{"rdp", "N", "--sign", "C", "K", "--chain", "H"}, {"N"}, {}},
      {{"rdp", "N", "--sign", "C", "K", "--key", "K"}, {}, "argument 6 gives --key a second time"},
      {{"verify", "F", "--trust=T", "--cert", "T"}, {}, "argument 4 gives --trust a second time"},
      {{"check", "N", "--show-password", "--show-password"}, {}, "argument 4 gives --show-password a second time"},
      {{"check", "N", "--show-password=yes"}, {}, "argument 3: --show-password takes no value after '='"},
      {{"make", "K", "U", "P", "--exe=", "--out", "D"}, {}, "--exe needs a value, none of them empty"},
      {{"make", "K", "U", "--exe=L"}, {"K", "U", "--exe=L"}, {}},
      {{"make", "K", "U", "--help"}, {"K", "U", "--help"}, {}},
      {{"make", "--", "--help", "U", "P"}, {"--help", "U", "P"}, {}},
      {{"signatures", "--cert", "C", "--out", "H"}, {}, "signatures needs --key"},
      {{"identity", "--key", "K"}, {}, "identity needs --cert"},
      {{"signatures", "--cert", "C", "--key", "K"}, {}, "signatures needs --out"},
      {{"batch", "--json"}, {}, "batch takes no arguments"},
      {{"frobnicate"}, {}, "no such command"},
      {{"check"}, {}, "wrong usage: rdplaunch-name check NAME"},
      {{"version"}, {}, {}},
  };
  for (const auto& c : cases) {
    const ParsedCommandLine parsed = ParseCommandLine(c.arguments);
    EXPECT_EQ(parsed.error.substr(0, c.error.size()), c.error) << Joined(c.arguments);
    if (c.error.empty()) {
      std::vector<std::string> values;
      for (const auto& [parameter, given] : parsed.given) {
        if (parameter->metavar.empty() && parameter->count == 1) values.push_back(given[0]);
      }
      EXPECT_EQ(values, c.values) << Joined(c.arguments);
    }
    EXPECT_EQ(parsed.error.find("s3cret"), std::string::npos);
  }
  // --opt=value gives the same as --opt value; the older spellings give the options they stand for.
  for (const auto& [arguments, option, value] :
       {std::tuple<std::vector<std::string>, std::string, std::string>{
            {"make", "K", "U", "P", "--out=D=E", "--exe", "L"}, "--out", "D=E"},
        {{"verify", "F", "--cert", "T"}, "--trust", "T"},
        {{"rdp", "N", "--sign", "C", "K"}, "--key", "K"}}) {
    const Given given = ParseCommandLine(arguments).given;
    const auto found = std::find_if(given.begin(), given.end(), [&](const auto& g) { return g.first->name == option; });
    ASSERT_NE(found, given.end()) << Joined(arguments);
    EXPECT_EQ(found->second, std::vector<std::string>{value}) << Joined(arguments);
  }
  // Every command answers --help, and --version is the version command.
  for (const CommandRow* command : CommandTable()) {
    for (const char* help : {"--help", "-h"}) {
      const ParsedCommandLine parsed = ParseCommandLine({std::string(command->name), help});
      EXPECT_TRUE(parsed.help && parsed.error.empty() && parsed.command == command) << command->name;
    }
    EXPECT_TRUE(CommandHelp(*command).starts_with("usage: " + UsageLine(*command) + "\n")) << command->name;
  }
  EXPECT_EQ(ParseCommandLine({"--version"}).command, FindCommand("version"));
  EXPECT_EQ(Answered({"--version"}).headline, "rdplaunch-name " + std::string(ToolVersion()));
  const Answer unknown = Answered({"frobnicate"});
  EXPECT_EQ(unknown.exitCode, kExitUsage);
  EXPECT_EQ(unknown.error, "no such command; see --help");
  // An answer that cannot be written is exit code 3, whatever it said: a refusal to an
  // error stream that takes nothing included.
  for (const int exitCode : {kExitDone, kExitRefused, kExitPublisherNotChecked}) {
    for (const bool asJson : {false, true}) {
      std::ostringstream full;
      std::ostringstream err;
      full.setstate(std::ios::badbit);
      Answer answer;
      answer.exitCode = exitCode;
      answer.headline = "x";
      EXPECT_EQ(Deliver(answer, asJson, full, err), kExitFileError) << exitCode;
    }
  }
  std::ostringstream out;
  std::ostringstream fullErr;
  fullErr.setstate(std::ios::badbit);
  EXPECT_EQ(Deliver(Answer::Failure(kExitRefused, "refused"), false, out, fullErr), kExitFileError);
  EXPECT_EQ(Deliver(Answer::Failure(kExitRefused, "refused"), false, out, out), kExitRefused);
  EXPECT_TRUE(ParseCommandLine({"make", "K", "U", "P", "--json"}).json);
  EXPECT_TRUE(ParseCommandLine({"batch"}).batch);
  EXPECT_TRUE(ParseCommandLine({"make", "K", "--json"}).json) << "too few values: the error is JSON";
  EXPECT_FALSE(ParseCommandLine({"check", "--json"}).json) << "a value, whatever it starts with";
}

// What users read of the commands and exit codes is made from the rows: the README, written
// by hand, must show every usage line and every exit code as the tool does.
TEST(ParseCommandLine, TheReadmeShowsEveryUsageLineAndExitCode) {
  const std::string readme = testing::ReadFile(RDPLAUNCH_SOURCE_DIR "/README.md");
  for (const CommandRow* command : CommandTable()) {
    EXPECT_NE(readme.find("\n" + UsageLine(*command) + "\n"), std::string::npos) << UsageLine(*command);
  }
  for (const ExitCodeRow& row : kExitCodes) {
    const std::string line = "| " + std::to_string(row.code) + " | " + std::string(row.meaning) + " |";
    EXPECT_NE(readme.find(line), std::string::npos) << line;
    EXPECT_NE(HelpText().find(std::to_string(row.code) + "  " + std::string(row.meaning)), std::string::npos);
  }
  EXPECT_NE(HelpText().find("at most 1 MiB (the launcher of --exe: 16 MiB)"), std::string::npos) << HelpText();
}

// A command's help, the batch help and the manual page come from the rows: each value and
// option with its help line, the batch request with its fields.
TEST(ParseCommandLine, HelpAndManualAreMadeFromTheRows) {
  EXPECT_EQ(
      CommandHelp(*FindCommand("check")),
      "usage: rdplaunch-name check NAME [--json] [--show-password]\n\n" + FindCommand("check")->help() +
          "\n\n"
          "  NAME             a launcher's file name, a folder in front of it or not\n"
          "  --json           one JSON object for the answer, errors included\n"
          "  --show-password  show the password instead of ***\n\n"
          "In batch mode: {\"command\": \"check\", \"name\": \"NAME\"}, and optionally \"show_password\" (true or "
          "false)\n");
  EXPECT_NE(HelpText().find("{\"command\": \"make\", \"key\": \"KEY\", \"user\": \"USER\", \"password\": "
                            "\"PASSWORD\"}, and optionally \"exe\", \"out\"\n"),
            std::string::npos);
  EXPECT_EQ(CommandHelp(*FindCommand("rdp")).find("--sign"), std::string::npos) << "an older spelling is shown nowhere";
  // In the manual page, every line that starts with a dot is a request, and every minus
  // and backslash of the text is escaped.
  const std::string page = ManualPage();
  std::istringstream lines(page);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with('.')) {
      EXPECT_NE(std::string(".TH .SH .SS .TP .B .nf .fi").find(line.substr(0, line.find(' '))), std::string::npos)
          << line;
    }
    for (std::size_t at = line.find_first_of("-\\"); at != std::string::npos; at = line.find_first_of("-\\", at + 2)) {
      EXPECT_TRUE(line[at] == '\\' && at + 1 < line.size() &&
                  std::string("-e&").find(line[at + 1]) != std::string::npos)
          << line;
    }
  }
  EXPECT_NE(page.find(".B \\-\\-key\\-password\\-env NAME\n"), std::string::npos);
  EXPECT_EQ(page.find("\\&"), std::string::npos) << "no line of text starts with a dot or a quote";
}

TEST(ToolText, JsonAndTextAreValidUtf8AndSafeOnATerminal) {
  const std::string bytes = "a\\b\"c\x1B]0;x\x07\xC0\xAF\xD0\x96\xC2\x85";
  EXPECT_EQ(json::parse(JsonString(bytes)).get<std::string>(), "a\\b\"c\x1B]0;x\x07\\xC0\\xAF\xD0\x96\xC2\x85");
  EXPECT_EQ(PrintableText(bytes), "a\\b\"c\\x1B]0;x\\x07\\xC0\\xAF\xD0\x96\\u0085");
  // A publisher "CN=Good\u202Eevil" would show reversed; separators and format characters
  // are shown by their code points, and JSON keeps the same text.
  for (const auto& [utf8, shown] : {std::pair{"CN=a\u202Eb", "CN=a\\u202Eb"},
                                    {"\u2066x\u2069", "\\u2066x\\u2069"},
                                    {"a\u2028b\u2029", "a\\u2028b\\u2029"},
                                    {"\u200Bx\uFEFF", "\\u200Bx\\uFEFF"},
                                    {"\U000E0041", "\\uDB40\\uDC41"},
                                    {"\u200Ex\u200F", "\\u200Ex\\u200F"},
                                    {"\u0890\u0891\u08E2", "\\u0890\\u0891\\u08E2"},
                                    {"\U000110CD\U00013430\U00013438", "\\uD804\\uDCCD\\uD80D\\uDC30\\uD80D\\uDC38"},
                                    {"\U0001BCA0\U0001BCA3", "\\uD82F\\uDCA0\\uD82F\\uDCA3"},
                                    {"\u00ADx\u061C", "\\u00ADx\\u061C"},
                                    {"\u3164\u115F\u034Fx\uFE0F\u180B", "\\u3164\\u115F\\u034Fx\\uFE0F\\u180B"},
                                    {"Ж\u00A0", "Ж\u00A0"}}) {
    EXPECT_EQ(PrintableText(utf8), shown) << shown;
    EXPECT_EQ(json::parse(JsonString(utf8)).get<std::string>(), utf8) << shown;
    EXPECT_EQ(JsonString(utf8), "\"" + std::string(shown) + "\"") << shown;
  }
  EXPECT_EQ(PrintableText("a\x1F"
                          "b\x20"),
            "a\\x1Fb ");
  Answer answer;
  answer.headline = "CN=a\u202Eb";
  answer.Both("k", "label", std::string("x\u202Ey"));
  EXPECT_EQ(AnswerText(answer), "CN=a\\u202Eb\nlabel: x\\u202Ey\n");
  const json object = json::parse(JsonObject().Text("t", "x").Bool("b", true).Raw("r", "[1]").Json());
  EXPECT_EQ(object, json::parse(R"({"t": "x", "b": true, "r": [1]})"));
}

TEST(ToolText, ALaunchNamesPasswordIsMaskedAsTheLauncherMasksIt) {
  for (const auto& [path, masked] : testing::ExpectedMaskedNames()) EXPECT_EQ(MaskedLaunchName(path), masked);
}

// RFC 6266 section 5 and RFC 8187 section 3.2.3: a space and every byte outside the
// attribute characters are percent-encoded in filename*; the fallback keeps ASCII.
TEST(ContentDisposition, FollowsTheRfcExamples) {
  EXPECT_EQ(ContentDisposition("€ rates"), "attachment; filename=\"_ rates\"; filename*=UTF-8''%E2%82%AC%20rates");
  EXPECT_EQ(ContentDisposition("a\"b\\c%d.exe"),
            "attachment; filename=\"a_b_c_d.exe\"; filename*=UTF-8''a%22b%5Cc%25d.exe");
  EXPECT_EQ(ContentDisposition("K$u$p'!#&+-.^_`|~$.exe"),
            "attachment; filename=\"K$u$p'!#&+-.^_`|~$.exe\"; filename*=UTF-8''K$u$p%27!#&+-.^_`|~$.exe");
  // A client that reads only filename= must never save a launcher name with other credentials:
  // a name that is not plain ASCII falls back to its key alone, which the launcher refuses.
  for (const auto& [name, fallback] : {std::pair{"PELTA_8$Иван Петров$pw1$.exe", "PELTA_8.exe"},
                                       {"PELTA_8$alice$пароль$.exe", "PELTA_8.exe"},
                                       {"PELTA_8$alice$p%w$.exe", "PELTA_8.exe"},
                                       {"PELTA_8$alice$s3cret$.exe", "PELTA_8$alice$s3cret$.exe"}}) {
    EXPECT_EQ(FallbackFileName(name), fallback) << name;
    EXPECT_NE(ContentDisposition(name).find("filename=\"" + std::string(fallback) + "\";"), std::string::npos);
    EXPECT_EQ(CheckLaunchName(fallback).renameReason.empty(), std::string_view(fallback) == name) << name;
  }
}

}  // namespace
}  // namespace rdplaunch
