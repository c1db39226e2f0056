// The spam check of a post, as the site's [captcha] section asks: the
// site's own challenge (issued by the program, checked against the state
// file of spent challenges) or a hosted provider's verification over
// HTTPS. Every doubt refuses: a check that cannot be made is failed.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "captcha/altcha.h"
#include "captcha/captcha_settings.h"
#include "core/system.h"

namespace quillo {

// A fresh challenge as its JSON text: a random salt and number, expiring
// altcha_expires_seconds after now.
std::string IssueAltchaChallenge(const CaptchaSettings& settings, std::time_t now);

struct CaptchaOutcome {
  CaptchaVerdict verdict = CaptchaVerdict::kMissing;
  std::string error_codes;  // the provider's, joined with ","
  std::string detail;       // what else the log should say
};

// Checks the answer field's value. The site's own challenge is marked spent
// in the file at spent_path only once it verified; a file that cannot be
// used refuses the post (kUnavailable), as a replay could not be told.
CaptchaOutcome CheckCaptcha(const CaptchaSettings& settings, const std::string& spent_path,
                            std::string_view answer, std::string_view remote_addr, System& system);

}  // namespace quillo
