// The compiled-in profile table and the lookup of the key in it.
#include "launch/profiles.h"

#include <array>
#include <utility>

#include "launch/hosts.h"
#include "rdpfile/compiled_signatures.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

constexpr ProductProfile Row(std::string_view key, std::string_view displayName, std::string_view alias,
                             std::string_view host, std::string_view port, std::string_view companionHost = {}) {
  return {key, {displayName, alias, host, port}, companionHost};
}

// Several editions share a display name and therefore write the same desktop file.
constexpr std::array kProfiles{
    Row("PELTA_8", "ПЕЛТА 8"_cp1251, "PELTA8", kHostA, "3395"),
    Row("PELTA_8_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3396"),
    Row("PELTA_8_CP_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3397", kHostA),
    Row("PELTA_NRD", "ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostB, "3395"),
    Row("PELTA_NRD_Online", "ПЕЛТА НРД Онлайн"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostC, "3396"),
    Row("PELTA_KV", "ПЕЛТА КВ"_cp1251, "PELTA_KV", kHostD, "3395"),
    Row("PELTA_KV_Free", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostD, "3396"),
    Row("PELTA_KV_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397"),
    Row("PELTA_KV_CP_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397", kHostE),
    Row("PELTA_DSW_QN", "ПЕЛТА ДСВ"_cp1251, "DSW_QN", kHostA, "3395"),
    Row("PELTA_DSW_KW", "ПЕЛТА ДСВ КВ"_cp1251, "DSW_KW", kHostD, "3395"),
    Row("PELTA_DSW_QS", "ПЕЛТА ДСВ ЦС"_cp1251, "DSW_QS", kHostB, "3395"),
};

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

}  // namespace

static_assert(EveryFileHasItsSignature(std::make_index_sequence<kProfiles.size()>()));

std::span<const ProductProfile> ProfileTable() { return kProfiles; }

// Keys are compared byte for byte, case-sensitively; an unknown key (the empty one
// included) finds no row.
const ProductProfile* FindProfile(std::string_view key) {
  for (const ProductProfile& profile : kProfiles) {
    if (key == profile.key) return &profile;
  }
  return nullptr;
}

}  // namespace rdplaunch
