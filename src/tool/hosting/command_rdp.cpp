// rdp: the connection files the launcher would write for a name, shown or written, signed
// or not.
#include <filesystem>
#include <optional>

#include "hosting/tool_files.h"
#include "hosting/tool_handlers.h"
#include "hosting/tool_inputs.h"
#include "hosting/tool_text.h"
#include "rdpfile/connection_file.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

// A connection file's bytes as text: UTF-16LE after its byte order mark, or code page 1251.
std::string TextOfFile(std::string_view bytes) {
  if (!bytes.starts_with(kUtf16ByteOrderMark)) return Cp1251ToUtf8(bytes);
  return Utf16LeToUtf8(bytes.substr(kUtf16ByteOrderMark.size()));
}

}  // namespace

Answer RdpCommand(const Request& request) {
  auto checked = CheckedName(request.values[0]);
  if (Answer* refused = std::get_if<Answer>(&checked)) return std::move(*refused);
  const NameCheck& check = std::get<NameCheck>(checked);
  if (!check.renameReason.empty()) {
    return Answer::Failure(kExitRefused, "the launcher writes no file: " + check.renameReason);
  }
  std::optional<SigningIdentity> identity;
  if (request.Has(kSignOption)) {
    auto loaded = LoadIdentity(request.Option(kSignOption, 0), request.Option(kSignOption, 1),
                               request.Option(kChainOption), request.Option(kKeyPasswordFileOption));
    if (Answer* failed = std::get_if<Answer>(&loaded)) return std::move(*failed);
    identity.emplace(std::move(std::get<SigningIdentity>(loaded)));
  }
  std::vector<NewFile> files;
  std::string list;
  for (const ConnectionTarget& target : RowFiles(*check.read.profile)) {
    const std::string name = Cp1251ToUtf8(target.displayName) + ".rdp";
    const std::string path = (std::filesystem::path(request.Option(kOutOption)) / name).string();
    files.push_back(
        {path, identity ? SignedConnectionFileContent(*identity, target) : ConnectionFileContent(target), 0644, path});
    list += (list.empty() ? "" : ", ") +
            JsonObject().Text("name", name).Text("content", TextOfFile(files.back().bytes)).Json();
  }
  if (request.Has(kOutOption)) {
    if (const std::string error = WriteNewFiles(files); !error.empty()) return Answer::Failure(kExitFileError, error);
  }
  Answer answer;
  answer.Json("valid", true).Json("signed", identity.has_value()).Json("written", request.Has(kOutOption));
  answer.Json("files", RawJson{"[" + list + "]"});
  if (!request.Has(kOutOption)) answer.bytes = files.front().bytes;
  return answer;
}

}  // namespace rdplaunch
