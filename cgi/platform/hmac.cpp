// HMAC over the back end's SHA-256; see crypto.h.
#include <cstddef>

#include "platform/crypto.h"

namespace quillo::platform {

std::string HmacSha256(std::string_view key, std::string_view data) {
  constexpr std::size_t kBlockBytes = 64;
  std::string block(key.size() > kBlockBytes ? Sha256(key) : std::string(key));
  block.resize(kBlockBytes, '\0');
  std::string inner(kBlockBytes, '\0');
  std::string outer(kBlockBytes, '\0');
  for (std::size_t i = 0; i < kBlockBytes; ++i) {
    inner[i] = static_cast<char>(block[i] ^ 0x36);
    outer[i] = static_cast<char>(block[i] ^ 0x5C);
  }
  inner.append(data);
  outer += Sha256(inner);
  return Sha256(outer);
}

}  // namespace quillo::platform
