// Field names an attacker computes offline: sixteen bytes each, all with
// one std::hash<std::string> value. libstdc++ hashes strings with a fixed
// seed, eight bytes at a time, and each step can be run backwards: for any
// first eight bytes there are last eight that bring the hash to a chosen
// value. None holds a NUL or "=", so each stays one name in a post.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace quillo::testing {

inline std::vector<std::string> NamesSharingOneStdHash(std::size_t count) {
  constexpr std::uint64_t kMul = (std::uint64_t{0xc6a4a793} << 32) + 0x5bd1e995;
  constexpr std::uint64_t kSeed = 0xc70f6907;
  std::uint64_t inverse = kMul;  // Newton's iteration for kMul's inverse modulo 2^64
  for (int i = 0; i < 6; ++i) inverse *= 2 - kMul * inverse;
  const auto shift_mix = [](std::uint64_t v) { return v ^ (v >> 47); };  // its own inverse
  const auto block = [&](std::uint64_t k) { return shift_mix(k * kMul) * kMul; };
  const auto unblock = [&](std::uint64_t d) { return shift_mix(d * inverse) * inverse; };
  const std::uint64_t start = kSeed ^ (16 * kMul);
  const std::uint64_t target = 0x5eed5eed5eed5eedULL;  // the state after both blocks, for every name
  std::mt19937_64 random(20261209);
  std::vector<std::string> names;
  while (names.size() < count) {
    const std::uint64_t first = random();
    const std::uint64_t second = unblock((target * inverse) ^ ((start ^ block(first)) * kMul));
    std::string name;
    for (std::uint64_t k : {first, second}) {
      for (int i = 0; i < 8; ++i) name.push_back(static_cast<char>((k >> (8 * i)) & 0xFF));
    }
    if (name.find('\0') == std::string::npos && name.find('=') == std::string::npos) names.push_back(name);
  }
  return names;
}

}  // namespace quillo::testing
