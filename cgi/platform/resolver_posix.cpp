// The system resolver's MX query behind the network seam; see net.h. Uses
// glibc's libresolv: res_nquery sends the query to the servers of the
// system's resolver configuration, ns_initparse/ns_parserr read the answer.
#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <string>

#include "platform/net.h"

namespace quillo::platform {
namespace {

// RDATA of an MX record: a 16-bit preference, then the exchange name.
constexpr std::size_t kMxPreferenceBytes = 2;

// Most answers fit a classic UDP message; a longer one is asked again with a
// buffer of the size the resolver reports (at most a TCP message, 64 KiB).
constexpr std::size_t kFirstAnswerBytes = 4096;
constexpr int kLargestDnsMessage = 65535;  // RFC 1035 4.2.2: 16-bit length

std::optional<std::string> ExchangeName(const ns_msg& message, const ns_rr& record) {
  if (ns_rr_rdlen(record) < kMxPreferenceBytes) return std::nullopt;
  // NS_MAXDNAME bounds a name in presentation form, escapes included; the
  // uncompressor checks it and refuses longer names.
  char name[NS_MAXDNAME];
  const int used = ns_name_uncompress(ns_msg_base(message), ns_msg_end(message),
                                      ns_rr_rdata(record) + kMxPreferenceBytes, name, sizeof name);
  if (used < 0) return std::nullopt;
  return std::string(name);
}

}  // namespace

std::optional<std::vector<DnsRecord>> ParseDnsAnswer(std::string_view message) {
  ns_msg parsed{};
  if (ns_initparse(reinterpret_cast<const unsigned char*>(message.data()), static_cast<int>(message.size()),
                   &parsed) != 0) {
    return std::nullopt;
  }
  std::vector<DnsRecord> records;
  const int count = ns_msg_count(parsed, ns_s_an);
  for (int i = 0; i < count; ++i) {
    ns_rr record{};
    if (ns_parserr(&parsed, ns_s_an, i, &record) != 0) return std::nullopt;
    DnsRecord entry;
    entry.type = ns_rr_type(record);
    if (entry.type == kDnsTypeMx) {
      std::optional<std::string> exchange = ExchangeName(parsed, record);
      if (!exchange) return std::nullopt;
      entry.preference = static_cast<std::uint16_t>(ns_get16(ns_rr_rdata(record)));
      entry.exchange = std::move(*exchange);
    }
    records.push_back(std::move(entry));
  }
  return records;
}

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
