// make: a launcher name for a key, a user name and a password, its download header, and
// optionally a copy of the launcher under that name.
#include <filesystem>

#include "hosting/launch_name_maker.h"
#include "hosting/tool_files.h"
#include "hosting/tool_handlers.h"
#include "hosting/tool_text.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

struct MakeArguments {
  std::string key;
  std::string user;
  std::string password;
  bool header = false;
  std::string exe;
  std::string out;
};

Answer Make(const MakeArguments& arguments) {
  const MadeName made = MakeLaunchName(arguments.key, arguments.user, arguments.password);
  if (!made.refusal.empty()) return Answer::Failure(kExitRefused, "refused: " + made.refusal);
  const std::string utf8Name = Cp1251ToUtf8(made.name);
  if (!arguments.exe.empty()) {
    const FileBytes exe = ReadInputFile(arguments.exe, kMaxExecutableSize, arguments.exe);
    if (!exe.error.empty()) return Answer::Failure(kExitFileError, exe.error);
    const std::filesystem::path out(arguments.out);
    const std::string error =
        WriteNewFiles({{(out / utf8Name).string(), exe.bytes, 0755, (out / MaskedLaunchName(utf8Name)).string()}});
    if (!error.empty()) return Answer::Failure(kExitFileError, error);
  }
  const std::string disposition = ContentDisposition(utf8Name);
  const std::string fallback = FallbackFileName(utf8Name);
  Answer answer;
  answer.headline = arguments.header ? "Content-Disposition: " + disposition : utf8Name;
  // Browsers save the name itself; a client that reads only filename= saves the fallback,
  // which is either the same name or one the launcher refuses.
  return answer.Json("valid", true)
      .Json("name", utf8Name)
      .Json("content_disposition", disposition)
      .Json("fallback_name", fallback)
      .Json("fallback_launches", fallback == utf8Name);
}

using B = Bind<MakeArguments>;
constexpr Parameter kValues[] = {
    B::Value<&MakeArguments::key>("KEY", "the edition's key in the launcher's profile table", "key"),
    B::Value<&MakeArguments::user>("USER", "the user's account name (UTF-8)", "user"),
    B::Value<&MakeArguments::password>("PASSWORD", "the user's password (UTF-8)", "password")};
constexpr Parameter kOptions[] = {
    B::Flag<&MakeArguments::header>("--header", "print the Content-Disposition header line to serve the launcher under",
                                    {}, true),
    B::Option<&MakeArguments::exe>("--exe", "PATH", "the launcher to copy", "exe", "--out"),
    B::Option<&MakeArguments::out>("--out", "DIR", "the folder the copy goes into", "out", "--exe")};

std::string Help() {
  return "Checks that key, user name and password can travel in a Windows file name through\n"
         "a browser's download and come back unchanged, and prints the launcher name\n"
         "KEY$USER$PASSWORD$.exe; with --json, the name, the Content-Disposition value to\n"
         "serve the launcher under it and the name a client that reads only its filename=\n"
         "saves (the name itself where it is ASCII, else one the launcher refuses, never one\n"
         "with other credentials); with --header, that header line. With --exe, copies\n"
         "the launcher PATH under that name into DIR. On a server, use batch instead: the\n"
         "arguments of a process are public there.";
}

}  // namespace

const CommandRow kMakeCommand{"make", kValues, kOptions, Help, true, B::Run<Make>};

}  // namespace rdplaunch
