// Fuzz target: the spam check's readers of what visitors and providers
// send. The bytes are tried as the widget's field, as the JSON inside it,
// and as a provider's answer: nothing throws, nothing passes without the
// key's signature or the provider's "success": true; and as the token sent
// on to a provider, which stays one form value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "captcha/altcha.h"
#include "captcha/siteverify.h"
#include "core/text.h"

using namespace quillo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::string_view kKey = "quillo-fuzz-key-0123456789abcdef";
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const std::string& field : {std::string(bytes), EncodeBase64(bytes)}) {
    const AltchaCheck check = CheckAltchaPayload(field, kKey, 0);
    if (check.verdict == CaptchaVerdict::kPassed && (check.id.size() != 32 || check.expires < 0))
      std::abort();
  }
  CaptchaSettings settings;
  settings.min_score = 0.5;
  const SiteverifyVerdict verdict = ReadSiteverifyAnswer(bytes, settings);
  if (verdict.verdict == CaptchaVerdict::kPassed &&
      (bytes.find("success") == std::string_view::npos || bytes.find("true") == std::string_view::npos))
    std::abort();
  if (verdict.error_codes.find_first_of(" \n\r\"") != std::string::npos) std::abort();
  // The visitor's token leaves in a form body: nothing in it may end a
  // value or the body.
  const std::string body = SiteverifyBody("secret", bytes, "192.0.2.7");
  const std::string_view token = std::string_view(body).substr(body.find("&response=") + 10);
  if (token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%&=") !=
          std::string_view::npos ||
      token.find('&') != token.rfind('&') || token.substr(token.find('&')) != "&remoteip=192.0.2.7")
    std::abort();
  return 0;
}
