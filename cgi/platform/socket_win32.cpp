// Windows Sockets behind the network seam; see net.h. Only calls of
// Windows Sockets 1.1 and the socket options every version has: the run
// starts the library asking for 1.1 (system_win32.cpp).
//
// A socket is made non-blocking for its connect and stays so: every wait is
// a select() with the caller's bound, and a send never blocks on a peer that
// stops reading.
#include <winsock2.h>
// winsock2.h first: it must come before windows.h, which ws2tcpip.h pulls in.
#include <ws2tcpip.h>

#include <chrono>
#include <climits>

#include "platform/net.h"
#include "platform/windows_message.h"

namespace quillo::platform {
namespace {

// The handle as Windows Sockets spells it.
SOCKET Native(SocketHandle socket) { return static_cast<SOCKET>(socket); }

sockaddr_in SocketAddress(Ipv4Address address, std::uint16_t port) {
  sockaddr_in socket_address{};
  socket_address.sin_family = AF_INET;
  socket_address.sin_port = htons(port);
  socket_address.sin_addr.s_addr = address.network_order;
  return socket_address;
}

// select() takes seconds and microseconds in longs.
timeval SelectTimeout(std::uint32_t timeout_ms) {
  timeval wait{};
  wait.tv_sec = static_cast<long>(timeout_ms / 1000);
  wait.tv_usec = static_cast<long>((timeout_ms % 1000) * 1000);
  return wait;
}

bool SetBlocking(SocketHandle socket, bool blocking) {
  u_long non_blocking = blocking ? 0 : 1;
  return ioctlsocket(Native(socket), FIONBIO, &non_blocking) == 0;
}

// One socket in a set for select().
fd_set SetOf(SocketHandle socket) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Native(socket), &set);
  return set;
}

// What a Windows Sockets error code says, as a cause and the system's
// words for it.
NetStatus SystemError(int error) {
  NetError kind = NetError::kOther;
  switch (error) {
    case WSAETIMEDOUT:
      kind = NetError::kTimeout;
      break;
    case WSAECONNREFUSED:
      kind = NetError::kRefused;
      break;
    case WSAECONNRESET:
    case WSAECONNABORTED:
      kind = NetError::kReset;
      break;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAEADDRNOTAVAIL:
    case WSAENETDOWN:
      kind = NetError::kUnreachable;
      break;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
      kind = NetError::kNotFound;
      break;
    default:
      break;
  }
  std::string text = WindowsMessage(static_cast<unsigned long>(error));
  if (text.empty()) text = "error " + std::to_string(error);
  return {kind, std::move(text)};
}

NetStatus LastSocketError() { return SystemError(WSAGetLastError()); }

NetStatus TimedOut() { return {NetError::kTimeout, "timed out"}; }

// Waits for a non-blocking connect to finish: Windows reports a refused
// connection in the exception set, a made one in the write set; SO_ERROR
// says why in both.
NetStatus AwaitConnect(SocketHandle socket, std::uint32_t timeout_ms) {
  fd_set writable = SetOf(socket);
  fd_set failed = SetOf(socket);
  timeval wait = SelectTimeout(timeout_ms);
  // The first argument is ignored on Windows.
  const int ready = select(0, nullptr, &writable, &failed, &wait);
  if (ready == SOCKET_ERROR) return LastSocketError();
  if (ready == 0) return TimedOut();
  int error = 0;
  int length = sizeof error;
  if (getsockopt(Native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return LastSocketError();
  }
  if (error != 0) return SystemError(error);
  return FD_ISSET(Native(socket), &failed) ? NetStatus{NetError::kRefused, "connection failed"} : NetStatus{};
}

// The first IPv4 address the system's name lookup gives for host.
NetStatus LookUpName(const std::string& host, Ipv4Address& address) {
  const hostent* entry = gethostbyname(host.c_str());
  if (entry == nullptr) return LastSocketError();
  if (entry->h_addrtype != AF_INET || entry->h_length != sizeof(in_addr) || entry->h_addr_list == nullptr ||
      entry->h_addr_list[0] == nullptr) {
    return {NetError::kNotFound, "no IPv4 address"};
  }
  in_addr first{};
  memcpy(&first, entry->h_addr_list[0], sizeof first);
  address = Ipv4Address{first.s_addr};
  return {};
}

}  // namespace

