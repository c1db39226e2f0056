// Mail delivery for a run: builds the message text of one mail once (with
// a Message-ID and a DKIM signature where the plan asks for them) and hands
// it to the transport the plan's settings choose. Nothing here stops the
// run; a refusal is the answer "NO" and a note per undelivered recipient.
#pragma once

#include "delivery/outgoing_mail.h"

namespace quillo {

MailResult sendMail(OutgoingMail mail, const DeliveryPlan& plan);

}  // namespace quillo
