// POSIX sockets behind the network seam; see net.h.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/net.h"
#include "platform/posix_retry.h"

namespace quillo::platform {
namespace {

sockaddr_in SocketAddress(Ipv4Address address, std::uint16_t port) {
  sockaddr_in socket_address{};
  socket_address.sin_family = AF_INET;
  socket_address.sin_port = htons(port);
  socket_address.sin_addr.s_addr = address.network_order;
  return socket_address;
}

// poll() takes an int; longer waits are cut to the largest it accepts.
int PollTimeout(std::uint32_t timeout_ms) {
  return timeout_ms > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(timeout_ms);
}

bool SetBlocking(SocketHandle socket, bool blocking) {
  const int flags = fcntl(socket, F_GETFL, 0);
  if (flags < 0) return false;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return fcntl(socket, F_SETFL, wanted) == 0;
}

// What errno says, as a cause and the system's words.
NetStatus SystemError(int error) {
  NetError kind = NetError::kOther;
  switch (error) {
    case ETIMEDOUT:
      kind = NetError::kTimeout;
      break;
    case ECONNREFUSED:
      kind = NetError::kRefused;
      break;
    case ECONNRESET:
    case EPIPE:
    case ECONNABORTED:
      kind = NetError::kReset;
      break;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EADDRNOTAVAIL:
    case ENETDOWN:
      kind = NetError::kUnreachable;
      break;
    default:
      break;
  }
  return {kind, std::strerror(error)};
}

NetStatus TimedOut() { return {NetError::kTimeout, "timed out"}; }

// Waits for a non-blocking connect to finish and reports its outcome.
NetStatus AwaitConnect(SocketHandle socket, std::uint32_t timeout_ms) {
  pollfd watch{socket, POLLOUT, 0};
  const int ready = RetryOnInterrupt([&] { return poll(&watch, 1, PollTimeout(timeout_ms)); });
  if (ready < 0) return SystemError(errno);
  if (ready == 0) return TimedOut();
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return SystemError(errno);
  return error == 0 ? NetStatus{} : SystemError(error);
}

// The first IPv4 address the system's name lookup gives for host.
NetStatus LookUpName(const std::string& host, Ipv4Address& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int failed = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (failed != 0) {
    const bool missing = failed == EAI_NONAME || failed == EAI_NODATA || failed == EAI_ADDRFAMILY;
    return {missing ? NetError::kNotFound : NetError::kOther, gai_strerror(failed)};
  }
  NetStatus status{NetError::kNotFound, "no IPv4 address"};
  for (const addrinfo* entry = found; entry != nullptr && !status.ok(); entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
      address = Ipv4Address{reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr};
      status = {};
    }
  }
  freeaddrinfo(found);
  return status;
}

}  // namespace

NetStatus LookUpIPv4(const std::string& host, Ipv4Address& address) {
  in_addr dotted{};
  if (inet_pton(AF_INET, host.c_str(), &dotted) == 1) {
    address = Ipv4Address{dotted.s_addr};
    return {};
  }
  return LookUpName(host, address);
}

NetStatus OpenTcpSocket(SocketHandle& socket_handle) {
  const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) return SystemError(errno);
  // Every write is a whole command or the whole message; holding back the
  // short end-of-data mark until the peer acknowledges the message (Nagle
  // against a delayed ACK) would cost some 40 ms per recipient.
  const int on = 1;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  socket_handle = handle;
  return {};
}

NetStatus BindTo(SocketHandle socket, Ipv4Address address) {
  const sockaddr_in local = SocketAddress(address, 0);
  if (bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return SystemError(errno);
  return {};
}

NetStatus ConnectTo(SocketHandle socket, Ipv4Address address, std::uint16_t port, std::uint32_t timeout_ms) {
  const sockaddr_in target = SocketAddress(address, port);
  if (!SetBlocking(socket, false)) return SystemError(errno);
  const int started = connect(socket, reinterpret_cast<const sockaddr*>(&target), sizeof target);
  if (started != 0) {
    if (errno != EINPROGRESS) return SystemError(errno);
    NetStatus made = AwaitConnect(socket, timeout_ms);
    if (!made.ok()) return made;
  }
  if (!SetBlocking(socket, true)) return SystemError(errno);
  return {};
}

NetStatus SendAll(SocketHandle socket, std::string_view bytes, std::uint32_t timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!bytes.empty()) {
    // MSG_NOSIGNAL: a closed peer is a failed send, never a SIGPIPE.
    const ssize_t sent = RetryOnInterrupt(
        [&] { return send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT); });
    if (sent >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) return SystemError(errno);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return TimedOut();
    pollfd watch{socket, POLLOUT, 0};
    const auto wait_ms = PollTimeout(static_cast<std::uint32_t>(left));
    if (RetryOnInterrupt([&] { return poll(&watch, 1, wait_ms); }) < 0) return SystemError(errno);
  }
  return {};
}

NetStatus WaitReadable(SocketHandle socket, std::uint32_t timeout_ms) {
  pollfd watch{socket, POLLIN, 0};
  const int ready = RetryOnInterrupt([&] { return poll(&watch, 1, PollTimeout(timeout_ms)); });
  if (ready < 0) return SystemError(errno);
  if (ready == 0) return TimedOut();
  // A hang-up or error still lets recv() report the close or the failure.
  return {};
}

NetStatus Receive(SocketHandle socket, std::string& bytes, std::size_t max_bytes) {
  const std::size_t old_size = bytes.size();
  bytes.resize(old_size + max_bytes);
  const ssize_t got = RetryOnInterrupt([&] { return recv(socket, bytes.data() + old_size, max_bytes, 0); });
  const int error = errno;
  bytes.resize(old_size + (got > 0 ? static_cast<std::size_t>(got) : 0));
  if (got < 0) return SystemError(error);
  if (got == 0) return {NetError::kClosed, "the server closed the connection"};
  return {};
}

std::string LocalAddressLiteral(SocketHandle socket) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.sin_family != AF_INET) {
    return {};
  }
  char dotted[INET_ADDRSTRLEN] = {};  // fixed by the address family, not by input
  if (inet_ntop(AF_INET, &local.sin_addr, dotted, sizeof dotted) == nullptr) return {};
  return std::string("[") + dotted + "]";
}

void CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) close(socket);
}

std::string LocalHostName() {
  // POSIX host names are at most HOST_NAME_MAX bytes; one more for the NUL.
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string CanonicalHostName() {
  const std::string name = LocalHostName();
  if (name.empty()) return {};
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return {};
  std::string canonical = found->ai_canonname != nullptr ? found->ai_canonname : "";
  freeaddrinfo(found);
  return canonical;
}

}  // namespace quillo::platform
