// Reading the DER layers of a PEM private key by hand, for the crypto back
// end whose library reads PKCS#1 only (Windows under wine cannot decode
// PKCS#8). Pure over bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillo::platform {

// The PKCS#1 RSAPrivateKey inside a PKCS#8 PrivateKeyInfo (RFC 5208):
// SEQUENCE { INTEGER version, SEQUENCE { OID rsaEncryption, ... },
// OCTET STRING key }. Nothing for another algorithm or malformed DER.
std::optional<std::string> RsaKeyOfPkcs8(std::string_view der);

}  // namespace quillo::platform
