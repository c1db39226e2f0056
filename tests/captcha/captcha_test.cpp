// The site's own challenge against fixed vectors (computed with Python's
// hashlib and hmac), its payload checks, the spent challenges' bound, and
// the providers' answers.
#include <gtest/gtest.h>

#include "captcha/altcha.h"
#include "captcha/siteverify.h"
#include "captcha/spent_challenges.h"
#include "core/text.h"

namespace quillo {
namespace {

constexpr std::string_view kKey = "quillo-test-key-0123456789abcdef";
constexpr std::string_view kSalt = "0123456789abcdef01234567?expires=1800000000&";
constexpr std::string_view kChallenge = "90b4d5ef34b655bb875f3586a2d6d4eba888015c62c9382256b097de8968de9e";
constexpr std::string_view kSignature = "452b4183d86e707b19f82094f44bb74cf51fa6dfc7f9b8ec85c775251ac371fe";

std::string Payload(std::string_view json) { return EncodeBase64(json); }

std::string PayloadWith(std::string_view number, std::string_view salt = kSalt,
                        std::string_view signature = kSignature, std::string_view extra = "") {
  return Payload("{\"algorithm\":\"SHA-256\",\"challenge\":\"" + std::string(kChallenge) + "\",\"number\":" +
                 std::string(number) + ",\"salt\":\"" + std::string(salt) + "\",\"signature\":\"" +
                 std::string(signature) + "\",\"took\":31" + std::string(extra) + "}");
}

TEST(AltchaChallenge, IsSignedAsTheProtocolSays) {
  const AltchaChallenge made = MakeAltchaChallenge(kKey, "0123456789abcdef01234567", 1800000000, 4242, 50000);
  EXPECT_EQ(RenderAltchaChallenge(made), "{\"algorithm\":\"SHA-256\",\"challenge\":\"" +
                                             std::string(kChallenge) + "\",\"maxnumber\":50000,\"salt\":\"" +
                                             std::string(kSalt) + "\",\"signature\":\"" +
                                             std::string(kSignature) + "\"}");
}

TEST(AltchaChallenge, PassesOnlyTheRightNumberUnderTheKeyBeforeExpiry) {
  constexpr std::time_t kBefore = 1800000000 - 60;
  const struct {
    std::string field;
    std::time_t now;
    CaptchaVerdict verdict;
  } cases[] = {
      {PayloadWith("4242"), kBefore, CaptchaVerdict::kPassed},
      {"  " + PayloadWith("4242") + "\n", kBefore, CaptchaVerdict::kPassed},
      {PayloadWith("4242"), 1800000000 + 1, CaptchaVerdict::kExpired},
      {PayloadWith("4243"), kBefore, CaptchaVerdict::kWrong},
      {PayloadWith("4242", kSalt, std::string(kSignature).replace(0, 1, "5")), kBefore,
       CaptchaVerdict::kWrong},
      {PayloadWith("4242", "0123456789abcdef01234567?expires=1900000000&"), kBefore, CaptchaVerdict::kWrong},
      {PayloadWith("4242", kSalt, kSignature, ",\"test\":true"), kBefore, CaptchaVerdict::kTest},
      {PayloadWith("4242", kSalt, kSignature, ",\"test\":false"), kBefore, CaptchaVerdict::kPassed},
      {PayloadWith("\"4242\""), kBefore, CaptchaVerdict::kMalformed},
      {PayloadWith("4242.0"), kBefore, CaptchaVerdict::kMalformed},
      {PayloadWith("-4242"), kBefore, CaptchaVerdict::kMalformed},
      {PayloadWith("9007199254740993"), kBefore, CaptchaVerdict::kMalformed},
      {PayloadWith("4242", "0123456789abcdef01234567"), kBefore, CaptchaVerdict::kMalformed},
      {PayloadWith("4242", "0123?expires=soon&"), kBefore, CaptchaVerdict::kMalformed},
      {Payload("[1,2]"), kBefore, CaptchaVerdict::kMalformed},
      {Payload("{\"number\":4242"), kBefore, CaptchaVerdict::kMalformed},
      {"not base64!", kBefore, CaptchaVerdict::kMalformed},
      {std::string(kMaxAltchaPayloadBytes + 4, 'A'), kBefore, CaptchaVerdict::kMalformed},
      {"", kBefore, CaptchaVerdict::kMissing},
      {" \t", kBefore, CaptchaVerdict::kMissing},
  };
  for (const auto& c : cases) {
    const AltchaCheck check = CheckAltchaPayload(c.field, kKey, c.now);
    EXPECT_EQ(VerdictName(check.verdict), VerdictName(c.verdict)) << c.field.substr(0, 200);
    if (c.verdict == CaptchaVerdict::kPassed) {
      EXPECT_EQ(check.id, "8b30d3a1498c5bcca44f25ca20b10224");
      EXPECT_EQ(check.expires, 1800000000);
    }
  }
  EXPECT_EQ(CheckAltchaPayload(PayloadWith("4242"), "another key of at least 32 bytes!", kBefore).verdict,
            CaptchaVerdict::kWrong);
}

TEST(SpentChallenges, EachIsSpentOnceUntilItExpiresWithinTheBound) {
  SpendDecision first = SpendChallenge("", "a", 200, 100);
  EXPECT_TRUE(first.fresh);
  EXPECT_EQ(first.state, "200 a\n");
  EXPECT_FALSE(SpendChallenge(first.state, "a", 200, 150).fresh);
  // Expired lines and lines that do not read go.
  const SpendDecision later = SpendChallenge("200 a\n300 b\nnonsense\n x\n", "a", 400, 250);
  EXPECT_TRUE(later.fresh);
  EXPECT_EQ(later.state, "300 b\n400 a\n");

  std::string full;
  for (std::size_t i = 0; i < kMaxSpentChallenges; ++i)
    full += std::to_string(1000 + i) + " id" + std::to_string(i) + "\n";
  const SpendDecision crowded = SpendChallenge(full, "new", 5000, 100);
  EXPECT_TRUE(crowded.fresh);
  EXPECT_EQ(Lines(crowded.state).size(), kMaxSpentChallenges);
  EXPECT_EQ(crowded.state.find(" id0\n"), std::string::npos) << "the one expiring first made room";
  EXPECT_FALSE(SpendChallenge(crowded.state, "id1", 5000, 100).fresh);
}

TEST(Siteverify, PostsTheFormAndPassesOnlyOnTheProvidersYes) {
  EXPECT_EQ(SiteverifyBody("1x0AA", "a+b/c=&d", "2001:db8::1"),
            "secret=1x0AA&response=a%2Bb%2Fc%3D%26d&remoteip=2001%3Adb8%3A%3A1");
  EXPECT_EQ(SiteverifyBody("s", "t", ""), "secret=s&response=t");
  CaptchaSettings strict;
  strict.min_score = 0.5;
  strict.expected_hostname = "www.example.com";
  const struct {
    std::string body;
    bool strict;
    CaptchaVerdict verdict;
    std::string codes;
    std::string detail;
  } cases[] = {
      {R"({"success":true})", false, CaptchaVerdict::kPassed, "", ""},
      {R"({"success":true,"score":0.9,"hostname":"WWW.example.com"})", true, CaptchaVerdict::kPassed, "", ""},
      {R"({"success":false,"error-codes":["invalid-input-secret","x y\n"]})", false,
       CaptchaVerdict::kDeclined, "invalid-input-secret,x?y?", "success is not true"},
      {R"({"success":"true"})", false, CaptchaVerdict::kDeclined, "", "success is not true"},
      {R"({"error-codes":[]})", false, CaptchaVerdict::kDeclined, "", "success is not true"},
      {R"({"success":true,"score":0.3,"hostname":"www.example.com"})", true, CaptchaVerdict::kDeclined, "",
       "score 0.30 below 0.50"},
      {R"({"success":true,"hostname":"www.example.com"})", true, CaptchaVerdict::kDeclined, "",
       "score missing below 0.50"},
      {R"({"success":true,"score":1,"hostname":"evil.example"})", true, CaptchaVerdict::kDeclined, "",
       "hostname evil.example"},
      {R"({"success":true,"score":1})", true, CaptchaVerdict::kDeclined, "", "hostname missing"},
      {"<html>success</html>", false, CaptchaVerdict::kUnavailable, "", "not a JSON object"},
      {"true", false, CaptchaVerdict::kUnavailable, "", "not a JSON object"},
      {std::string(100000, '['), false, CaptchaVerdict::kUnavailable, "", "not a JSON object"},
  };
  for (const auto& c : cases) {
    const SiteverifyVerdict verdict = ReadSiteverifyAnswer(c.body, c.strict ? strict : CaptchaSettings{});
    EXPECT_EQ(VerdictName(verdict.verdict), VerdictName(c.verdict)) << c.body.substr(0, 100);
    EXPECT_EQ(verdict.error_codes, c.codes) << c.body.substr(0, 100);
    EXPECT_EQ(verdict.detail, c.detail) << c.body.substr(0, 100);
  }
}

}  // namespace
}  // namespace quillo
