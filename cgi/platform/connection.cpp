// TCP connections behind the Connection interface; see connection.h.
#include "platform/connection.h"

#include <utility>

namespace quillo::platform {
namespace {

// The bytes' path: the socket itself, or a TLS session over it. The
// connection swaps one for the other at StartTls, so that nothing above
// it asks which is in use.
class Stream {
 public:
  virtual ~Stream() = default;
  virtual NetStatus Send(std::string_view bytes, std::uint32_t timeout_ms) = 0;
  virtual NetStatus WaitReadable(std::uint32_t timeout_ms) = 0;
  virtual NetStatus Receive(std::string& bytes, std::size_t max_bytes) = 0;
};

class PlainStream final : public Stream {
 public:
  explicit PlainStream(SocketHandle socket) : socket_(socket) {}
  NetStatus Send(std::string_view bytes, std::uint32_t timeout_ms) override {
    return SendAll(socket_, bytes, timeout_ms);
  }
  NetStatus WaitReadable(std::uint32_t timeout_ms) override {
    return platform::WaitReadable(socket_, timeout_ms);
  }
  NetStatus Receive(std::string& bytes, std::size_t max_bytes) override {
    return platform::Receive(socket_, bytes, max_bytes);
  }

 private:
  SocketHandle socket_;
};

class TlsStream final : public Stream {
 public:
  explicit TlsStream(TlsSessionPtr session) : session_(std::move(session)) {}
  NetStatus Send(std::string_view bytes, std::uint32_t timeout_ms) override {
    return TlsSendAll(*session_, bytes, timeout_ms);
  }
  NetStatus WaitReadable(std::uint32_t timeout_ms) override { return TlsWaitReadable(*session_, timeout_ms); }
  NetStatus Receive(std::string& bytes, std::size_t max_bytes) override {
    return TlsReceive(*session_, bytes, max_bytes);
  }

 private:
  TlsSessionPtr session_;
};

class TcpConnection final : public Connection {
 public:
  explicit TcpConnection(SocketHandle socket)
      : socket_(socket), stream_(std::make_unique<PlainStream>(socket)) {}
  ~TcpConnection() override {
    stream_.reset();  // the TLS session first: it refers to the socket
    CloseSocket(socket_);
  }
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  NetStatus Send(std::string_view bytes, std::uint32_t timeout_ms) override {
    return stream_->Send(bytes, timeout_ms);
  }
  NetStatus WaitReadable(std::uint32_t timeout_ms) override { return stream_->WaitReadable(timeout_ms); }
  NetStatus Receive(std::string& bytes, std::size_t max_bytes) override {
    return stream_->Receive(bytes, max_bytes);
  }
  NetStatus StartTls(const TlsOptions& options, std::uint32_t timeout_ms) override {
    TlsSessionPtr session;
    NetStatus status = platform::StartTls(socket_, options, timeout_ms, session);
    if (status.ok()) {
      stream_ = std::make_unique<TlsStream>(std::move(session));
      encrypted_ = true;
    }
    return status;
  }
  bool Encrypted() const override { return encrypted_; }
  std::string LocalAddressLiteral() const override { return platform::LocalAddressLiteral(socket_); }

 private:
  SocketHandle socket_;
  std::unique_ptr<Stream> stream_;
  bool encrypted_ = false;
};

}  // namespace

OpenedConnection OpenTcpConnection(const std::string& host, std::uint16_t port,
                                   const std::string& local_address, std::uint32_t timeout_ms) {
  OpenedConnection opened;
  Ipv4Address target;
  opened.status = ResolveIPv4(host, target);
  if (!opened.status.ok()) return opened;
  SocketHandle socket = kNoSocket;
  opened.status = OpenTcpSocket(socket);
  if (!opened.status.ok()) return opened;
  auto connection = std::make_unique<TcpConnection>(socket);
  if (!local_address.empty()) {
    // Stock Debian maps the host name to 127.0.1.1, and a web server's name
    // may be "_" or an address of a router in front of it.
    Ipv4Address local;
    NetStatus usable = ResolveIPv4(local_address, local);
    if (usable.ok() && IsLoopback(local) && !IsLoopback(target))
      usable = {NetError::kUnreachable, "a loopback address reaches no other host"};
    if (usable.ok()) usable = BindTo(socket, local);
    if (!usable.ok()) {
      opened.status = {usable.error, "local address " + local_address + " cannot reach " + host};
      opened.local_address_unusable = true;
      return opened;
    }
  }
  opened.status = ConnectTo(socket, target, port, timeout_ms);
  if (opened.status.ok()) opened.connection = std::move(connection);
  return opened;
}

}  // namespace quillo::platform
