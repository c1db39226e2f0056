// One run of the CGI program, in its fixed order: intake, the numbered
// checks, defaults, debug report, allow-list, field pass, sender, subject,
// reject list, bodies, the main mail, the automatic reply and the answer.
#pragma once

#include <string>
#include <string_view>

#include "core/form_request.h"
#include "core/system.h"
#include "delivery/outgoing_mail.h"

namespace quillo {

constexpr std::string_view kDefaultSubject = "Tessik Quillo! Pro Web-Form Message";

// What one post may make the program send. Every recipient is its own SMTP
// transaction, so without a bound a single post of 100 KB makes thousands;
// a form's own recipients are few, and a visitor names one address or two
// for the reply.
constexpr std::size_t kMaxRecipients = 100;
constexpr std::size_t kMaxReplyRecipients = 10;

// Runs the request the process was started for, reaching the operating
// system only through system and mail only through send_mail. Never
// returns: every way out throws RunEnded with the complete response.
[[noreturn]] void RunRequest(std::string_view argv0, System& system, const MailSender& send_mail);

}  // namespace quillo
