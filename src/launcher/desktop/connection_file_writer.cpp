// The writer that puts a connection file on the desktop, signed when the launcher was
// built with signatures.
#include "desktop/connection_file_writer.h"

#include <utility>

#include "desktop/compiled_signatures.h"
#include "desktop/desktop_folder.h"
#include "desktop/output_stream.h"
#include "failure/failure_reporting.h"
#include "profiles/profile_table.h"
#include "rdpfile/signed_file.h"

namespace rdplaunch {

namespace {

// A launcher built to sign its files writes no file without a signature. The signatures
// are made from the same table and servers; one missing means they were made for another
// table or other servers, and the build stops here, at the row whose file lacks one.
constexpr bool HasCompiledSignature(const ConnectionTarget& target) {
  return !kSignedBuild || CompiledSignatureOf(target) != nullptr;  // an unsigned build signs nothing
}
static_assert(!kSignedBuild || !kFileSignatures.empty(), "a signed build's signatures table is empty");

// Each row is checked in an instantiation of its own, so the compiler's message names the
// row (kRow, counted from 0) whose file, or whose companion file, has no signature.
template <std::size_t kRow>
constexpr bool RowFilesHaveSignatures() {
  constexpr ProductProfile kProfile = kProfiles[kRow];
  static_assert(HasCompiledSignature(RowFiles(kProfile).Own()),
                "the connection file of this profile row has no signature: the signatures were made for another "
                "table or other servers");
  static_assert(RowFiles(kProfile).Companion() == nullptr || HasCompiledSignature(*RowFiles(kProfile).Companion()),
                "the companion file of this profile row has no signature");
  return true;
}

template <std::size_t... kRow>
constexpr bool EveryFileHasItsSignature(std::index_sequence<kRow...>) {
  return (RowFilesHaveSignatures<kRow>() && ...);
}
static_assert(EveryFileHasItsSignature(std::make_index_sequence<kProfiles.size()>()));

}  // namespace

// A launcher built with signatures writes only signed files, UTF-16LE whatever the
// system's code page, as Windows' own signing tool writes them; it never falls back to an
// unsigned file (the build stops when a file it can write has no signature, above).
void WriteConnectionFile(Platform& platform, const ConnectionTarget& target,
                         std::span<const FileSignature> signatures) {
  if (signatures.empty()) {
    const auto lines = ConnectionFileLines(target);
    return WriteFileLines(platform, target.displayName, lines, ConnectionFileEncoding(platform.AnsiCodePage()));
  }
  const FileSignature* signature = SignatureOf(signatures, target);
  if (signature == nullptr) throw Exception("the connection file has no signature");
  WriteFileLines(platform, target.displayName, SignedFileLines(target, *signature), FileEncoding::kUtf16Le);
}

// The stream removes a file it could not write completely before the check raises the
// failure, so the user never finds a half-written file to open later.
void WriteFileLines(Platform& platform, std::string_view displayName, std::span<const std::string> lines,
                    FileEncoding encoding) {
  const std::string path = ConnectionFilePath(DesktopFolder(platform), displayName);
  OutputStream stream(platform);
  stream.Open(path);
  IoCheck();
  stream.Put(FileContent(lines, encoding));
  IoCheck();
  stream.Close();
  IoCheck();
}

}  // namespace rdplaunch
