// The signer's certificate path. One search serves the signing side and every check, so
// that a file is signed only with the path a check of that file finds again: the
// certificates a signature carries are exactly that path's.
#include "signing/certificate_path.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <optional>
#include <utility>

namespace rdplaunch {

void FreeCertificates(STACK_OF(X509) * certificates) { sk_X509_pop_free(certificates, X509_free); }
void FreeStack(STACK_OF(X509) * certificates) { sk_X509_free(certificates); }

namespace {

using Store = Owned<X509_STORE, X509_STORE_free>;
using StoreContext = Owned<X509_STORE_CTX, X509_STORE_CTX_free>;

// Bounds on the search, which a bundle of many copies of one certificate could otherwise
// make take exponential time: no real path is longer, and no real bundle offers more.
// Each is refused by name when a search reaches it.
constexpr std::size_t kMaxPathLength = 10;
constexpr int kMaxSearchSteps = 256;
constexpr int kMaxSignatureChecks = 512;
// A key real certificates use: an RSA public exponent is small (3 or 65537, at most 32
// bits), and a modulus at most 16384 bits. Anything else could make each check of a
// signature cost a full-size exponentiation, and no authority issues it.
constexpr int kMaxPublicExponentBits = 32;
constexpr int kMaxModulusBits = 16384;

std::optional<std::int64_t> SecondsOf(const ASN1_TIME* time) {
  std::tm parts{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return std::nullopt;
  return static_cast<std::int64_t>(timegm(&parts));
}

// The issuer's key verifies the signature on the subject, and the names chain. A name alone
// proves nothing: anyone can give a certificate any issuer's name.
bool Issued(X509* issuer, X509* subject) {
  EVP_PKEY* key = X509_get0_pubkey(issuer);
  const bool issued = key != nullptr &&
                      X509_NAME_cmp(X509_get_subject_name(issuer), X509_get_issuer_name(subject)) == 0 &&
                      X509_verify(subject, key) == 1;
  ERR_clear_error();
  return issued;
}

// The subject's issuer name is the candidate's name: a certificate of another name is no
// candidate at all.
bool BearsIssuersName(X509* issuer, X509* subject) {
  return X509_NAME_cmp(X509_get_subject_name(issuer), X509_get_issuer_name(subject)) == 0;
}

// Why a certificate that bears the issuer's name is not the issuer.
enum class NotIssuer { kOtherKeyIdentifier, kUnusualKey, kOtherKey };

// What can be seen of a candidate issuer without checking a signature: an authority key
// identifier in the subject does not name another key, and its key is one a real
// authority has (an RSA key, since the policy allows no other on a chain, of a sane size
// and exponent). Nothing, when a signature check may tell; else why not.
std::optional<NotIssuer> NotTheIssuer(X509* issuer, X509* subject) {
  const ASN1_OCTET_STRING* named = X509_get0_authority_key_id(subject);
  const ASN1_OCTET_STRING* own = X509_get0_subject_key_id(issuer);
  if (named != nullptr && own != nullptr && ASN1_OCTET_STRING_cmp(named, own) != 0)
    return NotIssuer::kOtherKeyIdentifier;
  EVP_PKEY* key = X509_get0_pubkey(issuer);
  if (key == nullptr) {
    ERR_clear_error();
    return NotIssuer::kUnusualKey;
  }
  if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) return std::nullopt;  // the policy names it, on a path
  BIGNUM* exponent = nullptr;
  const bool sane = EVP_PKEY_get_bits(key) <= kMaxModulusBits &&
                    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &exponent) == 1 &&
                    BN_num_bits(exponent) <= kMaxPublicExponentBits;
  BN_free(exponent);
  ERR_clear_error();
  if (!sane) return NotIssuer::kUnusualKey;
  return std::nullopt;
}

// Two copies of one authority (renewed, or cross-signed): a path holds only one of them.
bool SameAuthority(X509* a, X509* b) {
  EVP_PKEY* keyA = X509_get0_pubkey(a);
  EVP_PKEY* keyB = X509_get0_pubkey(b);
  return X509_NAME_cmp(X509_get_subject_name(a), X509_get_subject_name(b)) == 0 && keyA != nullptr && keyB != nullptr &&
         EVP_PKEY_eq(keyA, keyB) == 1;
}

bool Holds(STACK_OF(X509) * certificates, X509* certificate) {
  for (int i = 0; i < sk_X509_num(certificates); ++i) {
    if (SameCertificate(sk_X509_value(certificates, i), certificate)) return true;
  }
  return false;
}

// RFC 5280 path validation over exactly this path, its top trusted as it is: issuers that
// are certification authorities allowed to sign certificates, path lengths, critical
// extensions, policies. Dates are the policy's to judge, which names them.
std::string ValidationProblem(const std::vector<X509*>& path, std::span<const CertificateFacts> facts) {
  Store store(X509_STORE_new());
  CertificateView middle(sk_X509_new_null());
  StoreContext context(X509_STORE_CTX_new());
  if (!store || !middle || !context || X509_STORE_add_cert(store.get(), path.back()) != 1) {
    ERR_clear_error();
    return "the chain cannot be validated: out of memory";
  }
  for (std::size_t i = 1; i + 1 < path.size(); ++i) sk_X509_push(middle.get(), path[i]);
  // Policy processing as RFC 5280 has it: the path's own policy constraints and
  // inhibitions hold, though no policy of ours is required.
  X509_STORE_set_flags(store.get(), X509_V_FLAG_PARTIAL_CHAIN | X509_V_FLAG_NO_CHECK_TIME | X509_V_FLAG_POLICY_CHECK);
  X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
  if (X509_STORE_CTX_init(context.get(), store.get(), path.front(), middle.get()) != 1) {
    ERR_clear_error();
    return "the chain cannot be validated: out of memory";
  }
  const bool valid = X509_verify_cert(context.get()) == 1;
  ERR_clear_error();
  if (!valid) {
    const int depth = std::clamp(X509_STORE_CTX_get_error_depth(context.get()), 0, static_cast<int>(path.size()) - 1);
    return CertificateRefusal(facts, static_cast<std::size_t>(depth),
                              X509_verify_cert_error_string(X509_STORE_CTX_get_error(context.get())));
  }
  // The validated chain is the path itself: there was nothing else to build it from.
  STACK_OF(X509)* built = X509_STORE_CTX_get0_chain(context.get());
  bool same = sk_X509_num(built) == static_cast<int>(path.size());
  for (std::size_t i = 0; same && i < path.size(); ++i) {
    same = SameCertificate(sk_X509_value(built, static_cast<int>(i)), path[i]);
  }
  return same ? "" : "the chain cannot be validated as it was found";
}

// Depth first from the signer; at each certificate, the candidates that issued it, newest
// first and then by their digest, so that the bundle's order never matters.
class PathSearch {
 public:
  PathSearch(X509* signer, STACK_OF(X509) * bundle, STACK_OF(X509) * trusted, std::int64_t now)
      : bundle_(bundle), trusted_(trusted), now_(now), path_{signer} {}

