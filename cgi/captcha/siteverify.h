// The hosted CAPTCHAs: what each provider's widget posts, where its
// verification lives, the request the program sends it and how its JSON
// answer is read. Pure; the call itself is captcha_check.cpp's.
#pragma once

#include <string>
#include <string_view>

#include "captcha/altcha.h"
#include "captcha/captcha_settings.h"

namespace quillo {

struct ProviderFacts {
  std::string_view name;         // as the settings spell it
  std::string_view field;        // the widget's answer field
  std::string_view extra_field;  // another field the widget fills with the same answer; may be empty
  std::string_view verify_url;   // the provider's verification address
};

// The facts of a provider; kNone has empty ones.
const ProviderFacts& FactsOf(CaptchaProvider provider);

// secret=...&response=...&remoteip=..., each value URL-encoded; remoteip
// left out when empty.
std::string SiteverifyBody(std::string_view secret, std::string_view response, std::string_view remote_ip);

// The answer's body may hold at most this much.
constexpr std::size_t kMaxSiteverifyAnswerBytes = 64 * 1024;

struct SiteverifyVerdict {
  CaptchaVerdict verdict = CaptchaVerdict::kDeclined;
  // The provider's "error-codes", joined with ","; and what else was
  // wrong ("score 0.2 below 0.5", "hostname evil.example"), for the log.
  std::string error_codes;
  std::string detail;
};

// Passed only for a JSON object with "success": true and, where the
// settings ask, a "score" of at least min_score and a "hostname" equal to
// expected_hostname. Never throws.
SiteverifyVerdict ReadSiteverifyAnswer(std::string_view body, const CaptchaSettings& settings);

}  // namespace quillo
