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

#include <cstdint>
#include <optional>
#include <vector>

#include "rdpfile/signed_file_reader.h"

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

// The header before the DER: three little-endian 32-bit values, 0x00010001, 1 and the
// length (the reader in src/rdpfile checks them).
constexpr std::uint32_t kHeaderWords[] = {0x00010001, 0x00000001};

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

std::string ThumbprintOf(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  X509_digest(certificate, EVP_sha1(), digest, &size);
  return Hex(digest, size);
}

// Why a certificate cannot sign connection files, or nothing: an RSA key of at least 2048
// bits; where it limits its key's use, digital signature among the uses; where it limits
// its purposes, code signing or server authentication among them (servers' TLS
// certificates are what connection files are commonly signed with); and, to sign with
// it, valid now. OpenSSL answers "all" for a use or purpose the certificate leaves open.
std::string CertificateProblem(X509* certificate, bool signing) {
  EVP_PKEY* key = X509_get0_pubkey(certificate);
  if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) return "its key is not an RSA key";
  if (const int bits = EVP_PKEY_get_bits(key); bits < 2048) {
    return "its RSA key has " + std::to_string(bits) + " bits, fewer than 2048";
  }
  if ((X509_get_key_usage(certificate) & KU_DIGITAL_SIGNATURE) == 0) {
    return "its key usage does not allow digital signatures";
  }
  if ((X509_get_extended_key_usage(certificate) & (XKU_CODE_SIGN | XKU_SSL_SERVER | XKU_ANYEKU)) == 0) {
    return "its extended key usage allows neither code signing nor server authentication";
  }
  if (signing && X509_cmp_current_time(X509_get0_notBefore(certificate)) > 0) return "it is not valid yet";
  if (signing && X509_cmp_current_time(X509_get0_notAfter(certificate)) < 0) return "it has expired";
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

SignatureCheck Bad(std::string reason) { return {false, std::move(reason), {}, {}, false, {}}; }

}  // namespace

struct SigningIdentity::Parts {
  Certificate certificate;
  Key key;
  Certificates chain;
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
  if (const std::string problem = CertificateProblem(parts->certificate.get(), true); !problem.empty()) {
    return "the certificate " + certificatePath + " cannot sign connection files: " + problem;
  }
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
  for (const std::uint32_t word : kHeaderWords) PutWord(bytes, word);
  PutWord(bytes, static_cast<std::uint32_t>(size));
  bytes.append(reinterpret_cast<const char*>(der), static_cast<std::size_t>(size));
  OPENSSL_free(der);
  return Base64(bytes);
}

std::string SigningIdentity::Subject() const { return SubjectOf(parts_->certificate.get()); }
std::string SigningIdentity::Thumbprint() const { return ThumbprintOf(parts_->certificate.get()); }

MadeSignature SignConnectionFile(const SigningIdentity& identity, const ConnectionTarget& target) {
  const SignedSettings settings = SignedSettingsOf(LinesToSign(target));
  return {settings.scope, identity.Sign(SignedMessage(settings))};
}

std::string SignedConnectionFileContent(const SigningIdentity& identity, const ConnectionTarget& target) {
  const MadeSignature made = SignConnectionFile(identity, target);
  return SignedFileContent(target, {target.alias, target.host, target.port, made.scope, made.signature});
}

// The signature is checked over the message the strict reader took from the file's
// exact bytes (src/rdpfile/signed_file_reader.cpp), and the signer's certificate must be
// one that may sign files at all.
SignatureCheck CheckSignedFile(std::string_view fileBytes, std::string_view trustedPem) {
  const SignedFileReading reading = ReadSignedFile(fileBytes);
  if (!reading.refusal.empty()) return Bad(reading.refusal);
  const auto* der = reinterpret_cast<const unsigned char*>(reading.der.data());
  Cms cms(d2i_CMS_ContentInfo(nullptr, &der, static_cast<long>(reading.der.size())));
  if (!cms) return Bad("the signature is not a CMS structure: " + OpenSslError());

  Store store(X509_STORE_new());
  unsigned flags = CMS_BINARY | CMS_DETACHED;
  const bool checkPublisher = !trustedPem.empty();
  if (!checkPublisher) {
    flags |= CMS_NO_SIGNER_CERT_VERIFY;
  } else {
    Certificates trusted = ReadCertificates(trustedPem);
    if (sk_X509_num(trusted.get()) == 0) return Bad("the trusted certificates hold no PEM certificate");
    for (int i = 0; i < sk_X509_num(trusted.get()); ++i)
      X509_STORE_add_cert(store.get(), sk_X509_value(trusted.get(), i));
    // The given certificate is trusted as it is, whether or not it is a root; what the
    // signer's own certificate may do is checked below, as signing checks it.
    X509_STORE_set_flags(store.get(), X509_V_FLAG_PARTIAL_CHAIN);
    X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
  }
  Bio content = MemoryOf(reading.message);
  if (CMS_verify(cms.get(), nullptr, store.get(), content.get(), nullptr, flags) != 1) {
    return Bad("the signature does not verify: " + OpenSslError());
  }
  STACK_OF(X509)* signers = CMS_get0_signers(cms.get());
  SignatureCheck check{true, {}, {}, {}, checkPublisher, reading.uncovered};
  if (signers == nullptr || sk_X509_num(signers) != 1) {
    sk_X509_free(signers);
    return Bad("the signature has no single signer");
  }
  X509* signer = sk_X509_value(signers, 0);
  check.publisher = SubjectOf(signer);
  check.thumbprint = ThumbprintOf(signer);
  const std::string problem = CertificateProblem(signer, false);
  sk_X509_free(signers);
  if (!problem.empty()) return Bad("the signer's certificate cannot sign connection files: " + problem);
  return check;
}

std::size_t CertificateCount(std::string_view pem) {
  return static_cast<std::size_t>(sk_X509_num(ReadCertificates(pem).get()));
}

}  // namespace rdplaunch
