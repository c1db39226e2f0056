// Fuzz target: the EHLO reply. An extension is found only where the reply
// names it, on a line before its last.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "smtp/smtp_client.h"

using namespace quillo;

namespace {

bool Names(std::string_view reply, std::string_view word) {
  std::string upper(reply);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  return upper.find(word) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  const Extensions offered = ParseEhloReply(reply);
  if (offered.starttls && !Names(reply, "STARTTLS")) std::abort();
  if ((offered.auth_plain || offered.auth_login) && !Names(reply, "AUTH")) std::abort();
  if (offered.auth_plain && !Names(reply, "PLAIN")) std::abort();
  if (offered.auth_login && !Names(reply, "LOGIN")) std::abort();
  return 0;
}
