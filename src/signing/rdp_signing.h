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
  // An encrypted key needs its passphrase, the first line of keyPasswordPath; nothing
  // ever asks for it on a terminal.
  static std::variant<SigningIdentity, std::string> Load(const std::string& certificatePath, const std::string& keyPath,
                                                         const std::string& chainPath,
                                                         const std::string& keyPasswordPath = {});

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
  bool good = false;   // the signature is valid for the file as a client reads it
  std::string reason;  // why not, when it is not good
  std::string publisher;
  std::string thumbprint;
  bool publisherChecked = false;  // the signer's chain led to a trusted certificate
};

// Checks a connection file's bytes at least as strictly as the client: rebuilds the
// signed message from its signscope and lines, refuses whatever the client could read
// differently from what was signed, and verifies the signature; the signer's chain must
// lead to one of trustedCertificatePath's certificates when it is given. Without it, a
// valid signature says nothing of who made it (publisherChecked stays false).
SignatureCheck CheckSignedFile(std::string_view fileBytes, const std::string& trustedCertificatePath);

}  // namespace rdplaunch
