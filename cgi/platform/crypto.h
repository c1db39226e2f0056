// The seam between mail signing and a cryptography library: SHA-256 and
// RSA signatures, as much as a DKIM signer needs. Nothing here names a
// library type, so delivery/ stays the same whichever implementation is
// linked; crypto_openssl.cpp implements it with OpenSSL's EVP interface,
// crypto_win32.cpp with the Windows CryptoAPI.
//
// Every call stands alone: no key, context or error is kept between calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillo::platform {

// The SHA-256 digest of data, 32 raw bytes; empty only should the library
// itself fail.
std::string Sha256(std::string_view data);

// HMAC-SHA-256 (RFC 2104) of data under key, 32 raw bytes. Built on Sha256
// in platform/hmac.cpp for both back ends: the construction is two hashes,
// and the CryptoAPI would want the key imported as a key blob first.
std::string HmacSha256(std::string_view key, std::string_view data);

// The RSASSA-PKCS1-v1_5 signature with SHA-256 of data, raw bytes as long as
// the key's modulus, made with an unencrypted RSA private key in PEM form
// (PKCS#1 "RSA PRIVATE KEY" or PKCS#8 "PRIVATE KEY"). Nothing when the key
// does not load, is encrypted, is not RSA or is shorter than 1024 bits, or
// when signing fails. The same key and data always give the same bytes.
std::optional<std::string> RsaSha256Sign(std::string_view private_key_pem, std::string_view data);

// The public half of a private key RsaSha256Sign takes: its size and its
// SubjectPublicKeyInfo in DER, the bytes a DKIM record's p= carries in
// base64. Nothing for a key RsaSha256Sign would refuse.
struct RsaPublicKey {
  int bits = 0;
  std::string der;
};
std::optional<RsaPublicKey> RsaPublicKeyOf(std::string_view private_key_pem);

}  // namespace quillo::platform
