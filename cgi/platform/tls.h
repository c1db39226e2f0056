// The seam between mail delivery and TLS: a client session over a connected
// socket, with the same bounded waits as the plain socket calls (net.h).
// tls_openssl.cpp implements it with OpenSSL, tls_schannel.cpp with
// Windows' SChannel; both refuse a certificate in the same words.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/net.h"

namespace quillo::platform {

class TlsSession;

struct TlsSessionDeleter {
  void operator()(TlsSession* session) const;
};
using TlsSessionPtr = std::unique_ptr<TlsSession, TlsSessionDeleter>;

struct TlsOptions {
  std::string server_name;  // sent as SNI and, when verifying, checked against the certificate
  bool verify = true;       // the chain against ca_file, else the system's store
  std::string ca_file;
};

// The client handshake on a connected socket, within timeout_ms. On
// failure no session, and the status says why: kCertificate for a
// certificate that does not verify, kTls for a broken handshake, kTimeout.
NetStatus StartTls(SocketHandle socket, const TlsOptions& options, std::uint32_t timeout_ms,
                   TlsSessionPtr& session);

NetStatus TlsSendAll(TlsSession& session, std::string_view bytes, std::uint32_t timeout_ms);

// Readable at once when decrypted bytes wait in the session.
NetStatus TlsWaitReadable(TlsSession& session, std::uint32_t timeout_ms);

NetStatus TlsReceive(TlsSession& session, std::string& bytes, std::size_t max_bytes);

}  // namespace quillo::platform
