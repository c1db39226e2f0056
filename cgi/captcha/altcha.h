// The site's own proof-of-work challenge, in the format of the open ALTCHA
// protocol's first version, so that its browser widget solves it: the
// challenge is SHA-256 of the salt and a secret number up to maxnumber,
// the signature HMAC-SHA-256 of the challenge under the site's key, and
// the salt carries the expiry ("<hex>?expires=<unix time>&"). The visitor's
// browser finds the number; the program checks it with two hashes.
//
// Pure functions over strings: the random salt, the number and the clock
// are the caller's.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace quillo {

// Why a spam check passed or did not, one word each for the log.
enum class CaptchaVerdict {
  kPassed,
  kMissing,      // no answer field, or an empty one
  kMalformed,    // not the payload the widget writes
  kExpired,      // past the challenge's expiry
  kWrong,        // the number, the challenge or the signature does not match
  kTest,         // the widget's test mode
  kReplayed,     // solved once and posted again
  kDeclined,     // a provider said no
  kUnavailable,  // the provider (or the state file) could not be asked
};
std::string_view VerdictName(CaptchaVerdict verdict);

struct AltchaChallenge {
  std::string salt;
  std::string challenge;  // lower-case hex
  std::string signature;  // lower-case hex
  std::uint64_t max_number = 0;
};

// The challenge for salt_hex (the random part) expiring at expires, whose
// answer is number.
AltchaChallenge MakeAltchaChallenge(std::string_view key, std::string_view salt_hex, std::time_t expires,
                                    std::uint64_t number, std::uint64_t max_number);

// {"algorithm":"SHA-256","challenge":...,"maxnumber":...,"salt":...,"signature":...}
std::string RenderAltchaChallenge(const AltchaChallenge& challenge);

// The widget's field holds at most this many bytes; a longer one is no
// payload it wrote.
constexpr std::size_t kMaxAltchaPayloadBytes = 4096;

struct AltchaCheck {
  CaptchaVerdict verdict = CaptchaVerdict::kMalformed;
  std::string id;           // when passed: what marks the challenge as spent
  std::time_t expires = 0;  // when passed: until when it must stay marked
};

// Checks the field's value, base64 of {"algorithm", "challenge", "number",
// "salt", "signature", "took"}: the salt's expiry (required) against now,
// the challenge against the number, and the signature under key in
// constant time. Never throws.
AltchaCheck CheckAltchaPayload(std::string_view field_value, std::string_view key, std::time_t now);

}  // namespace quillo
