// The local mail system: the message goes to its submission command
// ("sendmail -i -f SENDER -- RECIPIENT..."), which queues it and retries
// for us, so what the command takes is delivered as far as the run is
// concerned.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "delivery/transport.h"

namespace quillo {

class SendmailTransport : public Transport {
 public:
  SendmailTransport(std::string program, std::uint32_t timeout_ms,
                    std::optional<std::chrono::steady_clock::time_point> deadline)
      : program_(std::move(program)), timeoutMs_(timeout_ms), deadline_(deadline) {}

  MailResult Deliver(std::string text, const std::string& sender, const TextList& recipients) override;

 private:
  std::string program_;
  std::uint32_t timeoutMs_;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
};

}  // namespace quillo
