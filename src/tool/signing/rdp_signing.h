// Signing connection files and checking signed ones, with OpenSSL's CMS functions. Used
// on the build machine and by the hosting service's tool; never part of the launcher.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "rdpfile/connection_file.h"

namespace rdplaunch {

// A PEM file's text, and its path, which names it in messages.
struct PemFile {
  std::string path;
  std::string text;
};

// What an identity is made of: the certificate, its key, any intermediate certificates,
// and the key's passphrase when it is encrypted.
struct SigningFiles {
  PemFile certificate;
  PemFile key;
  std::optional<PemFile> chain;
  std::optional<std::string> passphrase;
  std::string passphrasePath;  // names the passphrase in messages
};

// A certificate's thumbprints, uppercase hexadecimal: SHA-1, which the client's policy of
// trusted publishers takes, and SHA-256, by which current signing tools name it.
struct Thumbprints {
  std::string sha1;
  std::string sha256;
};

// What a signer's path says: the publisher, its thumbprints, the path's subjects from the
// signer up, and the earliest end on it with the certificate that ends then.
struct SignerSummary {
  std::string publisher;
  Thumbprints thumbprints;
  std::vector<std::string> path;
  std::string expires;  // ISO 8601
  std::string expiresWith;
};

// Why files cannot sign: an input that cannot be read as what it should be (not PEM, a key
// its passphrase does not open), or one the signing policy refuses.
struct IdentityProblem {
  bool unreadable = false;
  std::string message;  // names the file or the certificate, and the problem
};

// A certificate with its private key, and the path from it up through the intermediate
// certificates given (certificate_path.h) that validates and that the signing policy accepts.
class SigningIdentity {
 public:
  // The identity, or why it cannot be had. An encrypted key needs its passphrase; nothing
  // ever asks for it on a terminal.
  static std::variant<SigningIdentity, IdentityProblem> Load(const SigningFiles& files);

  // The value of a file's signature line for this message, or an empty text when signing failed.
  std::string Sign(std::string_view message) const;
  SignerSummary Summary() const;
  std::string ExpiryWarning() const;         // when the earliest end is soon, or nothing
  std::string PathWarning() const;           // when the path's top is no self-signed certificate, or nothing
  std::vector<std::string> LeftOut() const;  // the subjects of given certificates not on the path

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
  bool good = false;                   // the signature is valid for the file as a client reads it
  std::string reason;                  // why not, when it is not good
  bool publisherChecked = false;       // the signer's path led to a trusted certificate
  std::vector<std::string> uncovered;  // the settings the signature leaves out, by name
  SignerSummary signer;
};

// Checks a connection file's bytes at least as strictly as the client: rebuilds the
// signed message from its signscope and lines, refuses whatever the client could read
// differently from what was signed or the signing policy does not allow, and verifies the
// signature; the signer's chain must lead to one of the certificates in trustedPem when
// it is given. Without it, a valid signature says nothing of who made it
// (publisherChecked stays false). A path that leads to none of them is refused naming
// trustedName (the file they came from).
SignatureCheck CheckSignedFile(std::string_view fileBytes, std::string_view trustedPem,
                               std::string_view trustedName = "a trusted certificate");

// How many PEM certificates the text holds; a block that cannot be read is said in problem.
std::size_t CertificateCount(std::string_view pem, std::string* problem = nullptr);

}  // namespace rdplaunch