NetStatus LookUpIPv4(const std::string& host, Ipv4Address& address) {
  // inet_addr answers INADDR_NONE both for a failure and for the one address
  // whose bits are all set.
  const unsigned long dotted = inet_addr(host.c_str());
  if (dotted != INADDR_NONE || host == "255.255.255.255") {
    address = Ipv4Address{static_cast<std::uint32_t>(dotted)};
    return {};
  }
  return LookUpName(host, address);
}

NetStatus OpenTcpSocket(SocketHandle& socket_handle) {
  const SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (handle == INVALID_SOCKET) return LastSocketError();
  // A program the run starts (process_win32.cpp) must not hold the
  // connection open after the run has closed it.
  SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
  // Every write is a whole command or the whole message; holding back the
  // short end-of-data mark until the peer acknowledges the message (Nagle
  // against a delayed ACK) would cost some 40 ms per recipient.
  const BOOL on = TRUE;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  socket_handle = static_cast<SocketHandle>(handle);
  return {};
}

NetStatus BindTo(SocketHandle socket, Ipv4Address address) {
  const sockaddr_in local = SocketAddress(address, 0);
  if (bind(Native(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) return {};
  return LastSocketError();
}

NetStatus ConnectTo(SocketHandle socket, Ipv4Address address, std::uint16_t port, std::uint32_t timeout_ms) {
  const sockaddr_in target = SocketAddress(address, port);
  if (!SetBlocking(socket, false)) return LastSocketError();
  if (connect(Native(socket), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) return {};
  if (WSAGetLastError() != WSAEWOULDBLOCK) return LastSocketError();
  return AwaitConnect(socket, timeout_ms);
}

NetStatus SendAll(SocketHandle socket, std::string_view bytes, std::uint32_t timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!bytes.empty()) {
    const int chunk = bytes.size() > INT_MAX ? INT_MAX : static_cast<int>(bytes.size());
    const int sent = send(Native(socket), bytes.data(), chunk, 0);
    if (sent != SOCKET_ERROR) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) return LastSocketError();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return TimedOut();
    fd_set writable = SetOf(socket);
    timeval wait = SelectTimeout(static_cast<std::uint32_t>(left));
    if (select(0, nullptr, &writable, nullptr, &wait) == SOCKET_ERROR) return LastSocketError();
  }
  return {};
}

NetStatus WaitReadable(SocketHandle socket, std::uint32_t timeout_ms) {
  fd_set readable = SetOf(socket);
  timeval wait = SelectTimeout(timeout_ms);
  const int ready = select(0, &readable, nullptr, nullptr, &wait);
  if (ready == SOCKET_ERROR) return LastSocketError();
  if (ready == 0) return TimedOut();
  // A close or a reset still lets recv() report the end or the failure.
  return {};
}

NetStatus Receive(SocketHandle socket, std::string& bytes, std::size_t max_bytes) {
  const std::size_t old_size = bytes.size();
  const int asked = max_bytes > INT_MAX ? INT_MAX : static_cast<int>(max_bytes);
  bytes.resize(old_size + static_cast<std::size_t>(asked));
  const int got = recv(Native(socket), bytes.data() + old_size, asked, 0);
  bytes.resize(old_size + (got > 0 ? static_cast<std::size_t>(got) : 0));
  if (got == SOCKET_ERROR) {
    // Readable, yet nothing to take: nothing received, and no end either.
    return WSAGetLastError() == WSAEWOULDBLOCK ? NetStatus{} : LastSocketError();
  }
  return got == 0 ? NetStatus{NetError::kClosed, "the server closed the connection"} : NetStatus{};
}

std::string LocalAddressLiteral(SocketHandle socket) {
  sockaddr_in local{};
  int length = sizeof local;
  if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
      local.sin_family != AF_INET) {
    return {};
  }
  const char* dotted = inet_ntoa(local.sin_addr);
  if (dotted == nullptr) return {};
  return std::string("[") + dotted + "]";
}

void CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) closesocket(Native(socket));
}

std::string LocalHostName() {
  // The buffer the program has always read the host name into; Windows
  // Sockets names are far shorter (at most 256 bytes only since version 2).
  char name[200] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string CanonicalHostName() {
  const std::string name = LocalHostName();
  const hostent* entry = name.empty() ? nullptr : gethostbyname(name.c_str());
  return entry != nullptr && entry->h_name != nullptr ? entry->h_name : "";
}

}  // namespace quillo::platform
