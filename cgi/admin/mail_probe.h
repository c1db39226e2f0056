// `quillo check --connect` and `quillo send-test`: the site's own way out,
// tried by hand. Each prints the server's replies step by step through
// print, and answers with the exit status the command returns (0 when it
// went through, 2 when it did not).
#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "delivery/outgoing_mail.h"
#include "settings/site_settings.h"

namespace quillo {

using PrintLine = std::function<void(const std::string& line)>;

// The host mail goes to: the [smtp] host, else the [site] server; empty
// when the settings name none (each form's QUILLO_SERVER or the recipient's
// MX then decides).
std::string RelayOf(const SiteSettings& site);

// The plan the CGI program would make for a post of this site, with a
// transcript that prints each reply.
DeliveryPlan PlanForSite(const SiteSettings& site, const std::string& greeting_name, std::time_t now,
                         const PrintLine& print);

// Connect, greet, STARTTLS with the certificate checked and AUTH as the
// settings ask, then QUIT: no mail.
int ProbeRelay(const SiteSettings& site, const DeliveryPlan& plan, const PrintLine& print);

// One test mail to address through the configured transport.
int SendTestMail(const SiteSettings& site, const DeliveryPlan& plan, const std::string& address,
                 const std::string& date, const PrintLine& print);

}  // namespace quillo
