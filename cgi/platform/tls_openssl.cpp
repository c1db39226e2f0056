// TLS sessions with OpenSSL; see tls.h. The socket stays non-blocking for
// the session's life, so that every wait is a poll() with the caller's
// bound, as on the plain socket.
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/posix_retry.h"
#include "platform/tls.h"

namespace quillo::platform {

class TlsSession {
 public:
  SSL_CTX* context = nullptr;
  SSL* ssl = nullptr;
  SocketHandle socket = kNoSocket;
};

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

std::string LastError(const char* what) {
  const unsigned long code = ERR_get_error();
  char text[256] = {};  // OpenSSL's own bound for an error string
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  return code != 0 ? std::string(what) + ": " + text : std::string(what);
}

// Why an SSL call that returned result failed: the peer's close, the
// system's error under it, or TLS itself.
NetStatus SslError(const TlsSession& session, int result, const char* what) {
  const int saved_errno = errno;
  switch (SSL_get_error(session.ssl, result)) {
    case SSL_ERROR_ZERO_RETURN:
      return {NetError::kClosed, "the server closed the connection"};
    case SSL_ERROR_SYSCALL:
      if (saved_errno == ECONNRESET || saved_errno == EPIPE)
        return {NetError::kReset, std::strerror(saved_errno)};
      if (saved_errno == 0) return {NetError::kClosed, "the server closed the connection"};
      return {NetError::kOther, std::strerror(saved_errno)};
    default:
      return {NetError::kTls, LastError(what)};
  }
}

// Waits for what the last SSL call asked for; an error once the time is up
// or when the call failed for another reason.
NetStatus AwaitWant(const TlsSession& session, int result, Clock::time_point deadline, const char* what) {
  const int reason = SSL_get_error(session.ssl, result);
  if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE) return SslError(session, result, what);
  const int left = MillisecondsLeft(deadline);
  if (left == 0) return {NetError::kTimeout, "timed out"};
  pollfd watch{session.socket, static_cast<short>(reason == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
  const int ready = RetryOnInterrupt([&] { return poll(&watch, 1, left); });
  if (ready < 0) return {NetError::kOther, std::strerror(errno)};
  if (ready == 0) return {NetError::kTimeout, "timed out"};
  return {};
}

Clock::time_point After(std::uint32_t timeout_ms) {
  return Clock::now() + std::chrono::milliseconds(timeout_ms);
}

bool MakeNonBlocking(SocketHandle socket) {
  const int flags = fcntl(socket, F_GETFL, 0);
  return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

void TlsSessionDeleter::operator()(TlsSession* session) const {
  if (session == nullptr) return;
  if (session->ssl != nullptr) SSL_free(session->ssl);
  if (session->context != nullptr) SSL_CTX_free(session->context);
  delete session;
}

NetStatus StartTls(SocketHandle socket, const TlsOptions& options, std::uint32_t timeout_ms,
                   TlsSessionPtr& result) {
  TlsSessionPtr session(new TlsSession);
  session->socket = socket;
  session->context = SSL_CTX_new(TLS_client_method());
  if (session->context == nullptr || !MakeNonBlocking(socket))
    return {NetError::kTls, LastError("cannot set up TLS")};
  SSL_CTX_set_min_proto_version(session->context, TLS1_2_VERSION);
  if (options.verify) {
    SSL_CTX_set_verify(session->context, SSL_VERIFY_PEER, nullptr);
    const bool loaded =
        options.ca_file.empty()
            ? SSL_CTX_set_default_verify_paths(session->context) == 1
            : SSL_CTX_load_verify_locations(session->context, options.ca_file.c_str(), nullptr) == 1;
    if (!loaded)
      return {NetError::kCertificate,
              LastError(("cannot read the CA certificates " + options.ca_file).c_str())};
  }
  session->ssl = SSL_new(session->context);
  if (session->ssl == nullptr || SSL_set_fd(session->ssl, socket) != 1 ||
      SSL_set_tlsext_host_name(session->ssl, options.server_name.c_str()) != 1 ||
      (options.verify && SSL_set1_host(session->ssl, options.server_name.c_str()) != 1)) {
    return {NetError::kTls, LastError("cannot set up TLS")};
  }
  const Clock::time_point deadline = After(timeout_ms);
  NetStatus waited;
  while (true) {
    ERR_clear_error();
    errno = 0;
    const int done = SSL_connect(session->ssl);
    if (done == 1) {
      result = std::move(session);
      return {};
    }
    waited = AwaitWant(*session, done, deadline, "TLS handshake failed");
    if (!waited.ok()) break;
  }
  const long verified = SSL_get_verify_result(session->ssl);
  if (options.verify && verified != X509_V_OK)
    return {NetError::kCertificate,
            std::string("certificate not accepted: ") + X509_verify_cert_error_string(verified)};
  return waited;
}

NetStatus TlsSendAll(TlsSession& session, std::string_view bytes, std::uint32_t timeout_ms) {
  const Clock::time_point deadline = After(timeout_ms);
  while (!bytes.empty()) {
    const int chunk = bytes.size() > INT_MAX ? INT_MAX : static_cast<int>(bytes.size());
    ERR_clear_error();
    errno = 0;
    const int written = SSL_write(session.ssl, bytes.data(), chunk);
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    NetStatus waited = AwaitWant(session, written, deadline, "TLS write failed");
    if (!waited.ok()) return waited;
  }
  return {};
}

NetStatus TlsWaitReadable(TlsSession& session, std::uint32_t timeout_ms) {
  if (SSL_pending(session.ssl) > 0) return {};
  return WaitReadable(session.socket, timeout_ms);
}

NetStatus TlsReceive(TlsSession& session, std::string& bytes, std::size_t max_bytes) {
  const std::size_t old_size = bytes.size();
  bytes.resize(old_size + max_bytes);
  const int asked = max_bytes > INT_MAX ? INT_MAX : static_cast<int>(max_bytes);
  ERR_clear_error();
  errno = 0;
  const int got = SSL_read(session.ssl, bytes.data() + old_size, asked);
  bytes.resize(old_size + (got > 0 ? static_cast<std::size_t>(got) : 0));
  if (got > 0) return {};
  const int reason = SSL_get_error(session.ssl, got);
  // Readable socket, but no whole record yet: nothing to hand over, not a close.
  if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) return {};
  return SslError(session, got, "TLS read failed");
}

}  // namespace quillo::platform
