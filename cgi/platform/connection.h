// One client connection to a server, plain or TLS: the protocol code above
// sends and receives through it and never asks which. StartTls upgrades the
// connection in place (STARTTLS); every call after it goes through TLS.
//
// Every wait is bounded by the caller's time-out, and every failure says
// why (NetStatus). A fake Connection lets protocol tests script a server,
// its TLS upgrade included, without a network.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/net.h"
#include "platform/tls.h"

namespace quillo::platform {

class Connection {
 public:
  virtual ~Connection() = default;

  // All bytes within timeout_ms in all.
  virtual NetStatus Send(std::string_view bytes, std::uint32_t timeout_ms) = 0;
  // Data (or the peer's close) can be read, within timeout_ms; kTimeout when
  // nothing came.
  virtual NetStatus WaitReadable(std::uint32_t timeout_ms) = 0;
  // What is there, at most max_bytes, appended to bytes (maybe nothing);
  // kClosed once the peer has closed.
  virtual NetStatus Receive(std::string& bytes, std::size_t max_bytes) = 0;
  // The TLS client handshake on this connection; on failure the connection
  // is of no further use.
  virtual NetStatus StartTls(const TlsOptions& options, std::uint32_t timeout_ms) = 0;
  virtual bool Encrypted() const = 0;
  // The local end as an address literal, "[a.b.c.d]"; empty when unknown.
  virtual std::string LocalAddressLiteral() const = 0;
};

struct OpenedConnection {
  std::unique_ptr<Connection> connection;  // null on failure
  NetStatus status;
  // The local address could not carry the connection (it does not
  // resolve, is on no interface, or is loopback while the host is not):
  // nothing was tried on the network.
  bool local_address_unusable = false;
};

// A TCP connection to host:port, bound to local_address unless it is empty,
// the handshake within timeout_ms.
OpenedConnection OpenTcpConnection(const std::string& host, std::uint16_t port,
                                   const std::string& local_address, std::uint32_t timeout_ms);

}  // namespace quillo::platform
