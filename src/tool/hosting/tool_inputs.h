// What several of rdplaunch-name's commands read and show: a launcher name given as an
// argument, a signing identity from its files, and a certificate's thumbprints.
#pragma once

#include <string>
#include <variant>

#include "hosting/launch_name_maker.h"
#include "hosting/tool_answer.h"
#include "signing/rdp_signing.h"

namespace rdplaunch {

// The NAME value of check and rdp (UTF-8, possibly a path), checked as the launcher would,
// or the answer to its refusal.
std::variant<NameCheck, Answer> CheckedName(const std::string& argument);

// The identity that --cert/--key (or --sign), --chain and --key-password-file name: every
// file read as a bounded regular file, the passphrase by the rule the build follows too.
std::variant<SigningIdentity, Answer> LoadIdentity(const std::string& certificate, const std::string& key,
                                                   const std::string& chain, const std::string& passphraseFile);

// A certificate's thumbprints, each named by its digest: the SHA-1 one is what the
// client's policy of trusted publishers takes.
Answer& DescribeThumbprints(Answer& answer, const Thumbprints& thumbprints);

}  // namespace rdplaunch
