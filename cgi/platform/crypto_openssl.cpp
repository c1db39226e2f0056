// SHA-256 and RSA signatures behind the crypto seam, with OpenSSL's EVP
// interface; see crypto.h. OpenSSL keeps an error queue per thread: a
// failed call here empties it, so that nothing of one call is left over
// for the next.

// SHA256_Init and its kin are marked deprecated in OpenSSL 3 in favour of
// EVP; see Sha256 below for why they are used.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <climits>
#include <memory>

#include "platform/crypto.h"

namespace quillo::platform {
namespace {

// RFC 8301 3.2: verifiers refuse RSA keys shorter than 1024 bits, so a
// signature made with one would only ever fail.
constexpr int kMinRsaBits = 1024;

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

// Left to itself, OpenSSL reads the machine's openssl.cnf on first use. A
// signature should not depend on that file, and a provider it names would
// have to be loaded at run time, which a static program cannot do.
void StartLibrary() { OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr); }

// Asked for the passphrase of an encrypted key: there is none, so the key
// does not load. Without this callback OpenSSL would prompt on the terminal.
int NoPassphrase(char* /*buffer*/, int /*size*/, int /*rwflag*/, void* /*userdata*/) { return 0; }

Key LoadRsaKey(std::string_view pem) {
  if (pem.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return nullptr;
  Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr));
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA || EVP_PKEY_get_bits(key.get()) < kMinRsaBits)
    return nullptr;
  return key;
}

std::optional<std::string> Sign(EVP_PKEY* key, std::string_view data) {
  DigestContext context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* key_context = nullptr;  // owned by context
  if (!context || EVP_DigestSignInit(context.get(), &key_context, EVP_sha256(), nullptr, key) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(key_context, RSA_PKCS1_PADDING) != 1) {
    return std::nullopt;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t length = 0;
  if (EVP_DigestSign(context.get(), nullptr, &length, bytes, data.size()) != 1) return std::nullopt;
  std::string signature(length, '\0');
  if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length, bytes,
                     data.size()) != 1) {
    return std::nullopt;
  }
  signature.resize(length);
  return signature;
}

}  // namespace

// The digest functions compute in place. EVP would first start a provider
// and build its algorithm tables, some 0.7 ms of every run that hashes
// (a spam check's solution, a DKIM body) for two hashes of a few bytes.
std::string Sha256(std::string_view data) {
  StartLibrary();  // which probes the processor for its SHA instructions
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256_CTX context;
  if (SHA256_Init(&context) != 1 || SHA256_Update(&context, data.data(), data.size()) != 1 ||
      SHA256_Final(digest, &context) != 1)
    return {};
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::optional<std::string> RsaSha256Sign(std::string_view private_key_pem, std::string_view data) {
  StartLibrary();
  const Key key = LoadRsaKey(private_key_pem);
  std::optional<std::string> signature = key ? Sign(key.get(), data) : std::nullopt;
  if (!signature) ERR_clear_error();
  return signature;
}

std::optional<RsaPublicKey> RsaPublicKeyOf(std::string_view private_key_pem) {
  StartLibrary();
  const Key key = LoadRsaKey(private_key_pem);
  unsigned char* der = nullptr;
  const int length = key ? i2d_PUBKEY(key.get(), &der) : -1;
  if (length <= 0) {
    ERR_clear_error();
    return std::nullopt;
  }
  RsaPublicKey public_key{EVP_PKEY_get_bits(key.get()),
                          std::string(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length))};
  OPENSSL_free(der);
  return public_key;
}

}  // namespace quillo::platform