  SignerPath Run() {
    if (Walk()) return std::move(found_);
    // A search cut short says so: what it refused on the way may not be the reason.
    SignerPath none;
    if (!limit_.empty()) {
      none.problem = "no path from the signer up was found within " + limit_;
    } else if (!firstRefused_.problem.empty()) {
      return std::move(firstRefused_);
    } else {
      none.problem = "the signer's path does not lead to a trusted certificate";
      none.untrusted = true;
      if (firstMissed_ != nullptr) none.issuerMissed = misses_.at(firstMissed_).text;
    }
    return none;
  }

 private:
  bool Walk() {
    if (!limit_.empty()) return false;
    if (++steps_ > kMaxSearchSteps) {
      limit_ = std::to_string(kMaxSearchSteps) + " steps of the search";
      return false;
    }
    X509* top = path_.back();
    // A check that reaches a bound answers no; the bound is seen once the issuers have been
    // looked for, so that what a check left unknown is never taken for a no.
    const bool anchored = trusted_ != nullptr ? Holds(trusted_, top) : IssuedOnce(top, top);
    if (anchored) return Judge();
    const std::vector<X509*> issuers = IssuersOf(top);
    if (!limit_.empty()) return false;
    if (!issuers.empty() && path_.size() >= kMaxPathLength) {
      limit_ = "the " + std::to_string(kMaxPathLength) + " certificates a path may hold";
      return false;
    }
    for (X509* issuer : issuers) {
      path_.push_back(issuer);
      if (Walk()) return true;
      path_.pop_back();
    }
    // Without trusted certificates, a path ends where no issuer is found.
    return issuers.empty() && trusted_ == nullptr && Judge();
  }

