// The crypto seam for a build without a cryptography library (Windows); see
// crypto.h. SHA-256 is small enough to carry (FIPS 180-4); RSA is not, so
// this build signs nothing: RsaSha256Sign gives nothing for every key, and
// SigningAvailable() lets the mail's sender say why.
#include <array>
#include <cstdint>

#include "platform/crypto.h"

namespace quillo::platform {
namespace {

// FIPS 180-4 section 4.2.2: the first 32 bits of the fractional parts of the
// cube roots of the first 64 primes.
constexpr std::array<std::uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// Section 5.3.3: the initial hash value.
constexpr std::array<std::uint32_t, 8> kInitialHash = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::size_t kBlockBytes = 64;

std::uint32_t RotateRight(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// Section 6.2.2: one 512-bit block into the hash.
void Compress(std::array<std::uint32_t, 8>& hash, const unsigned char* block) {
  std::array<std::uint32_t, 64> w{};
  for (std::size_t t = 0; t < 16; ++t) {
    w[t] = static_cast<std::uint32_t>(block[4 * t]) << 24 |
           static_cast<std::uint32_t>(block[4 * t + 1]) << 16 |
           static_cast<std::uint32_t>(block[4 * t + 2]) << 8 | static_cast<std::uint32_t>(block[4 * t + 3]);
  }
  for (std::size_t t = 16; t < 64; ++t) {
    const std::uint32_t s0 = RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
    const std::uint32_t s1 = RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  std::array<std::uint32_t, 8> v = hash;
  for (std::size_t t = 0; t < 64; ++t) {
    const std::uint32_t e = v[4];
    const std::uint32_t a = v[0];
    const std::uint32_t t1 = v[7] + (RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25)) +
                             ((e & v[5]) ^ (~e & v[6])) + kRoundConstants[t] + w[t];
    const std::uint32_t t2 = (RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22)) +
                             ((a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]));
    v = {t1 + t2, a, v[1], v[2], v[3] + t1, e, v[5], v[6]};
  }
  for (std::size_t i = 0; i < 8; ++i) hash[i] += v[i];
}

}  // namespace

std::string Sha256(std::string_view data) {
  std::array<std::uint32_t, 8> hash = kInitialHash;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t whole = data.size() - data.size() % kBlockBytes;
  for (std::size_t at = 0; at < whole; at += kBlockBytes) Compress(hash, bytes + at);
  // Section 5.1.1: the rest, a 1 bit, zeros, and the length in bits in the
  // last 64 bits of one or two final blocks.
  unsigned char tail[2 * kBlockBytes] = {};
  const std::size_t rest = data.size() - whole;
  for (std::size_t i = 0; i < rest; ++i) tail[i] = bytes[whole + i];
  tail[rest] = 0x80;
  const std::size_t tail_bytes = rest + 1 + 8 <= kBlockBytes ? kBlockBytes : 2 * kBlockBytes;
  const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  for (std::size_t i = 0; i < 8; ++i) tail[tail_bytes - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
  for (std::size_t at = 0; at < tail_bytes; at += kBlockBytes) Compress(hash, tail + at);
  std::string digest;
  for (const std::uint32_t word : hash) {
    for (int shift = 24; shift >= 0; shift -= 8) digest.push_back(static_cast<char>(word >> shift));
  }
  return digest;
}

std::optional<std::string> RsaSha256Sign(std::string_view /*private_key_pem*/, std::string_view /*data*/) {
  return std::nullopt;
}

bool SigningAvailable() { return false; }

std::optional<RsaPublicKey> RsaPublicKeyOf(std::string_view /*private_key_pem*/) { return std::nullopt; }

}  // namespace quillo::platform
