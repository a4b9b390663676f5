// rdp: the connection files the launcher would write for a name, shown or written, signed
// or not.
#include <filesystem>
#include <optional>

#include "hosting/tool_files.h"
#include "hosting/tool_handlers.h"
#include "hosting/tool_inputs.h"
#include "rdpfile/connection_file.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

struct RdpArguments : SigningOptions {
  std::string name;
  std::string out;
};

// A connection file's bytes as text: UTF-16LE after its byte order mark, or code page 1251.
std::string TextOfFile(std::string_view bytes) {
  if (!bytes.starts_with(kUtf16ByteOrderMark)) return Cp1251ToUtf8(bytes);
  return Utf16LeToUtf8(bytes.substr(kUtf16ByteOrderMark.size()));
}

Answer Rdp(const RdpArguments& arguments) {
  auto checked = CheckedName(arguments.name);
  if (Answer* refused = std::get_if<Answer>(&checked)) return std::move(*refused);
  const NameCheck& check = std::get<NameCheck>(checked);
  if (!check.renameReason.empty()) {
    return Answer::Failure(kExitRefused, "the launcher writes no file: " + check.renameReason);
  }
  std::optional<SigningIdentity> identity;
  if (!arguments.certificate.empty()) {
    auto loaded = LoadIdentity(arguments);
    if (Answer* failed = std::get_if<Answer>(&loaded)) return std::move(*failed);
    identity.emplace(std::move(std::get<SigningIdentity>(loaded)));
  }
  std::vector<NewFile> files;
  std::vector<AnswerRecord> shown;
  for (const ConnectionTarget& target : RowFiles(*check.read.profile)) {
    const std::string name = Cp1251ToUtf8(RdpFileName(target.displayName));
    const std::string path = (std::filesystem::path(arguments.out) / name).string();
    files.push_back(
        {path, identity ? SignedConnectionFileContent(*identity, target) : ConnectionFileContent(target), 0644, path});
    shown.push_back({{"name", name}, {"content", TextOfFile(files.back().bytes)}});
  }
  const bool written = !arguments.out.empty();
  if (written) {
    if (const std::string error = WriteNewFiles(files); !error.empty()) return Answer::Failure(kExitFileError, error);
  }
  Answer answer;
  answer.Json("valid", true).Json("signed", identity.has_value()).Json("written", written).Json("files", shown);
  if (!written) {
    // Standard output takes one file's bytes: a companion is not dropped without a word.
    answer.bytes = files.front().bytes;
    if (shown.size() > 1) {
      answer.notice = "the edition also writes " + shown[1][0].second +
                      ", not shown here: --out DIR writes every file, --json shows them all";
    }
  }
  return answer;
}

using B = Bind<RdpArguments>;
constexpr Parameter kValues[] = {B::Value<&RdpArguments::name>("NAME", "a launcher's file name")};
constexpr auto kSigner = SignerOptions<RdpArguments>(false);
constexpr Parameter kOptions[] = {
    B::Option<&RdpArguments::out>("--out", "DIR", "the folder the files go into, all or none"),
    kSigner[0],
    kSigner[1],
    kSigner[2],
    kSigner[3],
    kSigner[4],
    OlderSpelling("--sign", 2, "--cert --key")};

std::string Help() {
  return "Prints the connection file the launcher would write for NAME; with --out, writes it\n"
         "(and the companion file, where the edition has one) into DIR, all or none; with\n"
         "--json, each file's name and text. With --cert and --key, the file a launcher built\n"
         "with that certificate and key writes: signed. Nothing asks for a passphrase on a\n"
         "terminal.";
}

}  // namespace

const CommandRow kRdpCommand{"rdp", kValues, kOptions, Help, false, B::Run<Rdp>};

}  // namespace rdplaunch
