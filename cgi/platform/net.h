// The seam between mail delivery and the operating system's network: IPv4
// TCP sockets with bounded waits, and the system resolver's MX query.
// Protocol code reaches the network through connection.h, which is built on
// these declarations; socket_posix.cpp and resolver_posix.cpp implement them
// for POSIX systems, socket_win32.cpp and resolver_win32.cpp for Windows.
//
// Sockets are plain handles; the caller owns one from OpenTcpSocket until it
// hands it to CloseSocket. Every call that can fail says why (NetStatus).
// No call here keeps state between calls but the name lookups' memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillo::platform {

#ifdef _WIN32
// A Windows SOCKET: an unsigned integer as wide as a pointer, none being
// INVALID_SOCKET (all bits set). Spelled here without <winsock2.h>, so that
// the layers above include no system header through this one.
using SocketHandle = std::uintptr_t;
constexpr SocketHandle kNoSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
#endif

// An IPv4 address in network byte order.
struct Ipv4Address {
  std::uint32_t network_order = 0;
};

// Why a network call failed, as far as delivery tells causes apart, and
// the system's own words for it.
enum class NetError {
  kNone,
  kTimeout,      // the wait's bound ran out
  kRefused,      // nobody listens there
  kReset,        // the peer broke the connection off
  kClosed,       // the peer closed the connection in order
  kNotFound,     // the host name does not exist
  kUnreachable,  // no route, or no usable local address
  kTls,          // the TLS handshake or a TLS record failed
  kCertificate,  // the server's certificate does not verify
  kOther,
};

struct NetStatus {
  NetError error = NetError::kNone;
  std::string text;  // the system's message; empty when all went well
  bool ok() const { return error == NetError::kNone; }
};

// One word for the log: "timeout", "refused", "reset", "closed",
// "not-found", "unreachable", "tls", "certificate", "other"; "" for none.
inline std::string_view NetErrorName(NetError error) {
  switch (error) {
    case NetError::kNone:
      return "";
    case NetError::kTimeout:
      return "timeout";
    case NetError::kRefused:
      return "refused";
    case NetError::kReset:
      return "reset";
    case NetError::kClosed:
      return "closed";
    case NetError::kNotFound:
      return "not-found";
    case NetError::kUnreachable:
      return "unreachable";
    case NetError::kTls:
      return "tls";
    case NetError::kCertificate:
      return "certificate";
    case NetError::kOther:
      break;
  }
  return "other";
}

// The address of a dotted quad, else the first IPv4 address name resolution
// gives for the name, looked up once a run (a failure too). An empty name
// resolves to nothing without asking the resolver. Portable (net.cpp).
NetStatus ResolveIPv4(const std::string& host, Ipv4Address& address);

// The same without the memory: the back end's own reading of a dotted quad
// and its own name lookup, asked every time.
NetStatus LookUpIPv4(const std::string& host, Ipv4Address& address);

// Whether the address is in 127.0.0.0/8, which reaches this machine only.
inline bool IsLoopback(Ipv4Address address) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address.network_order);
  return bytes[0] == 127;
}

// A new IPv4 TCP stream socket.
NetStatus OpenTcpSocket(SocketHandle& socket);

// Binds the socket to address with an ephemeral port.
NetStatus BindTo(SocketHandle socket, Ipv4Address address);

// Connects to address:port, waiting at most timeout_ms for the handshake.
NetStatus ConnectTo(SocketHandle socket, Ipv4Address address, std::uint16_t port, std::uint32_t timeout_ms);

// Sends all bytes within timeout_ms in all, so that a peer which reads
// slowly or not at all cannot hold the run.
NetStatus SendAll(SocketHandle socket, std::string_view bytes, std::uint32_t timeout_ms);

// Waits until data (or the peer's close) can be read, at most timeout_ms;
// kTimeout when nothing came.
NetStatus WaitReadable(SocketHandle socket, std::uint32_t timeout_ms);

// Receives what is there, at most max_bytes, appending it to bytes (maybe
// nothing); kClosed once the peer has closed.
NetStatus Receive(SocketHandle socket, std::string& bytes, std::size_t max_bytes);

// The local end of a connected socket as an address literal, "[a.b.c.d]";
// empty when it cannot be read.
std::string LocalAddressLiteral(SocketHandle socket);

void CloseSocket(SocketHandle socket);

// The machine's host name, as the socket layer tells it; empty when it
// cannot be read.
std::string LocalHostName();

// The machine's name as the system's name lookup gives it in full (the
// canonical name of the host name, "www.example.com" where /etc/hosts says
// "127.0.1.1 www.example.com www"); empty when it has none.
std::string CanonicalHostName();

// One resource record of a DNS answer, as far as mail routing needs it.
struct DnsRecord {
  int type = 0;                  // RR type; kDnsTypeMx for mail exchangers
  std::uint16_t preference = 0;  // MX only: lower is better
  std::string exchange;          // MX only: the exchange host name
};
constexpr int kDnsTypeMx = 15;  // RFC 1035, section 3.2.2

// The answer section of a DNS response message, records in message order;
// nothing when the message is malformed. Pure: it only reads the bytes.
std::optional<std::vector<DnsRecord>> ParseDnsAnswer(std::string_view message);

// Asks the system's resolver (its own configuration) for the MX records of
// domain, passed unchanged. Nothing on any error, including a name that does
// not exist and a name without MX records.
std::optional<std::vector<DnsRecord>> QueryMx(const std::string& domain);

}  // namespace quillo::platform
