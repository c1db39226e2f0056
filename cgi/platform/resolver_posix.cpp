// The system resolver's MX query behind the network seam; see net.h. Uses
// glibc's libresolv: res_nquery sends the query to the servers of the
// system's resolver configuration; the answer is read by the one DNS
// message parser of both systems (dns_message.cpp).
#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <string>

#include "platform/net.h"

namespace quillo::platform {
namespace {

// Most answers fit a classic UDP message; a longer one is asked again with a
// buffer of the size the resolver reports (at most a TCP message, 64 KiB).
constexpr std::size_t kFirstAnswerBytes = 4096;
constexpr int kLargestDnsMessage = 65535;  // RFC 1035 4.2.2: 16-bit length

}  // namespace

std::optional<std::vector<DnsRecord>> QueryMx(const std::string& domain) {
  struct __res_state state {};
  if (res_ninit(&state) != 0) return std::nullopt;
  std::string answer(kFirstAnswerBytes, '\0');
  auto ask = [&] {
    return res_nquery(&state, domain.c_str(), ns_c_in, ns_t_mx,
                      reinterpret_cast<unsigned char*>(answer.data()), static_cast<int>(answer.size()));
  };
  int length = ask();
  if (length > static_cast<int>(answer.size()) && length <= kLargestDnsMessage) {
    answer.assign(static_cast<std::size_t>(length), '\0');
    length = ask();
  }
  res_nclose(&state);
  if (length < 0 || length > static_cast<int>(answer.size())) return std::nullopt;
  answer.resize(static_cast<std::size_t>(length));
  return ParseDnsAnswer(answer);
}

}  // namespace quillo::platform
