// Connection file signatures: a detached CMS SignedData over the signed message, SHA-256,
// without signed attributes (so an RSA signature is the same every time), with the
// signer's certificate and the path above it, DER-encoded after a 12-byte header, in base64.
#include "signing/rdp_signing.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

#include "rdpfile/signed_file.h"
#include "signing/certificate_path.h"
#include "signing/signed_file_reader.h"
#include "signing/signed_message.h"
#include "signing/signing_policy.h"

namespace rdplaunch {

namespace {

using Certificate = Owned<X509, X509_free>;
using Key = Owned<EVP_PKEY, EVP_PKEY_free>;
using Cms = Owned<CMS_ContentInfo, CMS_ContentInfo_free>;

// OpenSSL's reason for its last error, in words after the library's name: its packed
// error code tells a reader nothing.
std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  const char* reason = code == 0 ? nullptr : ERR_reason_error_string(code);
  if (reason == nullptr) return "OpenSSL gave no reason";
  const char* library = ERR_lib_error_string(code);
  return library == nullptr ? std::string(reason) : std::string(reason) + " (" + library + ")";
}

Bio MemoryOf(std::string_view bytes) { return Bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size()))); }

std::string Hex(const unsigned char* bytes, unsigned size) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xF];
  }
  return hex;
}

Thumbprints ThumbprintsOf(X509* certificate) {
  Thumbprints thumbprints;
  for (const auto& [digest, hex] :
       {std::pair{EVP_sha1(), &thumbprints.sha1}, std::pair{EVP_sha256(), &thumbprints.sha256}}) {
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    X509_digest(certificate, digest, bytes, &size);
    *hex = Hex(bytes, size);
  }
  return thumbprints;
}

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// The digest a signer used, and the one its signature algorithm names, if any.
std::string SignerDigestProblem(CMS_ContentInfo* cms) {
  STACK_OF(CMS_SignerInfo)* infos = CMS_get0_SignerInfos(cms);
  if (infos == nullptr || sk_CMS_SignerInfo_num(infos) != 1) return "the signature has no single signer";
  X509_ALGOR* digest = nullptr;
  X509_ALGOR* signature = nullptr;
  CMS_SignerInfo_get0_algs(sk_CMS_SignerInfo_value(infos, 0), nullptr, nullptr, &digest, &signature);
  const ASN1_OBJECT* object = nullptr;
  X509_ALGOR_get0(&object, nullptr, nullptr, digest);
  const int digestNid = OBJ_obj2nid(object);
  if (std::string problem = DigestProblem(digestNid == NID_undef ? "" : OBJ_nid2sn(digestNid)); !problem.empty()) {
    return problem;
  }
  X509_ALGOR_get0(&object, nullptr, nullptr, signature);
  int named = NID_undef;
  if (OBJ_find_sigid_algs(OBJ_obj2nid(object), &named, nullptr) == 1 && named != NID_undef) {
    return DigestProblem(OBJ_nid2sn(named));
  }
  return {};
}

std::string Base64(std::string_view bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int size =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  text.resize(static_cast<std::size_t>(size));
  return text;
}

void PutWord(std::string& bytes, std::uint32_t word) {
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((word >> (8 * i)) & 0xFF);
}

// OpenSSL's own callback would ask on the terminal: this one answers with the given
// passphrase, or with none, so that an encrypted key without one fails at once.
int GivenPassphrase(char* buffer, int size, int, void* passphrase) {
  if (passphrase == nullptr) return -1;
  const std::string& text = *static_cast<const std::string*>(passphrase);
  if (text.size() > static_cast<std::size_t>(size)) return -1;
  text.copy(buffer, text.size());
  return static_cast<int>(text.size());
}

SignerSummary SummaryOf(X509* signer, const std::vector<CertificateFacts>& path) {
  std::vector<std::string> subjects;
  for (const CertificateFacts& facts : path) subjects.push_back(facts.subject);
  const CertificateFacts& first = FirstToExpire(path);
  return {path.front().subject, ThumbprintsOf(signer), std::move(subjects), IsoTime(first.notAfter), first.subject};
}

SignatureCheck Bad(std::string reason) {
  SignatureCheck check;
  check.reason = std::move(reason);
  return check;
}

}  // namespace

struct SigningIdentity::Parts {
  Certificate certificate;
  Key key;
  Certificates bundle;  // as --chain gives it
  SignerPath path;      // the signer and its issuers from the bundle, as the policy judged them
};

SigningIdentity::SigningIdentity(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}
SigningIdentity::SigningIdentity(SigningIdentity&&) noexcept = default;
SigningIdentity& SigningIdentity::operator=(SigningIdentity&&) noexcept = default;
SigningIdentity::~SigningIdentity() = default;