  // Each issuer and subject are checked once, and only where the cheap facts allow it; the
  // signature checks of one search are bounded.
  bool IssuedOnce(X509* issuer, X509* subject) {
    const auto [known, added] = issued_.try_emplace({issuer, subject}, false);
    if (!added) return known->second;
    if (!BearsIssuersName(issuer, subject)) return false;
    if (const auto why = NotTheIssuer(issuer, subject)) {
      Missed(issuer, subject, *why);
      return false;
    }
    if (++signatureChecks_ > kMaxSignatureChecks) {
      if (limit_.empty()) limit_ = std::to_string(kMaxSignatureChecks) + " signature checks";
      return false;
    }
    known->second = Issued(issuer, subject);
    if (!known->second) Missed(issuer, subject, NotIssuer::kOtherKey);
    return known->second;
  }

  // A certificate with the issuer's name that is not the issuer: what a path that ends
  // there, or leads nowhere, names. Of several, the least by its bytes, so that the
  // bundle's order never shows.
  void Missed(X509* issuer, X509* subject, NotIssuer why) {
    if (issuer == subject) return;
    const auto [miss, added] = misses_.try_emplace(subject, Miss{issuer, {}});
    if (added && firstMissed_ == nullptr) firstMissed_ = subject;
    if (!added && X509_cmp(miss->second.issuer, issuer) <= 0) return;
    const std::string subjectName = SubjectOf(subject);
    std::string text = SubjectOf(issuer) + " is given, but it did not issue " + subjectName + ": ";
    switch (why) {
      case NotIssuer::kOtherKeyIdentifier:
        text += subjectName + " names another key identifier for its issuer";
        break;
      case NotIssuer::kUnusualKey:
        text += "its key is no authority's (an RSA key over " + std::to_string(kMaxModulusBits) +
                " bits or with a public exponent over " + std::to_string(kMaxPublicExponentBits) + " bits)";
        break;
      case NotIssuer::kOtherKey:
        text += "its key does not verify the signature on " + subjectName;
    }
    miss->second = {issuer, std::move(text)};
  }

  std::vector<X509*> IssuersOf(X509* certificate) {
    std::vector<X509*> issuers;
    for (STACK_OF(X509) * source : {bundle_, trusted_}) {
      for (int i = 0; source != nullptr && i < sk_X509_num(source); ++i) {
        X509* candidate = sk_X509_value(source, i);
        const auto same = [&](X509* other) { return SameCertificate(other, candidate); };
        const auto sameAuthority = [&](X509* other) { return SameAuthority(other, candidate); };
        if (std::none_of(issuers.begin(), issuers.end(), same) &&
            std::none_of(path_.begin(), path_.end(), sameAuthority) && IssuedOnce(candidate, certificate)) {
          issuers.push_back(candidate);
        }
      }
    }
    const auto end = [](X509* c) { return SecondsOf(X509_get0_notAfter(c)).value_or(INT64_MIN); };
    std::sort(issuers.begin(), issuers.end(),
              [&](X509* a, X509* b) { return end(a) != end(b) ? end(a) > end(b) : X509_cmp(a, b) < 0; });
    return issuers;
  }

