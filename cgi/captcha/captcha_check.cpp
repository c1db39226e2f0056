// The spam check; see captcha_check.h.
#include "captcha/captcha_check.h"

#include "captcha/siteverify.h"
#include "captcha/spent_challenges.h"
#include "core/keyed_hash.h"
#include "core/text.h"
#include "http/https_client.h"

namespace quillo {
namespace {

std::string RandomHex(std::size_t bytes) {
  std::string raw;
  while (raw.size() < bytes) {
    const std::uint64_t random = RandomNumber();
    for (int i = 0; i < 8 && raw.size() < bytes; ++i) raw.push_back(static_cast<char>(random >> (8 * i)));
  }
  return HexOf(raw);
}

CaptchaOutcome CheckOwnChallenge(const CaptchaSettings& settings, const std::string& spent_path,
                                 std::string_view answer, System& system) {
  const std::time_t now = system.Now();
  const AltchaCheck check = CheckAltchaPayload(answer, settings.secret, now);
  if (check.verdict != CaptchaVerdict::kPassed) return {check.verdict, {}, {}};
  bool fresh = false;
  const bool recorded = system.UpdateLockedFile(spent_path, [&](std::string_view state) {
    SpendDecision decision = SpendChallenge(state, check.id, check.expires, now);
    fresh = decision.fresh;
    return std::move(decision.state);
  });
  if (!recorded) {
    return {CaptchaVerdict::kUnavailable,
            {},
            "cannot record the solved challenge in " + spent_path +
                ": the web server's user must be able to create and write it there (quillo check tells)"};
  }
  return {fresh ? CaptchaVerdict::kPassed : CaptchaVerdict::kReplayed, {}, {}};
}

CaptchaOutcome AskProvider(const CaptchaSettings& settings, std::string_view answer,
                           std::string_view remote_addr) {
  // The providers' tokens are a few hundred bytes; a post's field can be megabytes.
  constexpr std::size_t kMaxTokenBytes = 8192;
  if (Trimmed(answer).empty()) return {CaptchaVerdict::kMissing, {}, {}};
  if (answer.size() > kMaxTokenBytes) return {CaptchaVerdict::kMalformed, {}, {}};
  const ProviderFacts& facts = FactsOf(settings.provider);
  const auto address =
      ParseHttpsAddress(settings.verify_url.empty() ? facts.verify_url : settings.verify_url);
  if (!address) return {CaptchaVerdict::kUnavailable, {}, "no verification address"};
  HttpsOptions options;
  options.timeout_ms = settings.timeout_ms;
  options.ca_file = settings.tls_ca_file;
  options.max_answer_bytes = kMaxSiteverifyAnswerBytes;
  HttpBody body;
  body.bytes = SiteverifyBody(settings.secret, answer, remote_addr);
  const HttpsResult result = Post(*address, body, options);
  if (!result.answer) {
    return {CaptchaVerdict::kUnavailable,
            {},
            result.step + " " + address->host + ": " + result.error + " " + result.detail};
  }
  if (result.answer->status != 200) {
    return {CaptchaVerdict::kUnavailable,
            {},
            address->host + " answered HTTP " + std::to_string(result.answer->status)};
  }
  SiteverifyVerdict verdict = ReadSiteverifyAnswer(result.answer->body, settings);
  return {verdict.verdict, std::move(verdict.error_codes), std::move(verdict.detail)};
}

}  // namespace

std::string IssueAltchaChallenge(const CaptchaSettings& settings, std::time_t now) {
  constexpr std::size_t kSaltBytes = 12;
  const std::uint64_t number = RandomNumber() % (settings.altcha_max_number + 1);
  return RenderAltchaChallenge(MakeAltchaChallenge(settings.secret, RandomHex(kSaltBytes),
                                                   now + settings.altcha_expires_seconds, number,
                                                   settings.altcha_max_number));
}

CaptchaOutcome CheckCaptcha(const CaptchaSettings& settings, const std::string& spent_path,
                            std::string_view answer, std::string_view remote_addr, System& system) {
  if (settings.provider == CaptchaProvider::kAltcha)
    return CheckOwnChallenge(settings, spent_path, answer, system);
  return AskProvider(settings, answer, remote_addr);
}

}  // namespace quillo
