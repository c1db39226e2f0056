// The site's own challenge; see altcha.h.
#include "captcha/altcha.h"

#include <nlohmann/json.hpp>

#include "core/text.h"
#include "platform/crypto.h"

namespace quillo {
namespace {

constexpr std::string_view kAlgorithm = "SHA-256";
// The widget counts in JavaScript numbers, exact up to 2^53.
constexpr std::uint64_t kMaxNumber = 1ULL << 53;

std::string HexSha256(std::string_view text) { return HexOf(platform::Sha256(text)); }

bool SameInConstantTime(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

// The expiry a salt carries in its parameters ("...?expires=N&..."); the
// protocol's older spelling "expire" is read too.
std::optional<std::time_t> SaltExpiry(std::string_view salt) {
  const std::size_t query = salt.find('?');
  if (query == std::string_view::npos) return std::nullopt;
  for (std::string_view parameter : Split(salt.substr(query + 1), '&')) {
    const std::size_t eq = parameter.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view name = parameter.substr(0, eq);
    if (name != "expires" && name != "expire") continue;
    const auto value = ReadNumber(parameter.substr(eq + 1), 1ULL << 40);
    if (!value) return std::nullopt;
    return static_cast<std::time_t>(*value);
  }
  return std::nullopt;
}

std::optional<std::string> StringMember(const nlohmann::json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

}  // namespace

std::string_view VerdictName(CaptchaVerdict verdict) {
  switch (verdict) {
    case CaptchaVerdict::kPassed:
      return "passed";
    case CaptchaVerdict::kMissing:
      return "missing";
    case CaptchaVerdict::kMalformed:
      return "malformed";
    case CaptchaVerdict::kExpired:
      return "expired";
    case CaptchaVerdict::kWrong:
      return "wrong";
    case CaptchaVerdict::kTest:
      return "test";
    case CaptchaVerdict::kReplayed:
      return "replayed";
    case CaptchaVerdict::kDeclined:
      return "refused";
    case CaptchaVerdict::kUnavailable:
      return "unavailable";
  }
  return "unknown";
}

AltchaChallenge MakeAltchaChallenge(std::string_view key, std::string_view salt_hex, std::time_t expires,
                                    std::uint64_t number, std::uint64_t max_number) {
  AltchaChallenge made;
  made.salt = std::string(salt_hex) + "?expires=" + std::to_string(expires) + "&";
  made.challenge = HexSha256(made.salt + std::to_string(number));
  made.signature = HexOf(platform::HmacSha256(key, made.challenge));
  made.max_number = max_number;
  return made;
}

std::string RenderAltchaChallenge(const AltchaChallenge& challenge) {
  // Every value is the program's own: hex digits, digits and "?expires=&".
  return "{\"algorithm\":\"" + std::string(kAlgorithm) + "\",\"challenge\":\"" + challenge.challenge +
         "\",\"maxnumber\":" + std::to_string(challenge.max_number) + ",\"salt\":\"" + challenge.salt +
         "\",\"signature\":\"" + challenge.signature + "\"}";
}

AltchaCheck CheckAltchaPayload(std::string_view field_value, std::string_view key, std::time_t now) {
  AltchaCheck check;
  const std::string trimmed = Trimmed(field_value);
  if (trimmed.empty()) {
    check.verdict = CaptchaVerdict::kMissing;
    return check;
  }
  if (trimmed.size() > kMaxAltchaPayloadBytes) return check;
  const std::optional<std::string> decoded = DecodeBase64(trimmed);
  if (!decoded) return check;
  const nlohmann::json payload = nlohmann::json::parse(*decoded, nullptr, false);
  if (!payload.is_object()) return check;
  const auto test = payload.find("test");
  if (test != payload.end() && !(test->is_boolean() && !test->get<bool>()) && !test->is_null()) {
    check.verdict = CaptchaVerdict::kTest;
    return check;
  }
  const auto algorithm = StringMember(payload, "algorithm");
  const auto challenge = StringMember(payload, "challenge");
  const auto salt = StringMember(payload, "salt");
  const auto signature = StringMember(payload, "signature");
  const auto number = payload.find("number");
  if (!algorithm || !challenge || !salt || !signature || number == payload.end() ||
      !number->is_number_unsigned() || *algorithm != kAlgorithm)
    return check;
  const auto value = number->get<std::uint64_t>();
  const std::optional<std::time_t> expires = SaltExpiry(*salt);
  if (value > kMaxNumber || !expires) return check;
  const std::string expected_challenge = HexSha256(*salt + std::to_string(value));
  const std::string expected_signature = HexOf(platform::HmacSha256(key, expected_challenge));
  // The challenge is a hash of public values; the signature is what only
  // the key makes, and is compared without an early exit.
  if (*challenge != expected_challenge || !SameInConstantTime(*signature, expected_signature)) {
    check.verdict = CaptchaVerdict::kWrong;
    return check;
  }
  if (*expires < now) {
    check.verdict = CaptchaVerdict::kExpired;
    return check;
  }
  check.verdict = CaptchaVerdict::kPassed;
  check.id = HexOf(platform::Sha256(*salt).substr(0, 16));
  check.expires = *expires;
  return check;
}

}  // namespace quillo
