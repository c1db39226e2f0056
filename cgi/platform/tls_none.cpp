// TLS for a build without a TLS library (Windows); see tls.h. Every session
// is refused with the one reason, which reaches the run's log line as the
// reply of its TLS step: a site whose settings ask for TLS learns that this
// program cannot give it, and no mail goes out in plain text instead.
#include "platform/tls.h"

namespace quillo::platform {
namespace {

NetStatus NoTls() { return {NetError::kTls, "this build of quillopro.exe has no TLS"}; }

}  // namespace

// Never made: StartTls refuses before one could exist.
class TlsSession {};

void TlsSessionDeleter::operator()(TlsSession* session) const { delete session; }

NetStatus StartTls(SocketHandle /*socket*/, const TlsOptions& /*options*/, std::uint32_t /*timeout_ms*/,
                   TlsSessionPtr& /*session*/) {
  return NoTls();
}

NetStatus TlsSendAll(TlsSession& /*session*/, std::string_view /*bytes*/, std::uint32_t /*timeout_ms*/) {
  return NoTls();
}

NetStatus TlsWaitReadable(TlsSession& /*session*/, std::uint32_t /*timeout_ms*/) { return NoTls(); }

NetStatus TlsReceive(TlsSession& /*session*/, std::string& /*bytes*/, std::size_t /*max_bytes*/) {
  return NoTls();
}

}  // namespace quillo::platform
