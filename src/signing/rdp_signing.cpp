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

#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "text/cp1251.h"

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

// The header before the DER: three little-endian 32-bit values, 0x00010001, 1 and the length.
constexpr std::uint32_t kHeaderWords[] = {0x00010001, 0x00000001};
constexpr std::size_t kHeaderSize = 12;

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

std::string Base64(std::string_view bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int size =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  text.resize(static_cast<std::size_t>(size));
  return text;
}

std::optional<std::string> FromBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::string bytes(text.size() / 4 * 3, '\0');
  const int size = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                   reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (size < 0) return std::nullopt;
  std::size_t padding = 0;
  while (padding < 2 && text[text.size() - 1 - padding] == '=') ++padding;
  bytes.resize(static_cast<std::size_t>(size) - padding);
  return bytes;
}

void PutWord(std::string& bytes, std::uint32_t word) {
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((word >> (8 * i)) & 0xFF);
}

std::uint32_t WordAt(std::string_view bytes, std::size_t offset) {
  std::uint32_t word = 0;
  for (int i = 3; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return word;
}

// The file's lines as code page 1251 text: UTF-16LE after a byte order mark, or bytes as
// they are. A character 1251 lacks becomes '?', which no signed line of ours holds.
std::vector<std::string> LinesOf(std::string_view fileBytes) {
  std::string text;
  if (fileBytes.starts_with("\xFF\xFE")) {
    for (std::size_t i = 2; i + 1 < fileBytes.size(); i += 2) {
      const char32_t unit = static_cast<unsigned char>(fileBytes[i]) | static_cast<unsigned char>(fileBytes[i + 1])
                                                                           << 8;
      text += static_cast<char>(Cp1251ByteOf(unit).value_or('?'));
    }
  } else {
    text = fileBytes;
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find(kLineEnd, start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + kLineEnd.size();
  }
  return lines;
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

// The client reads a setting's name case-insensitively and without the blanks around
// it, so "Full Address:s:" and " full address:s:" set the full address as much as
// "full address:s:" does.
std::string SettingNameOf(std::string_view line) {
  std::string_view name = line.substr(0, line.find(':'));
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// The value of a "name:type:value" line.
std::string ValueOf(std::string_view line) {
  const std::size_t nameEnd = line.find(':');
  const std::size_t typeEnd = nameEnd == std::string_view::npos ? nameEnd : line.find(':', nameEnd + 1);
  return typeEnd == std::string_view::npos ? std::string() : std::string(line.substr(typeEnd + 1));
}

const SecureSetting* SecureSettingNamed(std::string_view lowerName) {
  for (const SecureSetting& setting : SecureSettings()) {
    if (SettingNameOf(setting.prefix) == lowerName) return &setting;
  }
  return nullptr;
}

const SecureSetting* SecureSettingInScope(std::string_view scopeName) {
  for (const SecureSetting& setting : SecureSettings()) {
    if (SettingNameOf(setting.scopeName) == SettingNameOf(scopeName)) return &setting;
  }
  return nullptr;
}

SignatureCheck Bad(std::string reason) { return {false, std::move(reason), {}, {}, false}; }

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

// At least as strict as the client: whatever it could read differently from what was
// signed refuses the file. A secure setting outside the scope, in any case or with
// blanks around its name, set twice, a line that holds a CR, LF or NUL of its own, a
// second signscope or signature, or anything after the signature.
SignatureCheck CheckSignedFile(std::string_view fileBytes, std::string_view trustedPem) {
  std::optional<std::string> scope;
  std::optional<std::string> signature;
  std::map<const SecureSetting*, std::string> secureLines;
  std::size_t number = 0;
  for (const std::string& line : LinesOf(fileBytes)) {
    const std::string where = "line " + std::to_string(++number);
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
      return Bad(where + " holds a CR, LF or NUL character of its own");
    }
    if (signature) return Bad(where + " stands after the signature");
    const std::string name = SettingNameOf(line);
    if (name == "signscope") {
      if (scope) return Bad(where + " is a second signscope");
      scope = ValueOf(line);
    } else if (name == "signature") {
      signature = ValueOf(line);
    } else if (const SecureSetting* setting = SecureSettingNamed(name)) {
      if (secureLines.contains(setting)) return Bad("the file sets '" + std::string(setting->scopeName) + "' twice");
      secureLines[setting] = line;
    }
  }
  if (!scope || !signature) return Bad("the file is not signed: it has no signscope or no signature line");

  // The message holds the lines the scope names, in the scope's order.
  SignedSettings settings;
  settings.scope = *scope;
  std::set<const SecureSetting*> scoped;
  for (std::size_t start = 0; start <= scope->size();) {
    const std::size_t end = std::min(scope->find(',', start), scope->size());
    const std::string name = scope->substr(start, end - start);
    const SecureSetting* setting = SecureSettingInScope(name);
    if (setting == nullptr) return Bad("the scope names '" + name + "', which is no secure setting");
    if (!scoped.insert(setting).second) return Bad("the scope names '" + name + "' twice");
    const auto line = secureLines.find(setting);
    if (line == secureLines.end()) return Bad("the scope names '" + name + "', which the file does not set");
    settings.lines.push_back(line->second);
    start = end + 1;
  }
  for (const auto& [setting, line] : secureLines) {
    if (!scoped.contains(setting)) return Bad("'" + line + "' is a secure setting outside the signature's scope");
  }

  const std::optional<std::string> bytes = FromBase64(*signature);
  if (!bytes || bytes->size() < kHeaderSize || WordAt(*bytes, 0) != kHeaderWords[0] ||
      WordAt(*bytes, 4) != kHeaderWords[1] || WordAt(*bytes, 8) != bytes->size() - kHeaderSize) {
    return Bad("the signature value is not a base64 signature block");
  }
  const auto* der = reinterpret_cast<const unsigned char*>(bytes->data() + kHeaderSize);
  Cms cms(d2i_CMS_ContentInfo(nullptr, &der, static_cast<long>(bytes->size() - kHeaderSize)));
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
    // The given certificate is trusted as it is, whether or not it is a root; its use
    // for code signing is what the client asks for, not e-mail.
    X509_STORE_set_flags(store.get(), X509_V_FLAG_PARTIAL_CHAIN);
    X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
  }
  const std::string message = SignedMessage(settings);
  Bio content = MemoryOf(message);
  if (CMS_verify(cms.get(), nullptr, store.get(), content.get(), nullptr, flags) != 1) {
    return Bad("the signature does not verify: " + OpenSslError());
  }
  STACK_OF(X509)* signers = CMS_get0_signers(cms.get());
  SignatureCheck check{true, {}, {}, {}, checkPublisher};
  if (signers != nullptr && sk_X509_num(signers) > 0) {
    check.publisher = SubjectOf(sk_X509_value(signers, 0));
    check.thumbprint = ThumbprintOf(sk_X509_value(signers, 0));
  }
  sk_X509_free(signers);
  return check;
}

std::size_t CertificateCount(std::string_view pem) {
  return static_cast<std::size_t>(sk_X509_num(ReadCertificates(pem).get()));
}

}  // namespace rdplaunch