  bool Judge() {
    SignerPath candidate{path_, {}, {}, false, {}};
    for (X509* certificate : path_) candidate.facts.push_back(FactsOf(certificate));
    if (const auto miss = misses_.find(path_.back()); miss != misses_.end()) candidate.issuerMissed = miss->second.text;
    candidate.problem = ChainProblem(candidate.facts, now_);
    if (candidate.problem.empty()) candidate.problem = ValidationProblem(path_, candidate.facts);
    if (candidate.problem.empty()) {
      found_ = std::move(candidate);
      return true;
    }
    if (firstRefused_.problem.empty()) firstRefused_ = std::move(candidate);
    return false;
  }

  STACK_OF(X509) * bundle_;
  STACK_OF(X509) * trusted_;
  std::int64_t now_;
  std::vector<X509*> path_;
  int steps_ = 0;
  int signatureChecks_ = 0;
  std::map<std::pair<X509*, X509*>, bool> issued_;
  struct Miss {
    X509* issuer;
    std::string text;
  };
  std::map<X509*, Miss> misses_;  // by subject
  X509* firstMissed_ = nullptr;   // the subject of the first miss the search met
  std::string limit_;             // the bound the search reached, or nothing
  SignerPath found_;
  SignerPath firstRefused_;
};

}  // namespace

bool SameCertificate(X509* a, X509* b) { return X509_cmp(a, b) == 0; }

Certificates ReadCertificates(std::string_view pem, std::string* problem) {
  Certificates certificates(sk_X509_new_null());
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
    sk_X509_push(certificates.get(), certificate);
  }
  // The end of the text reads as an error of its own; any other is a block that cannot be
  // read, and what stands after it would be lost without a word.
  const unsigned long error = ERR_peek_last_error();
  if (problem != nullptr && error != 0 && ERR_GET_REASON(error) != PEM_R_NO_START_LINE) {
    const char* reason = ERR_reason_error_string(error);
    *problem = "its certificate " + std::to_string(sk_X509_num(certificates.get()) + 1) + " cannot be read (" +
               (reason == nullptr ? "no reason given" : reason) + ")";
  }
  ERR_clear_error();
  return certificates;
}

std::string SubjectOf(X509* certificate) {
  Bio out(BIO_new(BIO_s_mem()));
  X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate), 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* text = nullptr;
  const long size = BIO_get_mem_data(out.get(), &text);
  return std::string(text, static_cast<std::size_t>(size));
}

// What the policy asks of a certificate, read with OpenSSL. A use or purpose the
// certificate leaves open (no such extension) is not taken as allowed: the policy says
// what it needs. The digest of an RSA-PSS signature is in its parameters.
CertificateFacts FactsOf(X509* certificate) {
  CertificateFacts facts;
  EVP_PKEY* key = X509_get0_pubkey(certificate);
  facts.rsa = key != nullptr && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA;
  const char* keyType = key == nullptr ? nullptr : EVP_PKEY_get0_type_name(key);
  facts.keyType = keyType == nullptr ? "" : keyType;
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
  facts.selfSigned = Issued(certificate, certificate);
  facts.constrainsPoliciesAlone = X509_get_ext_by_NID(certificate, NID_policy_constraints, -1) >= 0 &&
                                  X509_get_ext_by_NID(certificate, NID_certificate_policies, -1) < 0;
  int digest = NID_undef;
  if (X509_get_signature_info(certificate, &digest, nullptr, nullptr, nullptr) == 1 && digest != NID_undef) {
    facts.signatureDigest = OBJ_nid2sn(digest);
  } else if (const int algorithm = X509_get_signature_nid(certificate); algorithm != NID_undef) {
    facts.signatureAlgorithm = OBJ_nid2sn(algorithm);
  }
  ERR_clear_error();
  const auto notBefore = SecondsOf(X509_get0_notBefore(certificate));
  const auto notAfter = SecondsOf(X509_get0_notAfter(certificate));
  facts.datesReadable = notBefore && notAfter;
  facts.notBefore = notBefore.value_or(0);
  facts.notAfter = notAfter.value_or(0);
  facts.subject = SubjectOf(certificate);
  return facts;
}

SignerPath FindSignerPath(X509* signer, STACK_OF(X509) * bundle, STACK_OF(X509) * trusted, std::int64_t now) {
  return PathSearch(signer, bundle, trusted, now).Run();
}

}  // namespace rdplaunch
