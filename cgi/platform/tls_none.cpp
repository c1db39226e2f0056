// TLS for a build without a TLS library (Windows); see tls.h. Every session
// is refused with the one reason, which reaches the run's log line as the
// reply of its TLS step: a site whose settings ask for TLS learns that this
// program cannot give it, and no mail goes out in plain text instead.
#include "platform/tls.h"

namespace quillo::platform {

// Never made: StartTls refuses before one could exist.
class TlsSession {};

void TlsSessionDeleter::operator()(TlsSession* session) const { delete session; }

bool TlsAvailable() { return false; }

TlsSessionPtr StartTls(SocketHandle /*socket*/, const TlsOptions& /*options*/, std::uint32_t /*timeout_ms*/,
                       std::string& error) {
  error = "this build of quillopro.exe has no TLS";
  return nullptr;
}

bool TlsSendAll(TlsSession& /*session*/, std::string_view /*bytes*/, std::uint32_t /*timeout_ms*/) {
  return false;
}

Readiness TlsWaitReadable(TlsSession& /*session*/, std::uint32_t /*timeout_ms*/) {
  return Readiness::kFailed;
}

ReceiveStatus TlsReceive(TlsSession& /*session*/, std::string& /*bytes*/, std::size_t /*max_bytes*/) {
  return ReceiveStatus::kFailed;
}

}  // namespace quillo::platform
