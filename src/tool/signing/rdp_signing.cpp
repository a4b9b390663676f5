// Connection file signatures: a detached CMS SignedData over the signed message, SHA-256,
// without signed attributes (so an RSA signature is the same every time), with the
// signer's certificate and the chain, DER-encoded after a 12-byte header, in base64.
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
#include "signing/signed_file_reader.h"
#include "signing/signed_message.h"
#include "signing/signing_policy.h"

namespace rdplaunch {

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* object) const { Free(object); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Cms = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using Store = std::unique_ptr<X509_STORE, Deleter<X509_STORE, X509_STORE_free>>;

void FreeCertificates(STACK_OF(X509) * certificates) { sk_X509_pop_free(certificates, X509_free); }
using Certificates = std::unique_ptr<STACK_OF(X509), Deleter<STACK_OF(X509), FreeCertificates>>;
void FreeStack(STACK_OF(X509) * certificates) { sk_X509_free(certificates); }  // not the certificates in it

std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "unknown error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

Bio MemoryOf(std::string_view bytes) { return Bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size()))); }

Certificates ReadCertificates(std::string_view pem) {
  Certificates certificates(sk_X509_new_null());
  Bio bio = MemoryOf(pem);
  while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
    sk_X509_push(certificates.get(), certificate);
  }
  ERR_clear_error();  // the end of the file reads as an error
  return certificates;
}

std::string Hex(const unsigned char* bytes, unsigned size) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xF];
  }
  return hex;
}

std::string SubjectOf(X509* certificate) {
  Bio out(BIO_new(BIO_s_mem()));
  X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate), 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* text = nullptr;
  const long size = BIO_get_mem_data(out.get(), &text);
  return std::string(text, static_cast<std::size_t>(size));
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

std::optional<std::int64_t> SecondsOf(const ASN1_TIME* time) {
  std::tm parts{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return std::nullopt;
  return static_cast<std::int64_t>(timegm(&parts));
}

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// What the policy asks of a certificate, read with OpenSSL. A use or purpose the
// certificate leaves open (no such extension) is not taken as allowed: the policy says
// what it needs.
CertificateFacts FactsOf(X509* certificate) {
  CertificateFacts facts;
  EVP_PKEY* key = X509_get0_pubkey(certificate);
  facts.rsa = key != nullptr && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA;
  facts.keyBits = key == nullptr ? 0 : EVP_PKEY_get_bits(key);
  const std::uint32_t flags = X509_get_extension_flags(certificate);
  facts.keyUsage = (flags & EXFLAG_KUSAGE) != 0;
  facts.digitalSignature = facts.keyUsage && (X509_get_key_usage(certificate) & KU_DIGITAL_SIGNATURE) != 0;
  facts.extendedKeyUsage = (flags & EXFLAG_XKUSAGE) != 0;
  const std::uint32_t purposes = facts.extendedKeyUsage ? X509_get_extended_key_usage(certificate) : 0;
  facts.codeSigning = (purposes & XKU_CODE_SIGN) != 0;
  facts.serverAuthentication = (purposes & XKU_SSL_SERVER) != 0;
  facts.anyPurpose = (purposes & XKU_ANYEKU) != 0;
  facts.ca = (flags & EXFLAG_CA) != 0;
  facts.selfSigned = (flags & EXFLAG_SS) != 0;
  int digest = NID_undef;
  if (OBJ_find_sigid_algs(X509_get_signature_nid(certificate), &digest, nullptr) == 1 && digest != NID_undef) {
    facts.signatureDigest = OBJ_nid2sn(digest);
  }
  const auto notBefore = SecondsOf(X509_get0_notBefore(certificate));
  const auto notAfter = SecondsOf(X509_get0_notAfter(certificate));
  facts.datesReadable = notBefore && notAfter;
  facts.notBefore = notBefore.value_or(0);
  facts.notAfter = notAfter.value_or(0);
  facts.subject = SubjectOf(certificate);
  return facts;
}

std::vector<CertificateFacts> FactsOf(STACK_OF(X509) * chain) {
  std::vector<CertificateFacts> facts;
  for (int i = 0; i < sk_X509_num(chain); ++i) facts.push_back(FactsOf(sk_X509_value(chain, i)));
  return facts;
}

// The signer and the certificates that issued it, in order, as far as the given ones
// reach: each next one is the certificate among them that names the one before as issued
// by it and whose key verifies its signature. The whole of it is what the policy judges,
// on the signing side as in a check.
std::vector<CertificateFacts> ChainFactsOf(X509* signer, STACK_OF(X509) * given) {
  std::vector<CertificateFacts> chain{FactsOf(signer)};
  std::vector<X509*> used{signer};
  for (X509* current = signer; !chain.back().selfSigned;) {
    X509* next = nullptr;
    for (int i = 0; i < sk_X509_num(given) && next == nullptr; ++i) {
      X509* candidate = sk_X509_value(given, i);
      const bool seen = std::find(used.begin(), used.end(), candidate) != used.end();
      if (!seen && X509_check_issued(candidate, current) == X509_V_OK &&
          X509_verify(current, X509_get0_pubkey(candidate)) == 1) {
        next = candidate;
      }
    }
    ERR_clear_error();
    if (next == nullptr) break;
    used.push_back(next);
    chain.push_back(FactsOf(next));
    current = next;
  }
  return chain;
}

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

SignatureCheck Bad(std::string reason) { return {false, std::move(reason), {}, {}, false, {}, {}, {}}; }

}  // namespace

