// Fuzz target: the PKCS#8 layer of a private key. What it finds is always
// bytes of the input, never more than it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/private_key_der.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view der(reinterpret_cast<const char*>(data), size);
  const auto key = quillo::platform::RsaKeyOfPkcs8(der);
  if (key && (key->size() >= size || der.find(*key) == std::string_view::npos)) std::abort();
  return 0;
}