std::variant<SigningIdentity, IdentityProblem> SigningIdentity::Load(const SigningFiles& files) {
  const auto unreadable = [](std::string message) { return IdentityProblem{true, std::move(message)}; };
  const auto refused = [](std::string message) { return IdentityProblem{false, std::move(message)}; };
  auto parts = std::make_unique<Parts>();
  const std::string& certificatePath = files.certificate.path;
  const std::string& keyPath = files.key.path;
  Bio certificateBio = MemoryOf(files.certificate.text);
  parts->certificate.reset(PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr));
  if (!parts->certificate) return unreadable(certificatePath + " is not a PEM certificate: " + OpenSslError());
  std::optional<std::string> passphrase = files.passphrase;
  Bio keyBio = MemoryOf(files.key.text);
  parts->key.reset(
      PEM_read_bio_PrivateKey(keyBio.get(), nullptr, GivenPassphrase, passphrase ? &*passphrase : nullptr));
  if (passphrase) OPENSSL_cleanse(passphrase->data(), passphrase->size());
  if (!parts->key) {
    const std::string error = OpenSslError();
    if (files.key.text.find("ENCRYPTED") != std::string::npos) {
      return unreadable(passphrase ? "the passphrase in " + files.passphrasePath + " does not open the key " + keyPath
                                   : "the key " + keyPath +
                                         " is encrypted: give its passphrase (a file or an environment variable)");
    }
    return unreadable(keyPath + " is not a PEM private key: " + error);
  }
  if (X509_check_private_key(parts->certificate.get(), parts->key.get()) != 1) {
    ERR_clear_error();
    return refused("the key " + keyPath + " does not belong to the certificate " + certificatePath);
  }
  // A certificate file may hold the whole chain after the signer (as authorities deliver
  // it): those certificates join the chain's.
  std::string problem;
  parts->bundle = ReadCertificates(files.certificate.text, &problem);
  if (!problem.empty()) return unreadable(certificatePath + " cannot be read: " + problem);
  X509_free(sk_X509_shift(parts->bundle.get()));  // the signer itself
  if (files.chain) {
    Certificates chain = ReadCertificates(files.chain->text, &problem);
    if (!problem.empty()) return unreadable(files.chain->path + " cannot be read: " + problem);
    if (sk_X509_num(chain.get()) == 0) return unreadable(files.chain->path + " holds no PEM certificate");
    while (sk_X509_num(chain.get()) > 0) sk_X509_push(parts->bundle.get(), sk_X509_shift(chain.get()));
  }
  // Files a check would refuse are never made: the path is the one a check of them finds.
  parts->path = FindSignerPath(parts->certificate.get(), parts->bundle.get(), nullptr, Now());
  if (!parts->path.problem.empty()) return refused(parts->path.problem);
  return SigningIdentity(std::move(parts));
}

std::string SigningIdentity::Sign(std::string_view message) const {
  constexpr unsigned kFlags = CMS_DETACHED | CMS_BINARY | CMS_NOATTR | CMS_NOSMIMECAP;
  Bio content = MemoryOf(message);
  // The signature carries the path above the signer and nothing else of the bundle.
  CertificateView carried(sk_X509_new_null());
  for (std::size_t i = 1; carried && i < parts_->path.certificates.size(); ++i) {
    sk_X509_push(carried.get(), parts_->path.certificates[i]);
  }
  Cms cms(carried ? CMS_sign(nullptr, nullptr, carried.get(), nullptr, kFlags | CMS_PARTIAL) : nullptr);
  if (!cms ||
      CMS_add1_signer(cms.get(), parts_->certificate.get(), parts_->key.get(), EVP_sha256(), kFlags) == nullptr ||
      CMS_final(cms.get(), content.get(), nullptr, kFlags) != 1) {
    ERR_clear_error();
    return {};
  }
  unsigned char* der = nullptr;
  const int size = i2d_CMS_ContentInfo(cms.get(), &der);
  if (size <= 0) return {};
  std::string bytes;
  for (const std::uint32_t word : kSignatureHeaderWords) PutWord(bytes, word);
  PutWord(bytes, static_cast<std::uint32_t>(size));
  bytes.append(reinterpret_cast<const char*>(der), static_cast<std::size_t>(size));
  OPENSSL_free(der);
  return Base64(bytes);
}

SignerSummary SigningIdentity::Summary() const { return SummaryOf(parts_->certificate.get(), parts_->path.facts); }

