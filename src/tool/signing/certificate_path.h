// The one certificate path of a signature, for signing and checking alike: found from the
// signer up by keys, validated by OpenSSL's path validation and judged by the signing
// policy. Part of the tool's OpenSSL code; never part of the launcher.
#pragma once

#include <openssl/bio.h>
#include <openssl/x509.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "signing/signing_policy.h"

namespace rdplaunch {

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
  void operator()(T* object) const { Free(object); }
};
// An object of OpenSSL's, freed with its own function.
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, OpenSslDeleter<T, Free>>;
using Bio = Owned<BIO, BIO_free_all>;
void FreeCertificates(STACK_OF(X509) * certificates);  // the stack and every certificate in it
void FreeStack(STACK_OF(X509) * certificates);         // the stack alone
using Certificates = std::unique_ptr<STACK_OF(X509), OpenSslDeleter<STACK_OF(X509), FreeCertificates>>;
using CertificateView = std::unique_ptr<STACK_OF(X509), OpenSslDeleter<STACK_OF(X509), FreeStack>>;

// The PEM text's certificates in order. Where a block cannot be read, problem (when given)
// says which, counting certificates from 1; the certificates before it are returned.
Certificates ReadCertificates(std::string_view pem, std::string* problem = nullptr);
std::string SubjectOf(X509* certificate);
// The same certificate, byte for byte (two copies of one authority are not).
bool SameCertificate(X509* a, X509* b);
CertificateFacts FactsOf(X509* certificate);

struct SignerPath {
  std::vector<X509*> certificates;      // the signer, then each issuer up to the top; borrowed
  std::vector<CertificateFacts> facts;  // the same certificates as the policy judged them
  std::string problem;                  // why no path can sign, or nothing
  bool untrusted = false;               // no path reached a trusted certificate (the problem says so)
  std::string issuerMissed;             // where the path ends below its issuer, or leads nowhere: a certificate
                                        // given with the issuer's name, and why it is not the issuer
};

// The first path, from the signer up through the bundle, that passes path validation and
// the signing policy at the time now. With trusted certificates, a path ends at one of
// them; without (trusted null), at a self-signed certificate or where no issuer is found,
// and its top is trusted as it is. Candidates are tried in an order of their own, never
// the bundle's, so that the same certificates give the same path in any order.
SignerPath FindSignerPath(X509* signer, STACK_OF(X509) * bundle, STACK_OF(X509) * trusted, std::int64_t now);

}  // namespace rdplaunch
