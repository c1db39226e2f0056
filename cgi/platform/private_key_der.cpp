// The PKCS#8 layer of a private key; see private_key_der.h. Only the few
// DER forms a PrivateKeyInfo uses are read: definite lengths (short, or
// long up to four bytes), no indefinite length, no constructed strings.
#include "platform/private_key_der.h"

#include <cstdint>

namespace quillo::platform {
namespace {

constexpr unsigned char kSequence = 0x30, kInteger = 0x02, kOctetString = 0x04, kObjectId = 0x06;
// 1.2.840.113549.1.1.1, rsaEncryption (RFC 8017 A.1), as DER content bytes.
constexpr std::string_view kRsaEncryption = "\x2a\x86\x48\x86\xf7\x0d\x01\x01\x01";

// One element of DER: its tag and its content, and what follows it.
struct Element {
  unsigned char tag = 0;
  std::string_view content;
  std::string_view rest;
};

std::optional<Element> ReadElement(std::string_view der) {
  if (der.size() < 2) return std::nullopt;
  const auto tag = static_cast<unsigned char>(der[0]);
  std::size_t length = static_cast<unsigned char>(der[1]);
  std::size_t at = 2;
  if (length & 0x80) {
    const std::size_t count = length & 0x7F;
    if (count == 0 || count > 4 || der.size() < at + count) return std::nullopt;
    length = 0;
    for (std::size_t i = 0; i < count; ++i) length = (length << 8) | static_cast<unsigned char>(der[at + i]);
    at += count;
  }
  if (der.size() - at < length) return std::nullopt;
  return Element{tag, der.substr(at, length), der.substr(at + length)};
}

}  // namespace

std::optional<std::string> RsaKeyOfPkcs8(std::string_view der) {
  const auto info = ReadElement(der);
  if (!info || info->tag != kSequence || !info->rest.empty()) return std::nullopt;
  const auto version = ReadElement(info->content);
  if (!version || version->tag != kInteger) return std::nullopt;
  const auto algorithm = ReadElement(version->rest);
  if (!algorithm || algorithm->tag != kSequence) return std::nullopt;
  const auto oid = ReadElement(algorithm->content);
  if (!oid || oid->tag != kObjectId || oid->content != kRsaEncryption) return std::nullopt;
  const auto key = ReadElement(algorithm->rest);
  if (!key || key->tag != kOctetString) return std::nullopt;
  return std::string(key->content);
}

}  // namespace quillo::platform
