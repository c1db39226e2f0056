// Where a finished message goes: each transport takes the message text and
// its envelope and says which recipients it could not hand the mail to. The
// SMTP transport delivers to mail hosts itself; the sendmail transport gives
// the message to the local mail system, which queues it. Another (a store
// of submissions, a webhook) is one more class behind this interface.
#pragma once

#include <memory>
#include <string>

#include "core/text.h"
#include "delivery/outgoing_mail.h"

namespace quillo {

class Transport {
 public:
  virtual ~Transport() = default;
  // Hands text, header lines and body, to every recipient from sender.
  virtual MailResult Deliver(std::string text, const std::string& sender, const TextList& recipients) = 0;
};

// The transport the plan's settings choose: SMTP unless they name sendmail.
std::unique_ptr<Transport> TransportFor(const DeliveryPlan& plan);

}  // namespace quillo
