// What the run tells delivery beyond a message's described arguments, and
// what delivery tells the run back for its log line.
#pragma once

#include <string>

namespace quillo {

// Where the last failed delivery attempt stopped.
struct DeliveryNote {
  std::string step;   // "connect", "HELO", "RCPT", ...
  std::string host;   // the mail host it was talking to
  std::string reply;  // the first line of the server's last reply
};

struct MailExtras {
  std::string reply_to;             // the visitor's address when the site sends as itself
  DeliveryNote* failure = nullptr;  // filled when an attempt fails
};

}  // namespace quillo