struct SigningIdentity::Parts {
  Certificate certificate;
  Key key;
  Certificates chain;
  std::vector<CertificateFacts> judged;  // the signer and its issuers, as the policy saw them
};

SigningIdentity::SigningIdentity(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}
SigningIdentity::SigningIdentity(SigningIdentity&&) noexcept = default;
SigningIdentity& SigningIdentity::operator=(SigningIdentity&&) noexcept = default;
SigningIdentity::~SigningIdentity() = default;

std::variant<SigningIdentity, std::string> SigningIdentity::Load(const SigningFiles& files) {
  auto parts = std::make_unique<Parts>();
  const std::string& certificatePath = files.certificate.path;
  const std::string& keyPath = files.key.path;
  Bio certificateBio = MemoryOf(files.certificate.text);
  parts->certificate.reset(PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr));
  if (!parts->certificate) return certificatePath + " is not a PEM certificate: " + OpenSslError();
  std::optional<std::string> passphrase = files.passphrase;
  Bio keyBio = MemoryOf(files.key.text);
  parts->key.reset(
      PEM_read_bio_PrivateKey(keyBio.get(), nullptr, GivenPassphrase, passphrase ? &*passphrase : nullptr));
  if (passphrase) OPENSSL_cleanse(passphrase->data(), passphrase->size());
  if (!parts->key) {
    const std::string error = OpenSslError();
    if (files.key.text.find("ENCRYPTED") != std::string::npos) {
      return passphrase ? "the passphrase in " + files.passphrasePath + " does not open the key " + keyPath
                        : "the key " + keyPath + " is encrypted: give its passphrase in a file";
    }
    return keyPath + " is not a PEM private key: " + error;
  }
  if (X509_check_private_key(parts->certificate.get(), parts->key.get()) != 1) {
    ERR_clear_error();
    return "the key " + keyPath + " does not belong to the certificate " + certificatePath;
  }
  parts->chain.reset(sk_X509_new_null());
  if (files.chain) {
    parts->chain = ReadCertificates(files.chain->text);
    if (sk_X509_num(parts->chain.get()) == 0) return files.chain->path + " holds no PEM certificate";
  }
  // Files a check would refuse are never made: the chain is judged as verify judges it.
  parts->judged = ChainFactsOf(parts->certificate.get(), parts->chain.get());
  if (std::string problem = ChainProblem(parts->judged, Now()); !problem.empty()) return problem;
  return SigningIdentity(std::move(parts));
}

