// What the site's [captcha] section says: which spam check a post must
// pass, and how it is made.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quillo {

enum class CaptchaProvider { kNone, kAltcha, kTurnstile, kHcaptcha, kRecaptcha };

struct CaptchaSettings {
  CaptchaProvider provider = CaptchaProvider::kNone;
  // The HMAC key of the site's own challenges, or the provider's secret.
  std::string secret;
  std::uint32_t altcha_expires_seconds = 600;
  std::uint64_t altcha_max_number = 100000;
  std::string verify_url;  // empty: the provider's own address
  std::optional<double> min_score;
  std::string expected_hostname;  // lower case; empty: any
  std::uint32_t timeout_ms = 5000;
  std::string tls_ca_file;  // empty: [smtp] tls_ca_file, else the system's roots
};

}  // namespace quillo