std::string SigningIdentity::PathWarning() const {
  const CertificateFacts& top = parts_->path.facts.back();
  if (top.selfSigned) return {};
  const std::string& missed = parts_->path.issuerMissed;
  return "the path ends at " + top.subject +
         ", which is not self-signed: its issuer is not among the certificates given" +
         (missed.empty() ? "" : " (" + missed + ")") + ", so whoever checks the files must trust " + top.subject +
         " itself";
}
std::string SigningIdentity::ExpiryWarning() const { return rdplaunch::ExpiryWarning(parts_->path.facts, Now()); }

std::vector<std::string> SigningIdentity::LeftOut() const {
  std::vector<std::string> leftOut;
  const std::vector<X509*>& path = parts_->path.certificates;
  for (int i = 0; i < sk_X509_num(parts_->bundle.get()); ++i) {
    X509* certificate = sk_X509_value(parts_->bundle.get(), i);
    const auto same = [&](X509* used) { return SameCertificate(used, certificate); };
    if (std::none_of(path.begin(), path.end(), same)) leftOut.push_back(SubjectOf(certificate));
  }
  return leftOut;
}

MadeSignature SignConnectionFile(const SigningIdentity& identity, const ConnectionTarget& target) {
  const SignedSettings settings = SignedSettingsOf(LinesToSign(target));
  return {settings.scope, identity.Sign(SignedMessage(settings))};
}

std::string SignedConnectionFileContent(const SigningIdentity& identity, const ConnectionTarget& target) {
  const MadeSignature made = SignConnectionFile(identity, target);
  return SignedFileContent(target, {target.alias, target.host, target.port, made.scope, made.signature});
}

// The signature is checked over the message the strict reader took from the file's exact
// bytes (signed_file_reader.cpp); its digest and the signer's whole chain by the signing
// policy (signing_policy.cpp).
SignatureCheck CheckSignedFile(std::string_view fileBytes, std::string_view trustedPem, std::string_view trustedName) {
  const SignedFileReading reading = ReadSignedFile(fileBytes);
  if (!reading.refusal.empty()) return Bad(reading.refusal);
  const auto* der = reinterpret_cast<const unsigned char*>(reading.der.data());
  Cms cms(d2i_CMS_ContentInfo(nullptr, &der, static_cast<long>(reading.der.size())));
  if (!cms) return Bad("the signature is not a CMS structure: " + OpenSslError());
  if (CMS_is_detached(cms.get()) != 1) {
    return Bad("the signature carries content of its own: a connection file's signature is detached");
  }
  if (std::string problem = SignerDigestProblem(cms.get()); !problem.empty()) return Bad(problem);

  // The content goes in behind a pass-through filter: given a memory BIO itself, CMS_verify
  // makes a copy of it that it does not free when it cannot set up the signed data's
  // digests (an algorithm it does not know), once for every such file it is given.
  Bio content = MemoryOf(reading.message);
  Bio passThrough(content ? BIO_new(BIO_f_null()) : nullptr);
  if (!passThrough) return Bad("out of memory while checking the signature");
  BIO_push(passThrough.get(), content.release());
  constexpr unsigned kFlags = CMS_BINARY | CMS_DETACHED | CMS_NO_SIGNER_CERT_VERIFY;
  if (CMS_verify(cms.get(), nullptr, nullptr, passThrough.get(), nullptr, kFlags) != 1) {
    return Bad("the signature does not verify: " + OpenSslError());
  }
  // The one signer (SignerDigestProblem made sure of one), whose certificate CMS_verify
  // found among those the signature carries.
  X509* signer = nullptr;
  CMS_SignerInfo_get0_algs(sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms.get()), 0), nullptr, &signer, nullptr,
                           nullptr);
  // The path a check finds is the one the signing side found: from the signer through what
  // the signature carries, to a trusted certificate when some are given.
  Certificates carried(CMS_get1_certs(cms.get()));
  Certificates trusted;
  if (!trustedPem.empty()) {
    trusted = ReadCertificates(trustedPem);
    if (sk_X509_num(trusted.get()) == 0) return Bad("the trusted certificates hold no PEM certificate");
  }
  const SignerPath path = FindSignerPath(signer, carried.get(), trusted.get(), Now());
  if (path.untrusted) {
    return Bad("the signer's path does not lead to " + std::string(trustedName) +
               (path.issuerMissed.empty() ? "" : ": " + path.issuerMissed));
  }
  if (!path.problem.empty()) return Bad(path.problem);
  SignatureCheck check;
  check.good = true;
  check.publisherChecked = !trustedPem.empty();
  check.uncovered = reading.uncovered;
  check.signer = SummaryOf(signer, path.facts);
  return check;
}

std::size_t CertificateCount(std::string_view pem, std::string* problem) {
  return static_cast<std::size_t>(sk_X509_num(ReadCertificates(pem, problem).get()));
}

}  // namespace rdplaunch