std::string SigningIdentity::Sign(std::string_view message) const {
  constexpr unsigned kFlags = CMS_DETACHED | CMS_BINARY | CMS_NOATTR | CMS_NOSMIMECAP;
  Bio content = MemoryOf(message);
  Cms cms(CMS_sign(nullptr, nullptr, parts_->chain.get(), nullptr, kFlags | CMS_PARTIAL));
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

std::string SigningIdentity::Subject() const { return parts_->judged.front().subject; }
std::string SigningIdentity::Expires() const { return IsoTime(FirstToExpire(parts_->judged).notAfter); }
std::string SigningIdentity::ExpiresWith() const { return FirstToExpire(parts_->judged).subject; }
std::string SigningIdentity::ExpiryWarning() const { return rdplaunch::ExpiryWarning(parts_->judged, Now()); }
Thumbprints SigningIdentity::Thumbprint() const { return ThumbprintsOf(parts_->certificate.get()); }

MadeSignature SignConnectionFile(const SigningIdentity& identity, const ConnectionTarget& target) {
  const SignedSettings settings = SignedSettingsOf(LinesToSign(target));
  return {settings.scope, identity.Sign(SignedMessage(settings))};
}

std::string SignedConnectionFileContent(const SigningIdentity& identity, const ConnectionTarget& target) {
  const MadeSignature made = SignConnectionFile(identity, target);
  return SignedFileContent(target, {target.alias, target.host, target.port, made.scope, made.signature});
}

namespace {

// The signer's chain as the policy judges it. With trusted certificates it must lead to one
// of them, which is judged too (an anchor that limits its purposes limits the signer's);
// without, it is what the file carries. Dates are the policy's to judge, so that a refusal
// names the date, and a date OpenSSL cannot read is refused there.
std::variant<std::vector<CertificateFacts>, std::string> ChainOf(X509* signer, STACK_OF(X509) * carried,
                                                                 std::string_view trustedPem) {
  if (trustedPem.empty()) return ChainFactsOf(signer, carried);
  Certificates trusted = ReadCertificates(trustedPem);
  if (sk_X509_num(trusted.get()) == 0) return std::string("the trusted certificates hold no PEM certificate");
  Store store(X509_STORE_new());
  for (int i = 0; i < sk_X509_num(trusted.get()); ++i)
    X509_STORE_add_cert(store.get(), sk_X509_value(trusted.get(), i));
  // The given certificate is trusted as it is, whether or not it is a root.
  X509_STORE_set_flags(store.get(), X509_V_FLAG_PARTIAL_CHAIN | X509_V_FLAG_NO_CHECK_TIME);
  X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
  std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX, X509_STORE_CTX_free>> context(X509_STORE_CTX_new());
  if (!context || X509_STORE_CTX_init(context.get(), store.get(), signer, carried) != 1) return OpenSslError();
  if (X509_verify_cert(context.get()) != 1) {
    const int error = X509_STORE_CTX_get_error(context.get());
    ERR_clear_error();
    return std::string("the signer's certificate does not lead to a trusted one: ") +
           X509_verify_cert_error_string(error);
  }
  return FactsOf(X509_STORE_CTX_get0_chain(context.get()));
}

}  // namespace

// The signature is checked over the message the strict reader took from the file's exact
// bytes (signed_file_reader.cpp); its digest and the signer's whole chain by the signing
// policy (signing_policy.cpp).
SignatureCheck CheckSignedFile(std::string_view fileBytes, std::string_view trustedPem) {
  const SignedFileReading reading = ReadSignedFile(fileBytes);
  if (!reading.refusal.empty()) return Bad(reading.refusal);
  const auto* der = reinterpret_cast<const unsigned char*>(reading.der.data());
  Cms cms(d2i_CMS_ContentInfo(nullptr, &der, static_cast<long>(reading.der.size())));
  if (!cms) return Bad("the signature is not a CMS structure: " + OpenSslError());
  if (std::string problem = SignerDigestProblem(cms.get()); !problem.empty()) return Bad(problem);

  Bio content = MemoryOf(reading.message);
  constexpr unsigned kFlags = CMS_BINARY | CMS_DETACHED | CMS_NO_SIGNER_CERT_VERIFY;
  if (CMS_verify(cms.get(), nullptr, nullptr, content.get(), nullptr, kFlags) != 1) {
    return Bad("the signature does not verify: " + OpenSslError());
  }
  STACK_OF(X509)* signers = CMS_get0_signers(cms.get());
  const std::unique_ptr<STACK_OF(X509), Deleter<STACK_OF(X509), FreeStack>> signersOwned(signers);
  if (signers == nullptr || sk_X509_num(signers) != 1) return Bad("the signature has no single signer");
  X509* signer = sk_X509_value(signers, 0);
  Certificates carried(CMS_get1_certs(cms.get()));
  auto chain = ChainOf(signer, carried.get(), trustedPem);
  if (const std::string* problem = std::get_if<std::string>(&chain)) return Bad(*problem);
  const auto& judged = std::get<std::vector<CertificateFacts>>(chain);
  if (std::string problem = ChainProblem(judged, Now()); !problem.empty()) return Bad(problem);
  return {true,
          {},
          judged.front().subject,
          ThumbprintsOf(signer),
          !trustedPem.empty(),
          reading.uncovered,
          IsoTime(FirstToExpire(judged).notAfter),
          FirstToExpire(judged).subject};
}

std::size_t CertificateCount(std::string_view pem) {
  return static_cast<std::size_t>(sk_X509_num(ReadCertificates(pem).get()));
}

}  // namespace rdplaunch
