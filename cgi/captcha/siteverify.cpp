// The hosted CAPTCHAs' protocol; see siteverify.h.
#include "captcha/siteverify.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "core/text.h"

namespace quillo {
namespace {

void AppendUrlEncoded(std::string& out, std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(HexDigit(byte >> 4));
      out.push_back(HexDigit(byte & 0x0F));
    }
  }
}

// A provider's words go into one log line: word characters only.
std::string LogWord(std::string_view text) {
  std::string word(text.substr(0, 64));
  for (char& c : word) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_';
    if (!plain) c = '?';
  }
  return word;
}

std::string Decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

std::string ErrorCodes(const nlohmann::json& answer) {
  const auto codes = answer.find("error-codes");
  if (codes == answer.end() || !codes->is_array()) return {};
  std::string joined;
  for (const nlohmann::json& code : *codes) {
    if (!code.is_string()) continue;
    if (!joined.empty()) joined += ',';
    joined += LogWord(code.get<std::string>());
    if (joined.size() > 256) break;
  }
  return joined;
}

}  // namespace

const ProviderFacts& FactsOf(CaptchaProvider provider) {
  static const ProviderFacts kNone{};
  static const ProviderFacts kAltcha{"altcha", "altcha", "", ""};
  static const ProviderFacts kTurnstile{"turnstile", "cf-turnstile-response", "",
                                        "https://challenges.cloudflare.com/turnstile/v0/siteverify"};
  // The hCaptcha widget fills the reCAPTCHA field too, for forms written for that.
  static const ProviderFacts kHcaptcha{"hcaptcha", "h-captcha-response", "g-recaptcha-response",
                                       "https://api.hcaptcha.com/siteverify"};
  static const ProviderFacts kRecaptcha{"recaptcha", "g-recaptcha-response", "",
                                        "https://www.google.com/recaptcha/api/siteverify"};
  switch (provider) {
    case CaptchaProvider::kAltcha:
      return kAltcha;
    case CaptchaProvider::kTurnstile:
      return kTurnstile;
    case CaptchaProvider::kHcaptcha:
      return kHcaptcha;
    case CaptchaProvider::kRecaptcha:
      return kRecaptcha;
    case CaptchaProvider::kNone:
      break;
  }
  return kNone;
}

std::string SiteverifyBody(std::string_view secret, std::string_view response, std::string_view remote_ip) {
  std::string body = "secret=";
  AppendUrlEncoded(body, secret);
  body += "&response=";
  AppendUrlEncoded(body, response);
  if (!remote_ip.empty()) {
    body += "&remoteip=";
    AppendUrlEncoded(body, remote_ip);
  }
  return body;
}

SiteverifyVerdict ReadSiteverifyAnswer(std::string_view body, const CaptchaSettings& settings) {
  SiteverifyVerdict verdict;
  const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
  if (!answer.is_object()) {
    verdict.verdict = CaptchaVerdict::kUnavailable;
    verdict.detail = "not a JSON object";
    return verdict;
  }
  verdict.error_codes = ErrorCodes(answer);
  const auto success = answer.find("success");
  if (success == answer.end() || !success->is_boolean() || !success->get<bool>()) {
    verdict.detail = "success is not true";
    return verdict;
  }
  if (settings.min_score) {
    const auto score = answer.find("score");
    const bool scored = score != answer.end() && score->is_number();
    if (!scored || score->get<double>() < *settings.min_score) {
      verdict.detail = "score " + (scored ? Decimal(score->get<double>()) : std::string("missing")) +
                       " below " + Decimal(*settings.min_score);
      return verdict;
    }
  }
  if (!settings.expected_hostname.empty()) {
    const auto hostname = answer.find("hostname");
    const std::string said =
        hostname != answer.end() && hostname->is_string() ? LowerCopy(hostname->get<std::string>()) : "";
    if (said != settings.expected_hostname) {
      verdict.detail = "hostname " + (said.empty() ? std::string("missing") : LogWord(said));
      return verdict;
    }
  }
  verdict.verdict = CaptchaVerdict::kPassed;
  return verdict;
}

}  // namespace quillo
