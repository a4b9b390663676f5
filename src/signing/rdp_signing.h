// Signing connection files and checking signed ones, with OpenSSL's CMS functions. Used
// on the build machine and by the hosting service's tool; never part of the launcher.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "rdpfile/signed_file.h"

namespace rdplaunch {

// A certificate with its private key and any intermediate certificates, from PEM files.
class SigningIdentity {
 public:
  // The identity, or the reason it cannot be had (naming the file and the problem).
  static std::variant<SigningIdentity, std::string> Load(const std::string& certificatePath, const std::string& keyPath,
                                                         const std::string& chainPath);

  // The value of a file's signature line for this message, or an empty text when signing failed.
  std::string Sign(std::string_view message) const;
  std::string Subject() const;
  std::string Thumbprint() const;  // SHA-1, uppercase hexadecimal

  SigningIdentity(SigningIdentity&&) noexcept;
  SigningIdentity& operator=(SigningIdentity&&) noexcept;
  ~SigningIdentity();

 private:
  struct Parts;
  explicit SigningIdentity(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> parts_;
};

// The signature of one connection file made with an identity.
struct MadeSignature {
  std::string scope;
  std::string signature;  // empty when signing failed
};
MadeSignature SignConnectionFile(const SigningIdentity& identity, const ConnectionTarget& target);
// The whole signed file's bytes, as a launcher built with the identity writes them.
std::string SignedConnectionFileContent(const SigningIdentity& identity, const ConnectionTarget& target);

struct SignatureCheck {
  bool good = false;
  std::string reason;  // why not, when it is not good
  std::string publisher;
  std::string thumbprint;
};

// Checks a connection file's bytes the way the client does: rebuilds the signed message
// from its signscope and lines, checks that every secure setting in the file is inside
// the scope and set once, and verifies the signature; against trustedCertificatePath's
// certificates when given, otherwise the signature alone.
SignatureCheck CheckSignedFile(std::string_view fileBytes, const std::string& trustedCertificatePath);

}  // namespace rdplaunch
