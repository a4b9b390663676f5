// make: a launcher name for a key, a user name and a password, its download header, and
// optionally a copy of the launcher under that name.
#include <filesystem>

#include "hosting/launch_name_maker.h"
#include "hosting/tool_files.h"
#include "hosting/tool_handlers.h"
#include "hosting/tool_text.h"
#include "text/cp1251.h"

namespace rdplaunch {

Answer MakeCommand(const Request& request) {
  const MadeName made = MakeLaunchName(request.values[0], request.values[1], request.values[2]);
  if (!made.refusal.empty()) return Answer::Failure(kExitRefused, "refused: " + made.refusal);
  const std::string utf8Name = Cp1251ToUtf8(made.name);
  if (request.Has(kExeOption)) {
    const std::string exePath = request.Option(kExeOption);
    const FileBytes exe = ReadInputFile(exePath, kMaxExecutableSize, exePath);
    if (!exe.error.empty()) return Answer::Failure(kExitFileError, exe.error);
    const std::filesystem::path out(request.Option(kOutOption));
    const std::string error =
        WriteNewFiles({{(out / utf8Name).string(), exe.bytes, 0755, (out / MaskedLaunchName(utf8Name)).string()}});
    if (!error.empty()) return Answer::Failure(kExitFileError, error);
  }
  const std::string disposition = ContentDisposition(utf8Name);
  Answer answer;
  answer.headline = request.Has(kHeaderOption) ? "Content-Disposition: " + disposition : utf8Name;
  return answer.Json("name", utf8Name).Json("content_disposition", disposition);
}

}  // namespace rdplaunch
